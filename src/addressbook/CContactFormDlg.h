#pragma once
// The rules of the two contact forms, CAddContactDlg and CEditContactDlg: the check
// on OK, the title, and saving through the upload dialog before the local store.
#include <functional>
#include <optional>
#include <string>

#include "addressbook/ContactRecord.h"

class AddressBookStore;
class CContactUpload;

// What the form's fields hold when OK is pressed.
struct ContactFormFields {
    bool readable = true; // false: the fields could not be read
    std::string firstName, title, middleName, lastName, email, voip, mobile, home, business, altEmail, fax, pager, icq,
        website, companyName, comments;
    struct Date {
        int year = 0, month = 0, day = 0;
        bool operator==(const Date&) const = default;
    };
    std::optional<Date> birthDate; // the picker's date; none: left at today's date
};

class CContactFormView {
public:
    enum Field { FIELD_FIRST_NAME, FIELD_EMAIL };
    virtual ~CContactFormView() = default;
    virtual void MessageBox(const std::string& text) = 0;
    virtual void Focus(Field field) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void Close() = 0;
};

class CContactFormDlg {
public:
    using Today = std::function<ContactFormFields::Date()>;

    CContactFormDlg(CContactFormView& view, AddressBookStore& store, CContactUpload& upload, Today today = {});
    virtual ~CContactFormDlg() = default;

    // Check (steps 1 to 6): the record, or none after the refusal's message.
    std::optional<ContactRecord> Check(const ContactFormFields& fields);
    // The form's OK: check, upload, apply locally. true when the form closed.
    virtual bool OnOK(const ContactFormFields& fields) = 0;
    virtual std::string Title() const = 0;
    void OnInitDialog() { m_view.SetTitle(Title()); }

    // The fields of a stored record, for a form opened on it.
    static ContactFormFields FieldsOf(const ContactRecord& r);

protected:
    CContactFormView& m_view;
    AddressBookStore& m_store;
    CContactUpload& m_upload;
    Today m_today;
};
