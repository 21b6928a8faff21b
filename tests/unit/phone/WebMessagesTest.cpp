// The main window's handling of what the operator's web service sends back.
#include <thread>

#include "phone/CWebPhoneDuties.h"
#include "phone/CzeloraTALKDlg.h"
#include "PhoneTestSupport.h"
#include "web/WebMessages.h"

using namespace phonetest;
using namespace zelora::web;

namespace {

class WebView : public RecordingView {
public:
    std::vector<std::pair<std::string, std::string>> accountTexts;
    std::vector<std::pair<std::string, std::string>> voipNumbers;
    std::vector<int> counters;
    std::vector<std::string> smsNotices;
    std::vector<std::string> links;
    std::vector<bool> refreshedSignedIn;

    void ShowAccountTexts(const std::string& first, const std::string& second) override
    {
        accountTexts.emplace_back(first, second);
    }
    void ShowVoipNumber(const std::string& voipNumber, const std::string& userId) override
    {
        voipNumbers.emplace_back(voipNumber, userId);
    }
    void ShowCounter(int value) override { counters.push_back(value); }
    void ShowSmsNotice(const std::string& text) override { smsNotices.push_back(text); }
    void OpenLink(const std::string& url) override { links.push_back(url); }
    void RefreshControls(bool signedIn, const std::string& dial) override
    {
        RecordingView::RefreshControls(signedIn, dial);
        refreshedSignedIn.push_back(signedIn);
    }
};

// What the web side would have received, set by the test.
class FakeWeb : public CPhoneWebDuties {
public:
    std::string balance, smsBalance, voipNumber, userId, callerLine, link;
    bool callerLineReady = false;
    int balanceRequests = 0, voipRequests = 0, adsRequests = 0, signedIn = 0, created = 0;
    std::vector<std::pair<int, std::string>> callerLineRequests;

    void OnWindowCreated() override { ++created; }
    void OnSignedIn() override { ++signedIn; }
    bool BalanceKnown() override { return !balance.empty(); }
    bool VoipNumberKnown() override { return !voipNumber.empty(); }
    void RequestBalance() override { ++balanceRequests; }
    void RequestVoipNumber() override { ++voipRequests; }
    void RequestAds() override { ++adsRequests; }
    void RequestCallerLine(int cid, const std::string& user) override { callerLineRequests.emplace_back(cid, user); }
    bool AccountTexts(std::string& b, std::string& s) override
    {
        b = balance;
        s = smsBalance;
        return !b.empty() || !s.empty();
    }
    bool VoipNumber(std::string& v, std::string& u) override
    {
        v = voipNumber;
        u = userId;
        return !v.empty();
    }
    bool TakeCallerLine(std::string& text) override
    {
        if (!callerLineReady)
            return false;
        callerLineReady = false;
        text = callerLine;
        return true;
    }
    std::string DownloadLink() override { return link; }
};

class WebMessagesTest : public ::testing::Test {
protected:
    void Start(CPhoneWebDuties* web)
    {
        CzeloraTALKDlg::Options options;
        options.startThreads = false;
        options.localAddress = "127.0.6.9";
        options.webDuties = web;
        options.protocolFactory = [this](bool, const TunnelSettings&) {
            auto p = std::make_unique<FakeProtocol>();
            protocol = p.get();
            return std::unique_ptr<CSessionProtocol>(std::move(p));
        };
        dlg = std::make_unique<CzeloraTALKDlg>(view, audio, temp.Settings(), TestDeployment(), options);
    }
    void Init()
    {
        ASSERT_EQ(dlg->OnInitDialog(), 0);
        dlg->DrainMessages();
    }
    void SignIn()
    {
        dlg->RegisterSoftPhone("1001", "pw1001");
        protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
        dlg->DrainMessages();
        ASSERT_TRUE(dlg->IsSignedIn());
    }
    void Connect()
    {
        dlg->SetDialField("1002");
        dlg->OnBnClickedButtonCall();
        SESSION_EVENT_INFO answer = Record(7, 200);
        CopyText(answer.codecName, "PCMA");
        CopyText(answer.codecPayload, "8");
        CopyText(answer.rtpIp, "127.0.6.50");
        CopyText(answer.rtpPort, "30002");
        protocol->Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &answer);
        dlg->DrainMessages();
        ASSERT_EQ(dlg->GetCallState(), MXSPCore::CALL_CONNECTED);
    }
    void Post(unsigned msg, std::intptr_t wParam = 0, std::string data = {})
    {
        ASSERT_TRUE(dlg->Queue().Post(msg, wParam, 0, std::move(data)));
        dlg->DrainMessages();
    }

