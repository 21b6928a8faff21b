#pragma once
// zeloratalk-cli's address-book commands over the address-book controllers:
//   contacts | contact-add <field>=<value> ... | contact-edit <sno> <field>=<value> ... |
//   contact-delete <sno> | contact-delete-all | contact-call <sno> <number> | contact-sms <sno> <number>
// Prints CONTACT/CONTACTS lines, UPLOAD lines for the upload dialog, MESSAGE lines for boxes.
#include <string>
#include <vector>

#include "addressbook/AddressBookStore.h"
#include "addressbook/CAddressBookNetStatusDlg.h"
#include "addressbook/CAddressBookUpload.h"
#include "addressbook/CContactFormDlg.h"
#include "addressbook/CViewContactsDlg.h"

class CCliView;
class CzeloraTALKDlg;

class CCliAddressBook : public CContactFormView,
                        public CViewContactsView,
                        public CContactsPhone,
                        public CAddressBookNetStatusView {
public:
    CCliAddressBook(CCliView& view, CzeloraTALKDlg& dlg, AddressBookStore& store, std::string serviceHost);

    // false when the words are not an address-book command.
    bool Execute(const std::vector<std::string>& words);

    static std::string ContactLine(std::size_t position, const ContactRecord& r);
    // "field=value" words into the form's fields; false for an unknown field or a bad date.
    static bool ApplyFields(const std::vector<std::string>& words, std::size_t from, ContactFormFields& fields);

    // CContactFormView / CViewContactsView
    void MessageBox(const std::string& text) override;
    void Focus(Field) override { }
    void SetTitle(const std::string&) override { }
    void Close() override { }
    bool AskYesNo(const std::string& text) override;
    void OpenEdit(const ContactRecord& entry) override;
    // CContactsPhone
    bool IsCallInProgress() override;
    void Call(const std::string& number) override;
    void Sms(const std::string& number) override;
    // CAddressBookNetStatusView
    void SetStatusText(int kind, const std::string& text) override;
    void SetButtonCaption(const std::string&) override { }
    void SetProgress(int) override { }
    void Ended(int kind, bool ok) override;

private:
    std::optional<std::size_t> RowOf(CViewContactsDlg& window, const std::string& sno);

    CCliView& m_view;
    CzeloraTALKDlg& m_dlg;
    AddressBookStore& m_store;
    CAddressBookUpload m_upload;
    // The named fields of the contact-edit under way.
    const std::vector<std::string>* m_editWords = nullptr;
};
