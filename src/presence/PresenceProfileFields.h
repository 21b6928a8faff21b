#pragma once
// A profile as the profile pages (personal, business, home) edit it and the XMPP side stores it.
#include <string>

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
