#pragma once
// The Edit Contact form over one stored entry: OK uploads "_updent" and updates it locally.
#include "addressbook/CContactFormDlg.h"

class CEditContactDlg : public CContactFormDlg {
public:
    CEditContactDlg(CContactFormView& view, AddressBookStore& store, CContactUpload& upload, ContactRecord entry,
                    Today today = {});
    bool OnOK(const ContactFormFields& fields) override;
    std::string Title() const override;
    const ContactRecord& Entry() const { return m_entry; }

private:
    ContactRecord m_entry;
};
