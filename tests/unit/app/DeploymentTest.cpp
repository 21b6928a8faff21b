#include "app/Deployment.h"
#include "platform/ProfileFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <regex>

namespace {
std::string shippedFile() { return std::string(ZELORA_TEST_RESOURCES) + "/deployment.ini"; }
} // namespace

TEST(Deployment, ShippedFilePointsEverythingAtTheLocalSandbox)
{
    DeploymentValues v;
    std::string error;
    ASSERT_EQ(Deployment::kOk, Deployment::LoadFile(shippedFile(), v, error)) << error;
    EXPECT_EQ("127.0.0.1", v.sipDefaultServer);
    EXPECT_EQ("127.0.0.1", v.tunnelServer);
    EXPECT_EQ("127.0.0.1", v.webServiceHost);
    EXPECT_EQ("localhost", v.presenceDomain);
    EXPECT_EQ("yahoo.localhost", v.gatewayYahoo);
    EXPECT_EQ("msn.localhost", v.gatewayMsn);
    EXPECT_EQ("gtalk.localhost", v.gatewayGtalk);
    // No value may name a host outside this machine.
    std::regex local(R"(^((http://)?127\.0\.0\.1(/.*)?|([a-z]+\.)?localhost)$)");
    for (const std::string* s :
         {&v.sipDefaultServer, &v.sipOtherServer1, &v.sipOtherServer2, &v.tunnelServer, &v.webServiceHost,
          &v.portalHost, &v.adsHost, &v.probeSite, &v.homePage, &v.signupPage, &v.passwordResetPage, &v.shopPage,
          &v.presenceDomain, &v.gatewayYahoo, &v.gatewayMsn, &v.gatewayGtalk, &v.mailDomain, &v.mailWebHost})
        EXPECT_TRUE(std::regex_match(*s, local)) << *s;
    EXPECT_FALSE(v.brandWord.empty());
}

TEST(Deployment, EveryMissingKeyIsNamed)
{
    TempDir dir;
    const std::pair<const char*, const char*> keys[] = {
        {"sip", "default_server"}, {"sip", "other_server_2"}, {"tunnel", "server"},         {"web", "shop_page"},
        {"web", "probe_site"},     {"presence", "domain"},    {"presence", "mail_web_host"}};
    for (const auto& [section, key] : keys) {
        std::string path = dir.File(std::string(section) + "-" + key + ".ini");
        std::filesystem::copy_file(shippedFile(), path);
        zelora::ProfileFile file(path);
        ASSERT_EQ(0, file.Load());
        ASSERT_EQ(0, file.DeleteKey(section, key));
        DeploymentValues v;
        v.sipDefaultServer = "kept";
        std::string error;
        EXPECT_EQ(Deployment::kMissingKey, Deployment::LoadFile(path, v, error));
        EXPECT_NE(std::string::npos, error.find(std::string("[") + section + "] " + key)) << error;
        EXPECT_EQ("kept", v.sipDefaultServer);
    }
    DeploymentValues v;
    std::string error;
    EXPECT_EQ(Deployment::kUnreadable, Deployment::LoadFile(dir.File("none.ini"), v, error));
    EXPECT_NE(std::string::npos, error.find("none.ini"));
}

TEST(Deployment, InitTakesTheEnvironmentFileFirst)
{
    TempDir dir;
    std::string path = dir.File("other.ini");
    std::filesystem::copy_file(shippedFile(), path);
    zelora::WritePrivateProfileString("sip", "default_server", "127.0.7.9", path);
    {
        ScopedEnv env("ZELORA_DEPLOYMENT", path);
        ASSERT_EQ(Deployment::kOk, Deployment::Init(ZELORA_TEST_RESOURCES));
        EXPECT_EQ("127.0.7.9", Deployment::Get().sipDefaultServer);
    }
    ASSERT_EQ(Deployment::kOk, Deployment::Init(ZELORA_TEST_RESOURCES));
    EXPECT_EQ("127.0.0.1", Deployment::Get().sipDefaultServer);
    EXPECT_TRUE(Deployment::IsLoaded());

    // A failed reload names the problem and keeps the values in force.
    std::string error;
    EXPECT_EQ(Deployment::kUnreadable, Deployment::Init(dir.File("empty-folder"), &error));
    EXPECT_NE(std::string::npos, error.find("deployment.ini"));
    EXPECT_EQ("127.0.0.1", Deployment::Get().sipDefaultServer);
    EXPECT_EQ(error, Deployment::LastError());
}

TEST(Deployment, OptionalIntervalsHaveTheirDefaultsAndRefuseNonsense)
{
    TempDir dir;
    const std::string path = dir.File("intervals.ini");
    std::filesystem::copy_file(shippedFile(), path);
    DeploymentValues v;
    std::string error;
    ASSERT_EQ(Deployment::kOk, Deployment::LoadFile(path, v, error)) << error;
    EXPECT_EQ(120, v.registrarCheck);
    EXPECT_EQ(60, v.webQueryInterval);
    zelora::WritePrivateProfileString("web", "query_interval", "5", path);
    zelora::WritePrivateProfileString("sip", "registrar_check", "0", path);
    ASSERT_EQ(Deployment::kOk, Deployment::LoadFile(path, v, error)) << error;
    EXPECT_EQ(5, v.webQueryInterval);
    EXPECT_EQ(120, v.registrarCheck);
    zelora::WritePrivateProfileString("web", "query_interval", "-3", path);
    ASSERT_EQ(Deployment::kOk, Deployment::LoadFile(path, v, error)) << error;
    EXPECT_EQ(60, v.webQueryInterval);
}
