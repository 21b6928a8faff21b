#include "presence/CAddressBookContacts.h"

#include "addressbook/AddressBookStore.h"

#include <strings.h>

CAddressBookContacts::CAddressBookContacts(AddressBookStore& store, std::string mailDomain, std::string presenceDomain)
    : m_store(store), m_mailDomain(std::move(mailDomain)), m_presenceDomain(std::move(presenceDomain))
{
}

std::string CAddressBookContacts::JidFor(const std::string& email, const std::string& mailDomain,
                                         const std::string& presenceDomain)
{
    const std::size_t at = email.find('@');
    if (at == 0 || at == std::string::npos || mailDomain.empty() ||
        strcasecmp(email.c_str() + at + 1, mailDomain.c_str()) != 0)
        return "";
    return email.substr(0, at) + "@" + presenceDomain;
}

std::vector<PersonalContact> CAddressBookContacts::MappableContacts()
{
    std::vector<PersonalContact> out;
    for (const auto& [position, record] : m_store.LiveEntries()) {
        std::string jid = JidFor(record.email, m_mailDomain, m_presenceDomain);
        if (!jid.empty())
            out.push_back({record.entryNumber, record.name, std::move(jid)});
    }
    return out;
}

bool CAddressBookContacts::FindByJid(const std::string& jid, PersonalContact& out)
{
    for (PersonalContact& c : MappableContacts())
        if (strcasecmp(c.jid.c_str(), jid.c_str()) == 0) {
            out = std::move(c);
            return true;
        }
    return false;
}
