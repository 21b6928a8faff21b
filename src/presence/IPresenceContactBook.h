#pragma once
// The address book as the roster tree maps contacts to it: the entry a presence JID belongs
// to, and the entries that could become presence contacts.
#include <string>
#include <vector>

struct PersonalContact {
    std::string id; // the address book's entry number
    std::string name;
    std::string jid; // the presence JID the entry maps to
};

class IPresenceContactBook {
public:
    virtual ~IPresenceContactBook() = default;
    // The entry mapped to `jid`; false when there is none.
    virtual bool FindByJid(const std::string& jid, PersonalContact& out) = 0;
    // Every entry that maps to a presence JID, in the book's order.
    virtual std::vector<PersonalContact> MappableContacts() = 0;
};
