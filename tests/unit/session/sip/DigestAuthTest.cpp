#include <gtest/gtest.h>

#include "session/sip/CDigestAuth.h"

using zelora::CDigestAuth;
using zelora::DigestAnswer;
using zelora::DigestChallenge;

namespace {

// RFC 2617 section 3.5 example.
constexpr const char* kUser = "Mufasa";
constexpr const char* kRealm = "testrealm@host.com";
constexpr const char* kPassword = "Circle Of Life";
constexpr const char* kNonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
constexpr const char* kUri = "/dir/index.html";

} // namespace

TEST(SipUaDigest, KnownVectorWithAndWithoutQop)
{
    const std::string ha1 = CDigestAuth::Ha1(kUser, kRealm, kPassword);
    EXPECT_EQ(CDigestAuth::Response(ha1, kNonce, "00000001", "0a4f113b", "auth", "GET", kUri),
              "6629fae49393a05397450978507c4ef1");
    EXPECT_EQ(CDigestAuth::Response(ha1, kNonce, "", "", "", "GET", kUri), "670fd8c2df070c60b045671b8b24ff02");
    EXPECT_EQ(CDigestAuth::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(SipUaDigest, QopOptionListIsTokenised)
{
    EXPECT_TRUE(CDigestAuth::OffersAuth("auth"));
    EXPECT_TRUE(CDigestAuth::OffersAuth("auth-int, auth"));
    EXPECT_TRUE(CDigestAuth::OffersAuth(" AUTH ,auth-int"));
    EXPECT_FALSE(CDigestAuth::OffersAuth("auth-int"));
    EXPECT_FALSE(CDigestAuth::OffersAuth(""));
    EXPECT_FALSE(CDigestAuth::OffersAuth("authx"));
}

TEST(SipUaDigest, CredentialsHeaderCarriesQopFieldsOnlyWhenOffered)
{
    DigestChallenge ch;
    ch.realm = kRealm;
    ch.nonce = kNonce;
    ch.opaque = "5ccc069c403ebaf9f0171e9517f40e41";
    ch.qopOptions = "auth,auth-int";
    DigestAnswer a;
    a.username = kUser;
    a.password = kPassword;
    a.method = "GET";
    a.uri = kUri;
    a.nonceCount = 1;
    a.cnonce = "0a4f113b";
    std::string header;
    ASSERT_EQ(CDigestAuth::BuildCredentials(ch, a, header), 0);
    EXPECT_NE(header.find("response=\"6629fae49393a05397450978507c4ef1\""), std::string::npos) << header;
    EXPECT_NE(header.find("qop=auth, nc=00000001"), std::string::npos) << header;
    EXPECT_NE(header.find("cnonce=\"0a4f113b\""), std::string::npos) << header;
    EXPECT_NE(header.find("opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""), std::string::npos) << header;
    EXPECT_EQ(header.rfind("Digest username=\"Mufasa\"", 0), 0u) << header;

    a.nonceCount = 0x1f;
    ASSERT_EQ(CDigestAuth::BuildCredentials(ch, a, header), 0);
    EXPECT_NE(header.find("nc=0000001f"), std::string::npos) << header;

    ch.qopOptions.clear();
    ch.opaque.clear();
    ASSERT_EQ(CDigestAuth::BuildCredentials(ch, a, header), 0);
    EXPECT_NE(header.find("response=\"670fd8c2df070c60b045671b8b24ff02\""), std::string::npos) << header;
    EXPECT_EQ(header.find("qop"), std::string::npos) << header;
    EXPECT_EQ(header.find("cnonce"), std::string::npos) << header;
    EXPECT_EQ(header.find("opaque"), std::string::npos) << header;
}

TEST(SipUaDigest, PrecomputedHa1AndRefusedChallenges)
{
    DigestChallenge ch;
    ch.realm = kRealm;
    ch.nonce = kNonce;
    DigestAnswer a;
    a.username = kUser;
    a.ha1 = CDigestAuth::Ha1(kUser, kRealm, kPassword);
    a.method = "GET";
    a.uri = kUri;
    std::string header;
    ASSERT_EQ(CDigestAuth::BuildCredentials(ch, a, header), 0);
    EXPECT_NE(header.find("670fd8c2df070c60b045671b8b24ff02"), std::string::npos);

    ch.algorithm = "SHA-256";
    EXPECT_EQ(CDigestAuth::BuildCredentials(ch, a, header), -1);
    ch.algorithm = "md5";
    EXPECT_EQ(CDigestAuth::BuildCredentials(ch, a, header), 0);
    ch.nonce.clear();
    EXPECT_EQ(CDigestAuth::BuildCredentials(ch, a, header), -1);
    EXPECT_EQ(CDigestAuth::Unquote("\"x y\""), "x y");
    EXPECT_EQ(CDigestAuth::Unquote("\""), "\"");
}
