#include <chrono>
#include <cstring>

#include "phone/MXSPCore.h"
#include "PhoneTestSupport.h"

using phonetest::FakeProtocol;
using phonetest::Record;

namespace {

struct Forwarded {
    int status;
    bool hadRecord;
    SESSION_EVENT_INFO record;
};

int Recorder(int status, void* context, SESSION_EVENT_INFO* record)
{
    auto* list = static_cast<std::vector<Forwarded>*>(context);
    Forwarded f{status, record != nullptr, {}};
    if (record != nullptr)
        f.record = *record;
    list->push_back(f);
    return 1;
}

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override { Make(false); }

    void Make(bool tunnelFails)
    {
        MXSPCore::Options options;
        options.startKeepAliveThread = false;
        options.factory = [this, tunnelFails](bool tunnel, const TunnelSettings& settings) {
            auto p = std::make_unique<FakeProtocol>();
            protocol = p.get();
            usedTunnel = tunnel;
            tunnelSettings = settings;
            if (tunnel && tunnelFails)
                p->initResult = -5;
            return std::unique_ptr<CSessionProtocol>(std::move(p));
        };
        std::memset(codecs, 0, sizeof codecs);
        core = std::make_unique<MXSPCore>("sip.zelora.test", "sip.zelora.test", "5060", &Recorder, &forwarded, codecs,
                                          3, "zeloraTALK Version 3.1.2", 0, options);
    }

    void StartSip() { ASSERT_GE(core->StartSipStack(nullptr), 0); }

    // An outgoing call placed: cid 7 by the fake protocol.
    void PlaceCall()
    {
        StartSip();
        ASSERT_EQ(core->MakeCall("1001", "1002", "sip.zelora.test", "5060", nullptr, nullptr), 7);
    }

    int Raise(int status, SESSION_EVENT_INFO* record) { return core->MXSPC_HandleCallBack(status, record); }

    CODEC_INFO codecs[3];
    std::vector<Forwarded> forwarded;
    FakeProtocol* protocol = nullptr;
    bool usedTunnel = false;
    TunnelSettings tunnelSettings;
    std::unique_ptr<MXSPCore> core;
};

TEST_F(CoreTest, StartSipStackHandsTheCoreSettingsToInit)
{
    StartSip();
    ASSERT_NE(protocol, nullptr);
    EXPECT_FALSE(usedTunnel);
    const phonetest::Call* init = protocol->Last("Init");
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(
        init->args,
        (std::vector<std::string>{"sip.zelora.test", "sip.zelora.test", "5060", "zeloraTALK Version 3.1.2", "3", "0"}));
    EXPECT_TRUE(core->HasProtocol());
}

TEST_F(CoreTest, StartFailuresSetTheirLastErrorAndKeepNoProtocol)
{
    Make(true);
    EXPECT_LT(core->StartTunnel(3128, "proxy.local", 1, "tunnel.zelora.test", nullptr, "127.0.6.9"), 0);
    EXPECT_TRUE(usedTunnel);
    EXPECT_EQ(tunnelSettings.proxyPort, 3128);
    EXPECT_EQ(tunnelSettings.proxyAddress, "proxy.local");
    EXPECT_EQ(tunnelSettings.useProxy, 1);
    EXPECT_EQ(tunnelSettings.tunnelServer, "tunnel.zelora.test");
    EXPECT_EQ(tunnelSettings.localAddress, "127.0.6.9");
    EXPECT_EQ(tunnelSettings.userAgent, "zeloraTALK Version 3.1.2");
    EXPECT_EQ(core->GetLastError(), 400014);
    EXPECT_FALSE(core->HasProtocol());
    // Every operation fails cleanly without a protocol.
    EXPECT_LT(core->Register("1001", "1001", "pw", 3600), 0);
    EXPECT_EQ(core->GetLastError(), 400016);
    EXPECT_LT(core->MakeCall("1001", "1002", "h", "5060", nullptr, nullptr), 0);
    EXPECT_EQ(core->GetLastError(), 400011);

    MXSPCore::Options options;
    options.startKeepAliveThread = false;
    options.factory = [](bool, const TunnelSettings&) {
        auto p = std::make_unique<FakeProtocol>();
        p->initResult = -3;
        return std::unique_ptr<CSessionProtocol>(std::move(p));
    };
    MXSPCore sip("r", "h", "5060", &Recorder, &forwarded, codecs, 3, "ua", 0, options);
    EXPECT_EQ(sip.StartSipStack(nullptr), -3);
    EXPECT_EQ(sip.GetLastError(), 400015);
}

