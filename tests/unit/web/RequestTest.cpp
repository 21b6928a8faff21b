#include "app/CEncryptDecrypt.h"
#include "web/CWebServiceClient.h"
#include "app/Deployment.h"
#include "platform/HexString.h"
#include "web/WebApi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace zelora::web;

namespace {

class TimeZone {
public:
    explicit TimeZone(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had) {
            m_old = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

std::chrono::system_clock::time_point At(long long ms)
{
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
}

} // namespace

TEST(WebRequest, TimeStampIsLocalWallClockSecondsTimesThousand)
{
    {
        TimeZone utc("UTC");
        EXPECT_EQ(RequestTimeStamp(At(1700000000400)), "1700000000000");
        EXPECT_EQ(RequestTimeStamp(At(1700000000600)), "1700000001000");
    }
    {
        // Five hours west of UTC: the local wall clock is behind, and so is the stamp.
        TimeZone west("EST5");
        EXPECT_EQ(RequestTimeStamp(At(1700000000000)), std::to_string(1700000000000LL - 5LL * 3600 * 1000));
    }
    {
        TimeZone east("CET-1");
        const std::string stamp = RequestTimeStamp();
        ASSERT_GE(stamp.size(), 4u);
        EXPECT_EQ(stamp.substr(stamp.size() - 3), "000");
    }
}

TEST(WebRequest, RequestTextHasFixedOrderAndNoEscaping)
{
    EXPECT_EQ(MakeRequestData("_getbal", "ab&c=d", "1000"),
              "action=_getbal&transId=12345&apiUserName=global&userId=ab&c=d&timeStamp=1000");
    EXPECT_EQ(MakeRequestData("_qrylist", "7", "2000", "1699"),
              "action=_qrylist&transId=12345&apiUserName=global&userId=7&lastcheckts=1699&timeStamp=2000");
    // The last-check value belongs to the list query only.
    EXPECT_EQ(MakeRequestData("_initaddbk", "7", "2000", "1699"),
              "action=_initaddbk&transId=12345&apiUserName=global&userId=7&timeStamp=2000");
}

TEST(WebRequest, BodyIsUpperHexOfCipherText)
{
    const std::string plain = MakeRequestData("_getver", "1001", "1700000000000");
    std::string body;
    ASSERT_EQ(MakeRequestBody(plain, body), 1);
    ASSERT_EQ(body.substr(0, 4), "msg=");
    const std::string hex = body.substr(4);
    EXPECT_EQ(hex.size(), 16 * ((plain.size() + 1) / 2));
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    std::vector<std::uint8_t> bytes;
    ASSERT_GT(zelora::ParseHexStrict(hex, bytes), 0);
    CEncryptDecrypt cipher;
    std::string back;
    ASSERT_EQ(cipher.Decrypt(bytes.data(), bytes.size(), CEncryptDecrypt::kWebDataKey, back), 0);
    EXPECT_EQ(back, plain);
    std::string decoded;
    EXPECT_EQ(DecodeRequestBody(body, decoded), 1);
    EXPECT_EQ(decoded, plain);
}

TEST(WebRequest, TextLimitFitsTheBodyBuffer)
{
    std::string body;
    EXPECT_EQ(MakeRequestBody(std::string(kMaxRequestText, 'a'), body), 1);
    EXPECT_LE(body.size(), kBodyBufferSize);
    EXPECT_EQ(MakeRequestBody(std::string(kMaxRequestText + 1, 'a'), body), -1);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(MakeRequestBody("", body), -1);
}

TEST(WebRequest, DecodeRefusesHostileBodies)
{
    std::string plain;
    EXPECT_EQ(DecodeRequestBody("msg=", plain), -1);
    EXPECT_EQ(DecodeRequestBody("msg=ABC", plain), -1);
    EXPECT_EQ(DecodeRequestBody("msg=GG00000000000000", plain), -1);
    // Valid hex whose length is no multiple of the cipher block.
    EXPECT_EQ(DecodeRequestBody("msg=00112233", plain), -2);
    EXPECT_TRUE(plain.empty());
}

TEST(WebRequest, VersionComparisonIsCharacterByCharacter)
{
    EXPECT_FALSE(IsNewerVersion(kOwnVersion));
    EXPECT_TRUE(IsNewerVersion("zeloraTALK Version 3.1.3"));
    EXPECT_FALSE(IsNewerVersion("zeloraTALK Version 3.1.1"));
    // Text order, not number order: 9.0 sorts after 10.0.
    EXPECT_TRUE(IsNewerVersion("zeloraTALK Version 9.0", "zeloraTALK Version 10.0"));
    // Case-sensitive: lower case sorts after upper case.
    EXPECT_TRUE(IsNewerVersion("zeloratalk Version 3.1.2"));
    EXPECT_FALSE(IsNewerVersion(""));
}

TEST(WebRequest, EndpointsComeFromDeployment)
{
    DeploymentValues values;
    values.webServiceHost = "ws.example";
    values.adsHost = "ads.example";
    values.probeSite = "probe.example";
    values.homePage = "http://home.example/";
    values.portalHost = "portal.example";
    const WebEndpoints endpoints = WebEndpoints::FromDeployment(values);
    EXPECT_EQ(endpoints.serviceHost, "ws.example");
    EXPECT_EQ(endpoints.adsHost, "ads.example");
    EXPECT_EQ(endpoints.probeSite, "probe.example");
    EXPECT_EQ(endpoints.homePage, "http://home.example/");
    EXPECT_EQ(endpoints.servicePort, 80u);
}
