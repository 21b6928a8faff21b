#pragma once
// One portal window's start: title, the auto-login link of its page, and the one failure the
// user is told about. The window (IPortalView) only shows what it is given.
#include <functional>
#include <string>

#include "web/IPortalView.h"

class CPortalPage {
public:
    struct Kind {
        const char* title;
        const char* page; // CPortalLink's page name
    };
    static const Kind kSms;
    static const Kind kFax;
    static const Kind kNumberAssignment;
    static const Kind kCallHistory;

    static constexpr const char* kEncryptFailed = "Unable to make web page contents";

    struct Source {
        std::string portalHost;
        std::function<std::string()> userId;
        // The request time stamp; RequestTimeStamp() when empty.
        std::function<std::string()> timeStamp;
    };

    CPortalPage(IPortalView& view, const Kind& kind, Source source);

    // 0 shown with the page; 1 shown empty after the enciphering failure (box shown);
    // -1 the window could not be laid out and is not shown.
    int OnInitDialog();
    // The link of the last start ("" when none was made).
    const std::string& Url() const { return m_url; }
    const Kind& PageKind() const { return m_kind; }

private:
    IPortalView& m_view;
    const Kind& m_kind;
    Source m_source;
    std::string m_url;
};
