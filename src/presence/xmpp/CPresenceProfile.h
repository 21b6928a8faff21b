#pragma once
// A profile's fields to and from a vCard. Saving sets the vCard's fields in this order: name,
// nickname, e-mail (home), photo, work address, title, URL, organisation, work numbers
// (work+fax/cell/pager/voice), home address, home numbers (home+fax/cell/pager/voice).
#include <memory>

#include "presence/PresenceProfileFields.h"

namespace gloox {
class VCard;
}

class CPresenceProfile {
public:
    static std::unique_ptr<gloox::VCard> Build(const PresenceProfileFields& f);
    static PresenceProfileFields Read(const gloox::VCard& card);

private:
    static void AddNumbers(gloox::VCard& card, const PresenceProfileNumbers& n, int place);
};
