#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

#include "app/CLogger.h"

#include "phone/CzeloraTALKDlg.h"
#include "PhoneTestSupport.h"

using namespace phonetest;

namespace {

class DlgTest : public ::testing::Test {
protected:
    void Build(bool tunnelFails = false, bool sipFails = false)
    {
        CzeloraTALKDlg::Options options;
        options.startThreads = false;
        options.localAddress = "127.0.6.9";
        options.protocolFactory = [this, tunnelFails, sipFails](bool tunnel, const TunnelSettings& settings) {
            auto p = std::make_unique<FakeProtocol>();
            protocol = p.get();
            usedTunnel = tunnel;
            tunnelSettings = settings;
            if ((tunnel && tunnelFails) || (!tunnel && sipFails))
                p->initResult = -6;
            return std::unique_ptr<CSessionProtocol>(std::move(p));
        };
        dlg = std::make_unique<CzeloraTALKDlg>(view, audio, temp.Settings(), TestDeployment(), options);
        dlg->SetEventObserver([this](int status, const SESSION_EVENT_INFO*) { observed.push_back(status); });
    }

    void Start(bool tunnelFails = false, bool sipFails = false)
    {
        Build(tunnelFails, sipFails);
        ASSERT_EQ(dlg->OnInitDialog(), 0);
        dlg->DrainMessages();
    }

    void SignIn(const std::string& user = "1001", const std::string& password = "pw1001")
    {
        dlg->RegisterSoftPhone(user, password);
        protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
        dlg->DrainMessages();
        ASSERT_TRUE(dlg->IsSignedIn());
        view.messages.clear();
    }

    void Dial(const std::string& number)
    {
        dlg->SetDialField(number);
        dlg->OnBnClickedButtonCall();
        dlg->DrainMessages();
    }

    SESSION_EVENT_INFO Media(int cid, int code)
    {
        SESSION_EVENT_INFO r = Record(cid, code);
        CopyText(r.codecName, "PCMA");
        CopyText(r.codecPayload, "8");
        CopyText(r.rtpIp, "127.0.6.50");
        CopyText(r.rtpPort, "30002");
        return r;
    }

    void Connect()
    {
        Dial("1002");
        SESSION_EVENT_INFO trying = Record(7, 100);
        protocol->Raise(MXSS_STATUS_CALL_PROCEEDING, &trying);
        SESSION_EVENT_INFO answer = Media(7, 200);
        protocol->Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &answer);
        dlg->DrainMessages();
        ASSERT_EQ(dlg->GetCallState(), MXSPCore::CALL_CONNECTED);
    }

    void Incoming(const char* from, int cid = 21)
    {
        SESSION_EVENT_INFO offer = Media(cid, 0);
        CopyText(offer.fromUserName, from);
        protocol->Raise(MXSS_STATUS_INCOMING_CALL, &offer);
        dlg->DrainMessages();
    }

    CMXDisplayScreen::Lines Lines()
    {
        CMXDisplayScreen::Lines lines;
        dlg->Display().Draw(lines);
        return lines;
    }

    TempSettings temp;
    FakeAudio audio;
    RecordingView view;
    FakeProtocol* protocol = nullptr;
    bool usedTunnel = false;
    TunnelSettings tunnelSettings;
    std::vector<int> observed;
    std::unique_ptr<CzeloraTALKDlg> dlg;
};

TEST_F(DlgTest, StartUpAcceptsOnlyTheOperatorsServerNamesAndAlwaysPort5060)
{
    temp.Reg().WriteString("", "ProxyIp", "PROXY.zelora.test");
    temp.Reg().WriteString("", "ProxyPort", "5080");
    Start();
    EXPECT_EQ(dlg->GetServerAddress(), "PROXY.zelora.test");
    EXPECT_EQ(dlg->GetServerPort(), "5060");
    const Call* init = protocol->Last("Init");
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init->args[1], "PROXY.zelora.test");
    EXPECT_EQ(init->args[2], "5060");
    EXPECT_EQ(init->args[3], "zeloraTALK Version 3.1.2");
    EXPECT_FALSE(usedTunnel);

    dlg.reset();
    temp.Reg().WriteString("", "ProxyIp", "evil.example");
    Start();
    EXPECT_EQ(dlg->GetServerAddress(), "sip.zelora.test");
}

