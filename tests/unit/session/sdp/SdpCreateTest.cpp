// The SDP text we send: layout, one-codec answers and the bounds of every part.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "session/sdp/CMXSdpNegotiator.h"

namespace {

std::vector<std::string> Lines(const std::string& sdp)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < sdp.size()) {
        std::size_t end = sdp.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(sdp.substr(pos));
            break;
        }
        lines.push_back(sdp.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Payload numbers on the m= line.
std::vector<std::string> MediaPayloads(const std::string& sdp)
{
    std::vector<std::string> out;
    for (const std::string& line : Lines(sdp)) {
        if (line.rfind("m=audio ", 0) != 0)
            continue;
        std::size_t at = line.find("RTP/AVP");
        std::string rest = line.substr(at + 7);
        std::size_t pos = 0;
        while ((pos = rest.find(' ', pos)) != std::string::npos) {
            std::size_t next = rest.find(' ', pos + 1);
            out.push_back(rest.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1));
            pos = pos + 1;
        }
    }
    return out;
}

int CountPrefix(const std::string& sdp, const std::string& prefix)
{
    int n = 0;
    for (const std::string& line : Lines(sdp))
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

TEST(SdpCreate, OfferHasTheFixedLayout)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    int n = CMXSdpNegotiator::BuildCodecList("102,8,0,", list, MAX_CODEC_COUNT);
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    ASSERT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, n, "192.0.2.7", "37644", "Agent 1.0"), 3);
    std::regex layout("v=0\r\n"
                      "o=- 2[0-9]+ 3[0-9]+ IN IP4 192\\.0\\.2\\.7\r\n"
                      "s=Agent 1\\.0\r\n"
                      "c=IN IP4 192\\.0\\.2\\.7\r\n"
                      "t=0 0\r\n"
                      "m=audio 37644 RTP/AVP 102 8 0\r\n"
                      "a=rtpmap:102 iLBC/8000\r\n"
                      "a=fmtp:102 mode=30\r\n"
                      "a=rtpmap:8 PCMA/8000\r\n"
                      "a=rtpmap:0 PCMU/8000\r\n"
                      "a=direction:active\r\n");
    EXPECT_TRUE(std::regex_match(std::string(sdp), layout)) << sdp;
}

TEST(SdpCreate, AnswerCarriesExactlyTheOneCodec)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    int n = CMXSdpNegotiator::BuildCodecList("102,8,0,", list, MAX_CODEC_COUNT);
    ASSERT_EQ(n, 3);
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    ASSERT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, &list[1], 1, "127.0.0.1", "4000", "ua"), 1);
    EXPECT_EQ(MediaPayloads(sdp), std::vector<std::string>{"8"});
    EXPECT_EQ(CountPrefix(sdp, "a=rtpmap:"), 1);
    EXPECT_EQ(CountPrefix(sdp, "a=fmtp:"), 0);
    EXPECT_EQ(std::string(sdp).find("telephone-event"), std::string::npos);
}

TEST(SdpCreate, TwentyLongCodecsAreDroppedWholeFromTheEnd)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    std::memset(list, 0, sizeof list);
    for (int i = 0; i < MAX_CODEC_COUNT; ++i) {
        std::string name = "codec" + std::to_string(i) + std::string(30, 'x');
        CopyText(list[i].name, name);
        list[i].payload = static_cast<std::uint8_t>(96 + i);
        list[i].frequency = 16000;
        list[i].mode = 20;
    }
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    int written = CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, MAX_CODEC_COUNT, "203.0.113.250", "65000", "ua");
    ASSERT_GT(written, 0);
    ASSERT_LT(written, MAX_CODEC_COUNT) << "twenty codecs with mode lines cannot fit";
    std::string text(sdp);
    EXPECT_LT(text.size(), CMXSdpNegotiator::kSdpBufferSize);
    EXPECT_EQ(text.substr(text.size() - 20), "a=direction:active\r\n") << "the SDP was cut";
    std::vector<std::string> payloads = MediaPayloads(text);
    ASSERT_EQ(static_cast<int>(payloads.size()), written);
    EXPECT_EQ(CountPrefix(text, "a=rtpmap:"), written);
    EXPECT_EQ(CountPrefix(text, "a=fmtp:"), written);
    std::size_t attributeBytes = 0;
    for (int i = 0; i < written; ++i) {
        EXPECT_EQ(payloads[i], std::to_string(96 + i)) << "not the first codecs kept";
        std::string map = "a=rtpmap:" + std::to_string(96 + i) + " " + list[i].name + "/16000\r\n";
        std::string fmtp = "a=fmtp:" + std::to_string(96 + i) + " mode=20\r\n";
        EXPECT_NE(text.find(map + fmtp), std::string::npos) << "codec " << i << " not whole";
        attributeBytes += map.size() + fmtp.size();
    }
    EXPECT_LE(attributeBytes, CMXSdpNegotiator::kAttributeLinesLimit);
}

TEST(SdpCreate, ShortCodecListsFitAllTwenty)
{
    CODEC_INFO list[MAX_CODEC_COUNT + 3];
    std::memset(list, 0, sizeof list);
    for (int i = 0; i < MAX_CODEC_COUNT + 3; ++i) {
        CopyText(list[i].name, "PCMU");
        list[i].payload = static_cast<std::uint8_t>(i);
        list[i].frequency = 8000;
    }
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    EXPECT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, MAX_CODEC_COUNT + 3, "127.0.0.1", "1", "u"),
              MAX_CODEC_COUNT);
    EXPECT_EQ(MediaPayloads(sdp).size(), static_cast<std::size_t>(MAX_CODEC_COUNT));
}

TEST(SdpCreate, SmallBufferIsNeverOverrun)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    int n = CMXSdpNegotiator::BuildCodecList("102,8,0,", list, MAX_CODEC_COUNT);
    // 180 bytes hold the header and iLBC whatever the random numbers' lengths, never PCMA too.
    char buffer[190];
    std::memset(buffer, 'Z', sizeof buffer);
    int written = CMXSdpNegotiator::CreateSDP(buffer, 180, list, n, "127.0.0.1", "37644", "ua");
    EXPECT_EQ(buffer[180], 'Z');
    ASSERT_EQ(written, 1);
    EXPECT_LT(std::strlen(buffer), 180u);
    EXPECT_EQ(MediaPayloads(buffer).size(), static_cast<std::size_t>(written));
}

TEST(SdpCreate, UnusableArgumentsAreRefused)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    int n = CMXSdpNegotiator::BuildCodecList("0,", list, MAX_CODEC_COUNT);
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    EXPECT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, n, nullptr, "1", "ua"), -1);
    EXPECT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, n, "127.0.0.1", "", "ua"), -1);
    EXPECT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, n, "127.0.0.1", "1", "ua\r\na=inject"), -1);
    EXPECT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, 0, "127.0.0.1", "1", "ua"), -1);
    EXPECT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, nullptr, 1, "127.0.0.1", "1", "ua"), -1);
    std::string longAgent(300, 'a');
    EXPECT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, n, "127.0.0.1", "1", longAgent.c_str()), -1);
}

TEST(SdpCreate, UnnamedCodecGetsNoRtpmapLine)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    int n = CMXSdpNegotiator::BuildCodecList("96,0,", list, MAX_CODEC_COUNT);
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    ASSERT_EQ(CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, list, n, "127.0.0.1", "1", "ua"), 2);
    EXPECT_EQ((MediaPayloads(sdp)), (std::vector<std::string>{"96", "0"}));
    EXPECT_EQ(CountPrefix(sdp, "a=rtpmap:"), 1);
}

} // namespace
