// Local codec list from the codec text, and the lookups over codec lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "session/sdp/CMXSdpNegotiator.h"

namespace {

CODEC_INFO Codec(const char* name, int payload, int frequency = 8000, int mode = 0)
{
    CODEC_INFO c{};
    CopyText(c.name, name);
    c.payload = static_cast<std::uint8_t>(payload);
    c.frequency = frequency;
    c.mode = mode;
    return c;
}

TEST(SdpCodecList, PhoneTextGivesILbcPcmaPcmuInOrder)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    ASSERT_EQ(CMXSdpNegotiator::BuildCodecList("102,8,0,", list, MAX_CODEC_COUNT), 3);
    EXPECT_STREQ(list[0].name, "iLBC");
    EXPECT_EQ(list[0].payload, 102);
    EXPECT_EQ(list[0].mode, 30);
    EXPECT_EQ(list[0].frequency, 8000);
    EXPECT_STREQ(list[1].name, "PCMA");
    EXPECT_EQ(list[1].mode, 0);
    EXPECT_STREQ(list[2].name, "PCMU");
    EXPECT_EQ(list[2].payload, 0);
}

TEST(SdpCodecList, DefaultSettingNamesEveryKnownPayload)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    ASSERT_EQ(CMXSdpNegotiator::BuildCodecList("0,8,97,100,101,102,103,", list, MAX_CODEC_COUNT), 7);
    const char* names[] = {"PCMU", "PCMA", "IPCMWB", "EG711U", "EG711A", "iLBC", "ISAC"};
    for (int i = 0; i < 7; ++i)
        EXPECT_STREQ(list[i].name, names[i]) << i;
}

TEST(SdpCodecList, TokenAfterLastCommaIsNotRead)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    ASSERT_EQ(CMXSdpNegotiator::BuildCodecList("0,8", list, MAX_CODEC_COUNT), 1);
    EXPECT_STREQ(list[0].name, "PCMU");
    EXPECT_EQ(CMXSdpNegotiator::BuildCodecList("8", list, MAX_CODEC_COUNT), 0);
    EXPECT_EQ(CMXSdpNegotiator::BuildCodecList("", list, MAX_CODEC_COUNT), 0);
}

TEST(SdpCodecList, UnknownPayloadKeepsOnlyItsNumberAndGarbageIsSkipped)
{
    CODEC_INFO list[MAX_CODEC_COUNT];
    ASSERT_EQ(CMXSdpNegotiator::BuildCodecList("96,x,,300,8,", list, MAX_CODEC_COUNT), 2);
    EXPECT_EQ(list[0].payload, 96);
    EXPECT_STREQ(list[0].name, "");
    EXPECT_EQ(list[0].frequency, 0);
    EXPECT_STREQ(list[1].name, "PCMA");
}

TEST(SdpCodecList, StopsAtTwentyEntriesAndAtTheCapacity)
{
    std::string text;
    for (int i = 0; i < 25; ++i)
        text += std::to_string(i) + ",";
    CODEC_INFO list[MAX_CODEC_COUNT + 5];
    std::memset(list, 0x5a, sizeof list);
    EXPECT_EQ(CMXSdpNegotiator::BuildCodecList(text, list, MAX_CODEC_COUNT + 5), MAX_CODEC_COUNT);
    EXPECT_EQ(list[19].payload, 19);
    EXPECT_EQ(list[20].payload, 0x5a) << "wrote past twenty entries";
    CODEC_INFO small[2];
    EXPECT_EQ(CMXSdpNegotiator::BuildCodecList(text, small, 2), 2);
}

TEST(SdpCodecList, FindByPayloadTakesTheFirstEntry)
{
    CODEC_INFO list[] = {Codec("PCMU", 0), Codec("X", 97), Codec("Y", 97)};
    EXPECT_EQ(CMXSdpNegotiator::FindCodecIndexByPayLoad(list, 3, 97), 1);
    EXPECT_EQ(CMXSdpNegotiator::FindCodecIndexByPayLoad(list, 3, 0), 0);
    EXPECT_EQ(CMXSdpNegotiator::FindCodecIndexByPayLoad(list, 3, 8), -1);
    EXPECT_EQ(CMXSdpNegotiator::FindCodecIndexByPayLoad(list, 1, 97), -1);
}