TEST_F(DlgTest, CodecListIsTheFixedListLessWhatTheEngineCannotEncode)
{
    temp.Reg().WriteString("Codec", "AudioSettings", "0,3,");
    Start();
    ASSERT_EQ(dlg->CodecCount(), 3);
    EXPECT_STREQ(dlg->Codecs()[0].name, "iLBC");
    EXPECT_EQ(dlg->Codecs()[0].mode, 30);
    EXPECT_STREQ(dlg->Codecs()[1].name, "PCMA");
    EXPECT_STREQ(dlg->Codecs()[2].name, "PCMU");

    dlg.reset();
    audio.supported = {0, 8};
    Start();
    ASSERT_EQ(dlg->CodecCount(), 2);
    EXPECT_EQ(dlg->Codecs()[0].payload, 8);
    EXPECT_EQ(dlg->Codecs()[1].payload, 0);
}

TEST_F(DlgTest, TunnelFlagChoosesTheTunnelAndAFailureLeavesTheWindowUsable)
{
    CSettingsHttpProxy proxy;
    proxy.httpUseTunnel = 1;
    proxy.httpUseProxy = 1;
    proxy.httpProxyIp = "10.1.1.1";
    proxy.httpProxyPort = 3128;
    proxy.httpTunnelIp = "tunnel2.zelora.test";
    ASSERT_GE(temp.Settings().WriteHttpProxy(proxy), 0);
    Start(true);
    EXPECT_TRUE(usedTunnel);
    EXPECT_EQ(tunnelSettings.proxyPort, 3128);
    EXPECT_EQ(tunnelSettings.proxyAddress, "10.1.1.1");
    EXPECT_EQ(tunnelSettings.useProxy, 1);
    EXPECT_EQ(tunnelSettings.tunnelServer, "tunnel2.zelora.test");
    EXPECT_EQ(tunnelSettings.localAddress, "127.0.6.9");
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages[0], "zeloraTALK is unable to connect to the network. Please check your proxy settings");
    EXPECT_FALSE(dlg->IsSignedIn());
}

TEST_F(DlgTest, FatalStartUpFailuresShowTheirTexts)
{
    Build(false, true);
    EXPECT_LT(dlg->OnInitDialog(), 0);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back(), "Unable to start sip stack. Please contact your system administrator");

    dlg.reset();
    view.messages.clear();
    audio.startResult = -3;
    audio.lastError = 7;
    Build();
    EXPECT_LT(dlg->OnInitDialog(), 0);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0], "Unable to Start Sound Engine -3 [7]");
    EXPECT_EQ(view.messages[1], "Unable to start voice system. Please contact your system administrator");

    dlg.reset();
    view.messages.clear();
    audio.startResult = 0;
    // A stored password that is not a cipher text of the web-data key.
    MXConfigGroup group;
    group.userId = "1001";
    group.password = {0x01, 0x02, 0x03};
    group.rememberMe = 1;
    temp.Reg().WriteConfig(group);
    Build();
    EXPECT_LT(dlg->OnInitDialog(), 0);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back(), "Unable to decrypt password");
}

TEST_F(DlgTest, SoundEngineVolumesFillTheSliders)
{
    audio.speaker = 90;
    audio.mic = 140;
    Start();
    EXPECT_EQ(view.sliderSpeaker, 90);
    EXPECT_EQ(view.sliderMic, 140);
    EXPECT_TRUE(audio.Has("Mic 140"));
    dlg->OnSpeakerVolume(300);
    dlg->OnMicVolume(-4);
    EXPECT_TRUE(audio.Has("Speaker 255"));
    EXPECT_TRUE(audio.Has("Mic 0"));
}

TEST_F(DlgTest, AutoLoginRegistersAtOnceWithTheStoredAccount)
{
    CSettingsAccount account{"1001", "pw1001", 1, 1};
    ASSERT_GE(temp.Settings().WriteAccount(account), 0);
    Start();
    const Call* reg = protocol->Last("Register");
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->args[0], "1001");
    EXPECT_EQ(reg->args[1], "1001");
    EXPECT_EQ(reg->args[2], "pw1001");
    EXPECT_EQ(reg->args[3], "3600");

    dlg.reset();
    account.rememberMe = 1;
    account.autoLogin = 0;
    temp.Settings().WriteAccount(account);
    Start();
    EXPECT_EQ(protocol->Count("Register"), 0);
    EXPECT_EQ(dlg->GetUserId(), "1001");
    EXPECT_EQ(view.panels.back(), CzeloraTALKView::PANEL_LOGIN);
}

