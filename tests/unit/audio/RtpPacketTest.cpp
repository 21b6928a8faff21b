#include <gtest/gtest.h>

#include <vector>

#include "audio/CRtpPacket.h"

namespace {

std::vector<uint8_t> Built(const RtpHeader& h, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> out(CRtpPacket::kMaxPacket);
    out.resize(CRtpPacket::Build(h, payload.data(), payload.size(), out.data(), out.size()));
    return out;
}

} // namespace

TEST(RtpPacket, BuildWritesNetworkOrderAndParsesBack)
{
    RtpHeader h;
    h.marker = true;
    h.payloadType = 8;
    h.sequence = 0xBEEF;
    h.timestamp = 0x01020304;
    h.ssrc = 0xA1B2C3D4;
    const auto wire = Built(h, {1, 2, 3});
    ASSERT_EQ(wire.size(), 15u);
    const std::vector<uint8_t> head(wire.begin(), wire.begin() + 12);
    EXPECT_EQ(head, (std::vector<uint8_t>{0x80, 0x88, 0xBE, 0xEF, 1, 2, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4}));

    RtpHeader p;
    const uint8_t* payload = nullptr;
    size_t len = 0;
    ASSERT_EQ(CRtpPacket::Parse(wire.data(), wire.size(), p, payload, len), CRtpPacket::RTP_OK);
    EXPECT_TRUE(p.marker);
    EXPECT_EQ(p.payloadType, 8);
    EXPECT_EQ(p.sequence, 0xBEEF);
    EXPECT_EQ(p.timestamp, 0x01020304u);
    EXPECT_EQ(p.ssrc, 0xA1B2C3D4u);
    ASSERT_EQ(len, 3u);
    EXPECT_EQ(payload[0], 1);
    EXPECT_EQ(payload[2], 3);
}

TEST(RtpPacket, BuildRefusesTooSmallBuffer)
{
    RtpHeader h;
    uint8_t payload[20] = {};
    uint8_t out[32];
    EXPECT_EQ(CRtpPacket::Build(h, payload, sizeof payload, out, 31), 0u);
    EXPECT_EQ(CRtpPacket::Build(h, payload, sizeof payload, out, 32), 32u);
}

TEST(RtpPacket, SkipsCsrcsExtensionAndPadding)
{
    // V=2 P=1 X=1 CC=2, PT 0; two CSRCs, a one-word extension, 2 payload bytes, 3 padding bytes.
    std::vector<uint8_t> wire = {0xB2, 0x00, 0, 1, 0, 0, 0, 160, 0, 0, 0, 7};
    wire.insert(wire.end(), {9, 9, 9, 9, 8, 8, 8, 8}); // CSRCs
    wire.insert(wire.end(), {0xBE, 0xDE, 0, 1, 5, 5, 5, 5}); // extension header + 1 word
    wire.insert(wire.end(), {0x42, 0x43}); // payload
    wire.insert(wire.end(), {0, 0, 3}); // padding, count last
    RtpHeader h;
    const uint8_t* payload = nullptr;
    size_t len = 0;
    ASSERT_EQ(CRtpPacket::Parse(wire.data(), wire.size(), h, payload, len), CRtpPacket::RTP_OK);
    ASSERT_EQ(len, 2u);
    EXPECT_EQ(payload[0], 0x42);
    EXPECT_EQ(payload[1], 0x43);
    EXPECT_EQ(h.ssrc, 7u);
    EXPECT_EQ(h.timestamp, 160u);
}

TEST(RtpPacket, RejectsMalformedPackets)
{
    RtpHeader h;
    const uint8_t* payload = nullptr;
    size_t len = 0;
    std::vector<uint8_t> base = {0x80, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0xAA};

    EXPECT_EQ(CRtpPacket::Parse(base.data(), 11, h, payload, len), CRtpPacket::RTP_TOO_SHORT);
    EXPECT_EQ(CRtpPacket::Parse(nullptr, 0, h, payload, len), CRtpPacket::RTP_TOO_SHORT);

    auto v1 = base;
    v1[0] = 0x40;
    EXPECT_EQ(CRtpPacket::Parse(v1.data(), v1.size(), h, payload, len), CRtpPacket::RTP_BAD_VERSION);

    auto csrc = base;
    csrc[0] = 0x81; // claims one CSRC but only one byte follows the header
    EXPECT_EQ(CRtpPacket::Parse(csrc.data(), csrc.size(), h, payload, len), CRtpPacket::RTP_TOO_SHORT);

    auto pad = base;
    pad[0] = 0xA0;
    pad.back() = 5; // more padding than payload
    EXPECT_EQ(CRtpPacket::Parse(pad.data(), pad.size(), h, payload, len), CRtpPacket::RTP_BAD_PADDING);
    pad.back() = 0; // a zero padding count is invalid too
    EXPECT_EQ(CRtpPacket::Parse(pad.data(), pad.size(), h, payload, len), CRtpPacket::RTP_BAD_PADDING);

    std::vector<uint8_t> ext = {0x90, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0xBE, 0xDE, 0, 9, 1, 2, 3, 4};
    EXPECT_EQ(CRtpPacket::Parse(ext.data(), ext.size(), h, payload, len), CRtpPacket::RTP_BAD_EXTENSION);
    ext.resize(14); // extension header cut short
    EXPECT_EQ(CRtpPacket::Parse(ext.data(), ext.size(), h, payload, len), CRtpPacket::RTP_BAD_EXTENSION);
}
