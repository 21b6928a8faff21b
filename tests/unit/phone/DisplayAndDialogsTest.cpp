#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/CEncryptDecrypt.h"
#include "phone/CMXDisplayScreen.h"
#include "phone/CProxySettingsDlg.h"
#include "phone/CRingtoneDialog.h"
#include "phone/MXLoginDlg.h"
#include "PhoneTestSupport.h"

using namespace phonetest;

namespace {

TEST(Display, ClockRollsOverMinutesAndHours)
{
    CMXDisplayScreen screen;
    for (int i = 0; i < 3599; ++i)
        screen.UpdateCallDuration();
    EXPECT_EQ(screen.GetDurationText(), "00:59:59");
    screen.UpdateCallDuration();
    EXPECT_EQ(screen.GetDurationText(), "01:00:00");
    EXPECT_TRUE(screen.IsClockRunning());
}

TEST(Display, ResetKeepsTheLastTextAndZeroesTheClock)
{
    CMXDisplayScreen screen;
    screen.Reset("Offline");
    for (int i = 0; i < 65; ++i)
        screen.UpdateCallDuration();
    screen.Reset("");
    EXPECT_EQ(screen.GetResetText(), "Offline");
    EXPECT_EQ(screen.GetDurationText(), "00:00:00");
    EXPECT_FALSE(screen.IsClockRunning());
}

TEST(Display, DrawsNothingSignedOutOrWithoutCallType)
{
    CMXDisplayScreen screen;
    screen.SetCallerID("Alice");
    screen.SetDialedNumber("1002");
    screen.SetUserName("Connected");
    CMXDisplayScreen::Lines lines;
    screen.SetCallType(CMXDisplayScreen::CALLTYPE_OUTGOING);
    EXPECT_FALSE(screen.Draw(lines)); // signed out
    EXPECT_EQ(lines[1], "");
    screen.SetSignedIn(true);
    screen.SetCallType(CMXDisplayScreen::CALLTYPE_NONE);
    EXPECT_FALSE(screen.Draw(lines));
    screen.SetCallType(CMXDisplayScreen::CALLTYPE_INCOMING);
    ASSERT_TRUE(screen.Draw(lines));
    EXPECT_EQ(lines, (CMXDisplayScreen::Lines{"Alice", "1002", "Connected"}));
    for (int i = 0; i < 65; ++i)
        screen.UpdateCallDuration();
    screen.KeyDialed("10025");
    ASSERT_TRUE(screen.Draw(lines));
    EXPECT_EQ(lines[1], "10025");
    EXPECT_EQ(lines[2], "Connected - 00:01:05");
}

class LoginView : public CLoginView {
public:
    std::vector<std::string> messages;
    std::string user, password;
    bool remember = false, autoLogin = false, autoEnabled = false;
    int focusUser = 0, focusPassword = 0;
    std::string url;
    void SetFields(const std::string& u, const std::string& p, bool r, bool a, bool e) override
    {
        user = u, password = p, remember = r, autoLogin = a, autoEnabled = e;
    }
    void MessageBox(const std::string& text, CzeloraTALKView::Icon) override { messages.push_back(text); }
    void FocusUserId() override { ++focusUser; }
    void FocusPassword() override { ++focusPassword; }
    void OpenUrl(const std::string& u) override { url = u; }
    void RunConnectionSettings() override { }
};

class LoginTest : public ::testing::Test {
protected:
    LoginTest()
        : login(
              view, temp.Settings(),
              MXLoginDlg::Account{[this] { return ownUser; }, [this] { return ownPassword; },
                                  [this](const std::string& u, const std::string& p) { handed.push_back(u + "/" + p); },
                                  [this] { ++backs; }},
              TestDeployment().passwordResetPage)
    {
    }
    TempSettings temp;
    LoginView view;
    std::string ownUser = "1001", ownPassword = "pw1001";
    std::vector<std::string> handed;
    int backs = 0;
    MXLoginDlg login;
};

TEST_F(LoginTest, RememberMeRuleGovernsAutoLogin)
{
    CSettingsAccount stored{"1001", "pw1001", 1, 0};
    temp.Settings().WriteAccount(stored);
    login.LoadCredentials();
    // Stored auto-login without remember-me is not honoured.
    EXPECT_EQ(view.user, "1001");
    EXPECT_EQ(view.password, "pw1001");
    EXPECT_FALSE(view.remember);
    EXPECT_FALSE(view.autoLogin);
    EXPECT_FALSE(view.autoEnabled);

    login.OnRememberMeToggled(true);
    EXPECT_TRUE(view.autoEnabled);
    login.OnRememberMeToggled(false);
    EXPECT_FALSE(view.autoEnabled);
    EXPECT_FALSE(view.autoLogin);
}

TEST_F(LoginTest, EmptyFieldsAreRefusedAndNothingIsStored)
{
    login.OnSignIn("", "pw", true, true);
    login.OnSignIn("1001", "", true, true);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0], "Please enter User ID.");
    EXPECT_EQ(view.messages[1], "Please enter Password.");
    EXPECT_EQ(view.focusUser, 1);
    EXPECT_EQ(view.focusPassword, 1);
    EXPECT_TRUE(handed.empty());
    MXConfigGroup group;
    temp.Reg().GetConfig(group);
    EXPECT_EQ(group.userId, "");
}