TEST_F(DlgTest, ThirdRegistrationFailureInARowReturnsToSignIn)
{
    Start();
    dlg->RegisterSoftPhone("1001", "bad");
    protocol->Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    protocol->Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    dlg->DrainMessages();
    EXPECT_TRUE(view.messages.empty());
    protocol->Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    dlg->DrainMessages();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Invalid Username/Password");
    EXPECT_EQ(view.panels.back(), CzeloraTALKView::PANEL_LOGIN);

    // A success in between starts the count again.
    view.messages.clear();
    protocol->Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    protocol->Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    protocol->Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    dlg->DrainMessages();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(dlg->GetRegistrationFailures(), 1);
}

TEST_F(DlgTest, RegistrationTimeoutTextDependsOnConnectivity)
{
    Start();
    SignIn();
    // Once signed in, a lost line is recovered by the core: the window keeps its look.
    protocol->Raise(MXSS_STATUS_REGISTRATION_TIMEOUT, nullptr);
    dlg->DrainMessages();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(dlg->IsSignedIn());
    dlg->SignOut();
    dlg->RegisterSoftPhone("1001", "pw1001");
    protocol->Raise(MXSS_STATUS_REGISTRATION_TIMEOUT, nullptr);
    dlg->DrainMessages();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              "Unable to sign in due to network problem. Please contact your network administrator "
              "for assistance");
    EXPECT_FALSE(dlg->IsSignedIn());

    view.messages.clear();
    dlg->RegisterSoftPhone("1001", "pw1001");
    dlg->SetInternetReachable(false);
    protocol->Raise(MXSS_STATUS_REGISTRATION_TIMEOUT, nullptr);
    dlg->DrainMessages();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Network not found.");
}

TEST_F(DlgTest, DialChecksSignInNumberAndOwnId)
{
    Start();
    dlg->SetDialField("1002");
    dlg->OnBnClickedButtonCall();
    SignIn();
    dlg->SetCredentials("AbC", "pw");
    dlg->SetDialField("");
    dlg->OnBnClickedButtonCall();
    dlg->SetDialField("aBc");
    dlg->OnBnClickedButtonCall();
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0], "Please enter number to dial");
    EXPECT_EQ(view.messages[1], "Call not allowed");
    EXPECT_EQ(dlg->GetDialField(), "");
    EXPECT_EQ(protocol->Count("Invite"), 0);
}

TEST_F(DlgTest, NotSignedInShowsPleaseSignIn)
{
    Start();
    dlg->SetDialField("1002");
    dlg->OnBnClickedButtonCall();
    dlg->OnRedial();
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0], "Please Sign In ");
    EXPECT_EQ(view.messages[1], "Please Sign In ");
}

