#include "app/CEncryptDecrypt.h"
#include "platform/HexString.h"
#include "app/MXFileHelper.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {
constexpr const char* kSip = "127.0.7.1";
constexpr const char* kTunnel = "127.0.7.2";

std::vector<std::string> g_boxes;
void recordBox(const char* text, bool) { g_boxes.emplace_back(text); }

std::string decipherFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_GT(zelora::ParseHexStrict(TempDir::Read(path), bytes), 0);
    CEncryptDecrypt cipher;
    std::string plain;
    EXPECT_EQ(0, cipher.Decrypt(bytes.data(), bytes.size(), CEncryptDecrypt::kSettingsFileKey, plain));
    return plain;
}

void writeEnciphered(const std::string& path, const std::string& plain)
{
    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> bytes;
    ASSERT_GT(cipher.Encrypt(plain, CEncryptDecrypt::kSettingsFileKey, bytes), 0);
    TempDir::Write(path, zelora::MakeHexString(bytes));
}

class MXFileHelperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_boxes.clear();
        MXFileHelper::SetMessageBoxHandler(&recordBox);
    }
    void TearDown() override { MXFileHelper::SetMessageBoxHandler(nullptr); }
    std::string folder() const { return m_dir.Path().string(); }
    std::string file() const { return m_dir.File("Settings.ini"); }

    TempDir m_dir;
};
} // namespace

TEST_F(MXFileHelperTest, FirstLoadWritesTheDefaults)
{
    MXFileHelper helper(kSip, kTunnel);
    ASSERT_EQ(0, helper.LoadSettings(folder()));
    ASSERT_TRUE(std::filesystem::exists(file()));
    EXPECT_EQ(0, helper.Data().isFirstTime);
    const std::string f = folder() + "/";
    const std::string expected = "<AppPath>" + f +
        "</AppPath><DialedFromWeb></DialedFromWeb><IsFirstTime>1</IsFirstTime>"
        "<LastCheckTS></LastCheckTS><ProxyIp>127.0.7.1</ProxyIp><ProxyPort>5060</ProxyPort>"
        "<RingTonePath>" +
        f +
        "ringin.wav</RingTonePath><AudioSettings>0,8,97,100,101,102,103,</AudioSettings>"
        "<AutoLogin>0</AutoLogin><UserName></UserName><UserPassword></UserPassword><RememberMe>0</RememberMe>"
        "<HttpProxyIp></HttpProxyIp><HttpProxyPort>0</HttpProxyPort><HttpTunnelIp>127.0.7.2</HttpTunnelIp>"
        "<HttpUseProxy>0</HttpUseProxy><HttpUseTunnel>0</HttpUseTunnel><LogLevel>1</LogLevel><LogSize>1</LogSize>"
        "<SMSRequestPage></SMSRequestPage><SMSServerIp></SMSServerIp><SMSServerPort>80</SMSServerPort>";
    EXPECT_EQ(expected, decipherFile(file()));
    // One line of upper-case hex, no line end.
    std::string raw = TempDir::Read(file());
    EXPECT_EQ(std::string::npos, raw.find_first_not_of("0123456789ABCDEF"));
    // The second load reads what the first one wrote, IsFirstTime included.
    MXFileHelper again(kSip, kTunnel);
    ASSERT_EQ(0, again.LoadSettings(folder()));
    EXPECT_EQ(1, again.Data().isFirstTime);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MXFileHelperTest, SaveAndLoadGiveBackEveryValueTrimmed)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    helper.SetFolder(folder());
    MXSettingsData& d = helper.Data();
    d.userName = "  alice ";
    d.userPassword = "p@ss word\t";
    d.dialedFromWeb = "0123456";
    d.lastCheckTS = "1700000000";
    d.proxyIp = "127.0.7.5";
    d.httpProxyIp = "127.0.7.6";
    d.httpProxyPort = 3128;
    d.httpUseProxy = 1;
    d.httpUseTunnel = 2;
    d.lastConnection = 3;
    d.autoLogin = 1;
    d.rememberMe = 1;
    d.logLevel = -3;
    d.logSize = 2048;
    d.smsRequestPage = "/sms/send?x=1&y=2";
    d.smsServerIp = "127.0.7.7";
    d.smsServerPort = "8080";
    d.audioSettings = "102,8,0,";
    d.isFirstTime = 0;
    ASSERT_EQ(0, helper.SaveSettings());

    MXFileHelper back(kSip, kTunnel);
    ASSERT_EQ(0, back.LoadSettings(folder()));
    const MXSettingsData& b = back.Data();
    EXPECT_EQ("alice", b.userName);
    EXPECT_EQ("p@ss word", b.userPassword);
    EXPECT_EQ("0123456", b.dialedFromWeb);
    EXPECT_EQ("1700000000", b.lastCheckTS);
    EXPECT_EQ("127.0.7.5", b.proxyIp);
    EXPECT_EQ("127.0.7.6", b.httpProxyIp);
    EXPECT_EQ(3128, b.httpProxyPort);
    EXPECT_EQ(1, b.httpUseProxy);
    EXPECT_EQ(2, b.httpUseTunnel);
    EXPECT_EQ(3, b.lastConnection);
    EXPECT_EQ(1, b.autoLogin);
    EXPECT_EQ(1, b.rememberMe);
    EXPECT_EQ(-3, b.logLevel);
    EXPECT_EQ(2048, b.logSize);
    EXPECT_EQ("/sms/send?x=1&y=2", b.smsRequestPage);
    EXPECT_EQ("127.0.7.7", b.smsServerIp);
    EXPECT_EQ("8080", b.smsServerPort);
    EXPECT_EQ("102,8,0,", b.audioSettings);
    EXPECT_EQ(0, b.isFirstTime);
    EXPECT_EQ(folder() + "/", b.appPath);
}