TEST_F(LoginTest, RememberedCredentialsAreStoredEncipheredAndForgottenOtherwise)
{
    login.OnSignIn("1002", "pw1002", true, true);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], "1002/pw1002");
    MXConfigGroup group;
    ASSERT_EQ(temp.Reg().GetConfig(group), 1);
    EXPECT_EQ(group.userId, "1002");
    EXPECT_EQ(group.rememberMe, 1u);
    EXPECT_EQ(group.autoLogin, 1u);
    std::string plain;
    CEncryptDecrypt cipher;
    ASSERT_GE(cipher.Decrypt(group.password.data(), group.password.size(), CEncryptDecrypt::kWebDataKey, plain), 0);
    EXPECT_EQ(plain, "pw1002");

    login.OnSignIn("1002", "pw1002", false, true);
    group = MXConfigGroup{};
    temp.Reg().GetConfig(group);
    EXPECT_EQ(group.userId, "");
    EXPECT_TRUE(group.password.empty());
    EXPECT_EQ(group.rememberMe, 0u);
    EXPECT_EQ(group.autoLogin, 0u);
    EXPECT_EQ(handed.size(), 2u);
}

TEST_F(LoginTest, SettingsFileModeKeepsThePlainPasswordInTheFile)
{
    CSettings::SetFromFile(true);
    login.OnSignIn("1001", "pw1001", true, false);
    MXFileHelper reread(TestDeployment().sipDefaultServer, TestDeployment().tunnelServer);
    ASSERT_EQ(reread.LoadSettings(temp.Folder()), 0);
    EXPECT_EQ(reread.Data().userName, "1001");
    EXPECT_EQ(reread.Data().userPassword, "pw1001");
    EXPECT_EQ(reread.Data().rememberMe, 1);
    EXPECT_EQ(reread.Data().autoLogin, 0);
    // The registry is left alone in this mode.
    MXConfigGroup group;
    temp.Reg().GetConfig(group);
    EXPECT_EQ(group.userId, "");
}

TEST_F(LoginTest, LinksAndBack)
{
    login.OnForgotPassword();
    EXPECT_EQ(view.url, "http://portal.zelora.test/reset");
    login.OnBack();
    EXPECT_EQ(backs, 1);
}

class ProxyView : public CProxySettingsView {
public:
    std::vector<std::string> messages;
    bool tunnel = false, proxy = false, proxyEnabled = false, fieldsEnabled = false, automatic = false;
    std::string address, port, ringTone;
    std::optional<std::string> chosen;
    int closed = 0;
    void SetFields(bool t, bool p, const std::string& a, const std::string& o) override
    {
        tunnel = t, proxy = p, address = a, port = o;
    }
    void SetEnabled(bool p, bool f) override { proxyEnabled = p, fieldsEnabled = f; }
    void SetAutomatic(bool a) override { automatic = a; }
    void SetRingToneLabel(const std::string& path) override { ringTone = path; }
    void MessageBox(const std::string& text, CzeloraTALKView::Icon) override { messages.push_back(text); }
    std::optional<std::string> ChooseWavFile() override { return chosen; }
    void Close() override { ++closed; }
};

