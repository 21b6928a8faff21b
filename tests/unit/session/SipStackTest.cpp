// SIP stack checks that need no network: Init and Register argument order, DTMF bodies,
// event names, and a stack destroyed without Init.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "session/sdp/CMXSdpNegotiator.h"
#include "session/CMXSipStack.h"

namespace {

int Callback(int, void*, SESSION_EVENT_INFO*) { return 0; }

class SipStackInit : public ::testing::Test {
protected:
    void SetUp() override { m_count = CMXSdpNegotiator::BuildCodecList("102,8,0,", m_codecs, MAX_CODEC_COUNT); }

    int Init(SESSION_CALLBACK cb, const char* realm, const char* host, const char* port, void* ctx, const char* log,
             CODEC_INFO* codecs, int count, const char* ua)
    {
        CMXSipStack stack;
        return stack.Init(realm, host, port, cb, ctx, log, codecs, count, ua, 0);
    }

    CODEC_INFO m_codecs[MAX_CODEC_COUNT] = {};
    int m_count = 0;
    int m_context = 0;
};

TEST_F(SipStackInit, ArgumentsAreCheckedInOrder)
{
    EXPECT_EQ(Init(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr), -1);
    EXPECT_EQ(Init(Callback, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr), -2);
    EXPECT_EQ(Init(Callback, "r", nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr), -3);
    EXPECT_EQ(Init(Callback, "r", "h", nullptr, nullptr, nullptr, nullptr, 0, nullptr), -4);
    EXPECT_EQ(Init(Callback, "r", "h", "5060", nullptr, nullptr, nullptr, 0, nullptr), -7);
    EXPECT_EQ(Init(Callback, "r", "h", "5060", nullptr, nullptr, m_codecs, 0, nullptr), -8);
    EXPECT_EQ(Init(Callback, "r", "h", "5060", nullptr, nullptr, m_codecs, m_count, nullptr), -9);
    EXPECT_EQ(Init(Callback, "r", "h", "5060", &m_context, nullptr, m_codecs, m_count, nullptr), -10);
}

TEST_F(SipStackInit, NullContextAloneFailsWithMinus9)
{
    EXPECT_EQ(Init(Callback, "r", "h", "5060", nullptr, nullptr, m_codecs, m_count, "ua"), -9);
}

TEST_F(SipStackInit, UnwritableLogFileFailsWithMinus7)
{
    EXPECT_EQ(
        Init(Callback, "r", "h", "5060", &m_context, "/nonexistent-dir/for/sure/sip.log", m_codecs, m_count, "ua"), -7);
}

TEST(SipStackRegister, UserIdIsCheckedFirstThenPasswordThenDisplayName)
{
    CMXSipStack stack;
    EXPECT_EQ(stack.Register("name", nullptr, nullptr, 3600, nullptr, nullptr, 0), -1);
    EXPECT_EQ(stack.Register("name", "1001", nullptr, 3600, nullptr, nullptr, 0), -2);
    EXPECT_EQ(stack.Register(nullptr, "1001", "pw", 3600, nullptr, nullptr, 0), -3);
}

TEST(SipStackLifecycle, DestroyingAnUninitialisedStackIsQuick)
{
    auto start = std::chrono::steady_clock::now();
    {
        CMXSipStack stack;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(SipStackDtmf, SignalAndDurationLines)
{
    int signal = -1;
    int duration = -1;
    ASSERT_TRUE(CMXSipStack::ParseDtmfBody("Signal=#\r\nDuration=160\r\n", signal, duration));
    EXPECT_EQ(signal, 11);
    EXPECT_EQ(duration, 160);
    ASSERT_TRUE(CMXSipStack::ParseDtmfBody("Signal=*\nDuration=100", signal, duration));
    EXPECT_EQ(signal, 10);
    EXPECT_EQ(duration, 100);
    ASSERT_TRUE(CMXSipStack::ParseDtmfBody("Duration= 250\r\nSignal= 7 \r\n", signal, duration));
    EXPECT_EQ(signal, 7);
    EXPECT_EQ(duration, 250);
    ASSERT_TRUE(CMXSipStack::ParseDtmfBody("Signal=0", signal, duration));
    EXPECT_EQ(signal, 0);
    EXPECT_EQ(duration, 0);
}

TEST(SipStackDtmf, BodiesWithoutAUsableSignalYieldNoDtmf)
{
    int signal = -1;
    int duration = -1;
    EXPECT_FALSE(CMXSipStack::ParseDtmfBody("", signal, duration));
    EXPECT_FALSE(CMXSipStack::ParseDtmfBody("Duration=160\r\n", signal, duration));
    EXPECT_FALSE(CMXSipStack::ParseDtmfBody("Signal=\r\n", signal, duration));
    EXPECT_FALSE(CMXSipStack::ParseDtmfBody("Signal=A\r\n", signal, duration));
    EXPECT_FALSE(CMXSipStack::ParseDtmfBody("Signal 5\r\n", signal, duration));
    std::string huge(100000, 'S');
    EXPECT_FALSE(CMXSipStack::ParseDtmfBody(huge, signal, duration));
}

TEST(SipStackEvents, NamesFollowTheLibraryNumbering)
{
    EXPECT_STREQ(CMXSipStack::EventName(0), "EXOSIP_REGISTRATION_NEW");
    EXPECT_STREQ(CMXSipStack::EventName(5), "EXOSIP_CALL_INVITE");
    EXPECT_STREQ(CMXSipStack::EventName(18), "EXOSIP_CALL_MESSAGE_NEW");
    EXPECT_STREQ(CMXSipStack::EventName(25), "EXOSIP_CALL_CLOSED");
    EXPECT_STREQ(CMXSipStack::EventName(27), "EXOSIP_MESSAGE_NEW");
    EXPECT_STREQ(CMXSipStack::EventName(53), "EXOSIP_NOTIFICATION_GLOBALFAILURE");
    EXPECT_STREQ(CMXSipStack::EventName(54), "EXOSIP_EVENT_COUNT");
    EXPECT_STREQ(CMXSipStack::EventName(55), "UNKNOWN");
    EXPECT_STREQ(CMXSipStack::EventName(-1), "UNKNOWN");
}

} // namespace
