// Calls between the stack and baresip through Kamailio, both directions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "BaresipPeer.h"
#include "KamailioPeer.h"
#include "SipStackHarness.h"

using namespace std::chrono_literals;
using namespace zelora::test;

namespace {

// Kamailio, a registered stack (1001) and a registered baresip (1002) on one slot.
class SipCall : public ::testing::Test {
protected:
    void Start(int slot, bool baresipAutoAnswer = true)
    {
        ASSERT_EQ(m_kamailio.Start({SlotAddress(slot, 1)}), "");
        BaresipPeer::Options b;
        b.ip = SlotAddress(slot, 3);
        b.user = "1002";
        b.password = "pw1002";
        b.registrar = m_kamailio.Ip();
        b.autoAnswer = baresipAutoAnswer;
        ASSERT_EQ(m_baresip.Start(b), "");
        m_stack = std::make_unique<StackHarness>(SlotAddress(slot, 2), m_kamailio.Ip());
        ASSERT_EQ(m_stack->Init(), 1);
        ASSERT_EQ(m_stack->Register("1001", "pw1001"), 1);
        ASSERT_TRUE(m_stack->Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 10s).has_value())
            << m_stack->Events().Describe();
    }

    void TearDown() override
    {
        if (HasFailure() && m_stack != nullptr)
            std::cerr << m_stack->Events().Describe() << "\n--- kamailio\n"
                      << m_kamailio.Log() << "\n--- baresip\n"
                      << m_baresip.Log() << "\n";
        m_stack.reset();
    }

    // The media address and codec of a negotiated record.
    void ExpectBaresipMedia(const SESSION_EVENT_INFO& r)
    {
        EXPECT_STREQ(r.rtpIp, m_baresip.Ip().c_str());
        int port = std::atoi(r.rtpPort);
        EXPECT_GE(port, 30000);
        EXPECT_LE(port, 30099);
        ASSERT_GE(r.selectedCodecIndex, 0);
        ASSERT_LT(r.selectedCodecIndex, 3);
        const CODEC_INFO& local = m_stack->Codecs()[r.selectedCodecIndex];
        EXPECT_EQ(strcasecmp(r.codecName, local.name), 0) << r.codecName;
        EXPECT_TRUE(std::strcmp(r.codecName, "PCMU") == 0 || std::strcmp(r.codecName, "PCMA") == 0) << r.codecName;
        EXPECT_STREQ(r.codecPayload, std::strcmp(r.codecName, "PCMU") == 0 ? "0" : "8");
        EXPECT_STREQ(r.codecFreq, "8000");
    }

    // Places our call to 1002 and waits for the answer.
    std::optional<StackEvent> CallBaresip(const char* ownUser = "1001")
    {
        int cid = m_stack->Stack().Invite(ownUser, "1002", m_kamailio.Ip().c_str(), "5060", nullptr, nullptr);
        EXPECT_GT(cid, 0);
        auto answered = m_stack->Events().Wait(MXSS_STATUS_OUTGOING_CALL_ANSWERED, 10s);
        if (answered.has_value()) {
            EXPECT_EQ(answered->record.cid, cid);
        }
        return answered;
    }

    KamailioPeer m_kamailio;
    BaresipPeer m_baresip;
    std::unique_ptr<StackHarness> m_stack;
};

