#pragma once
// The address-book window's behaviour (title "Address Book"): the live entries in
// eleven columns, edit, delete, delete all, and the Phone and SMS menus for the four numbers.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "addressbook/ContactRecord.h"

class AddressBookStore;
class CContactUpload;

class CViewContactsView {
public:
    virtual ~CViewContactsView() = default;
    virtual void MessageBox(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    // The list was (re)filled.
    virtual void ShowList() { }
    // Edit: the window opens CEditContactDlg on the entry.
    virtual void OpenEdit(const ContactRecord& entry) = 0;
    virtual void Close() { }
};

// What the window hands to the phone window.
class CContactsPhone {
public:
    virtual ~CContactsPhone() = default;
    virtual bool IsCallInProgress() = 0;
    // The number into the dial field and the call started.
    virtual void Call(const std::string& number) = 0;
    // The number stored in the main window and 0x414 posted to it.
    virtual void Sms(const std::string& number) = 0;
};

class CViewContactsDlg {
public:
    static constexpr const char* kTitle = "Address Book";
    static constexpr int kColumnCount = 11;
    // Column numbers of the Phone and SMS menus' four numbers.
    static constexpr int COLUMN_VOIP = 3;
    static constexpr int COLUMN_MOBILE = 4;
    static constexpr int COLUMN_HOME = 5;
    static constexpr int COLUMN_BUSINESS = 6;

    struct Row {
        std::size_t position = 0;
        std::array<std::string, kColumnCount> columns; // first, middle, last, VoIP ... alternate e-mail
        int presence = 0;
    };

    CViewContactsDlg(CViewContactsView& view, AddressBookStore& store, CContactUpload& upload, CContactsPhone& phone);

    void OnInitDialog() { Refresh(); }
    void Refresh();
    const std::vector<Row>& Rows() const { return m_rows; }
    static std::array<std::string, kColumnCount> Columns(const ContactRecord& r);

    // `selection`: a row of Rows(), or none.
    void OnEdit(std::optional<std::size_t> selection);
    void OnDelete(std::optional<std::size_t> selection);
    void OnDeleteAll();
    void OnCall(std::optional<std::size_t> selection, int column);
    void OnSms(std::optional<std::size_t> selection, int column);

private:
    std::optional<ContactRecord> Selected(std::size_t row);

    CViewContactsView& m_view;
    AddressBookStore& m_store;
    CContactUpload& m_upload;
    CContactsPhone& m_phone;
    std::vector<Row> m_rows;
};