TEST_F(CoreTest, RegisterRaisesShortExpiryToTheMinimumAndArmsTheCountdown)
{
    StartSip();
    EXPECT_EQ(core->Register("1001", "1001", "pw1001", 300), 0);
    const phonetest::Call* reg = protocol->Last("Register");
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->args, (std::vector<std::string>{"1001", "1001", "pw1001", "600", "null", "null", "0"}));
    EXPECT_EQ(core->GetExpiry(), 600);
    EXPECT_EQ(core->GetCountdown(), 0);

    EXPECT_EQ(core->Register("1001", "1001", "pw1001", 3600), 0);
    EXPECT_EQ(core->GetCountdown(), 3000);
    protocol->registerResult = -2;
    EXPECT_LT(core->Register("1001", "1001", "pw1001", 3600), 0);
    EXPECT_EQ(core->GetLastError(), 400016);
}

TEST_F(CoreTest, KeepAliveReRegistersSixHundredSecondsBeforeExpiryAndPingsEveryThirtySeconds)
{
    StartSip();
    core->Register("1001", "1001", "pw1001", 3600);
    Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    ASSERT_TRUE(core->IsRegistered());
    for (int i = 0; i < 2999; ++i)
        core->KeepAliveTick();
    EXPECT_EQ(protocol->Count("Register"), 1);
    // Countdown 3000 -> 1: pings at 2970, 2940, ... 30 (99 of them, 30 s apart).
    EXPECT_EQ(protocol->Count("SendPing"), 99);
    core->KeepAliveTick();
    EXPECT_EQ(protocol->Count("Register"), 2);
    EXPECT_EQ(core->GetCountdown(), 3000);
    // The re-registration clears "registered" until the next success: no ping meanwhile.
    EXPECT_FALSE(core->IsRegistered());
    for (int i = 0; i < 60; ++i)
        core->KeepAliveTick();
    EXPECT_EQ(protocol->Count("SendPing"), 99);

    protocol->pingResult = -1;
    Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    for (int i = 0; i < 30; ++i)
        core->KeepAliveTick();
    EXPECT_EQ(core->GetLastError(), 400017);
}

TEST_F(CoreTest, MinimumExpiryReRegistersOnEveryTick)
{
    StartSip();
    core->Register("1001", "1001", "pw1001", 600);
    core->KeepAliveTick();
    core->KeepAliveTick();
    EXPECT_EQ(protocol->Count("Register"), 3);
}

TEST_F(CoreTest, RegistrationEventsFollowTheRegisteredFlag)
{
    StartSip();
    Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    EXPECT_TRUE(core->IsRegistered());
    Raise(MXSS_STATUS_REGISTRATION_FAILURE, nullptr);
    EXPECT_TRUE(core->IsRegistered());
    Raise(MXSS_STATUS_REGISTRATION_TIMEOUT, nullptr);
    EXPECT_FALSE(core->IsRegistered());
    ASSERT_EQ(forwarded.size(), 3u);
    EXPECT_EQ(forwarded[0].status, 1);
    EXPECT_EQ(forwarded[1].status, 2);
    EXPECT_EQ(forwarded[2].status, 3);
    for (const Forwarded& f : forwarded)
        EXPECT_FALSE(f.hadRecord);
}

TEST_F(CoreTest, SuccessAfterUnRegisterReachesTheWindowAsLogoutAndStopsKeepAlive)
{
    StartSip();
    core->Register("1001", "1001", "pw1001", 3600);
    Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    EXPECT_EQ(core->UnRegister("1001", "1001", "pw1001", 3600), 0);
    Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    ASSERT_EQ(forwarded.size(), 2u);
    EXPECT_EQ(forwarded[1].status, MXSS_STATUS_LOGOUT);
    EXPECT_FALSE(core->IsRegistered());
    EXPECT_EQ(core->GetCountdown(), MXSPCore::kCountdownOff);
    for (int i = 0; i < 4000; ++i)
        core->KeepAliveTick();
    EXPECT_EQ(protocol->Count("Register"), 1);
    EXPECT_EQ(protocol->Count("SendPing"), 0);
    // The next success is an ordinary one again.
    Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    EXPECT_EQ(forwarded.back().status, 1);

    protocol->unregisterResult = -1;
    EXPECT_LT(core->UnRegister("1001", "1001", "pw1001", 3600), 0);
    EXPECT_EQ(core->GetLastError(), 400018);
    Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    EXPECT_EQ(forwarded.back().status, 1);
}

