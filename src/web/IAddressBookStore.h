#pragma once
// What the reply parser needs from the local address book and the settings store when the
// web service sends address-book changes. The address-book store implements it.
#include <string>

// One entry as the web service sends it; every field at most 255 characters.
struct WebContact {
    std::string entryNumber; // <sno>
    std::string name;
    std::string email;
    std::string voip;
    std::string mobile;
    std::string home;
    std::string business;
    std::string title;
    std::string firstName;
    std::string middleName;
    std::string lastName;
    std::string birthDate;
    std::string companyName;
    std::string altEmail;
    std::string fax;
    std::string pager;
    std::string icq;
    std::string website;
    std::string comments;
};

class IAddressBookStore {
public:
    virtual ~IAddressBookStore() = default;
    // "LastCheckTS" as stored by the settings store; empty when none.
    virtual std::string LastCheckTimestamp() = 0;
    // Stores "LastCheckTS"; negative on failure.
    virtual int StoreLastCheckTimestamp(const std::string& timestamp) = 0;
    // Clears the list and deletes the file (a complete book follows).
    virtual void EmptyAddressBook() = 0;
    // Position of the live entry with this entry number, or -1.
    virtual int FindByEntryNumber(long entryNumber) = 0;
    // 0, or -1 when no live entry has the record's entry number.
    virtual int UpdateEntry(const WebContact& record) = 0;
    virtual int AddEntry(const WebContact& record) = 0;
};
