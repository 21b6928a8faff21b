#include "app/MXRegistry.h"
#include "platform/Registry.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {
constexpr const char* kSip = "127.0.7.1";
constexpr const char* kTunnel = "127.0.7.2";

class MXRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(zelora::Registry::kLoaded, m_reg.Open(m_dir.File("registry.ini"), false)); }
    std::string key(const char* sub) { return MXRegistry::JoinKey(sub); }

    TempDir m_dir;
    zelora::Registry m_reg;
    MXRegistry m_mx{m_reg, kSip, kTunnel};
};

struct Expected {
    const char* subKey;
    const char* name;
    zelora::RegType type;
    std::string text;
    std::uint32_t dword;
};
} // namespace

TEST_F(MXRegistryTest, FirstReadCreatesEveryDefault)
{
    std::string stamp = "1700000000";
    ASSERT_EQ(1, m_mx.GetLastCheckTS(stamp));
    EXPECT_EQ("1700000000", stamp);
    std::string ip, port;
    ASSERT_EQ(1, m_mx.GetProxyIpPort(ip, port));
    EXPECT_EQ(kSip, ip);
    EXPECT_EQ("5060", port);
    std::string dialed = "junk";
    ASSERT_EQ(1, m_mx.GetDialedFromWeb(dialed));
    EXPECT_EQ("", dialed);
    std::string appPath;
    ASSERT_EQ(1, m_mx.GetAppPath(appPath, "/opt/zeloraTALK"));
    EXPECT_EQ("/opt/zeloraTALK/", appPath);
    std::string ring;
    ASSERT_EQ(1, m_mx.GetRingTone(ring, appPath));
    EXPECT_EQ("/opt/zeloraTALK/ringin.wav", ring);
    std::string audio;
    ASSERT_EQ(1, m_mx.GetAudioSettings(audio));
    EXPECT_EQ("0,8,97,100,101,102,103,", audio);
    MXConfigGroup config;
    config.autoLogin = 9;
    ASSERT_EQ(1, m_mx.GetConfig(config));
    EXPECT_EQ("", config.userId);
    EXPECT_TRUE(config.password.empty());
    EXPECT_EQ(0u, config.autoLogin);
    EXPECT_EQ(0u, config.rememberMe);
    MXHttpProxyGroup proxy;
    ASSERT_EQ(1, m_mx.GetHttpProxy(proxy));
    EXPECT_EQ(0u, proxy.httpProxyPort);
    EXPECT_EQ("", proxy.httpProxyIp);
    EXPECT_EQ(0u, proxy.httpUseProxy);
    EXPECT_EQ(0u, proxy.httpUseTunnel);
    EXPECT_EQ(kTunnel, proxy.httpTunnelIp);
    MXLoggerGroup logger;
    logger.logLevel = logger.logFileSize = 0;
    ASSERT_EQ(1, m_mx.GetLogger(logger));
    EXPECT_EQ(7u, logger.logLevel);
    EXPECT_EQ(7u, logger.logFileSize);

    using zelora::RegType;
    const Expected table[] = {
        {"", "LastCheckTS", RegType::String, "1700000000", 0},
        {"", "ProxyIp", RegType::String, kSip, 0},
        {"", "ProxyPort", RegType::String, "5060", 0},
        {"", "DialedFromWeb", RegType::String, "", 0},
        {"", "AppPath", RegType::String, "/opt/zeloraTALK/", 0},
        {"", "RingTone", RegType::String, "/opt/zeloraTALK/ringin.wav", 0},
        {"Config", "Config1", RegType::String, "", 0},
        {"Config", "Config2", RegType::Binary, "", 0},
        {"Config", "AutoLogin", RegType::Dword, "", 0},
        {"Config", "RememberMe", RegType::Dword, "", 0},
        {"Codec", "AudioSettings", RegType::String, "0,8,97,100,101,102,103,", 0},
        {"HttpProxy", "HttpProxyPort", RegType::Dword, "", 0},
        {"HttpProxy", "HttpProxyIP", RegType::String, "", 0},
        {"HttpProxy", "HttpUseProxy", RegType::Dword, "", 0},
        {"HttpProxy", "HttpUseTunnel", RegType::Dword, "", 0},
        {"HttpProxy", "HttpTunnelIP", RegType::String, kTunnel, 0},
        {"HttpProxy", "LastConnection", RegType::Dword, "", 0},
        {"Logger", "LogLevel", RegType::Dword, "", 7},
        {"Logger", "LogFileSize", RegType::Dword, "", 7},
    };
    // Read back from the file by a fresh registry: the defaults were written, not just returned.
    zelora::Registry reread;
    ASSERT_EQ(zelora::Registry::kLoaded, reread.Open(m_reg.Path(), false));
    for (const Expected& e : table) {
        zelora::RegValue v;
        ASSERT_EQ(0, reread.GetValue(key(e.subKey), e.name, v)) << e.name;
        EXPECT_EQ(e.type, v.type) << e.name;
        if (e.type == RegType::String) {
            EXPECT_EQ(e.text, v.text) << e.name;
        } else if (e.type == RegType::Dword) {
            EXPECT_EQ(e.dword, v.dword) << e.name;
        } else {
            EXPECT_TRUE(v.bytes.empty()) << e.name;
        }
    }
}

