// Presence in the desktop program following the phone's sign-in, against a real Prosody and
// tinyproxy: the phone (its real controller over a fake protocol) signs in with the HTTP proxy on,
// and presence goes through the proxy; the phone signs out, and the contact sees the account go
// offline; the phone signs in as someone else with the proxy off, and presence comes back directly
// with that account's roster. Addresses 127.0.22.1 (Prosody) and 127.0.22.2 (tinyproxy).
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "../../../unit/phone/PhoneTestSupport.h"
#include "DialogSession.h"
#include "ProsodyPeer.h"
#include "RecordingView.h"
#include "presence/CPresenceHandler.h"
#include "presence/PresenceCodes.h"
#include "presence/ui/CCustomTreeCtrl.h"
#include "presence/ui/CPresenceWindow.h"
#include "presence/ui/CPresenceWindows.h"
#include "phone/ui/CPhoneWindows.h"

using phonetest::FakeAudio;
using phonetest::FakeProtocol;
using phonetest::TempSettings;
using phonetest::TestDeployment;

namespace {

constexpr const char* kServer = "127.0.22.1";
constexpr const char* kProxy = "127.0.22.2";
constexpr int kProxyPort = 8888;

// A roster entry of Prosody's internal store: one mutual contact in "Buddies".
std::string RosterFile(const std::string& contact, const std::string& name)
{
    return "return {\n  [\"" + contact + "@localhost\"] = {\n    [\"subscription\"] = \"both\";\n    [\"name\"] = \"" +
        name + "\";\n    [\"groups\"] = { [\"Buddies\"] = true; };\n  };\n  [false] = { [\"version\"] = 1; };\n};\n";
}

QStringList TreeTexts(QTreeWidget& tree)
{
    QStringList texts;
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
        texts << item->text(0);
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i));
    };
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        walk(tree.topLevelItem(i));
    return texts;
}

bool Await(RecordingView& view, const std::string& text, int ms = 5000)
{
    return QTest::qWaitFor([&] { return !view.WaitFor(text, std::chrono::milliseconds(5)).empty(); }, ms);
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

class PresenceFollowsPhoneTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_xdg.isValid());
        for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            qputenv(var, m_xdg.filePath(var).toLocal8Bit());
    }
    void presenceSignsInAndOutWithThePhone();

private:
    QTemporaryDir m_xdg;
};