TEST_F(DlgTest, OutgoingCallConnectsWithTheNegotiatedMedia)
{
    Start();
    SignIn();
    Dial("1002");
    const Call* invite = protocol->Last("Invite");
    ASSERT_NE(invite, nullptr);
    EXPECT_EQ(invite->args, (std::vector<std::string>{"1001", "1002", "sip.zelora.test", "5060", "127.0.6.9", "null"}));
    EXPECT_EQ(dlg->GetLastDialed(), "1002");
    EXPECT_EQ(view.panels.back(), CzeloraTALKView::PANEL_CALL);

    SESSION_EVENT_INFO ringing = Record(7, 180);
    protocol->Raise(MXSS_STATUS_CALL_RINGING, &ringing);
    EXPECT_TRUE(audio.Has("Play " + temp.Folder() + "ringout.wav 0"));
    SESSION_EVENT_INFO answer = Media(7, 200);
    protocol->Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &answer);
    dlg->DrainMessages();
    EXPECT_TRUE(audio.Has("Voice 8 PCMA 37644 127.0.6.50 30002"));
    EXPECT_GE(audio.Count("StopPlay"), 1);
    EXPECT_EQ(Lines()[2], "Connected");
    ASSERT_FALSE(view.paints.empty());
    EXPECT_EQ(view.paints.back()[1], "1002");

    dlg->WorkerPass();
    dlg->WorkerPass();
    dlg->DrainMessages();
    EXPECT_EQ(view.paints.back()[2], "Connected - 00:00:02");

    SESSION_EVENT_INFO bye = Record(7);
    protocol->Raise(MXSS_STATUS_CALL_CLOSED, &bye);
    dlg->DrainMessages();
    EXPECT_GE(audio.Count("StopVoice"), 1);
    EXPECT_EQ(dlg->GetCallState(), MXSPCore::CALL_IDLE);
    EXPECT_EQ(dlg->Display().GetCallType(), CMXDisplayScreen::CALLTYPE_NONE);
    EXPECT_EQ(dlg->Display().GetDurationText(), "00:00:00");
    EXPECT_TRUE(view.messages.empty());
    // The next call's clock starts at zero.
    dlg->WorkerPass();
    EXPECT_FALSE(dlg->Display().IsClockRunning());
}

TEST_F(DlgTest, StartCallFailureShowsTheEngineError)
{
    Start();
    SignIn();
    audio.voiceResult = -5;
    audio.lastError = 9;
    Connect();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Critical Error, 5 [9]");
}

TEST_F(DlgTest, EarlyMediaStartsTheVoiceCallOnceAndSkipsTheRingBack)
{
    Start();
    SignIn();
    Dial("1002");
    SESSION_EVENT_INFO early = Media(7, 183);
    protocol->Raise(MXSS_STATUS_CALL_RINGING, &early);
    protocol->Raise(MXSS_STATUS_CALL_RINGING, &early);
    SESSION_EVENT_INFO ringing = Record(7, 180);
    protocol->Raise(MXSS_STATUS_CALL_RINGING, &ringing);
    EXPECT_EQ(audio.Count("Voice "), 1);
    EXPECT_EQ(audio.Count("Play "), 0);
}

TEST_F(DlgTest, RequestFailureTextsFollowTheStatusCode)
{
    Start();
    SignIn();
    struct Case {
        int code;
        const char* reason;
        const char* shown;
    } cases[] = {{404, "", "Call request failure"},
                 {486, "Busy Here", "User busy, please try later"},
                 {487, "Request Terminated", nullptr},
                 {404, "Not Found", "Not Found"}};
    for (const Case& c : cases) {
        view.messages.clear();
        Dial("1002");
        SESSION_EVENT_INFO failure = Record(7, c.code);
        CopyText(failure.responseMessage, c.reason);
        protocol->Raise(MXSS_STATUS_CALL_REQUESTFAILURE, &failure);
        dlg->DrainMessages();
        if (c.shown == nullptr) {
            EXPECT_TRUE(view.messages.empty()) << c.code;
        } else {
            ASSERT_EQ(view.messages.size(), 1u) << c.code;
            EXPECT_EQ(view.messages[0], c.shown);
        }
        EXPECT_EQ(dlg->GetCallState(), MXSPCore::CALL_IDLE);
    }
    for (int status : {10, 12, 13, 15, 16}) {
        view.messages.clear();
        Dial("1002");
        SESSION_EVENT_INFO failure = Record(7, 500);
        protocol->Raise(status, &failure);
        dlg->DrainMessages();
        ASSERT_EQ(view.messages.size(), 1u) << status;
        EXPECT_EQ(view.messages[0], "Your call cannot be connected at this moment");
    }
}