    TempSettings temp;
    FakeAudio audio;
    WebView view;
    FakeProtocol* protocol = nullptr;
    std::unique_ptr<CzeloraTALKDlg> dlg;
};

TEST_F(WebMessagesTest, SignInAsksForWhatIsNotKnownAndTheReceivedTextsReachTheWindow)
{
    FakeWeb web;
    Start(&web);
    Init();
    EXPECT_EQ(web.created, 1);
    SignIn();
    EXPECT_EQ(web.signedIn, 1);
    EXPECT_EQ(web.balanceRequests, 1);
    EXPECT_EQ(web.voipRequests, 1);
    EXPECT_EQ(web.adsRequests, 1);
    // Registering cleared the account labels.
    ASSERT_FALSE(view.accountTexts.empty());
    EXPECT_EQ(view.accountTexts.back(), std::make_pair(std::string(), std::string()));
    EXPECT_TRUE(view.voipNumbers.empty());

    web.balance = "12.50";
    web.smsBalance = "7";
    Post(WM_WEB_BALANCE_RECEIVED);
    EXPECT_EQ(view.accountTexts.back(), std::make_pair(std::string("12.50"), std::string("7")));

    web.voipNumber = "4930111222";
    web.userId = "1001";
    Post(WM_WEB_VOIP_NUMBER_RECEIVED);
    ASSERT_EQ(view.voipNumbers.size(), 1u);
    EXPECT_EQ(view.voipNumbers[0], std::make_pair(std::string("4930111222"), std::string("1001")));

    // A re-registration is no new sign-in: the address book is not synchronised again and
    // nothing known is asked for.
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    dlg->DrainMessages();
    EXPECT_EQ(web.signedIn, 1);
    EXPECT_EQ(web.balanceRequests, 1);

    // Signing in again, known texts are not asked for, and the labels start empty until the
    // web side sends them again: an earlier account's balance is never shown for a new one.
    dlg->SignOut();
    dlg->DrainMessages();
    SignIn();
    EXPECT_EQ(web.signedIn, 2);
    EXPECT_EQ(web.balanceRequests, 1);
    EXPECT_EQ(web.voipRequests, 1);
    EXPECT_EQ(view.accountTexts.back(), std::make_pair(std::string(), std::string()));
    Post(WM_WEB_BALANCE_RECEIVED);
    EXPECT_EQ(view.accountTexts.back(), std::make_pair(std::string("12.50"), std::string("7")));
}

TEST_F(WebMessagesTest, CallerLineGoesOnTheDisplayOnlyForTheCallItWasAskedFor)
{
    FakeWeb web;
    Start(&web);
    Init();
    SignIn();
    SESSION_EVENT_INFO offer = Record(21, 0);
    CopyText(offer.fromUserName, "1002");
    protocol->Raise(MXSS_STATUS_INCOMING_CALL, &offer);
    dlg->DrainMessages();
    ASSERT_EQ(web.callerLineRequests.size(), 1u);
    EXPECT_EQ(web.callerLineRequests[0], std::make_pair(21, std::string("1002")));

    web.callerLine = "4930999";
    web.callerLineReady = true;
    Post(WM_WEB_CLI_RECEIVED);
    EXPECT_EQ(dlg->Display().GetCallerID(), "4930999");
    ASSERT_FALSE(view.paints.empty());
    EXPECT_EQ(view.paints.back()[0], "4930999");

    // The call ends before a second reply arrives: the late reply marks nothing.
    dlg->OnBnClickedButtonHangup();
    dlg->DrainMessages();
    EXPECT_EQ(dlg->Display().GetCallerID(), "");
    web.callerLine = "4930888";
    web.callerLineReady = true;
    Post(WM_WEB_CLI_RECEIVED);
    EXPECT_EQ(dlg->Display().GetCallerID(), "");
}

TEST_F(WebMessagesTest, NewSmsShowsCounterAndNoticeAndTheVersionQuestionOpensTheLink)
{
    FakeWeb web;
    web.link = "http://127.0.6.151/setup.exe";
    Start(&web);
    Init();
    Post(WM_WEB_NEW_SMS, 3, "You have 3 new SMS");
    EXPECT_EQ(view.counters, std::vector<int>{3});
    EXPECT_EQ(view.smsNotices, std::vector<std::string>{"You have 3 new SMS"});

    view.answerYes = false;
    Post(CzeloraTALKDlg::WM_INTERNAL_ASK_NEW_VERSION, 0, "Download Now?");
    EXPECT_EQ(view.questions.back(), "Download Now?");
    EXPECT_TRUE(view.links.empty());
    view.answerYes = true;
    Post(CzeloraTALKDlg::WM_INTERNAL_ASK_NEW_VERSION, 0, "Download Now?");
    EXPECT_EQ(view.links, std::vector<std::string>{"http://127.0.6.151/setup.exe"});
}

