#pragma once
// The own profile as the profile pages (personal, business, home) edit it, and the order in
// which saving sets the vCard's fields: name, nickname, e-mail (home), photo, work address,
// title, URL, organisation, work numbers (work+fax/cell/pager/voice), home address, home
// numbers (home+fax/cell/pager/voice).
#include <memory>
#include <string>

namespace gloox {
class VCard;
}

struct PresenceProfileAddress {
    std::string street, locality, region, pcode, country;
    bool Empty() const
    {
        return street.empty() && locality.empty() && region.empty() && pcode.empty() && country.empty();
    }
};

struct PresenceProfileNumbers {
    std::string fax, mobile, pager, phone;
};

struct PresenceProfileFields {
    std::string given, family, middle, nick, email, url, title, org;
    std::string photo; // JPEG bytes
    PresenceProfileAddress work, home;
    PresenceProfileNumbers workNumbers, homeNumbers;
};

class CPresenceProfile {
public:
    static std::unique_ptr<gloox::VCard> Build(const PresenceProfileFields& f);
    static PresenceProfileFields Read(const gloox::VCard& card);

private:
    static void AddNumbers(gloox::VCard& card, const PresenceProfileNumbers& n, int place);
};