TEST_F(SipCall, OurCallIsProceedingRingingAnsweredWithBaresipsMedia)
{
    Start(7);
    auto answered = CallBaresip();
    ASSERT_TRUE(answered.has_value());
    ExpectBaresipMedia(answered->record);
    EXPECT_EQ(answered->record.statusCode, 200);
    EXPECT_EQ(m_stack->Stack().FromAddress(), "sip:1001@" + m_kamailio.Ip() + ":5060");

    // 7 and 8 came before 9, with the same call.
    auto all = m_stack->Events().All();
    int proceeding = -1;
    int ringing = -1;
    int done = -1;
    for (int i = 0; i < static_cast<int>(all.size()); ++i) {
        if (all[i].status == MXSS_STATUS_CALL_PROCEEDING && proceeding < 0)
            proceeding = i;
        if (all[i].status == MXSS_STATUS_CALL_RINGING && ringing < 0)
            ringing = i;
        if (all[i].status == MXSS_STATUS_OUTGOING_CALL_ANSWERED)
            done = i;
    }
    ASSERT_GE(proceeding, 0) << m_stack->Events().Describe();
    ASSERT_GE(ringing, 0) << m_stack->Events().Describe();
    EXPECT_LT(proceeding, done);
    EXPECT_LT(ringing, done);
    EXPECT_EQ(all[ringing].record.cid, answered->record.cid);
    ASSERT_FALSE(m_baresip.WaitEvent("CALL_ESTABLISHED", 5s).empty()) << m_baresip.Log();

    // Our hang-up: BYE through Kamailio, baresip ends the call, nothing fails on our side.
    ASSERT_EQ(m_stack->Stack().HangUp(&answered->record), 1);
    EXPECT_FALSE(m_baresip.WaitEvent("CALL_CLOSED", 5s).empty());
    EXPECT_NE(m_kamailio.Log().find("request BYE from sip:1001@"), std::string::npos);
    EXPECT_FALSE(m_stack->Events().Wait(MXSS_STATUS_CALL_MESSAGE_REQUESTFAILURE, 1s).has_value())
        << "our BYE was refused";
}

TEST_F(SipCall, FarEndHangUpGivesStatus17AndOwnUserWithHostIsTakenAsIs)
{
    Start(8);
    std::string own = "1001@" + m_kamailio.Ip();
    auto answered = CallBaresip(own.c_str());
    ASSERT_TRUE(answered.has_value());
    EXPECT_EQ(m_stack->Stack().FromAddress(), "sip:" + own);
    ASSERT_FALSE(m_baresip.WaitEvent("CALL_ESTABLISHED", 5s).empty());
    ASSERT_EQ(m_baresip.Command("hangup"), "");
    auto closed = m_stack->Events().Wait(MXSS_STATUS_CALL_CLOSED, 5s);
    ASSERT_TRUE(closed.has_value());
    EXPECT_EQ(closed->record.cid, answered->record.cid);
}

TEST_F(SipCall, IncomingCallIsRungAcceptedAndAcknowledged)
{
    Start(9, false);
    ASSERT_EQ(m_baresip.Command("dial", "sip:1001@" + m_kamailio.Ip()), "");
    auto incoming = m_stack->Events().Wait(MXSS_STATUS_INCOMING_CALL, 10s);
    ASSERT_TRUE(incoming.has_value());
    SESSION_EVENT_INFO call = incoming->record;
    EXPECT_STREQ(call.fromUserName, "1002");
    EXPECT_STREQ(call.toUserName, "1001");
    EXPECT_GT(call.tid, 0);
    ExpectBaresipMedia(call);

    ASSERT_EQ(m_stack->Stack().SendRinging(&call), 1);
    EXPECT_FALSE(m_baresip.WaitEvent("CALL_RINGING", 5s).empty()) << "baresip did not see our 180";
    ASSERT_EQ(m_stack->Stack().AcceptIncomingCall(&call, m_stack->LocalIp().c_str(), "40000"), 1);
    EXPECT_FALSE(m_baresip.WaitEvent("CALL_ESTABLISHED", 5s).empty());
    auto ack = m_stack->Events().Wait(MXSS_STATUS_CALL_ACK, 5s);
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->record.cid, call.cid);
    ASSERT_EQ(m_baresip.Command("hangup"), "");
    EXPECT_TRUE(m_stack->Events().Wait(MXSS_STATUS_CALL_CLOSED, 5s).has_value());
}

TEST_F(SipCall, RejectedIncomingCallIsBusyAtBaresip)
{
    Start(10, false);
    ASSERT_EQ(m_baresip.Command("dial", "sip:1001@" + m_kamailio.Ip()), "");
    auto incoming = m_stack->Events().Wait(MXSS_STATUS_INCOMING_CALL, 10s);
    ASSERT_TRUE(incoming.has_value());
    SESSION_EVENT_INFO call = incoming->record;
    ASSERT_EQ(m_stack->Stack().RejectIncomingCall(&call), 1);
    std::string closed = m_baresip.WaitEvent("CALL_CLOSED", 5s);
    ASSERT_FALSE(closed.empty());
    EXPECT_NE(closed.find("486"), std::string::npos) << closed;
}

} // namespace
