// Two real presence sessions against Prosody and the presence services, each with the
// secondary windows the presence window opens, driven as a user would: chat both ways in
// tabs, the history file and the history window, an own profile with a photo seen as the
// contact's profile on the other side, a search whose "Add as a Contact" reaches the other
// user, a broadcast, and a gateway registered from the IM account dialog that signs in.
// Address 127.0.18.1.
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <sstream>

#include "DialogSession.h"
#include "ProsodyPeer.h"
#include "presence/CFifo.h"
#include "presence/CPresenceHandler.h"
#include "presence/PresenceCodes.h"
#include "presence/ui/CPresenceBroadcastWindow.h"
#include "presence/ui/CPresenceChatPageWidget.h"
#include "presence/ui/CPresenceChatWindow.h"
#include "presence/ui/CPresenceDialogHost.h"
#include "presence/ui/CPresenceHistoryWindow.h"
#include "presence/ui/CPresenceIMAccountWindow.h"
#include "web/ui/CWebPageView.h"
#include "presence/ui/CPresenceProfileWindow.h"
#include "presence/ui/CPresenceSearchWindow.h"

namespace {

constexpr const char* kServer = "127.0.18.1";

QPushButton* Button(QWidget* window, const QString& name)
{
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->accessibleName() == name)
            return b;
    return nullptr;
}

// Waits for a recorded line while the windows keep working.
bool Await(RecordingView& view, const std::string& text, int ms = 5000)
{
    return QTest::qWaitFor([&] { return !view.WaitFor(text, std::chrono::milliseconds(5)).empty(); }, ms);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Keep(QWidget* w, const char* name)
{
    QDir().mkpath(ZELORA_SCREENSHOT_DIR);
    QVERIFY(w->grab().save(QString(ZELORA_SCREENSHOT_DIR) + "/" + name + ".png"));
}

CPresenceChatPageWidget* PageOf(CPresenceDialogHost& host, const std::string& jid)
{
    CPresenceChatWindow* w = host.ChatWindow();
    const int index = w->Tabs().Find(jid);
    return index < 0 ? nullptr : w->PageWidget(index);
}

void Type(CPresenceChatPageWidget* page, const char* text)
{
    QTest::keyClicks(page->Input(), text);
    QTest::keyClick(page->Input(), Qt::Key_Return);
}

} // namespace

class PresenceDialogsIntegrationTest : public QObject {
    Q_OBJECT
private slots:
    void twoUsersThroughTheirWindows();
};

