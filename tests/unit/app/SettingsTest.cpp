#include "app/CEncryptDecrypt.h"
#include "app/CLogger.h"
#include "app/CSettings.h"
#include "app/CStartup.h"
#include "app/Deployment.h"
#include "app/MXFileHelper.h"
#include "app/MXRegistry.h"
#include "platform/Registry.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {
constexpr const char* kSip = "127.0.7.1";
constexpr const char* kTunnel = "127.0.7.2";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_reg.Open(m_dir.File("registry.ini"), false);
        m_file.SetDefaults(m_dir.Path().string());
        m_file.SetFolder(m_dir.Path().string());
    }
    void TearDown() override { CSettings::SetFromFile(false); }

    TempDir m_dir;
    zelora::Registry m_reg;
    MXRegistry m_mx{m_reg, kSip, kTunnel};
    MXFileHelper m_file{kSip, kTunnel};
    CSettings m_settings{m_mx, m_file, m_dir.Path().string()};
};
} // namespace

TEST_F(SettingsTest, RegistryModeKeepsThePasswordEnciphered)
{
    CSettings::SetFromFile(false);
    CSettingsAccount account{"alice", "s3cret", 1, 1};
    ASSERT_EQ(1, m_settings.WriteAccount(account));
    std::vector<std::uint8_t> stored;
    ASSERT_EQ(0, m_reg.GetBinary(MXRegistry::JoinKey("Config"), "Config2", stored));
    EXPECT_EQ(24u, stored.size());
    CEncryptDecrypt cipher;
    std::string plain;
    ASSERT_EQ(0, cipher.Decrypt(stored.data(), stored.size(), CEncryptDecrypt::kWebDataKey, plain));
    EXPECT_EQ("s3cret", plain);

    CSettingsAccount back;
    ASSERT_EQ(1, m_settings.ReadAccount(back));
    EXPECT_EQ("alice", back.userId);
    EXPECT_EQ("s3cret", back.password);
    EXPECT_EQ(1, back.autoLogin);
    EXPECT_EQ(1, back.rememberMe);

    // Stored bytes that are no cipher text of whole blocks.
    std::uint8_t bad[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(0, m_reg.SetBinary(MXRegistry::JoinKey("Config"), "Config2", bad, sizeof bad));
    EXPECT_EQ(CSettings::kDecryptFailed, m_settings.ReadAccount(back));
    // No file was written in registry mode.
    EXPECT_FALSE(std::filesystem::exists(m_file.FilePath()));
}

TEST_F(SettingsTest, FileModeReadsTheFileAndSavesEveryChange)
{
    CSettings::SetFromFile(true);
    m_file.Data().proxyIp = "127.0.7.5";
    std::string ip, port;
    ASSERT_EQ(1, m_settings.ReadServer(ip, port));
    EXPECT_EQ("127.0.7.5", ip);
    EXPECT_EQ("5060", port);

    ASSERT_EQ(1, m_settings.WriteAccount({"bob", "pw", 0, 1}));
    CSettingsHttpProxy proxy{"127.0.7.6", 3128, 1, 1, "127.0.7.7"};
    ASSERT_EQ(1, m_settings.WriteHttpProxy(proxy));
    ASSERT_EQ(1, m_settings.WriteRingTone("/r.wav"));
    ASSERT_EQ(1, m_settings.WriteLastCheckTS("99"));
    MXFileHelper reread(kSip, kTunnel);
    ASSERT_EQ(0, reread.LoadSettings(m_dir.Path().string()));
    EXPECT_EQ("bob", reread.Data().userName);
    EXPECT_EQ("pw", reread.Data().userPassword);
    EXPECT_EQ(3128, reread.Data().httpProxyPort);
    EXPECT_EQ("127.0.7.7", reread.Data().httpTunnelIp);
    EXPECT_EQ("/r.wav", reread.Data().ringTonePath);
    EXPECT_EQ("99", reread.Data().lastCheckTS);

    int old = -1;
    m_file.Data().isFirstTime = 1;
    ASSERT_EQ(1, m_settings.ReadIsFirstTime(old));
    EXPECT_EQ(1, old);
    ASSERT_EQ(1, m_settings.ReadIsFirstTime(old));
    EXPECT_EQ(0, old);
    // The registry was never touched.
    EXPECT_FALSE(std::filesystem::exists(m_reg.Path()));
}

TEST_F(SettingsTest, TheFlagChoosesTheStore)
{
    m_file.Data().audioSettings = "102,8,0,";
    m_file.Data().logLevel = 3;
    m_file.Data().smsServerIp = "127.0.7.8";
    std::string audio;
    int level = 0, size = 0;
    std::string page, smsIp, smsPort;

    CSettings::SetFromFile(false);
    EXPECT_FALSE(CSettings::FromFile());
    ASSERT_EQ(1, m_settings.ReadAudioSettings(audio));
    EXPECT_EQ("0,8,97,100,101,102,103,", audio);
    ASSERT_EQ(1, m_settings.ReadLogger(level, size));
    EXPECT_EQ(7, level);
    EXPECT_EQ(7, size);
    ASSERT_EQ(1, m_settings.ReadSmsServer(page, smsIp, smsPort));
    EXPECT_EQ("", smsIp);
    std::string ring;
    ASSERT_EQ(1, m_settings.ReadRingTone(ring));
    EXPECT_EQ(m_dir.Path().string() + "/ringin.wav", ring);
    int old = 0;
    EXPECT_EQ(2, m_settings.ReadIsFirstTime(old));

    CSettings::SetFromFile(true);
    EXPECT_TRUE(CSettings::FromFile());
    ASSERT_EQ(1, m_settings.ReadAudioSettings(audio));
    EXPECT_EQ("102,8,0,", audio);
    ASSERT_EQ(1, m_settings.ReadLogger(level, size));
    EXPECT_EQ(3, level);
    EXPECT_EQ(1, size);
    ASSERT_EQ(1, m_settings.ReadSmsServer(page, smsIp, smsPort));
    EXPECT_EQ("127.0.7.8", smsIp);
    EXPECT_EQ("80", smsPort);
}

TEST(Startup, OpensTheLogAndForwardsPlatformReports)
{
    TempDir dir;
    ScopedEnv state("XDG_STATE_HOME", dir.Path().string());
    ASSERT_EQ(1, CStartup::Init("zelora-startup-test", ZELORA_TEST_RESOURCES));
    std::string log = dir.File("zeloraTALK/zelora-startup-test.log");
    ASSERT_TRUE(std::filesystem::exists(log));
    // A damaged registry file is reported by the platform layer into the log.
    std::string path = dir.File("registry.ini");
    TempDir::Write(path, "not a registry\n");
    zelora::Registry reg;
    EXPECT_EQ(zelora::Registry::kMovedAside, reg.Open(path, false));
    std::string text = TempDir::Read(log);
    EXPECT_NE(std::string::npos, text.find("[LOG_ERROR][][Registry::Open]")) << text;
    EXPECT_NE(std::string::npos, text.find("registry.ini.corrupt"));

    std::string error;
    EXPECT_EQ(-2, CStartup::Init("zelora-startup-test", dir.File("nowhere"), &error));
    EXPECT_NE(std::string::npos, error.find("deployment.ini"));
    CLogger::Exit();
    // Load the shipped values again for whatever runs next.
    ASSERT_EQ(0, Deployment::Init(ZELORA_TEST_RESOURCES));
}