TEST_F(DlgTest, IncomingCallRingsShowsTheCallerAndIsAnsweredByTheCallButton)
{
    Start();
    SignIn();
    Incoming("12345678901");
    std::string ringTone;
    temp.Settings().ReadRingTone(ringTone);
    EXPECT_TRUE(audio.Has("Play " + ringTone + " 0"));
    EXPECT_EQ(Lines()[2], "Incoming Call");
    EXPECT_EQ(Lines()[1], "1-234-567-8901");
    EXPECT_EQ(dlg->GetDialField(), "12345678901");
    ASSERT_EQ(view.notifier.size(), 1u);
    EXPECT_EQ(view.notifier[0], "1-234-567-8901");
    EXPECT_EQ(view.panels.back(), CzeloraTALKView::PANEL_CALL);

    dlg->OnBnClickedButtonCall();
    EXPECT_EQ(protocol->Count("AcceptIncomingCall"), 1);
    EXPECT_EQ(protocol->Count("Invite"), 0);
    SESSION_EVENT_INFO ack = Record(21);
    protocol->Raise(MXSS_STATUS_CALL_ACK, &ack);
    EXPECT_TRUE(audio.Has("Voice 8 PCMA 37644 127.0.6.50 30002"));
    // Pressing Call again during the call does nothing.
    dlg->OnBnClickedButtonCall();
    EXPECT_EQ(protocol->Count("AcceptIncomingCall"), 1);
    EXPECT_EQ(protocol->Count("Invite"), 0);
}

TEST_F(DlgTest, AnonymousCallerAndAFailedAnswer)
{
    Start();
    SignIn();
    Incoming("");
    EXPECT_EQ(Lines()[1], "XXXXXXXX");
    EXPECT_EQ(dlg->GetDialField(), "XXXXXXXX");
    protocol->acceptResult = -1;
    dlg->OnBnClickedButtonCall();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Critical Error, 1025");
}

TEST_F(DlgTest, HangUpWhileRingingRejectsTheCall)
{
    Start();
    SignIn();
    Incoming("1002");
    dlg->OnBnClickedButtonHangup();
    EXPECT_EQ(protocol->Count("RejectIncomingCall"), 1);
    EXPECT_EQ(dlg->GetCallState(), MXSPCore::CALL_IDLE);
    EXPECT_GE(audio.Count("StopPlay"), 1);
    EXPECT_EQ(dlg->GetDialField(), "");
}

TEST_F(DlgTest, SecondIncomingCallIsNotHeardByTheWindow)
{
    Start();
    SignIn();
    Connect();
    observed.clear();
    int plays = audio.Count("Play ");
    Incoming("1003", 22);
    EXPECT_TRUE(observed.empty());
    EXPECT_EQ(audio.Count("Play "), plays);
    EXPECT_EQ(protocol->Last("RejectIncomingCall")->cid, 22);
    EXPECT_EQ(dlg->GetCallState(), MXSPCore::CALL_CONNECTED);
}

TEST_F(DlgTest, DigitKeysSendDtmfDuringACallAndPlayTonesOtherwise)
{
    Start();
    dlg->OnDialKey('1');
    EXPECT_EQ(audio.Count("Tone"), 0); // signed out: nothing
    SignIn();
    for (char key : std::string("1*#+a"))
        dlg->OnDialKey(key);
    EXPECT_TRUE(audio.Has("Tone 1"));
    EXPECT_TRUE(audio.Has("Tone 10"));
    EXPECT_TRUE(audio.Has("Tone 11"));
    EXPECT_EQ(audio.Count("Tone"), 3);
    EXPECT_EQ(audio.Count("DTMF"), 0);
    EXPECT_EQ(dlg->GetDialField(), "1*#+a");
    EXPECT_EQ(dlg->Display().GetCallType(), CMXDisplayScreen::CALLTYPE_OUTGOING);

    for (int i = 0; i < 5; ++i)
        dlg->OnClearDigit();
    EXPECT_EQ(dlg->GetDialField(), "");
    EXPECT_EQ(dlg->Display().GetCallType(), CMXDisplayScreen::CALLTYPE_NONE);
    dlg->OnClearDigit(); // empty: nothing to remove

    Connect();
    dlg->OnDialKey('*');
    dlg->OnDialKey('#');
    dlg->OnDialKey('7');
    EXPECT_TRUE(audio.Has("DTMF 10"));
    EXPECT_TRUE(audio.Has("DTMF 11"));
    EXPECT_TRUE(audio.Has("DTMF 7"));
    EXPECT_EQ(dlg->GetDialField(), "1002*#7");
    dlg->OnClearDigit(); // not idle: unchanged
    EXPECT_EQ(dlg->GetDialField(), "1002*#7");
    // Letters from the keyboard are ignored during a call.
    dlg->OnKeyboardKey('q');
    EXPECT_EQ(dlg->GetDialField(), "1002*#7");
}

