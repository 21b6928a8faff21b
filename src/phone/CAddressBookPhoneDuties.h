#pragma once
// The phone window's web side with the local address book behind it: the store is what the web
// side's address-book replies update, it is loaded at sign-in, and incoming and outgoing
// numbers are looked up in it.
#include <functional>
#include <string>

#include "addressbook/AddressBookStore.h"
#include "phone/CWebPhoneDuties.h"

class CAddressBookPhoneDuties : public CWebPhoneDuties {
public:
    CAddressBookPhoneDuties(WebEndpoints endpoints, AddressBookStore& store, std::function<std::string()> userId);

    void ReloadAddressBook() override;
    bool LookupContact(const std::string& number, std::string& name, int& numberType) override;

private:
    AddressBookStore& m_book;
    std::function<std::string()> m_userId;
};