TEST_F(CoreTest, SecondIncomingCallIsRejectedWithoutTheWindowHearingOfIt)
{
    StartSip();
    SESSION_EVENT_INFO first = Record(11);
    CopyText(first.fromUserName, "1002");
    Raise(MXSS_STATUS_INCOMING_CALL, &first);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_INCOMING);
    EXPECT_EQ(protocol->Count("SendRinging"), 1);
    EXPECT_EQ(core->GetCurrentCall().cid, 11);
    ASSERT_EQ(forwarded.size(), 1u);

    SESSION_EVENT_INFO second = Record(12);
    Raise(MXSS_STATUS_INCOMING_CALL, &second);
    EXPECT_EQ(forwarded.size(), 1u);
    const phonetest::Call* reject = protocol->Last("RejectIncomingCall");
    ASSERT_NE(reject, nullptr);
    EXPECT_EQ(reject->cid, 12);
    EXPECT_EQ(core->GetLastError(), 400019);
    EXPECT_EQ(core->GetCurrentCall().cid, 11);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_INCOMING);
}

TEST_F(CoreTest, AnsweredIncomingCallConnectsOnTheAckWithTheStoredMedia)
{
    StartSip();
    SESSION_EVENT_INFO offer = Record(11);
    CopyText(offer.rtpIp, "127.0.6.50");
    CopyText(offer.rtpPort, "30000");
    CopyText(offer.codecName, "PCMU");
    CopyText(offer.codecPayload, "0");
    Raise(MXSS_STATUS_INCOMING_CALL, &offer);
    EXPECT_EQ(core->AcceptCall(), 0);
    EXPECT_EQ(protocol->Last("AcceptIncomingCall")->cid, 11);

    SESSION_EVENT_INFO ack = Record(11);
    EXPECT_EQ(Raise(MXSS_STATUS_CALL_ACK, &ack), 1);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_CONNECTED);
    EXPECT_EQ(protocol->Count("StartListen"), 1);
    ASSERT_EQ(forwarded.size(), 2u);
    EXPECT_STREQ(forwarded[1].record.rtpIp, "127.0.6.50");
    EXPECT_STREQ(forwarded[1].record.codecName, "PCMU");

    SESSION_EVENT_INFO bye = Record(11);
    Raise(MXSS_STATUS_CALL_CLOSED, &bye);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE);
    EXPECT_EQ(core->GetCurrentCall().cid, 0);
    EXPECT_EQ(protocol->Count("StopListen"), 1);
    EXPECT_EQ(forwarded.back().status, MXSS_STATUS_CALL_CLOSED);
}

TEST_F(CoreTest, MediaStartFailuresAreNotForwarded)
{
    StartSip();
    protocol->startListenResult = -1;
    SESSION_EVENT_INFO offer = Record(11);
    Raise(MXSS_STATUS_INCOMING_CALL, &offer);
    SESSION_EVENT_INFO ack = Record(11);
    EXPECT_EQ(Raise(MXSS_STATUS_CALL_ACK, &ack), -1);
    EXPECT_EQ(core->GetLastError(), 400019);
    EXPECT_EQ(forwarded.size(), 1u);

    core = nullptr;
    forwarded.clear();
    Make(false);
    PlaceCall();
    protocol->startListenResult = 0;
    SESSION_EVENT_INFO ok = Record(7, 200);
    EXPECT_EQ(Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &ok), -1);
    EXPECT_EQ(core->GetLastError(), 400020);
    EXPECT_TRUE(forwarded.empty());
}