void PresenceFollowsPhoneTest::presenceSignsInAndOutWithThePhone()
{
    using namespace zelora::test;
    ProsodyPeer prosody(kServer);
    QCOMPARE(prosody.Register({{"1001", "pw1001"}, {"1002", "1002pw"}, {"1003", "pw1003"}}), std::string());
    const std::string rosters = prosody.DataDir() + "/roster";
    std::filesystem::create_directories(rosters);
    QVERIFY(WriteFile(rosters + "/1001.dat", RosterFile("1002", "Bee")));
    QVERIFY(WriteFile(rosters + "/1003.dat", RosterFile("1002", "Cee")));
    QVERIFY(WriteFile(rosters + "/1002.dat",
                      "return {\n  [\"1001@localhost\"] = { [\"subscription\"] = \"both\"; [\"groups\"] = {}; };\n"
                      "  [\"1003@localhost\"] = { [\"subscription\"] = \"both\"; [\"groups\"] = {}; };\n"
                      "  [false] = { [\"version\"] = 1; };\n};\n"));
    QCOMPARE(prosody.Launch(), std::string());

    // Only the port of the proxy path is allowed: a sign-in through it proves the way it went.
    const std::string tinyproxy = FindProgram("tinyproxy");
    QVERIFY2(!tinyproxy.empty(), MissingProgram("tinyproxy", "tinyproxy").c_str());
    TempDir proxyDir("zelora-presence-proxy");
    const std::string proxyLog = proxyDir.Path() + "/tinyproxy.log";
    QVERIFY(WriteFile(proxyDir.Path() + "/tinyproxy.conf",
                      std::string("Port ") + std::to_string(kProxyPort) + "\nListen " + kProxy +
                          "\nTimeout 30\nAllow 127.0.0.0/8\nConnectPort 5223\nLogLevel Info\n"));
    PeerProcess proxy;
    QCOMPARE(proxy.Start({tinyproxy, "-d", "-c", proxyDir.Path() + "/tinyproxy.conf"}, proxyLog), std::string());
    QVERIFY2(WaitUntil([] { return PortAnswers(kProxy, kProxyPort); }, std::chrono::seconds(5)),
             ReadFile(proxyLog).c_str());

    // The contact, 1002, signed in directly on its own bus.
    DialogSession session(kServer, "1002", "");
    RecordingView& contact = session.view;
    QVERIFY2(Await(contact, "LOGIN OK"), contact.Tail(3).c_str());
    // The server's first answers: both contacts offline, before the phone signs in.
    for (const char* jid : {"1001", "1003"})
        QVERIFY2(Await(contact,
                       std::string("PRESENCE jid=") + jid + "@localhost presence=" + std::to_string(PRESENCE_OFFLINE)),
                 contact.Tail(4).c_str());

    // The phone, its connection settings with the HTTP proxy on.
    TempSettings temp("presence-follows");
    CSettingsHttpProxy proxied;
    proxied.httpProxyIp = kProxy;
    proxied.httpProxyPort = kProxyPort;
    proxied.httpUseProxy = 1;
    QVERIFY(temp.Settings().WriteHttpProxy(proxied) >= 0);
    FakeAudio audio;
    FakeProtocol* protocol = nullptr;
    CPhoneWindows::Dependencies deps;
    deps.settings = &temp.Settings();
    deps.audio = &audio;
    deps.deployment = TestDeployment();
    deps.deployment.presenceDomain = "localhost";
    deps.deployment.presenceServer = kServer;
    deps.programFolder = temp.Folder();
    deps.options.startThreads = false;
    deps.options.localAddress = kServer;
    deps.options.protocolFactory = [&protocol](bool, const TunnelSettings&) {
        auto p = std::make_unique<FakeProtocol>();
        protocol = p.get();
        return std::unique_ptr<CSessionProtocol>(std::move(p));
    };
    // Presence goes first: its threads post to the phone's window.
    CPhoneWindows phone(deps);
    CPresenceWindows presence({deps.deployment, nullptr, {}, &temp.Settings()});
    presence.Attach(phone.Controller(), phone.MainWindow());
    QVERIFY(phone.Start());
    auto signIn = [&](const char* user, const char* password) {
        phone.Controller().RegisterSoftPhone(user, password);
        protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    };

    // Opened before the sign-in: the window waits, then signs in with the phone, through the proxy.
    presence.Open();
    CPresenceWindow& window = *presence.Window();
    QCOMPARE(presence.Handler(), nullptr);
    signIn("1001", "pw1001");
    QVERIFY2(QTest::qWaitFor([&] { return TreeTexts(window.Tree()).join(",").contains("Bee"); }, 8000),
             qPrintable(TreeTexts(window.Tree()).join(",") + " / " + QString::fromStdString(ReadFile(proxyLog))));
    QVERIFY2(Await(contact, "PRESENCE jid=1001@localhost presence=" + std::to_string(PRESENCE_AVAILABLE)),
             contact.Tail(4).c_str());
    QCOMPARE(Count(ReadFile(proxyLog), std::string("CONNECT ") + kServer + ":5223"), 1);

    // The phone signs out: the contact sees 1001 offline, and the window waits for the phone.
    QElapsedTimer offline;
    offline.start();
    phone.Controller().SignOut();
    // Presence stops inside the window's own handling of the change: how long the GUI thread is held.
    QElapsedTimer held;
    held.start();
    phone.Controller().DrainMessages();
    qInfo("presence stopped on the GUI thread in %lld ms", static_cast<long long>(held.elapsed()));
    QVERIFY(held.elapsed() < 500);
    QVERIFY2(Await(contact, "PRESENCE jid=1001@localhost presence=" + std::to_string(PRESENCE_OFFLINE), 5000),
             contact.Tail(4).c_str());
    qInfo("the contact saw the sign-out after %lld ms", static_cast<long long>(offline.elapsed()));
    QVERIFY(QTest::qWaitFor([&] { return presence.Handler() == nullptr; }, 1000));
    QVERIFY(TreeTexts(window.Tree()).isEmpty());

    // Signed in as 1003 with the proxy off: 1003's roster, a direct connection.
    CSettingsHttpProxy off = proxied;
    off.httpUseProxy = 0;
    QVERIFY(temp.Settings().WriteHttpProxy(off) >= 0);
    signIn("1003", "pw1003");
    QVERIFY2(QTest::qWaitFor([&] { return TreeTexts(window.Tree()).join(",").contains("Cee"); }, 8000),
             qPrintable(TreeTexts(window.Tree()).join(",")));
    QVERIFY(!TreeTexts(window.Tree()).join(",").contains("Bee"));
    QVERIFY2(Await(contact, "PRESENCE jid=1003@localhost presence=" + std::to_string(PRESENCE_AVAILABLE)),
             contact.Tail(4).c_str());
    QCOMPARE(presence.Handler()->OwnJid(), std::string("1003@localhost"));
    QCOMPARE(Count(ReadFile(proxyLog), "CONNECT 127.0.22"), 1);
}

QTEST_MAIN(PresenceFollowsPhoneTest)
#include "PresenceFollowsPhoneTest.moc"