TEST_F(DlgTest, RedialAndEnterDuringACallAreRefused)
{
    Start();
    SignIn();
    Dial("1002");
    SESSION_EVENT_INFO bye = Record(7, 486);
    protocol->Raise(MXSS_STATUS_CALL_REQUESTFAILURE, &bye);
    dlg->DrainMessages();
    view.messages.clear();
    dlg->OnRedial();
    EXPECT_EQ(protocol->Count("Invite"), 2);
    EXPECT_EQ(protocol->Last("Invite")->args[1], "1002");
    dlg->OnRedial();
    dlg->OnKeyboardKey('\r');
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0], "Can not dial while call in progress");
    EXPECT_EQ(view.messages[1], "Can not dial while call in progress");
}

TEST_F(DlgTest, ClosingDuringACallAsksAndClosesAfterTheRelease)
{
    Start();
    SignIn();
    Connect();
    view.answerYes = false;
    EXPECT_FALSE(dlg->OnClose());
    EXPECT_EQ(dlg->GetCallState(), MXSPCore::CALL_CONNECTED);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0], "Currently call is in progress. Do you want to close anyway?");

    view.answerYes = true;
    EXPECT_FALSE(dlg->OnClose());
    EXPECT_EQ(protocol->Count("HangUp"), 1);
    EXPECT_TRUE(dlg->IsCloseAfterCall());
    EXPECT_FALSE(view.closed);
    SESSION_EVENT_INFO released = Record(7);
    protocol->Raise(MXSS_STATUS_CALL_RELEASED, &released);
    dlg->DrainMessages();
    EXPECT_TRUE(view.closed);
}

// A ringing call is rejected, which ends it at once; its release then closes the window.
TEST_F(DlgTest, ClosingWhileACallRingsRejectsItAndClosesOnItsRelease)
{
    Start();
    SignIn();
    Incoming("1002");
    EXPECT_FALSE(dlg->OnClose());
    EXPECT_EQ(protocol->Last("RejectIncomingCall")->cid, 21);
    EXPECT_EQ(dlg->GetCallState(), MXSPCore::CALL_IDLE);
    EXPECT_TRUE(dlg->IsCloseAfterCall());
    // Another call's release is not this one's.
    SESSION_EVENT_INFO other = Record(5);
    protocol->Raise(MXSS_STATUS_CALL_RELEASED, &other);
    dlg->DrainMessages();
    EXPECT_FALSE(view.closed);
    SESSION_EVENT_INFO released = Record(21);
    protocol->Raise(MXSS_STATUS_CALL_RELEASED, &released);
    dlg->DrainMessages();
    EXPECT_TRUE(view.closed);
}

