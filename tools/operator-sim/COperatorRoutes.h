#pragma once
// Which page answers which request on the simulator's one HTTP port: the web service, test
// control, advertisements, the portal's auto-login pages, the presence service's mail page and
// the simulator's own request counts. One request at a time reaches the store.
#include <functional>
#include <mutex>
#include <string>

#include "CInviteLog.h"
#include "CSimControl.h"
#include "CSubscriberStore.h"
#include "CWebServiceApi.h"

class COperatorRoutes {
public:
    static constexpr std::size_t kMaxBody = 16 * 1024;
    // Portal sign-in links older or newer than this are refused.
    static constexpr long long kPortalWindowMs = 10LL * 60 * 1000;

    struct Request {
        std::string path;
        std::string verb;
        std::string body;
        bool oversize = false; // the body was longer than kMaxBody and is cut
        // A query argument by name, nullptr when absent.
        std::function<const char*(const char*)> argument;
    };
    struct Reply {
        unsigned status = 200;
        std::string text;
        const char* type = "text/plain";
    };

    // The data file; false with a message on error.
    bool Load(const std::string& path, std::string& error);
    Reply Route(const Request& request);

private:
    using Page = Reply (COperatorRoutes::*)(const Request& request);

    Reply WebService(const Request& request);
    Reply Control(const Request& request);
    Reply Ads(const Request& request);
    Reply Portal(const Request& request);
    Reply Mail(const Request& request);
    Reply Requests(const Request& request);
    Reply Home(const Request& request);

    std::mutex m_lock;
    CSubscriberStore m_store;
    CWebServiceApi m_api{m_store};
    CSimControl m_control{m_store, m_api};
    CInviteLog m_invites;
};