TEST(SdpCodecList, PreProcessNamesOnlyTheStaticPayloads)
{
    CODEC_INFO peer[6] = {};
    int payloads[] = {0, 3, 8, 15, 18, 97};
    for (int i = 0; i < 6; ++i)
        peer[i].payload = static_cast<std::uint8_t>(payloads[i]);
    CMXSdpNegotiator::PreProcessCodeList(peer, 6);
    const char* names[] = {"PCMU", "GSM", "PCMA", "G728", "G729", ""};
    for (int i = 0; i < 6; ++i) {
        EXPECT_STREQ(peer[i].name, names[i]) << i;
        EXPECT_EQ(peer[i].frequency, i < 5 ? 8000 : 0) << i;
    }
}

TEST(SdpMatch, PeerOrderDecidesAndIlbcNeedsEqualModes)
{
    CODEC_INFO local[] = {Codec("iLBC", 102, 8000, 30), Codec("PCMA", 8), Codec("PCMU", 0)};
    CODEC_INFO peer[] = {Codec("ilbc", 97, 8000, 20), Codec("pcmu", 0), Codec("PCMA", 8)};
    int l = -1;
    int p = -1;
    EXPECT_EQ(CMXSdpNegotiator::MatchCodec(local, 3, peer, 3, l, p), 2);
    EXPECT_EQ(l, 2);
    EXPECT_EQ(p, 1);

    CODEC_INFO peerNoMode[] = {Codec("iLBC", 97, 8000, 0), Codec("PCMU", 0)};
    EXPECT_EQ(CMXSdpNegotiator::MatchCodec(local, 3, peerNoMode, 2, l, p), 1);
    EXPECT_EQ(l, 0);
    EXPECT_EQ(p, 0);
    EXPECT_EQ(peerNoMode[0].mode, 30) << "a peer iLBC without mode is taken as 30";
}

TEST(SdpMatch, NoCommonNameAndUnnamedEntriesNeverMatch)
{
    CODEC_INFO local[] = {Codec("", 96), Codec("PCMA", 8)};
    CODEC_INFO peer[] = {Codec("", 97), Codec("GSM", 3)};
    int l = 5;
    int p = 5;
    EXPECT_EQ(CMXSdpNegotiator::MatchCodec(local, 2, peer, 2, l, p), -1);
    EXPECT_EQ(l, -1);
    EXPECT_EQ(p, -1);
}

TEST(SdpMatch, TelephoneEventCanWinAndIsFoundSeparately)
{
    CODEC_INFO local[] = {Codec("PCMU", 0), Codec("telephone-event", 101)};
    CODEC_INFO peer[] = {Codec("telephone-event", 96), Codec("PCMU", 0)};
    int l = -1;
    int p = -1;
    EXPECT_EQ(CMXSdpNegotiator::MatchCodec(local, 2, peer, 2, l, p), 2);
    EXPECT_EQ(l, 1);
    EXPECT_EQ(CMXSdpNegotiator::SearchTelephoneEvent(local, 2, peer, 2, l), 0);
    EXPECT_EQ(l, 1);
    EXPECT_EQ(CMXSdpNegotiator::SearchTelephoneEvent(local, 1, peer, 2, l), -1);
    EXPECT_EQ(l, -1);
}

TEST(SdpMatch, AnswerFailureCodesFollowTheStep)
{
    using A = CMXSdpNegotiator::AnswerResult;
    EXPECT_EQ(CMXSdpNegotiator::AnswerFailureCode(CMXSdpNegotiator::kNoRemoteSdp, A::Sent), -3);
    EXPECT_EQ(CMXSdpNegotiator::AnswerFailureCode(CMXSdpNegotiator::kNoRemoteSdp, A::BuildFailed), -1);
    EXPECT_EQ(CMXSdpNegotiator::AnswerFailureCode(CMXSdpNegotiator::kNoRemoteSdp, A::SendFailed), -2);
    EXPECT_EQ(CMXSdpNegotiator::AnswerFailureCode(CMXSdpNegotiator::kNoRemoteAudio, A::BuildFailed), -4);
    EXPECT_EQ(CMXSdpNegotiator::AnswerFailureCode(CMXSdpNegotiator::kNoRemoteAudio, A::SendFailed), -5);
    EXPECT_EQ(CMXSdpNegotiator::AnswerFailureCode(CMXSdpNegotiator::kNoMatchingCodec, A::BuildFailed), -8);
    EXPECT_EQ(CMXSdpNegotiator::AnswerFailureCode(CMXSdpNegotiator::kNoMatchingCodec, A::SendFailed), -9);
}

} // namespace
