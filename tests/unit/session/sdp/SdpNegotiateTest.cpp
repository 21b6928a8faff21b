// Negotiation of a peer's SDP text against our codec list.
#include <gtest/gtest.h>

#include <string>

#include "session/sdp/CMXSdpNegotiator.h"

namespace {

const char* const kHead = "v=0\r\no=- 1 1 IN IP4 198.51.100.9\r\ns=peer\r\nc=IN IP4 198.51.100.9\r\nt=0 0\r\n";

class SdpNegotiate : public ::testing::Test {
protected:
    void UseCodecs(const char* text) { m_count = CMXSdpNegotiator::BuildCodecList(text, m_local, MAX_CODEC_COUNT); }

    int Run(const std::string& sdp)
    {
        ClearEventInfo(m_record);
        return CMXSdpNegotiator::ProcessSDPText(sdp, m_local, m_count, m_record);
    }

    CODEC_INFO m_local[MAX_CODEC_COUNT] = {};
    int m_count = 0;
    SESSION_EVENT_INFO m_record{};
};

TEST_F(SdpNegotiate, PeersFirstChoiceWinsWithItsMediaAddress)
{
    UseCodecs("0,8,97,100,101,102,103,");
    ASSERT_EQ(Run(std::string(kHead) + "m=audio 30012 RTP/AVP 8 0\r\n"), 1);
    EXPECT_EQ(m_record.selectedCodecIndex, 1);
    EXPECT_STREQ(m_record.codecName, "PCMA");
    EXPECT_STREQ(m_record.codecPayload, "8");
    EXPECT_STREQ(m_record.codecFreq, "8000");
    EXPECT_STREQ(m_record.codecMode, "0");
    EXPECT_STREQ(m_record.rtpIp, "198.51.100.9");
    EXPECT_STREQ(m_record.rtpPort, "30012");
    EXPECT_EQ(m_record.telephoneEventIndex, -1);
    EXPECT_EQ(m_record.telephoneEventPayload, -1);
    EXPECT_EQ(m_record.ptime, 0);
}

TEST_F(SdpNegotiate, IlbcWithoutModeMatchesOursAndMode20DoesNot)
{
    UseCodecs("102,8,0,");
    ASSERT_EQ(Run(std::string(kHead) + "m=audio 4000 RTP/AVP 97 0\r\na=rtpmap:97 iLBC/8000\r\n"), 1);
    EXPECT_EQ(m_record.selectedCodecIndex, 0);
    EXPECT_STREQ(m_record.codecName, "iLBC");
    EXPECT_STREQ(m_record.codecPayload, "97") << "the peer's payload number, not ours";
    EXPECT_STREQ(m_record.codecMode, "30");

    ASSERT_EQ(Run(std::string(kHead) + "m=audio 4000 RTP/AVP 97 0\r\na=rtpmap:97 iLBC/8000\r\na=fmtp:97 mode=20\r\n"),
              1);
    EXPECT_EQ(m_record.selectedCodecIndex, 2);
    EXPECT_STREQ(m_record.codecName, "PCMU");

    ASSERT_EQ(Run(std::string(kHead) +
                  "m=audio 4000 RTP/AVP 97 0\r\na=rtpmap:97 iLBC/8000\r\na=fmtp:97 bitrate=1; mode=30\r\n"),
              1);
    EXPECT_STREQ(m_record.codecName, "iLBC") << "mode read from the mode parameter";
}

TEST_F(SdpNegotiate, OnlyTheFirstTwentyPayloadsCount)
{
    UseCodecs("8,");
    std::string m = "m=audio 4000 RTP/AVP";
    for (int i = 0; i < 19; ++i)
        m += " " + std::to_string(100 + i);
    ASSERT_EQ(Run(std::string(kHead) + m + " 8\r\n"), 1) << "the twentieth payload is read";
    EXPECT_STREQ(m_record.codecName, "PCMA");
    std::string m25 = "m=audio 4000 RTP/AVP";
    for (int i = 0; i < 20; ++i)
        m25 += " " + std::to_string(100 + i);
    m25 += " 8 9 10 11 12";
    EXPECT_EQ(Run(std::string(kHead) + m25 + "\r\n"), CMXSdpNegotiator::kNoMatchingCodec)
        << "the 21st of 25 payloads must not be read";
}

TEST_F(SdpNegotiate, ConnectionOnlyInsideTheMediaIsNoAddress)
{
    UseCodecs("0,");
    std::string sdp = "v=0\r\no=- 1 1 IN IP4 1.1.1.1\r\ns=x\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\nc=IN IP4 1.1.1.1\r\n";
    EXPECT_EQ(Run(sdp), CMXSdpNegotiator::kNoRemoteAudio);
}

TEST_F(SdpNegotiate, MissingOrUnreadableSdpAndNoAudio)
{
    UseCodecs("0,");
    EXPECT_EQ(Run(""), CMXSdpNegotiator::kNoRemoteSdp);
    EXPECT_EQ(Run("this is not sdp"), CMXSdpNegotiator::kNoRemoteSdp);
    EXPECT_EQ(Run(std::string(kHead) + "m=video 4000 RTP/AVP 31\r\n"), CMXSdpNegotiator::kNoRemoteAudio);
    EXPECT_EQ(Run(std::string(kHead)), CMXSdpNegotiator::kNoRemoteAudio);
    std::string withNul = std::string(kHead) + "m=audio 4000 RTP/AVP 0\r\n";
    withNul.insert(10, 1, '\0');
    EXPECT_EQ(Run(withNul), CMXSdpNegotiator::kNoRemoteSdp);
    EXPECT_EQ(Run(std::string(9000, 'v')), CMXSdpNegotiator::kNoRemoteSdp);
}

TEST_F(SdpNegotiate, MalformedAttributesAreSkippedAndLaterOnesStillApply)
{
    UseCodecs("0,");
    std::string sdp = std::string(kHead) +
        "m=audio 4000 RTP/AVP 97\r\n"
        "a=rtpmap:97 PCMU8000\r\n"
        "a=rtpmap:97/8000 PCMU\r\n"
        "a=rtpmap:abc PCMU/8000\r\n"
        "a=rtpmap:97 /8000\r\n"
        "a=rtpmap:97 PCMU/fast\r\n"
        "a=rtpmap\r\n"
        "a=fmtp:97\r\n"
        "a=fmtp:mode=30\r\n"
        "a=ptime:soon\r\n"
        "a=rtpmap:97 PCMU/8000/1\r\n";
    ASSERT_EQ(Run(sdp), 1);
    EXPECT_STREQ(m_record.codecName, "PCMU");
    EXPECT_STREQ(m_record.codecPayload, "97");
    EXPECT_STREQ(m_record.codecFreq, "8000") << "channel count is not the clock rate";
    EXPECT_EQ(m_record.ptime, 0);
}

TEST_F(SdpNegotiate, AttributesPastTwentyAreNotRead)
{
    UseCodecs("0,");
    std::string sdp = std::string(kHead) + "m=audio 4000 RTP/AVP 97\r\n";
    for (int i = 0; i < 20; ++i)
        sdp += "a=x-filler:" + std::to_string(i) + "\r\n";
    sdp += "a=rtpmap:97 PCMU/8000\r\n";
    EXPECT_EQ(Run(sdp), CMXSdpNegotiator::kNoMatchingCodec);
}

TEST_F(SdpNegotiate, NonNumericPayloadIsNotTakenForPcmu)
{
    UseCodecs("0,");
    EXPECT_EQ(Run(std::string(kHead) + "m=audio 4000 RTP/AVP abc 999\r\n"), CMXSdpNegotiator::kNoMatchingCodec);
}

TEST_F(SdpNegotiate, TelephoneEventAndPtimeAreReported)
{
    // A local list that knows telephone-event, as a caller may build by hand.
    UseCodecs("0,8,");
    CopyText(m_local[2].name, "telephone-event");
    m_local[2].payload = 101;
    m_local[2].frequency = 8000;
    m_count = 3;
    std::string sdp = std::string(kHead) +
        "m=audio 4000 RTP/AVP 0 96\r\n"
        "a=rtpmap:96 telephone-event/8000\r\n"
        "a=fmtp:96 0-15\r\n"
        "a=ptime:30\r\n";
    ASSERT_EQ(Run(sdp), 1);
    EXPECT_EQ(m_record.selectedCodecIndex, 0);
    EXPECT_EQ(m_record.telephoneEventIndex, 2);
    EXPECT_EQ(m_record.telephoneEventPayload, 96);
    EXPECT_STREQ(m_record.telephoneEventFmtp, "0-15");
    EXPECT_EQ(m_record.ptime, 30);

    // Our list has no telephone-event: the peer's offer of one is not reported.
    UseCodecs("0,8,");
    ASSERT_EQ(Run(sdp), 1);
    EXPECT_EQ(m_record.telephoneEventIndex, -1);
    EXPECT_EQ(m_record.telephoneEventPayload, -1);
    EXPECT_STREQ(m_record.telephoneEventFmtp, "");
}

TEST_F(SdpNegotiate, LongValuesStayWithinTheRecord)
{
    UseCodecs("0,");
    std::string longName(400, 'N');
    std::string longPort(300, '7');
    std::string sdp = "v=0\r\no=- 1 1 IN IP4 1.1.1.1\r\ns=x\r\nc=IN IP4 " + std::string(300, '9') +
        "\r\nt=0 0\r\nm=audio " + longPort + " RTP/AVP 0 97\r\na=rtpmap:97 " + longName + "/8000\r\na=fmtp:0 " +
        std::string(500, 'p') + "\r\n";
    ASSERT_EQ(Run(sdp), 1);
    EXPECT_EQ(std::string(m_record.rtpIp).size(), 255u);
    EXPECT_EQ(std::string(m_record.rtpPort).size(), 255u);
}

} // namespace
