// The portal windows' start: the link each one builds, read back as the portal reads it.
#include "web/CPortalLink.h"
#include "web/CPortalPage.h"
#include "web/WebApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

using zelora::web::CPortalLink;

namespace {

struct RecordingView : IPortalView {
    bool guiWorks = true;
    std::vector<std::string> calls;
    std::string url;

    void SetTitle(const std::string& title) override { calls.push_back("title " + title); }
    bool InitGui() override
    {
        calls.push_back("gui");
        return guiWorks;
    }
    void Navigate(const std::string& to) override
    {
        url = to;
        calls.push_back("navigate");
    }
    void ShowError(const std::string& text) override { calls.push_back("error " + text); }
    void ShowWindow() override { calls.push_back("show"); }
};

const std::string kPrefix = "http://portal.test/sp/Transit/zelora/AutoLogin?msg=";

// Starts a window of `kind` for `user` at `when`; the request the portal reads from its link.
CPortalLink::Request Start(RecordingView& view, const CPortalPage::Kind& kind, const std::string& user,
                           std::chrono::system_clock::time_point when, std::string* hex = nullptr)
{
    CPortalPage page(
        view, kind,
        {"portal.test", [user]() { return user; }, [when]() { return zelora::web::RequestTimeStamp(when); }});
    EXPECT_EQ(page.OnInitDialog(), 0);
    EXPECT_EQ(view.url, page.Url());
    EXPECT_EQ(view.url.rfind(kPrefix, 0), 0u) << view.url;
    const std::string digits = view.url.substr(kPrefix.size());
    EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEF"), std::string::npos) << "upper-case hex only";
    if (hex != nullptr)
        *hex = digits;
    CPortalLink::Request request;
    EXPECT_EQ(CPortalLink::Read(digits, request), 1);
    return request;
}

} // namespace

TEST(PortalLink, OpeningsOneSecondApartAndTheWindowsPages)
{
    const auto when = std::chrono::system_clock::now();
    RecordingView first, second;
    const CPortalLink::Request a = Start(first, CPortalPage::kCallHistory, "1001", when);
    const CPortalLink::Request b = Start(second, CPortalPage::kCallHistory, "1001", when + std::chrono::seconds(1));
    EXPECT_NE(first.url, second.url);
    EXPECT_EQ(std::strtoll(b.timeStamp.c_str(), nullptr, 10) - std::strtoll(a.timeStamp.c_str(), nullptr, 10), 1000);
    EXPECT_EQ(a.page, "MissedCallViewBO");
    EXPECT_EQ(a.userId, "1001");
    EXPECT_EQ(first.calls, (std::vector<std::string>{"title Call History", "gui", "navigate", "show"}));
    // Two windows in the same second carry the same stamp, whatever their page.
    RecordingView sms;
    EXPECT_EQ(Start(sms, CPortalPage::kSms, "1001", when).timeStamp, a.timeStamp);
    EXPECT_EQ(sms.calls.front(), "title SMS Dialog");
}

TEST(PortalLink, UserIdsGoInAsTheyAre)
{
    const auto when = std::chrono::system_clock::now();
    const std::string stamp = zelora::web::RequestTimeStamp(when);
    // '&', '=' and even our own key: the portal's reader takes the last "&timestamp=" as the stamp's.
    for (const std::string user : {"a&b", "x=y&userId=z", "q&timestamp=1"}) {
        RecordingView view;
        const CPortalLink::Request got = Start(view, CPortalPage::kSms, user, when);
        EXPECT_EQ(got.userId, user);
        EXPECT_EQ(got.timeStamp, stamp);
        EXPECT_EQ(CPortalLink::RequestText(got), "redirTo=SmsInboxBO&userId=" + user + "&timestamp=" + stamp);
    }
    // Each byte of the text becomes a 32-bit word: 8 hex digits, also past ASCII, and back intact.
    const std::string user = "Z\xC3\xB6\xC3\xA9"; // "Zöé" in UTF-8, 5 bytes
    RecordingView view;
    std::string hex;
    const CPortalLink::Request got = Start(view, CPortalPage::kFax, user, when, &hex);
    const std::size_t length = CPortalLink::RequestText(got).size();
    EXPECT_EQ(hex.size(), 8 * (length + (length & 1)));
    EXPECT_EQ(got.userId, user);
}

TEST(PortalLink, FailuresOfTheStart)
{
    // A text the cipher's buffer cannot take: the box, an empty window, no page.
    RecordingView view;
    CPortalPage page(view, CPortalPage::kSms, {"portal.test", []() { return std::string(1300, 'u'); }, {}});
    EXPECT_EQ(page.OnInitDialog(), 1);
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{"title SMS Dialog", "gui", "error Unable to make web page contents", "show"}));
    EXPECT_TRUE(page.Url().empty());
    // No layout: the window is not shown at all.
    RecordingView broken;
    broken.guiWorks = false;
    CPortalPage none(broken, CPortalPage::kFax, {"portal.test", []() { return std::string("1"); }, {}});
    EXPECT_EQ(none.OnInitDialog(), -1);
    EXPECT_EQ(broken.calls, (std::vector<std::string>{"title zeloraTALK Fax", "gui"}));

    CPortalLink::Request request;
    EXPECT_EQ(CPortalLink::Read("ABC", request), -1);
    EXPECT_EQ(CPortalLink::Read("zz00000000000000", request), -1);
    std::string body;
    ASSERT_EQ(zelora::web::MakeRequestBody("action=_getbal&userId=1", body), 1);
    EXPECT_EQ(CPortalLink::Read(body, request), -3) << "a web-service request is no portal link";
}