// Five failed probes arrive on the HTTP client's thread: that thread only posts, and the
// window hangs the call up before it takes the signed-out look.
TEST_F(WebMessagesTest, FiveFailedProbesDuringACallHangUpThenSignOutOnTheWindowsThread)
{
    WebEndpoints endpoints;
    endpoints.serviceHost = endpoints.adsHost = endpoints.probeSite = "127.0.6.169";
    CWebPhoneDuties web(endpoints);
    Start(&web);
    ASSERT_TRUE(web.Attach(*dlg));
    ASSERT_NE(web.Client(), nullptr);
    Init();
    SignIn();
    Connect();
    dlg->DrainMessages();
    const int hangUpsBefore = protocol->Count("HangUp");
    view.paints.clear();

    std::thread http([&web]() {
        for (int i = 0; i < 5; ++i)
            CWebServiceClient::INetPingStatus("connection refused", INET_STATE_FAILED, web.Client());
    });
    http.join();
    EXPECT_TRUE(dlg->IsSignedIn());
    EXPECT_EQ(protocol->Count("HangUp"), hangUpsBefore);
    ASSERT_GE(dlg->Queue().Pending(), 3u);

    dlg->DrainMessages();
    EXPECT_EQ(protocol->Count("HangUp"), hangUpsBefore + 1);
    EXPECT_FALSE(dlg->IsSignedIn());
    ASSERT_FALSE(view.refreshedSignedIn.empty());
    EXPECT_FALSE(view.refreshedSignedIn.back());
    EXPECT_EQ(dlg->Display().IsSignedIn(), false);
    web.Detach();
    EXPECT_EQ(web.Client(), nullptr);
}

// Lost, then back: a registration time-out blames the network only while it is gone.
TEST_F(WebMessagesTest, NetworkBackAfterALossMakesTimeoutsSayNetworkProblemAgain)
{
    WebEndpoints endpoints;
    endpoints.serviceHost = endpoints.adsHost = endpoints.probeSite = "127.0.6.169";
    CWebPhoneDuties web(endpoints);
    Start(&web);
    ASSERT_TRUE(web.Attach(*dlg));
    Init();
    SignIn();
    for (int i = 0; i < 5; ++i)
        CWebServiceClient::INetPingStatus("connection refused", INET_STATE_FAILED, web.Client());
    dlg->DrainMessages();
    ASSERT_FALSE(dlg->IsSignedIn());
    auto timeoutText = [this]() {
        // A sign-in that times out (not a line lost later, which the core recovers).
        dlg->RegisterSoftPhone("1001", "pw1001");
        view.messages.clear();
        protocol->Raise(MXSS_STATUS_REGISTRATION_TIMEOUT, nullptr);
        dlg->DrainMessages();
        return view.messages.empty() ? std::string() : view.messages.back();
    };
    EXPECT_EQ(timeoutText(), "Network not found.");

    // The probe answered with 200; the window's next check, 20 passes on, hears of it.
    web.Client()->Probe().RecordResult(true);
    for (int pass = 0; pass < 19; ++pass)
        dlg->WorkerPass();
    EXPECT_EQ(timeoutText(), "Network not found.");
    dlg->WorkerPass();
    EXPECT_EQ(timeoutText(),
              "Unable to sign in due to network problem. Please contact your network administrator for assistance");
    web.Detach();
}

// Four failures in a row are only counted.
TEST_F(WebMessagesTest, FourFailedProbesLeaveTheWindowSignedIn)
{
    WebEndpoints endpoints;
    endpoints.serviceHost = endpoints.adsHost = endpoints.probeSite = "127.0.6.169";
    CWebPhoneDuties web(endpoints);
    Start(&web);
    ASSERT_TRUE(web.Attach(*dlg));
    Init();
    SignIn();
    std::thread http([&web]() {
        for (int i = 0; i < 4; ++i)
            CWebServiceClient::INetPingStatus("connection refused", INET_STATE_FAILED, web.Client());
    });
    http.join();
    dlg->DrainMessages();
    EXPECT_TRUE(dlg->IsSignedIn());
    EXPECT_EQ(web.Client()->Probe().Failures(), 4);
}

} // namespace