TEST_F(DlgTest, CopyDataOfTheRightSizeDials)
{
    Start();
    SignIn();
    std::string block(CzeloraTALKDlg::kCopyDataSize, '\0');
    std::memcpy(block.data(), "5551234", 7);
    dlg->OnCopyData(block.substr(0, 100));
    EXPECT_EQ(protocol->Count("Invite"), 0);
    dlg->Queue().Post(zelora::WM_COPYDATA, 0, 0, block);
    dlg->DrainMessages();
    ASSERT_EQ(protocol->Count("Invite"), 1);
    EXPECT_EQ(protocol->Last("Invite")->args[1], "5551234");

    // Handed over while a call rings or runs: neither answered nor dialled, the field untouched.
    SESSION_EVENT_INFO closed = Record(7);
    protocol->Raise(MXSS_STATUS_CALL_CLOSED, &closed);
    dlg->DrainMessages();
    Incoming("1002");
    view.messages.clear();
    dlg->Queue().Post(zelora::WM_COPYDATA, 0, 0, block);
    dlg->DrainMessages();
    EXPECT_EQ(protocol->Count("AcceptIncomingCall"), 0);
    EXPECT_EQ(protocol->Count("Invite"), 1);
    EXPECT_EQ(dlg->GetCallState(), MXSPCore::CALL_INCOMING);
    EXPECT_EQ(dlg->GetDialField(), "1002");
    // Signed out: nothing, not even the sign-in box the call button would show.
    dlg->OnBnClickedButtonHangup();
    dlg->SignOut();
    dlg->DrainMessages();
    view.messages.clear();
    dlg->OnCopyData(block);
    EXPECT_EQ(protocol->Count("Invite"), 1);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(DlgTest, FailedPresenceSoundShowsTheEnginesResult)
{
    Start();
    audio.playResult = -7;
    audio.lastError = 3;
    dlg->Queue().Post(CzeloraTALKDlg::WM_PLAY_PRESENCE_SOUND, 0, 0, "/sounds/online.wav");
    dlg->DrainMessages();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Critical Error, 7 [3]");
}

TEST_F(DlgTest, DialFromWebTakesTheStoredNumberUnlessACallIsRunning)
{
    Start();
    SignIn();
    temp.Reg().WriteDialedFromWeb("18005550100");
    dlg->Queue().Post(CzeloraTALKDlg::WM_DIAL_FROM_WEB);
    dlg->DrainMessages();
    ASSERT_EQ(protocol->Count("Invite"), 1);
    EXPECT_EQ(protocol->Last("Invite")->args[1], "18005550100");
    dlg->OnDialFromWeb();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Call is already in progress.");
}

TEST_F(DlgTest, AccountSwitchLogsOutThenRegistersTheNewAccount)
{
    Start();
    SignIn("1001", "pw1001");
    int registers = protocol->Count("Register");
    dlg->RegisterSoftPhone("1001", "pw1001");
    dlg->DrainMessages();
    EXPECT_EQ(protocol->Count("UnRegister"), 0);
    EXPECT_EQ(protocol->Count("Register"), registers);

    dlg->RegisterSoftPhone("1002", "pw1002");
    EXPECT_TRUE(dlg->IsReRegisterPending());
    const Call* unreg = protocol->Last("UnRegister");
    ASSERT_NE(unreg, nullptr);
    EXPECT_EQ(unreg->args[1], "1001");
    EXPECT_EQ(unreg->args[2], "pw1001");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr); // the unregistration's answer
    EXPECT_EQ(observed.back(), MXSS_STATUS_LOGOUT);
    EXPECT_FALSE(dlg->IsReRegisterPending());
    const Call* reg = protocol->Last("Register");
    EXPECT_EQ(reg->args[1], "1002");
    EXPECT_EQ(reg->args[2], "pw1002");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    EXPECT_TRUE(dlg->IsSignedIn());
}

TEST_F(DlgTest, NoAccountChangeDuringACall)
{
    Start();
    SignIn();
    Connect();
    dlg->RegisterSoftPhone("1002", "pw1002");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Sorry can not change login status while call is in progress");
    EXPECT_EQ(dlg->GetUserId(), "1001");
}

TEST_F(DlgTest, CalltoNumberIsDialledOnceAfterTheFirstSignIn)
{
    Build();
    dlg->SetCalltoNumber("123");
    ASSERT_EQ(dlg->OnInitDialog(), 0);
    SignIn();
    ASSERT_EQ(protocol->Count("Invite"), 1);
    EXPECT_EQ(protocol->Last("Invite")->args[1], "123");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    EXPECT_EQ(protocol->Count("Invite"), 1);
}

// Each status case writes its entering and leaving lines under the event handler's name; the
// five plain failures under one generic name.
TEST_F(DlgTest, EventCasesLogEnteringAndLeavingUnderTheHandlersName)
{
    Start();
    SignIn();
    const std::string path = temp.Folder() + "events.log";
    ASSERT_EQ(CLogger::Open(path), 1);
    Incoming("1002");
    dlg->OnBnClickedButtonHangup();
    Dial("1003");
    SESSION_EVENT_INFO failure = Record(7, 503);
    protocol->Raise(MXSS_STATUS_CALL_SERVERFAILURE, &failure);
    CLogger::Exit();
    std::ifstream in(path);
    std::vector<std::string> cases;
    for (std::string line; std::getline(in, line);) {
        std::size_t text = line.find("] ");
        if (line.find("[CzeloraTALKDlg::HandleSipData][") != std::string::npos && text != std::string::npos &&
            line.find("MXSS_STATUS_", text) != std::string::npos)
            cases.push_back(line.substr(text + 2));
    }
    EXPECT_EQ(cases,
              (std::vector<std::string>{"********MXSS_STATUS_INCOMING_CALL Entering********",
                                        "########MXSS_STATUS_INCOMING_CALL Leaving########",
                                        "********MXSS_STATUS_12_FAILURE Entering********",
                                        "########MXSS_STATUS_12_FAILURE Leaving########"}));
}