TEST(ProxySettings, ChecksTheProxyFieldsOnlyWhenTheProxyIsUsed)
{
    TempSettings temp;
    ProxyView view;
    CProxySettingsDlg dlg(view, temp.Settings(), [] { return std::optional<std::string>(); });
    ASSERT_EQ(dlg.OnInitDialog(), 0);
    EXPECT_EQ(view.port, "0");
    EXPECT_FALSE(view.proxyEnabled);

    EXPECT_FALSE(dlg.OnOK(true, true, "   ", "3128"));
    EXPECT_FALSE(dlg.OnOK(true, true, "10.0.0.1", " "));
    EXPECT_FALSE(dlg.OnOK(true, true, "10.0.0.1", "99999"));
    ASSERT_EQ(view.messages.size(), 3u);
    EXPECT_EQ(view.messages[0], "Enter Proxy Address");
    EXPECT_EQ(view.messages[1], "Enter Proxy Port");
    EXPECT_EQ(view.messages[2], "Enter Proxy Port");
    EXPECT_EQ(view.closed, 0);

    view.messages.clear();
    EXPECT_TRUE(dlg.OnOK(true, false, "", ""));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Your settings is saved and it will take effect after you restart your zelora");
    EXPECT_EQ(view.closed, 1);
    CSettingsHttpProxy stored;
    temp.Settings().ReadHttpProxy(stored);
    EXPECT_EQ(stored.httpUseTunnel, 1);
    EXPECT_EQ(stored.httpUseProxy, 0);
}

TEST(ProxySettings, OkKeepsTheTunnelServerAndStoresTheNewValues)
{
    TempSettings temp;
    CSettingsHttpProxy before;
    before.httpTunnelIp = "tunnel9.zelora.test";
    temp.Settings().WriteHttpProxy(before);
    ProxyView view;
    CProxySettingsDlg dlg(view, temp.Settings(), [] { return std::optional<std::string>(); });
    dlg.OnInitDialog();
    EXPECT_TRUE(dlg.OnOK(true, true, " 10.0.0.7 ", "8080"));
    CSettingsHttpProxy after;
    temp.Settings().ReadHttpProxy(after);
    EXPECT_EQ(after.httpProxyIp, "10.0.0.7");
    EXPECT_EQ(after.httpProxyPort, 8080);
    EXPECT_EQ(after.httpUseProxy, 1);
    EXPECT_EQ(after.httpUseTunnel, 1);
    EXPECT_EQ(after.httpTunnelIp, "tunnel9.zelora.test");
}

TEST(ProxySettings, EnablingFollowsTheTwoBoxesAndTheProxyBoxPrefillsFromTheSystem)
{
    TempSettings temp;
    ProxyView view;
    CProxySettingsDlg dlg(view, temp.Settings(),
                          [] { return std::optional<std::string>("http=plain.local:80 https=secure.local:8443"); });
    dlg.OnInitDialog();
    dlg.OnUseProxyToggled(true);
    EXPECT_FALSE(view.proxyEnabled); // tunnel still off
    EXPECT_FALSE(view.fieldsEnabled);
    dlg.OnUseTunnelToggled(true);
    EXPECT_TRUE(view.proxyEnabled);
    EXPECT_TRUE(view.fieldsEnabled);
    EXPECT_EQ(view.address, "secure.local");
    EXPECT_EQ(view.port, "8443");
    dlg.OnUseTunnelToggled(false);
    EXPECT_FALSE(view.fieldsEnabled);
}

