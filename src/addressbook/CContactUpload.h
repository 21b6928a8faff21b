#pragma once
// What the contact forms and the address-book window need from the upload dialog: run one
// change and say whether the service accepted it (and the entry number it gave an add).
#include <string>

#include "addressbook/ContactRecord.h"

class CContactUpload {
public:
    virtual ~CContactUpload() = default;
    // `kind`: CAddressBookNetStatusDlg::KIND_*. true when the dialog ended with OK.
    virtual bool Run(int kind, const ContactRecord& record, std::string& entryNumber) = 0;
};
