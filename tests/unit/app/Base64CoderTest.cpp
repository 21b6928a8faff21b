#include "app/CBase64Coder.h"
#include "platform/HexString.h"

#include <gtest/gtest.h>

#include <random>

TEST(Base64, FiftySevenBytesFillOneLineFiftyEightStartASecond)
{
    std::vector<std::uint8_t> data(58, 0xA5);
    std::string one = CBase64Coder::Encode(data.data(), 57);
    EXPECT_EQ(76u, one.size());
    EXPECT_EQ(std::string::npos, one.find('\r'));
    EXPECT_EQ(76u, CBase64Coder::EncodedLength(57));

    std::string two = CBase64Coder::Encode(data.data(), 58);
    ASSERT_EQ(82u, two.size());
    EXPECT_EQ(82u, CBase64Coder::EncodedLength(58));
    EXPECT_EQ(one, two.substr(0, 76));
    EXPECT_EQ("\r\n", two.substr(76, 2));
    EXPECT_EQ("pQ==", two.substr(78));

    // Two full lines: one break between them, none at the end.
    std::vector<std::uint8_t> full(114, 0x00);
    std::string lines = CBase64Coder::Encode(full.data(), full.size());
    EXPECT_EQ(154u, lines.size());
    EXPECT_EQ("\r\n", lines.substr(76, 2));
    EXPECT_NE('\n', lines.back());
}

TEST(Base64, StandardVectors)
{
    EXPECT_EQ("", CBase64Coder::Encode(""));
    EXPECT_EQ("Zg==", CBase64Coder::Encode("f"));
    EXPECT_EQ("Zm8=", CBase64Coder::Encode("fo"));
    EXPECT_EQ("Zm9v", CBase64Coder::Encode("foo"));
    EXPECT_EQ("Zm9vYg==", CBase64Coder::Encode("foob"));
    EXPECT_EQ("Zm9vYmE=", CBase64Coder::Encode("fooba"));
    EXPECT_EQ("Zm9vYmFy", CBase64Coder::Encode("foobar"));
    std::uint8_t high[] = {0xFB, 0xFF, 0xBF};
    EXPECT_EQ("+/+/", CBase64Coder::Encode(high, 3));
}

TEST(Base64, BufferInterfaceRefusesShortBuffersAndNulls)
{
    std::uint8_t in[4] = {1, 2, 3, 4};
    char out[8];
    std::size_t size = 7;
    EXPECT_EQ(0, CBase64Coder::Encode(in, 4, out, &size));
    EXPECT_EQ(7u, size);
    size = 8;
    EXPECT_EQ(1, CBase64Coder::Encode(in, 4, out, &size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ("AQIDBA==", std::string(out, 8));
    EXPECT_EQ(0, CBase64Coder::Encode(nullptr, 4, out, &size));
    EXPECT_EQ(0, CBase64Coder::Encode(in, 4, nullptr, &size));
    EXPECT_EQ(0, CBase64Coder::Encode(in, 4, out, nullptr));
}

TEST(Base64, DecodeRoundTripsAndRejectsDamage)
{
    std::mt19937 rng(7);
    for (std::size_t n : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u}) {
        std::vector<std::uint8_t> data(n);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng());
        std::vector<std::uint8_t> back;
        ASSERT_EQ(1, CBase64Coder::Decode(CBase64Coder::Encode(data.data(), data.size()), back)) << n;
        EXPECT_EQ(data, back) << n;
    }
    std::vector<std::uint8_t> out;
    EXPECT_EQ(0, CBase64Coder::Decode("Zm9", out)); // cut group
    EXPECT_EQ(0, CBase64Coder::Decode("Zm9v!A==", out)); // outside the alphabet
    EXPECT_EQ(0, CBase64Coder::Decode("Z===", out)); // too much padding
    EXPECT_EQ(0, CBase64Coder::Decode("Zg==Zm9v", out)); // data after the padding
    EXPECT_EQ(0, CBase64Coder::Decode("Zg=v", out));
    EXPECT_TRUE(out.empty());
}

TEST(Hex, MakeWritesUpperCasePairs)
{
    std::uint8_t bytes[] = {0x00, 0x0F, 0xA0, 0xFF, 0x5C};
    char out[10];
    EXPECT_EQ(10, zelora::MakeHexString(bytes, out, 5));
    EXPECT_EQ("000FA0FF5C", std::string(out, 10));
    EXPECT_EQ(0, zelora::MakeHexString(bytes, out, 0));
    EXPECT_EQ(0, zelora::MakeHexString(bytes, out, -3));
    EXPECT_EQ("000FA0FF5C", zelora::MakeHexString(bytes, 5));
    EXPECT_EQ("", zelora::MakeHexString(bytes, 0));
}

TEST(Hex, LenientParseAcceptsEitherCaseAndDoesNotValidate)
{
    std::vector<std::uint8_t> out;
    EXPECT_EQ(3, zelora::ParseHexString("0fA0ff", out));
    EXPECT_EQ((std::vector<std::uint8_t>{0x0F, 0xA0, 0xFF}), out);
    // Any other character counts as its code minus '0': 'G' is 23, so "1G" is 16 + 23.
    EXPECT_EQ(1, zelora::ParseHexString("1G", out));
    EXPECT_EQ(39, out[0]);
    // A trailing odd character is ignored.
    EXPECT_EQ(1, zelora::ParseHexString("ABC", out));
    EXPECT_EQ(0xAB, out[0]);
}

TEST(Hex, StrictParseRefusesAnythingButHexPairs)
{
    std::vector<std::uint8_t> out;
    EXPECT_EQ(2, zelora::ParseHexStrict("aB09", out));
    EXPECT_EQ((std::vector<std::uint8_t>{0xAB, 0x09}), out);
    EXPECT_EQ(-1, zelora::ParseHexStrict("ABC", out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(-1, zelora::ParseHexStrict("0G", out));
    EXPECT_EQ(-1, zelora::ParseHexStrict("0 ", out));
    EXPECT_EQ(0, zelora::ParseHexStrict("", out));
}