void PresenceDialogsIntegrationTest::twoUsersThroughTheirWindows()
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    ProsodyPeer server(kServer);
    QCOMPARE(server.Start({{"alice", "alicepw"}, {"bob", "bobpw"}}), std::string());
    const std::string users = home.filePath("users").toStdString();
    std::ofstream(users) << "alice\tAlice Smith\talice@example.org\t1001\nbob\tBob Jones\tbob@example.org\t1002\n";
    QCOMPARE(server.StartServices(PRESENCE_SERVICES_PATH, users), std::string());

    DialogSession alice(kServer, "alice", home.filePath("alice.ini").toStdString());
    DialogSession bob(kServer, "bob", home.filePath("bob.ini").toStdString());
    QVERIFY2(Await(alice.view, "LOGIN OK"), alice.view.Tail(5).c_str());
    QVERIFY(Await(bob.view, "LOGIN OK"));
    QVERIFY(Await(alice.view, "SERVICES"));

    // Chat both ways: Alice opens the tab, Bob's opens when her message arrives.
    alice.host->OpenChat("bob@localhost", "Bob");
    CPresenceChatPageWidget* toBob = PageOf(*alice.host, "bob@localhost");
    QVERIFY(toBob != nullptr);
    Type(toBob, "hello bob <3");
    QTRY_VERIFY(PageOf(*bob.host, "alice@localhost") != nullptr);
    CPresenceChatPageWidget* toAlice = PageOf(*bob.host, "alice@localhost");
    QTRY_VERIFY(toAlice->Conversation().contains("alice@localhost:\nhello bob <3\n"));
    QVERIFY(toAlice->Conversation().contains(QRegularExpression(R"(^\(\d\d:\d\d:\d\d [AP]M\) alice@localhost:)")));
    QVERIFY(bob.host->ChatWindow()->isVisible());
    Type(toAlice, "hi alice");
    QTRY_VERIFY(toBob->Conversation().contains("Bob:\nhi alice\n")); // the name she gave the tab
    Type(toBob, "second");
    QTRY_VERIFY(toAlice->Conversation().contains("second"));
    QCOMPARE(bob.host->ChatWindow()->TabWidget()->count(), 1);
    Keep(alice.host->ChatWindow(), "presence-chat-window");

    // The history file holds the conversation in order, and the history window shows it
    // through the stylesheet.
    const std::string file = home.filePath("data").toStdString() + "/zeloraTALK/alice/bob@localhost.xml";
    const std::string xml = ReadFile(file);
    const auto first = xml.find("<Text>hello bob &lt;3</Text>");
    const auto reply = xml.find("FriendlyName=\"bob@localhost\"/></From><To><User FriendlyName=\"alice@localhost\"/>"
                                "</To><Text>hi alice</Text>");
    const auto last = xml.find("<Text>second</Text>");
    QVERIFY2(first < reply && reply < last && last != std::string::npos, xml.c_str());
    alice.host->ChatWindow()->ShowHistory();
    CPresenceHistoryWindow* history = alice.host->ChatWindow()->HistoryWindow();
    QVERIFY(history != nullptr);
    QCOMPARE(history->windowTitle(), QString("Chat History - Bob"));
    QVERIFY2(history->View()->Embedded(), "the embedded browser needs QTWEBENGINE_DISABLE_SANDBOX=1 as root");
    QSignalSpy loaded(history->View(), &CWebPageView::PageShown);
    QVERIFY(loaded.wait(10000));
    QCOMPARE(loaded.first().first().toBool(), true);
    const QString shown = loaded.first().at(1).toString();
    QVERIFY2(shown.contains("alice@localhost: hello bob <3") && shown.contains("bob@localhost: hi alice"),
             qPrintable(shown));
    QCOMPARE(history->View()->PageTitle(), QString("Chat history"));

    // Alice's own profile with a picture; Bob opens it as her contact profile.
    QImage picture(200, 120, QImage::Format_RGB32);
    picture.fill(QColor(20, 120, 200));
    const QString png = home.filePath("me.png");
    QVERIFY(picture.save(png));
    alice.host->OpenOwnProfile();
    CPresenceProfileWindow* own = alice.host->OwnProfileWindow();
    QVERIFY(own != nullptr);
    own->findChild<QLineEdit*>("First Name")->setText("Alice");
    QTest::keyClicks(own->findChild<QLineEdit*>("Nick Name"), "Ally");
    QTest::keyClicks(own->findChild<QLineEdit*>("Business Street"), "1 Work Rd");
    QVERIFY(own->TakeAvatar(png));
    QTest::mouseClick(Button(own, "Save"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(own->Status(), QString("Profile saved"), 5000);
    bob.host->OpenContactProfile("alice@localhost");
    QTRY_VERIFY_WITH_TIMEOUT(bob.host->ContactProfileWindow() != nullptr, 5000);
    CPresenceProfileWindow* seen = bob.host->ContactProfileWindow();
    QTRY_COMPARE(seen->findChild<QLineEdit*>("Nick Name")->text(), QString("Ally"));
    QCOMPARE(seen->findChild<QLineEdit*>("Business Street")->text(), QString("1 Work Rd"));
    QCOMPARE(seen->findChild<QLineEdit*>("Home Street")->text(), QString());
    QCOMPARE(seen->Photo(), own->Photo());
    QVERIFY(seen->findChild<QLineEdit*>("Nick Name")->isReadOnly());
    Keep(seen, "presence-contact-profile");
    // Opened again, the own profile is read back from the server into the editable pages.
    own->close();
    alice.host->OpenOwnProfile();
    QCOMPARE(own->findChild<QLineEdit*>("Nick Name")->text(), QString());
    QTRY_COMPARE(own->findChild<QLineEdit*>("Nick Name")->text(), QString("Ally"));
    QCOMPARE(own->Photo(), seen->Photo());
    QVERIFY(!own->findChild<QLineEdit*>("Nick Name")->isReadOnly());

    // A search finds Bob; "Add as a Contact" sends him Alice's subscription request.
    alice.host->OpenSearch();
    CPresenceSearchWindow* search = alice.host->SearchWindow();
    QTest::keyClicks(search->Text(), "bob");
    QTest::mouseClick(search->SearchButton(), Qt::LeftButton);
    QVERIFY(!search->SearchButton()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(search->Controller().State(), SearchState::Results, 5000);
    QCOMPARE(search->Results()->topLevelItemCount(), 1);
    QCOMPARE(search->Results()->topLevelItem(0)->text(1), QString("Bob Jones"));
    search->AddSelectedAsContact();
    QVERIFY2(Await(bob.view, "SUBSCRIBE-REQUEST jid=alice@localhost"), bob.view.Tail(5).c_str());

    // A broadcast to the contacts chosen from the roster arrives in Bob's conversation.
    QTRY_VERIFY(alice.handler->Gui()->Roster().size() == 1);
    alice.host->OpenBroadcast();
    CPresenceBroadcastWindow* broadcast = alice.host->BroadcastWindow();
    QCOMPARE(broadcast->Contacts()->count(), 1);
    broadcast->Contacts()->item(0)->setCheckState(Qt::Checked);
    QTest::keyClicks(broadcast->Text(), "meeting at ten");
    QTest::mouseClick(broadcast->SendButton(), Qt::LeftButton);
    QTRY_VERIFY(toAlice->Conversation().endsWith("meeting at ten\n"));

    // The Yahoo gateway registered from the account dialog signs in.
    bob.host->OpenIMAccount(1);
    CPresenceIMAccountWindow* im = bob.host->IMAccountWindow();
    QTest::keyClicks(im->UserName(), "bobby");
    QTest::keyClicks(im->Password(), "secret");
    QTest::mouseClick(im->AddButton(), Qt::LeftButton);
    QCOMPARE(im->Message(), QString("Registering the account..."));
    // The message ends with the gateway's answer, not when the window closes.
    QTRY_COMPARE(im->Message(), QString("Account registered"));
    // The presence window's part: the gateway's subscription is accepted. Until then the server
    // answers the gateway's probe with "unavailable", which signs the network out again.
    QVERIFY(Await(bob.view, "SUBSCRIBE-REQUEST jid=yahoo.localhost"));
    auto* accept = new CRosterItem;
    accept->contactJid = "yahoo.localhost";
    accept->accept = 1;
    bob.handler->Gui()->HandleGUIPresenceData(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION, accept);
    Await(bob.view, "IM-STATUS 1 0 1", 2000);
    QTRY_VERIFY(im->SignInButton()->isEnabled() || im->State() == "Signed in");
    QTest::mouseClick(im->SignInButton(), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return im->State() == "Signed in"; }, 8000))
        QFAIL((bob.view.Tail(8) + "\n" + server.ServicesLog()).c_str());
    QCOMPARE(bob.handler->Gui()->Gateway(1).signedIn, 1);
    Keep(im, "presence-im-account");
}

QTEST_MAIN(PresenceDialogsIntegrationTest)
#include "PresenceDialogsIntegrationTest.moc"
