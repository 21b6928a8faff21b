#include "app/CEncryptDecrypt.h"
#include "platform/HexString.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
std::string hexOf(const std::vector<std::uint8_t>& bytes) { return zelora::MakeHexString(bytes); }

std::string encryptHex(const std::string& text, const std::string& key)
{
    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> out;
    EXPECT_GT(cipher.Encrypt(text, key, out), 0);
    return hexOf(out);
}
} // namespace

// Vectors computed with a separate TEA implementation (itself checked against the
// published all-zero vector 41EA3A0A 94BAA940).
TEST(Cipher, KnownAnswersForTheBuiltInKeys)
{
    EXPECT_EQ("6D5CE2DBADA58354BA1E0AAD8159B73D", encryptHex("abc", CEncryptDecrypt::kWebDataKey));
    EXPECT_EQ("6B614B470D1A2C0246C8D335011A67905F4F8BFBBD656C602B5ECAD187F823240B51356E4C721624B670DB9CD92C67FA",
              encryptHex("hello world", CEncryptDecrypt::kWebDataKey));
    EXPECT_EQ("60F08C967141C62C", encryptHex("Zq", CEncryptDecrypt::kSettingsFileKey));
    EXPECT_EQ("C4BFBCABFC265B857FFCC79665BF2A1A7E82248FEBC8A51A01C3A5B56FB96719",
              encryptHex("secret1", CEncryptDecrypt::kTunnelKey));
}

TEST(Cipher, ThreeCharactersGiveSixteenBytesAndComeBack)
{
    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> out;
    ASSERT_EQ(16, cipher.Encrypt("xyz", CEncryptDecrypt::kWebDataKey, out));
    ASSERT_EQ(16u, out.size());
    std::string plain;
    ASSERT_EQ(0, cipher.Decrypt(out.data(), out.size(), CEncryptDecrypt::kWebDataKey, plain));
    EXPECT_EQ("xyz", plain);
    // Even length: no padding character; high bytes survive.
    ASSERT_EQ(8, cipher.Encrypt("\xff\x80", "k", out));
    ASSERT_EQ(0, cipher.Decrypt(out.data(), out.size(), "k", plain));
    EXPECT_EQ("\xff\x80", plain);
    EXPECT_EQ(400u, CEncryptDecrypt::EncryptedSize(99));
}

TEST(Cipher, KeyLengthRules)
{
    CEncryptDecrypt cipher;
    EXPECT_EQ(-1, cipher.SetKey(""));
    EXPECT_EQ(-1, cipher.SetKey("12345678901234567"));
    EXPECT_EQ(0, cipher.SetKey("1234567890123456"));
    std::vector<std::uint8_t> out;
    EXPECT_EQ(-2, cipher.Encrypt("text", "12345678901234567", out));
    EXPECT_EQ(-2, cipher.Encrypt("text", "", out));
    // A short key is padded with blanks; a 16-character key is used as it is.
    EXPECT_EQ(encryptHex("some text", "abc"), encryptHex("some text", "abc             "));
    EXPECT_NE(encryptHex("some text", "abc"), encryptHex("some text", "abd"));
    EXPECT_NE(encryptHex("some text", "1234567890123456"), encryptHex("some text", "123456789012345"));
}

TEST(Cipher, DecryptRejectsBadLengthsAndStopsAtTheFirstNul)
{
    CEncryptDecrypt cipher;
    std::uint8_t twelve[12] = {};
    std::string plain = "stale";
    EXPECT_EQ(-3, cipher.Decrypt(twelve, sizeof twelve, "key", plain));
    EXPECT_TRUE(plain.empty());
    EXPECT_EQ(-1, cipher.Decrypt(twelve, 0, "key", plain));
    EXPECT_EQ(-2, cipher.Decrypt(twelve, 8, "", plain));
    std::vector<std::uint8_t> none;
    EXPECT_EQ(-1, cipher.Encrypt("", "key", none));
    EXPECT_EQ(-1, cipher.Encrypt(std::string_view("\0abc", 4), "key", none));

    std::vector<std::uint8_t> a;
    std::vector<std::uint8_t> b;
    ASSERT_EQ(8, cipher.Encrypt("ab", "key", a));
    ASSERT_EQ(8, cipher.Encrypt("c", "key", b)); // "c" and its padding NUL
    a.insert(a.end(), b.begin(), b.end());
    a.insert(a.end(), b.begin(), b.end());
    ASSERT_EQ(0, cipher.Decrypt(a.data(), a.size(), "key", plain));
    EXPECT_EQ("abc", plain);
}

TEST(Cipher, BufferInterfaceChecksRoom)
{
    CEncryptDecrypt cipher;
    std::uint8_t small[8];
    std::uint8_t room[16];
    EXPECT_EQ(-3, cipher.Encrypt("abc", "key", small, sizeof small));
    EXPECT_EQ(16, cipher.Encrypt("abc", "key", room, sizeof room));
    EXPECT_EQ(-1, cipher.Encrypt(nullptr, "key", room, sizeof room));
    EXPECT_EQ(-1, cipher.Encrypt("", "key", room, sizeof room));
    EXPECT_EQ(-2, cipher.Encrypt("abc", nullptr, room, sizeof room));
    std::vector<std::uint8_t> same;
    cipher.Encrypt("abc", "key", same);
    EXPECT_EQ(0, std::memcmp(same.data(), room, 16));
}