TEST_F(CoreTest, OutgoingCallMovesThroughItsStates)
{
    PlaceCall();
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_OUTGOING);
    EXPECT_FALSE(core->IsCallExists());

    SESSION_EVENT_INFO trying = Record(7, 0);
    Raise(MXSS_STATUS_CALL_PROCEEDING, &trying);
    EXPECT_TRUE(forwarded.empty()); // below 100: nothing
    EXPECT_FALSE(core->IsCallExists());
    trying.statusCode = 100;
    Raise(MXSS_STATUS_CALL_PROCEEDING, &trying);
    EXPECT_TRUE(core->IsCallExists());
    SESSION_EVENT_INFO ringing = Record(7, 180);
    Raise(MXSS_STATUS_CALL_RINGING, &ringing);
    EXPECT_EQ(protocol->Count("StartListen"), 0);
    SESSION_EVENT_INFO answer = Record(7, 200);
    CopyText(answer.codecName, "PCMA");
    Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &answer);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_CONNECTED);
    EXPECT_EQ(protocol->Count("StartListen"), 1);
    ASSERT_EQ(forwarded.size(), 3u);
    EXPECT_EQ(forwarded[0].status, 7);
    EXPECT_EQ(forwarded[1].status, 8);
    EXPECT_EQ(forwarded[2].status, 9);

    EXPECT_EQ(core->HangUpCall(), 0);
    EXPECT_EQ(protocol->Last("HangUp")->cid, 7);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE);
    EXPECT_EQ(protocol->Count("StopListen"), 1);
    SESSION_EVENT_INFO released = Record(7);
    Raise(MXSS_STATUS_CALL_RELEASED, &released);
    EXPECT_EQ(forwarded.back().status, MXSS_STATUS_CALL_RELEASED);
    EXPECT_EQ(core->GetCurrentCall().cid, 0);
}

TEST_F(CoreTest, HangUpBeforeAnyAnswerCancelsOnTheFirstAnswerSilently)
{
    PlaceCall();
    EXPECT_EQ(core->HangUpCall(), 0);
    EXPECT_TRUE(core->IsHangUpPending());
    EXPECT_EQ(protocol->Count("HangUp"), 0);

    SESSION_EVENT_INFO trying = Record(7, 100);
    EXPECT_EQ(Raise(MXSS_STATUS_CALL_PROCEEDING, &trying), -1);
    EXPECT_EQ(protocol->Count("HangUp"), 1);
    EXPECT_FALSE(core->IsHangUpPending());
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE);
    // What the cancelled call still reports never reaches the window.
    SESSION_EVENT_INFO cancelled = Record(7, 487);
    Raise(MXSS_STATUS_CALL_REQUESTFAILURE, &cancelled);
    EXPECT_TRUE(forwarded.empty());
}

TEST_F(CoreTest, HangUpPendingAlsoEndsACallWhoseFirstAnswerIsTheFinalOne)
{
    PlaceCall();
    core->HangUpCall();
    SESSION_EVENT_INFO answer = Record(7, 200);
    EXPECT_EQ(Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &answer), -1);
    EXPECT_EQ(protocol->Count("HangUp"), 1);
    EXPECT_EQ(protocol->Count("StartListen"), 0);
    EXPECT_TRUE(forwarded.empty());
}

TEST_F(CoreTest, EarlyMediaStartsOnceOnA183WithACodec)
{
    PlaceCall();
    SESSION_EVENT_INFO early = Record(7, 183);
    Raise(MXSS_STATUS_CALL_RINGING, &early);
    EXPECT_EQ(protocol->Count("StartListen"), 0); // no codec: no media
    CopyText(early.codecName, "PCMU");
    Raise(MXSS_STATUS_CALL_RINGING, &early);
    Raise(MXSS_STATUS_CALL_RINGING, &early);
    EXPECT_EQ(protocol->Count("StartListen"), 1);
    EXPECT_EQ(forwarded.size(), 3u);
}

TEST_F(CoreTest, FailuresResetTheCallExceptProxyAuthentication)
{
    PlaceCall();
    SESSION_EVENT_INFO auth = Record(7, 407);
    Raise(MXSS_STATUS_CALL_REQUESTFAILURE, &auth);
    EXPECT_TRUE(forwarded.empty());
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_OUTGOING);

    SESSION_EVENT_INFO busy = Record(7, 486);
    Raise(MXSS_STATUS_CALL_REQUESTFAILURE, &busy);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE);
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].record.statusCode, 486);

    for (int status : {10, 12, 13, 15, 16, 18, 20}) {
        forwarded.clear();
        ASSERT_EQ(core->MakeCall("1001", "1002", "h", "5060", nullptr, nullptr), 7);
        SESSION_EVENT_INFO failure = Record(7, 500);
        Raise(status, &failure);
        EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE) << status;
        ASSERT_EQ(forwarded.size(), 1u) << status;
        EXPECT_EQ(forwarded[0].status, status);
    }
}