TEST_F(MXFileHelperTest, MissingLogSizeKeepsEarlierValuesAndFails)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    helper.Data().userName = "carol";
    helper.Data().logLevel = 4;
    helper.Data().smsServerPort = "81";
    std::string text = helper.BuildText();
    std::size_t at = text.find("<LogSize>1</LogSize>");
    ASSERT_NE(std::string::npos, at);
    text.erase(at, std::string("<LogSize>1</LogSize>").size());

    MXFileHelper parsed(kSip, kTunnel);
    parsed.SetDefaults(folder());
    EXPECT_EQ(MXFileHelper::kParseFailed, parsed.ParseSettings(text));
    EXPECT_EQ("carol", parsed.Data().userName);
    EXPECT_EQ(4, parsed.Data().logLevel);
    EXPECT_EQ("80", parsed.Data().smsServerPort); // after the gap: the default stays

    writeEnciphered(file(), text);
    MXFileHelper loaded(kSip, kTunnel);
    EXPECT_EQ(MXFileHelper::kParseFailed, loaded.LoadSettings(folder()));
    EXPECT_EQ("carol", loaded.Data().userName);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ("Unable to parse settings...", g_boxes[0]);
}

TEST_F(MXFileHelperTest, FileCutInTheMiddleLeavesItUntouched)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    helper.SetFolder(folder());
    helper.Data().userName = "dave";
    helper.Data().httpProxyIp = "127.0.7.8";
    ASSERT_EQ(0, helper.SaveSettings());
    std::string whole = TempDir::Read(file());

    // Cut at a block boundary just before <HttpProxyIp> (two characters per 16 hex digits):
    // it deciphers, the later tags are missing.
    std::size_t at = helper.BuildText().find("<HttpProxyIp>");
    ASSERT_NE(std::string::npos, at);
    std::string cut = whole.substr(0, at / 2 * 16);
    TempDir::Write(file(), cut);
    MXFileHelper a(kSip, kTunnel);
    EXPECT_EQ(MXFileHelper::kParseFailed, a.LoadSettings(folder()));
    EXPECT_EQ("dave", a.Data().userName);
    EXPECT_EQ("", a.Data().httpProxyIp);
    EXPECT_EQ(cut, TempDir::Read(file()));

    // Cut inside a block: the cipher refuses the length.
    cut = whole.substr(0, at / 2 * 16 + 6);
    TempDir::Write(file(), cut);
    MXFileHelper b(kSip, kTunnel);
    EXPECT_EQ(-3, b.LoadSettings(folder()));
    EXPECT_EQ("", b.Data().userName);
    EXPECT_EQ(kSip, b.Data().proxyIp);
    EXPECT_EQ(cut, TempDir::Read(file()));

    // Cut inside a hex pair.
    cut = whole.substr(0, 33);
    TempDir::Write(file(), cut);
    MXFileHelper c(kSip, kTunnel);
    EXPECT_EQ(MXFileHelper::kBadHex, c.LoadSettings(folder()));
    EXPECT_EQ(cut, TempDir::Read(file()));
    ASSERT_EQ(3u, g_boxes.size());
    EXPECT_EQ("Unable to parse settings...", g_boxes[0]);
    EXPECT_EQ("Unable to decrypt file", g_boxes[1]);
    EXPECT_EQ("Unable to decrypt file", g_boxes[2]);
}

