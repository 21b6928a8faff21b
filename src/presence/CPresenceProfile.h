#pragma once
// The own profile as the profile pages edit it, and the order in which saving sets the
// vCard's fields (work items typed work+fax/cell/pager/voice, home items home+...).
#include <memory>
#include <string>

namespace gloox {
class VCard;
}

struct PresenceProfileFields {
    std::string given, family, middle, nick, email, url, title, org;
    std::string phone, fax, mobile, pager; // work numbers
    std::string photo; // JPEG bytes
};

class CPresenceProfile {
public:
    static std::unique_ptr<gloox::VCard> Build(const PresenceProfileFields& f);
    static PresenceProfileFields Read(const gloox::VCard& card);
};