TEST(ProxySettings, ProxyListForms)
{
    std::string address, port;
    EXPECT_TRUE(CProxySettingsDlg::ParseProxyList("proxy.local:3128", address, port));
    EXPECT_EQ(address, "proxy.local");
    EXPECT_EQ(port, "3128");
    EXPECT_TRUE(CProxySettingsDlg::ParseProxyList("https=s.local:443 http=h.local:80", address, port));
    EXPECT_EQ(address, "s.local");
    EXPECT_EQ(port, "443");
    EXPECT_TRUE(CProxySettingsDlg::ParseProxyList("http=h.local:80 ftp=f.local:21", address, port));
    EXPECT_EQ(address, "h.local");
    EXPECT_EQ(port, "80");
    EXPECT_FALSE(CProxySettingsDlg::ParseProxyList("", address, port));
    EXPECT_EQ(port, "");

    ::setenv("https_proxy", "http://user:pw@corp.local:3129/", 1);
    ::unsetenv("HTTPS_PROXY");
    std::optional<std::string> list = CProxySettingsDlg::EnvironmentProxyList();
    ::unsetenv("https_proxy");
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->substr(0, 21), "https=corp.local:3129");
}

TEST(ProxySettings, BrowseStoresTheRingToneAtOnce)
{
    TempSettings temp;
    ProxyView view;
    CProxySettingsDlg dlg(view, temp.Settings(), [] { return std::optional<std::string>(); });
    view.chosen = "/media/tones/bell.wav";
    dlg.OnBrowseRingTone();
    std::string stored;
    temp.Settings().ReadRingTone(stored);
    EXPECT_EQ(stored, "/media/tones/bell.wav");
    EXPECT_EQ(view.ringTone, "/media/tones/bell.wav");
}

class RingView : public CRingtoneView {
public:
    std::string title, shown;
    std::vector<std::string> messages;
    std::optional<std::string> chosen;
    int closed = 0;
    void SetTitle(const std::string& t) override { title = t; }
    void ShowPath(const std::string& p) override { shown = p; }
    void MessageBox(const std::string& text, CzeloraTALKView::Icon) override { messages.push_back(text); }
    std::optional<std::string> ChooseWavFile() override { return chosen; }
    void Close() override { ++closed; }
};

std::string FakeDrive(const std::string& path) { return path.substr(0, path.find('/', 1)); }

TEST(Ringtone, RegistryModeStoresTheChoice)
{
    TempSettings temp;
    RingView view;
    CRingtoneDialog dlg(view, temp.Settings(), temp.Folder(), &FakeDrive);
    dlg.OnInitDialog();
    EXPECT_EQ(view.title, "zeloraTALK RingTone Selection");
    view.chosen = "/other/ring.wav";
    dlg.OnBrowse();
    EXPECT_EQ(view.shown, "/other/ring.wav");
    EXPECT_TRUE(dlg.OnOK());
    std::string stored;
    temp.Settings().ReadRingTone(stored);
    EXPECT_EQ(stored, "/other/ring.wav");
}

TEST(Ringtone, SettingsFileModeOnlyAcceptsTheProgramsDrive)
{
    TempSettings temp;
    CSettings::SetFromFile(true);
    RingView view;
    CRingtoneDialog dlg(view, temp.Settings(), "/USB/zelora/", &FakeDrive);
    dlg.SetPath("/elsewhere/ring.wav");
    EXPECT_FALSE(dlg.OnOK());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Please! Select the ring to from you device");
    EXPECT_EQ(view.closed, 0);
    dlg.SetPath("/usb/tones/ring.wav");
    EXPECT_TRUE(dlg.OnOK());
    EXPECT_EQ(temp.File().Data().ringTonePath, "/usb/tones/ring.wav");
    EXPECT_EQ(view.closed, 1);
}

TEST(Ringtone, MountPointOfAPathIsItsLongestMountPrefix)
{
    EXPECT_EQ(CRingtoneDialog::MountPointOf("/"), "/");
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    ASSERT_TRUE(static_cast<bool>(std::getline(mounts, line))) << "no mount table";
    EXPECT_EQ(CRingtoneDialog::MountPointOf("/proc/self/status"), "/proc");
}

} // namespace