TEST_F(MXFileHelperTest, DamagedHexIsRefusedAndDefaultsStay)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    helper.SetFolder(folder());
    helper.Data().userName = "erin";
    ASSERT_EQ(0, helper.SaveSettings());
    std::string damaged = TempDir::Read(file());
    damaged[10] = 'Z';
    TempDir::Write(file(), damaged);
    MXFileHelper loaded(kSip, kTunnel);
    EXPECT_EQ(MXFileHelper::kBadHex, loaded.LoadSettings(folder()));
    EXPECT_EQ("", loaded.Data().userName);
    EXPECT_EQ(damaged, TempDir::Read(file()));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ("Unable to decrypt file", g_boxes[0]);

    // Valid hex of the wrong cipher text: parse fails, nothing is rewritten.
    TempDir::Write(file(), std::string(64, 'A'));
    EXPECT_LT(loaded.LoadSettings(folder()), 0);
    EXPECT_EQ(std::string(64, 'A'), TempDir::Read(file()));
    // A trailing line end, as an editor adds, is tolerated.
    ASSERT_EQ(0, helper.SaveSettings());
    TempDir::Write(file(), TempDir::Read(file()) + "\n");
    EXPECT_EQ(0, loaded.LoadSettings(folder()));
    EXPECT_EQ("erin", loaded.Data().userName);
}

TEST_F(MXFileHelperTest, TunnelAddressRefilledOnlyWhenItselfEmpty)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    helper.SetFolder(folder());
    helper.Data().httpProxyIp = "";
    helper.Data().httpTunnelIp = "127.0.7.9";
    ASSERT_EQ(0, helper.SaveSettings());
    MXFileHelper a(kSip, kTunnel);
    ASSERT_EQ(0, a.LoadSettings(folder()));
    EXPECT_EQ("127.0.7.9", a.Data().httpTunnelIp);

    helper.Data().httpProxyIp = "127.0.7.6";
    helper.Data().httpTunnelIp = "";
    ASSERT_EQ(0, helper.SaveSettings());
    MXFileHelper b(kSip, kTunnel);
    ASSERT_EQ(0, b.LoadSettings(folder()));
    EXPECT_EQ(kTunnel, b.Data().httpTunnelIp);
}

TEST_F(MXFileHelperTest, GetNextTagFindsTrimsAndBounds)
{
    std::string value;
    EXPECT_EQ(0, MXFileHelper::GetNextTag("x<A>  one two \t</A><A>second</A>", "A", value));
    EXPECT_EQ("one two", value);
    EXPECT_EQ(-1, MXFileHelper::GetNextTag("<A>open only", "A", value));
    EXPECT_EQ(-1, MXFileHelper::GetNextTag("</A><B>x</B>", "A", value));
    // The closing tag must come after the opening one.
    EXPECT_EQ(-1, MXFileHelper::GetNextTag("</A><A>x", "A", value));
    EXPECT_EQ(0, MXFileHelper::GetNextTag("<A>" + std::string(300, 'v') + "</A>", "A", value));
    EXPECT_EQ(255u, value.size());
}