TEST_F(MXRegistryTest, StoredValuesWinAndEmptyStringsAreRefilled)
{
    ASSERT_EQ(0, m_reg.SetString(key(""), "ProxyIp", "10.0.0.1"));
    ASSERT_EQ(0, m_reg.SetString(key(""), "ProxyPort", ""));
    ASSERT_EQ(0, m_reg.SetDword(key("Logger"), "LogLevel", 3));
    std::string ip, port;
    ASSERT_EQ(1, m_mx.GetProxyIpPort(ip, port));
    EXPECT_EQ("10.0.0.1", ip);
    EXPECT_EQ("5060", port);
    std::string stored;
    ASSERT_EQ(0, m_reg.GetString(key(""), "ProxyPort", stored));
    EXPECT_EQ("5060", stored);
    MXLoggerGroup logger;
    ASSERT_EQ(1, m_mx.GetLogger(logger));
    EXPECT_EQ(3u, logger.logLevel);
}

TEST_F(MXRegistryTest, IsFirstTimeReadsAndResets)
{
    std::uint32_t old = 77;
    EXPECT_EQ(2, m_mx.IsFirstTime(old));
    EXPECT_EQ(77u, old);
    EXPECT_EQ(1, m_mx.IsFirstTime(old));
    EXPECT_EQ(0u, old);
    ASSERT_EQ(0, m_reg.SetDword(key(""), "IsFirstTime", 5));
    EXPECT_EQ(1, m_mx.IsFirstTime(old));
    EXPECT_EQ(5u, old);
    EXPECT_EQ(1, m_mx.IsFirstTime(old));
    EXPECT_EQ(0u, old);
}