TEST_F(CoreTest, EventsOfOtherCallsAndFilteredStatusesAreDropped)
{
    PlaceCall();
    SESSION_EVENT_INFO other = Record(8, 180);
    Raise(MXSS_STATUS_CALL_RINGING, &other);
    Raise(MXSS_STATUS_CALL_CLOSED, &other);
    SESSION_EVENT_INFO none = Record(0, 180);
    Raise(MXSS_STATUS_CALL_RINGING, &none);
    SESSION_EVENT_INFO mine = Record(7, 100);
    for (int status : {0, 5, 19, 22, 50, 100, 103, -1})
        EXPECT_EQ(Raise(status, &mine), 1);
    Raise(MXSS_STATUS_CALL_PROCEEDING, nullptr);
    EXPECT_TRUE(forwarded.empty());
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_OUTGOING);
}

TEST_F(CoreTest, InviteResultOnlyWhileCallingAndOtherMessagesAlways)
{
    StartSip();
    SESSION_EVENT_INFO result = Record(7);
    Raise(MXSS_STATUS_INVITE_RESULT, &result);
    EXPECT_TRUE(forwarded.empty());
    ASSERT_EQ(core->MakeCall("1001", "1002", "h", "5060", nullptr, nullptr), 7);
    Raise(MXSS_STATUS_INVITE_RESULT, &result);
    EXPECT_EQ(forwarded.size(), 1u);
    SESSION_EVENT_INFO message = Record(0);
    Raise(MXSS_STATUS_OTHER_SIP_MESSAGE, &message);
    EXPECT_EQ(forwarded.size(), 2u);
}

TEST_F(CoreTest, NoAnswerHangsUpAgainAfterAFailure)
{
    PlaceCall();
    protocol->hangUpFailures = 1;
    SESSION_EVENT_INFO noAnswer = Record(7);
    auto start = std::chrono::steady_clock::now();
    Raise(MXSS_STATUS_CALL_NOANSWER, &noAnswer);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(protocol->Count("HangUp"), 2);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE);
    EXPECT_EQ(forwarded.size(), 1u);
}

TEST_F(CoreTest, RejectAndLogoutEndTheCall)
{
    StartSip();
    SESSION_EVENT_INFO offer = Record(11);
    Raise(MXSS_STATUS_INCOMING_CALL, &offer);
    EXPECT_EQ(core->RejectCall(), 0);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE);
    SESSION_EVENT_INFO again = Record(12);
    Raise(MXSS_STATUS_INCOMING_CALL, &again);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_INCOMING);
    protocol->rejectResult = -4;
    EXPECT_LT(core->RejectCall(), 0);
    EXPECT_EQ(core->GetLastError(), 400012);
    protocol->acceptResult = -2;
    EXPECT_LT(core->AcceptCall(), 0);
    EXPECT_EQ(core->GetLastError(), 400013);

    Raise(MXSS_STATUS_LOGOUT, nullptr);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_IDLE);
    EXPECT_EQ(core->GetCurrentCall().cid, 0);
    EXPECT_EQ(forwarded.back().status, MXSS_STATUS_LOGOUT);
}

TEST_F(CoreTest, TunnelCallTakesItsIdFromTheServersFirstAnswer)
{
    ASSERT_GE(core->StartTunnel(0, "", 0, "tunnel.zelora.test", nullptr), 0);
    protocol->inviteResult = 1; // the tunnel's Invite reports success, not a call ID
    ASSERT_EQ(core->MakeCall("1001", "echo", "h", "5060", nullptr, nullptr), 1);
    SESSION_EVENT_INFO trying = Record(42, 100);
    Raise(MXSS_STATUS_CALL_PROCEEDING, &trying);
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(core->GetCurrentCall().cid, 42);
    // Once the call is known, other calls' events are dropped again.
    SESSION_EVENT_INFO stray = Record(43, 200);
    Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &stray);
    EXPECT_EQ(forwarded.size(), 1u);
    SESSION_EVENT_INFO answer = Record(42, 200);
    Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &answer);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_CONNECTED);
}