TEST_F(MXFileHelperTest, ValuesThatWouldNotReadBackAreNotSaved)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    helper.SetFolder(folder());
    helper.Data().userName = "frank";
    ASSERT_EQ(0, helper.SaveSettings());
    const std::string good = TempDir::Read(file());

    helper.Data().userPassword = "a</UserPassword>b";
    EXPECT_EQ(MXFileHelper::kUnsafeValue, helper.SaveSettings());
    // A later tag inside an earlier value would be found first.
    helper.Data().userPassword = "";
    helper.Data().userName = "<RememberMe>1</RememberMe>";
    EXPECT_EQ(MXFileHelper::kUnsafeValue, helper.SaveSettings());
    EXPECT_EQ(good, TempDir::Read(file()));
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_EQ("Unable to Save data", g_boxes[0]);
    // A plain '<' is fine, and so is a tag that still reads back as written.
    helper.Data().userName = "frank";
    helper.Data().userPassword = "a<b>c<RememberMe>";
    EXPECT_EQ(0, helper.SaveSettings());
    MXFileHelper back(kSip, kTunnel);
    ASSERT_EQ(0, back.LoadSettings(folder()));
    EXPECT_EQ("a<b>c<RememberMe>", back.Data().userPassword);
    EXPECT_EQ(0, back.Data().rememberMe);
}

TEST_F(MXFileHelperTest, TagValuesByName)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    ASSERT_EQ(22u, MXFileHelper::TagNames().size());
    EXPECT_EQ("AppPath", MXFileHelper::TagNames().front());
    EXPECT_EQ("SMSServerPort", MXFileHelper::TagNames().back());
    EXPECT_EQ(0, helper.SetValueText("HttpProxyPort", "8080"));
    EXPECT_EQ(8080, helper.Data().httpProxyPort);
    EXPECT_EQ(-2, helper.SetValueText("HttpProxyPort", "80x"));
    EXPECT_EQ(-2, helper.SetValueText("LogSize", ""));
    EXPECT_EQ(-2, helper.SetValueText("LogSize", "99999999999"));
    EXPECT_EQ(-1, helper.SetValueText("NoSuchTag", "1"));
    EXPECT_EQ(0, helper.SetValueText("UserName", "gina"));
    std::string v;
    ASSERT_TRUE(helper.GetValueText("UserName", v));
    EXPECT_EQ("gina", v);
    ASSERT_TRUE(helper.GetValueText("HttpProxyPort", v));
    EXPECT_EQ("8080", v);
    EXPECT_FALSE(helper.GetValueText("userName", v));
}

TEST_F(MXFileHelperTest, UnwritableFolderFailsWithOpenFailed)
{
    MXFileHelper helper(kSip, kTunnel);
    EXPECT_EQ(MXFileHelper::kOpenFailed, helper.LoadSettings(m_dir.File("no/such/folder")));
}

TEST_F(MXFileHelperTest, ParseOfMangledTextNeverReadsOutOfBounds)
{
    MXFileHelper helper(kSip, kTunnel);
    helper.SetDefaults(folder());
    const std::string good = helper.BuildText();
    std::uint32_t rng = 99;
    auto next = [&rng] { return rng = rng * 1664525u + 1013904223u; };
    int parsed = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text = good;
        for (int e = 0; e < 3; ++e) {
            std::size_t at = next() % text.size();
            text[at] = "<>/ aZ"[next() % 6];
        }
        text.resize(next() % (text.size() + 1));
        MXFileHelper target(kSip, kTunnel);
        target.SetDefaults(folder());
        int rc = target.ParseSettings(text);
        ASSERT_TRUE(rc == MXFileHelper::kOk || rc == MXFileHelper::kParseFailed);
        parsed += rc == MXFileHelper::kOk;
        for (const std::string& tag : MXFileHelper::TagNames()) {
            std::string v;
            ASSERT_TRUE(target.GetValueText(tag, v));
            EXPECT_LE(v.size(), MXFileHelper::kMaxValue);
        }
    }
    // Cutting anywhere before the last element must fail the parse most of the time.
    EXPECT_LT(parsed, 300);
}