TEST_F(MXRegistryTest, WritersReportWhichValueFailed)
{
    MXConfigGroup config;
    config.userId = "alice";
    config.password = {1, 2, 3, 4, 5, 6, 7, 8};
    config.autoLogin = 1;
    config.rememberMe = 1;
    ASSERT_EQ(1, m_mx.WriteConfig(config));
    MXConfigGroup back;
    ASSERT_EQ(1, m_mx.GetConfig(back));
    EXPECT_EQ("alice", back.userId);
    EXPECT_EQ(config.password, back.password);
    EXPECT_EQ(1u, back.autoLogin);
    EXPECT_EQ(1u, back.rememberMe);

    // Config2 is written last: a password too long to store fails with -5 after the others.
    MXConfigGroup big = config;
    big.userId = "bob";
    big.password.assign(256, 0xAA);
    EXPECT_EQ(-5, m_mx.WriteConfig(big));
    ASSERT_EQ(1, m_mx.GetConfig(back));
    EXPECT_EQ("bob", back.userId);
    EXPECT_EQ(config.password, back.password);
    // A user id beyond the 254 characters that a read can hold.
    big.userId.assign(255, 'u');
    big.password.clear();
    EXPECT_EQ(-4, m_mx.WriteConfig(big));

    MXHttpProxyGroup proxy;
    proxy.httpProxyIp = "127.0.7.3";
    proxy.httpProxyPort = 8888;
    proxy.httpUseProxy = 1;
    proxy.httpUseTunnel = 1;
    proxy.httpTunnelIp = "127.0.7.4";
    ASSERT_EQ(1, m_mx.WriteHttpProxy(proxy));
    MXHttpProxyGroup proxyBack;
    ASSERT_EQ(1, m_mx.GetHttpProxy(proxyBack));
    EXPECT_EQ(8888u, proxyBack.httpProxyPort);
    EXPECT_EQ("127.0.7.3", proxyBack.httpProxyIp);
    EXPECT_EQ("127.0.7.4", proxyBack.httpTunnelIp);
    proxy.httpTunnelIp.assign(300, 't');
    EXPECT_EQ(-6, m_mx.WriteHttpProxy(proxy));
    proxy.httpProxyIp.assign(300, 'p');
    EXPECT_EQ(-5, m_mx.WriteHttpProxy(proxy));

    ASSERT_EQ(1, m_mx.WriteRingTone("/x/ring.wav"));
    std::string ring;
    ASSERT_EQ(1, m_mx.GetRingTone(ring, "/ignored/"));
    EXPECT_EQ("/x/ring.wav", ring);
    ASSERT_EQ(1, m_mx.WriteLastCheckTS("123"));
    std::string stamp = "other";
    ASSERT_EQ(1, m_mx.GetLastCheckTS(stamp));
    EXPECT_EQ("123", stamp);
}

TEST_F(MXRegistryTest, ReadOnlyRegistryFailsWithTheDocumentedCodes)
{
    std::string path = m_dir.File("ro.ini");
    zelora::Registry ro;
    ro.Open(path, true);
    MXRegistry mx(ro, kSip, kTunnel);
    std::string value;
    EXPECT_EQ(MXRegistry::kCreateKeyFailed, mx.GetAudioSettings(value));
    EXPECT_EQ(-1, mx.CreateKey("Config"));
    EXPECT_EQ(-1, mx.WriteConfig(MXConfigGroup{}));
    EXPECT_EQ(-1, mx.WriteHttpProxy(MXHttpProxyGroup{}));
    std::uint32_t old = 0;
    EXPECT_EQ(MXRegistry::kCreateKeyFailed, mx.IsFirstTime(old));
    EXPECT_EQ(-1, mx.ReadDword("Config", "AutoLogin", old));
    EXPECT_EQ(-1, mx.ReadString("", "ProxyIp", value));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(MXRegistryTest, RawReadsRespectTheCallersRoom)
{
    std::vector<std::uint8_t> bytes(40, 7);
    ASSERT_EQ(0, m_mx.WriteBinary("Config", "Config2", bytes));
    std::vector<std::uint8_t> out;
    std::size_t size = 39;
    EXPECT_EQ(-1, m_mx.ReadBinary("Config", "Config2", out, size));
    size = 40;
    ASSERT_EQ(0, m_mx.ReadBinary("Config", "Config2", out, size));
    EXPECT_EQ(40u, size);
    EXPECT_EQ(bytes, out);
    // A longer string stored by hand reads cut to what a 255-byte buffer holds.
    ASSERT_EQ(0, m_reg.SetString(key(""), "AppPath", std::string(400, 'a')));
    std::string text;
    ASSERT_EQ(0, m_mx.ReadString("", "AppPath", text));
    EXPECT_EQ(254u, text.size());
}
