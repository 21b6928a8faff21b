#include <gtest/gtest.h>

#include <string>

#include "quvane/ProbePacket.h"

namespace {

using namespace quvane;

TEST(ProbePacket, CarriesTheFillersAndTheSequenceAtTheirOffsets)
{
    const Packet p = BuildProbePacket(0x01020304);
    const std::string zeros12(12, '0');
    const std::string expected = std::string("XXXXXX") + "000000" + std::string("\x04\x03\x02\x01", 4) + zeros12 +
        "00000000" + "XXXXXX" + zeros12 + "00000000" + "XXXXXX" + zeros12 + "00000000" + "XXXXXX" + zeros12 +
        "00000000" + "XXXXXX" + "000000" + "0000" + "XXXXXX" + std::string(24, '.');
    ASSERT_EQ(expected.size(), kPacketSize);
    EXPECT_EQ(std::string(p.begin(), p.end()), expected);
}

TEST(ProbePacket, OffsetsOfTheFieldsTheServerFills)
{
    EXPECT_EQ(kOffsetSequence, 12u);
    EXPECT_EQ(kOffsetSendTime, 28u);
    EXPECT_EQ(kOffsetServerTime, 54u);
    EXPECT_EQ(kOffsetBaseInterval, 80u);
    EXPECT_EQ(kOffsetServerValue, 106u);
    EXPECT_EQ(kOffsetAllowedCount, 126u);
}

TEST(ProbePacket, FieldsAreLittleEndian)
{
    Packet p{};
    WriteLeDouble(p.data() + kOffsetSendTime, 1.0); // 0x3FF0000000000000
    const std::uint8_t one[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(p[kOffsetSendTime + i], one[i]) << i;
    EXPECT_EQ(ReadLeDouble(p.data() + kOffsetSendTime), 1.0);

    WriteLeDouble(p.data() + kOffsetServerTime, -12345.678901);
    EXPECT_EQ(ReadLeDouble(p.data() + kOffsetServerTime), -12345.678901);

    WriteLeUint32(p.data() + kOffsetAllowedCount, 0xFFFFFFFEu);
    EXPECT_EQ(p[kOffsetAllowedCount], 0xFE);
    EXPECT_EQ(p[kOffsetAllowedCount + 3], 0xFF);
    EXPECT_EQ(static_cast<std::int32_t>(ReadLeUint32(p.data() + kOffsetAllowedCount)), -2);
}

} // namespace