TEST(DlgHelpers, NumberGrouping)
{
    EXPECT_EQ(CzeloraTALKDlg::GroupNumber("1234567"), "1-234-567-");
    EXPECT_EQ(CzeloraTALKDlg::GroupNumber("12345678901"), "1-234-567-8901");
    EXPECT_EQ(CzeloraTALKDlg::GroupNumber("123456"), "123456");
    EXPECT_EQ(CzeloraTALKDlg::GroupNumber("22345678901"), "22345678901");
}

} // namespace

// The automatic choice moves on when the way gives no answer in 2 s or times out, stops on a
// sign-out (its late fallback swaps nothing), stores the way that answered, and a close while
// the fallback is armed leaves nothing behind.
TEST(DlgAutomatic, NoAnswerMovesOnSignOutStopsTheChoiceAndTheWayThatAnsweredIsStored)
{
    TempSettings temp;
    FakeAudio audio;
    RecordingView view;
    CSettingsHttpProxy proxy;
    proxy.httpUseTunnel = 2;
    proxy.httpUseProxy = 1;
    proxy.httpProxyIp = "127.0.14.60";
    proxy.httpProxyPort = 8888;
    ASSERT_GE(temp.Settings().WriteHttpProxy(proxy), 0);
    struct Made {
        bool tunnel;
        int useProxy;
    };
    std::vector<Made> made;
    FakeProtocol* protocol = nullptr;
    CzeloraTALKDlg::Options options;
    options.startThreads = false;
    options.protocolFactory = [&](bool tunnel, const TunnelSettings& settings) {
        auto p = std::make_unique<FakeProtocol>();
        protocol = p.get();
        made.push_back({tunnel, settings.useProxy});
        return std::unique_ptr<CSessionProtocol>(std::move(p));
    };
    auto dlg = std::make_unique<CzeloraTALKDlg>(view, audio, temp.Settings(), TestDeployment(), options);
    ASSERT_EQ(dlg->OnInitDialog(), 0);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FALSE(made[0].tunnel);

    dlg->RegisterSoftPhone("1001", "pw1001");
    EXPECT_EQ(protocol->Count("Register"), 1);
    std::this_thread::sleep_for(CConnectionChooser::kAnswerWait + std::chrono::milliseconds(300));
    dlg->DrainMessages();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_TRUE(made[1].tunnel);
    EXPECT_EQ(made[1].useProxy, 0);
    EXPECT_EQ(protocol->Count("Register"), 1) << "the same sign-in goes on by the tunnel";
    // The tunnel's own time-out moves on at once, to the tunnel through the proxy.
    protocol->Raise(MXSS_STATUS_REGISTRATION_TIMEOUT, nullptr);
    dlg->DrainMessages();
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[2].useProxy, 1);

    // Signed out during the choice, then refused (an answer: no other way helps a password):
    // neither sign-in's fallback swaps anything.
    dlg->SignOut();
    dlg->RegisterSoftPhone("1001", "bad");
    protocol->Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    std::this_thread::sleep_for(CConnectionChooser::kAnswerWait + std::chrono::milliseconds(300));
    dlg->DrainMessages();
    EXPECT_EQ(made.size(), 3u);

    dlg->RegisterSoftPhone("1001", "pw1001");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    dlg->DrainMessages();
    EXPECT_TRUE(dlg->IsSignedIn());
    EXPECT_TRUE(view.messages.empty()) << view.messages[0];
    CSettingsHttpProxy stored;
    ASSERT_GE(temp.Settings().ReadHttpProxy(stored), 0);
    EXPECT_EQ(stored.lastConnection, CConnectionChooser::WAY_TUNNEL_PROXY);
    EXPECT_EQ(stored.httpProxyIp, "127.0.14.60");

    // Closed with the fallback armed.
    dlg->SignOut();
    dlg->RegisterSoftPhone("1001", "pw1001");
    dlg->OnDestroy();
    dlg.reset();
}
