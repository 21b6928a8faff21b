#pragma once
// The presence mapping over the local address book: an entry whose e-mail address is in the
// operator's mail domain is the presence contact with the same user part.
#include <string>

#include "presence/IPresenceContactBook.h"

class AddressBookStore;

class CAddressBookContacts : public IPresenceContactBook {
public:
    CAddressBookContacts(AddressBookStore& store, std::string mailDomain, std::string presenceDomain);

    bool FindByJid(const std::string& jid, PersonalContact& out) override;
    std::vector<PersonalContact> MappableContacts() override;

    // The JID an e-mail address maps to, or "" when it is not in the mail domain.
    static std::string JidFor(const std::string& email, const std::string& mailDomain,
                              const std::string& presenceDomain);

private:
    AddressBookStore& m_store;
    std::string m_mailDomain, m_presenceDomain;
};
