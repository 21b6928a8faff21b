#pragma once
// The operator portal's pages behind the auto-login link, as small HTML pages: one per page
// name, or an error page for a link that is bad, stale, for an unknown user or page.
#include <string>
#include <utility>
#include <vector>

#include "web/CPortalLink.h"

class CPortalPages {
public:
    // What the pages show of one subscriber.
    struct Subscriber {
        std::string number; // the VoIP number, "" before one is assigned
        std::vector<std::pair<std::string, std::string>> sms; // from, text
        std::vector<std::pair<std::string, std::string>> missed; // from, when
    };

    // request: as CPortalLink::Read gave it; subscriber null for an unknown user; links whose
    // time stamp is more than windowMs away from now are refused.
    static std::string Render(const zelora::web::CPortalLink::Request& request, const Subscriber* subscriber,
                              long long windowMs, int& httpStatus);
    // The page for a link that cannot be read.
    static std::string BadLink(int& httpStatus);
};
