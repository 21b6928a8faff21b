#pragma once
// The New Contact form: OK uploads "_addent" and adds the entry locally once accepted.
#include "addressbook/CContactFormDlg.h"

class CAddContactDlg : public CContactFormDlg {
public:
    using CContactFormDlg::CContactFormDlg;
    bool OnOK(const ContactFormFields& fields) override;
    std::string Title() const override { return "New Contact"; }
};