TEST_F(CoreTest, SipCallKeepsTheIdItsInviteReturned)
{
    PlaceCall();
    SESSION_EVENT_INFO other = Record(42, 100);
    Raise(MXSS_STATUS_CALL_PROCEEDING, &other);
    EXPECT_TRUE(forwarded.empty());
    EXPECT_EQ(core->GetCurrentCall().cid, 7);
}

TEST(CoreThread, KeepAliveThreadStopsPromptlyWithTheCore)
{
    CODEC_INFO codecs[1]{};
    std::vector<Forwarded> forwarded;
    MXSPCore::Options options;
    options.factory = [](bool, const TunnelSettings&) { return std::unique_ptr<CSessionProtocol>(); };
    auto start = std::chrono::steady_clock::now();
    {
        MXSPCore core("r", "h", "5060", &Recorder, &forwarded, codecs, 1, "ua", 0, options);
        EXPECT_EQ(core.StartSipStack(nullptr), -1);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

} // namespace

// Our own hang-up ends the call at once: the next call starts clean in either protocol, and
// only the ended call's own release still reaches the window.
TEST_F(CoreTest, CallsAfterOurOwnHangUpStartClean)
{
    ASSERT_GE(core->StartTunnel(0, "", 0, "tunnel.zelora.test", nullptr), 0);
    protocol->inviteResult = 1;
    for (int cid : {42, 43}) {
        ASSERT_EQ(core->MakeCall("1001", "echo", "h", "5060", nullptr, nullptr), 1);
        SESSION_EVENT_INFO ringing = Record(cid, 183);
        CopyText(ringing.codecName, "PCMA");
        Raise(MXSS_STATUS_CALL_RINGING, &ringing);
        SESSION_EVENT_INFO answer = Record(cid, 200);
        Raise(MXSS_STATUS_OUTGOING_CALL_ANSWERED, &answer);
        ASSERT_EQ(core->GetCallState(), MXSPCore::CALL_CONNECTED) << "call " << cid;
        ASSERT_EQ(forwarded.back().status, MXSS_STATUS_OUTGOING_CALL_ANSWERED);
        ASSERT_EQ(protocol->Count("StartListen"), 2 * (cid - 41)) << "early media of call " << cid;
        EXPECT_EQ(core->HangUpCall(), 0);
        EXPECT_EQ(protocol->Last("HangUp")->cid, cid);
        EXPECT_FALSE(core->IsCallExists());
        EXPECT_EQ(core->GetCurrentCall().cid, 0);
    }
    // A late answer of the ended call is not taken for the next call's first one.
    ASSERT_EQ(core->MakeCall("1001", "echo", "h", "5060", nullptr, nullptr), 1);
    SESSION_EVENT_INFO late = Record(43, 200);
    Raise(MXSS_STATUS_CALL_CLOSED, &late);
    EXPECT_EQ(core->GetCurrentCall().cid, 1);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_OUTGOING);

    // SIP: redialled before the old call's release, the new call still gets its early media and
    // the old release is not taken for the new call's end.
    Make(false);
    forwarded.clear();
    PlaceCall();
    SESSION_EVENT_INFO ringing = Record(7, 183);
    CopyText(ringing.codecName, "PCMA");
    Raise(MXSS_STATUS_CALL_RINGING, &ringing);
    EXPECT_EQ(core->HangUpCall(), 0);
    protocol->inviteResult = 8;
    ASSERT_EQ(core->MakeCall("1001", "1002", "sip.zelora.test", "5060", nullptr, nullptr), 8);
    SESSION_EVENT_INFO oldRelease = Record(7);
    Raise(MXSS_STATUS_CALL_RELEASED, &oldRelease);
    EXPECT_EQ(core->GetCallState(), MXSPCore::CALL_OUTGOING);
    ringing.cid = 8;
    Raise(MXSS_STATUS_CALL_RINGING, &ringing);
    EXPECT_EQ(protocol->Count("StartListen"), 2);
    EXPECT_EQ(protocol->Last("StartListen")->cid, 8);
    EXPECT_EQ(forwarded.back().status, MXSS_STATUS_CALL_RINGING);
    EXPECT_EQ(forwarded.back().record.cid, 8);
}
