// The presence window's secondary windows over their real controllers, offscreen: the IM
// account dialog's checks and what they write and send, the search dialog's states and
// "Add as a Contact", a chat page's time prefix, history and send failure, where a message
// goes (tab forward or pop-up), the avatar picker's JPEG conversion, and an invitation's
// outcome carried from the HTTP client's thread to its window.
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <gloox/vcard.h>
#include <sstream>

#include "platform/ProfileFile.h"
#include "presence/CFifo.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/xmpp/CPresenceProfile.h"
#include "presence/PresenceCodes.h"
#include "presence/ui/CPresenceAvatar.h"
#include "presence/ui/CPresenceChatPageWidget.h"
#include "presence/ui/CPresenceChatPopup.h"
#include "presence/ui/CPresenceChatWindow.h"
#include "presence/ui/CPresenceIMAccountWindow.h"
#include "presence/ui/CPresenceInviteWindow.h"
#include "presence/ui/CPresenceProfileWindow.h"
#include "presence/ui/CPresenceSearchWindow.h"

#include <QCheckBox>
#include <QComboBox>

namespace {

// Takes every command queued for the XMPP side, records kept.
struct Sent {
    std::vector<std::pair<int, std::unique_ptr<CPresenceData>>> commands;
    void Drain(CFifo& fifo)
    {
        CFifoMessage* m = nullptr;
        while (fifo.Readmessage(m) == CFifo::kRead) {
            commands.emplace_back(m->command, std::unique_ptr<CPresenceData>(m->data));
            delete m;
        }
    }
    template <class T>
    T* Last(int command)
    {
        for (auto it = commands.rbegin(); it != commands.rend(); ++it)
            if (it->first == command)
                return dynamic_cast<T*>(it->second.get());
        return nullptr;
    }
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Key(const std::string& file, const char* key)
{
    return zelora::GetPrivateProfileString("IMDetails", key, "", file);
}

} // namespace

class PresenceDialogsUiTest : public QObject {
    Q_OBJECT
private slots:
    void accountDialogChecksWritesAndSends();
    void searchStatesAndAddAsContact();
    void chatPageTimePrefixHistoryAndFailure();
    void arrivalBringsTabForwardOrPopsUp();
    void avatarBecomesSmallJpeg();
    void invitationOutcomeReachesTheWindow();
};

void PresenceDialogsUiTest::accountDialogChecksWritesAndSends()
{
    QTemporaryDir dir;
    const std::string settings = dir.filePath("presenceSettings_5551.ini").toStdString();
    CFifo xmpp, gui;
    CGUIPresenceHandler handler(xmpp, gui);
    handler.UseSettingsFile(settings);
    CPresenceIMAccountWindow w(handler);
    w.ShowGateway(IM_TYPE_MSN);
    QCOMPARE(w.Network()->currentText(), QString("MSN "));
    QVERIFY(!w.DeleteButton()->isEnabled());
    QVERIFY(!w.SignInButton()->isEnabled());
    Sent sent;

    struct Case {
        const char *user, *password, *refusal;
    };
    for (const Case& c : {Case{"", "pw", "Enter Username"}, Case{"bob@live.example", "", "Enter Password"},
                          Case{"bob", "pw", "Enter complete id"}}) {
        w.UserName()->clear();
        w.Password()->clear();
        QTest::keyClicks(w.UserName(), c.user);
        QTest::keyClicks(w.Password(), c.password);
        QTest::mouseClick(w.AddButton(), Qt::LeftButton);
        QCOMPARE(w.Message(), QString(c.refusal));
        sent.Drain(xmpp);
        QVERIFY2(sent.commands.empty(), c.refusal);
        QCOMPARE(Key(settings, "nIsIMMSNLoginInformationAvailable"), std::string());
    }

    // Yahoo names need no at sign; the start-up choice goes with the registration.
    w.Network()->setCurrentIndex(0);
    QVERIFY(w.Message().isEmpty());
    w.AtStartUp()->setChecked(true);
    sent.Drain(xmpp);
    QVERIFY(sent.commands.empty()); // no account yet: nothing to store on the server
    QTest::mouseClick(w.AddButton(), Qt::LeftButton);
    sent.Drain(xmpp);
    auto* reg = sent.Last<CIMDetails>(PRESENCE_COMMAND_XMPP_REGISTER_IM);
    QVERIFY(reg != nullptr);
    QCOMPARE(reg->imType, IM_TYPE_YAHOO);
    QCOMPARE(reg->userName, std::string("bob"));
    QCOMPARE(reg->password, std::string("pw"));
    QCOMPARE(Key(settings, "nIsIMYahooLoginInformationAvailable"), std::string("1"));
    QCOMPARE(Key(settings, "nIsIMYahooLoginAtStartUpEnabled"), std::string("1"));
    QVERIFY(w.Password()->text().isEmpty());
    QVERIFY(w.DeleteButton()->isEnabled());
    QCOMPARE(w.State(), QString("Signed out"));

    w.AtStartUp()->setChecked(false);
    sent.Drain(xmpp);
    QVERIFY(sent.Last<CIMDetails>(PRESENCE_COMMAND_XMPP_SET_IM_LOGIN_AT_STARTUP) != nullptr);
    QCOMPARE(Key(settings, "nIsIMYahooLoginAtStartUpEnabled"), std::string("0"));

    QTest::mouseClick(w.SignInButton(), Qt::LeftButton);
    sent.Drain(xmpp);
    auto* in = sent.Last<CIMDetails>(PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE);
    QVERIFY(in != nullptr && in->imType == IM_TYPE_YAHOO && in->presence == PRESENCE_AVAILABLE);

    QTest::mouseClick(w.DeleteButton(), Qt::LeftButton);
    sent.Drain(xmpp);
    QVERIFY(sent.Last<CIMDetails>(PRESENCE_COMMAND_XMPP_UNREGISTER_IM) != nullptr);
    QCOMPARE(Key(settings, "nIsIMYahooLoginInformationAvailable"), std::string("0"));
    QCOMPARE(w.State(), QString("No account"));
    // The other gateways were never touched.
    QCOMPARE(Key(settings, "nIsIMMSNLoginInformationAvailable"), std::string());
}

void PresenceDialogsUiTest::searchStatesAndAddAsContact()
{
    std::vector<std::pair<int, std::unique_ptr<CPresenceData>>> sent;
    bool online = true;
    CPresenceSearchWindow w(
        [&](int command, CPresenceData* d) {
            if (!online) {
                delete d;
                return false;
            }
            sent.emplace_back(command, std::unique_ptr<CPresenceData>(d));
            return true;
        },
        "localhost");
    w.show();
    QStringList titles;
    for (int i = 0; i < w.Results()->columnCount(); ++i)
        titles << w.Results()->headerItem()->text(i) + "," + QString::number(w.Results()->columnWidth(i));
    QCOMPARE(titles.join(";"), QString("ID,140;Name,110;EMail,130;Phone,90"));

    QTest::mouseClick(w.SearchButton(), Qt::LeftButton);
    QCOMPARE(w.Message(), QString("Please! Enter String to search"));
    QVERIFY(sent.empty());

    QTest::keyClicks(w.Text(), "alice");
    for (QCheckBox* box : w.findChildren<QCheckBox*>())
        if (box->accessibleName() == "E-mail")
            QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(w.SearchButton(), Qt::LeftButton);
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].first, int(PRESENCE_COMMAND_XMPP_SEARCH_USER));
    auto* query = dynamic_cast<CSearchContact*>(sent[0].second.get());
    QVERIFY(query != nullptr);
    QCOMPARE(query->text, std::string("alice"));
    QCOMPARE(int(query->byUserName) * 1000 + query->byName * 100 + query->byEmail * 10 + query->byPhone, 1010);
    QVERIFY(!w.SearchButton()->isEnabled());
    QCOMPARE(w.StateText(), QString("Search in progress..."));
    QTest::keyClick(w.Text(), Qt::Key_Return); // a second search while one runs goes nowhere
    QCOMPARE(sent.size(), std::size_t(1));

    CSearchResult none;
    w.Controller().Result(&none);
    QVERIFY(w.SearchButton()->isEnabled());
    QCOMPARE(w.Controller().State(), SearchState::NoResult);
    QCOMPARE(w.StateText(), QString("No contact found"));

    QTest::mouseClick(w.SearchButton(), Qt::LeftButton);
    w.Controller().Result(nullptr); // the failure is only logged; the dialog is ready again
    QVERIFY(w.SearchButton()->isEnabled());
    QCOMPARE(w.Controller().State(), SearchState::Idle);

    // No search service answers: the dialog gives up rather than stay disabled.
    w.SetAnswerTimeout(30);
    QTest::mouseClick(w.SearchButton(), Qt::LeftButton);
    QVERIFY(!w.SearchButton()->isEnabled());
    QTRY_VERIFY(w.SearchButton()->isEnabled());
    QCOMPARE(w.Message(), QString("The search service did not answer"));
    QCOMPARE(w.Controller().State(), SearchState::Idle);
    w.SetAnswerTimeout(60000);

    QTest::mouseClick(w.SearchButton(), Qt::LeftButton);
    CSearchResult found;
    found.items = {{"alice", "Alice A", "alice@mail.example", "555"},
                   {"carol@localhost", "Carol", "", ""},
                   {"", "Nobody", "", ""}};
    w.Controller().Result(&found);
    QCOMPARE(w.Controller().State(), SearchState::Results);
    QCOMPARE(w.Results()->topLevelItemCount(), 3);
    QCOMPARE(w.Results()->topLevelItem(0)->text(2), QString("alice@mail.example"));
    sent.clear();

    w.Results()->setCurrentItem(w.Results()->topLevelItem(0));
    w.AddSelectedAsContact();
    w.Results()->setCurrentItem(w.Results()->topLevelItem(1));
    w.AddSelectedAsContact();
    QCOMPARE(sent.size(), std::size_t(2));
    auto* alice = dynamic_cast<CRosterItem*>(sent[0].second.get());
    auto* carol = dynamic_cast<CRosterItem*>(sent[1].second.get());
    QVERIFY(alice && carol && sent[0].first == PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT);
    QCOMPARE(alice->contactJid, std::string("alice@localhost"));
    QCOMPARE(alice->name, std::string("Alice A"));
    QCOMPARE(alice->group, std::string("Buddies"));
    QCOMPARE(carol->contactJid, std::string("carol@localhost")); // the domain is not added twice

    w.Results()->setCurrentItem(w.Results()->topLevelItem(2));
    w.AddSelectedAsContact();
    QCOMPARE(w.Message(), QString("Invalid Contact Id"));
    online = false;
    w.Results()->setCurrentItem(w.Results()->topLevelItem(0));
    w.AddSelectedAsContact();
    QCOMPARE(w.Message(), QString("Unable to Add Contact"));
    QCOMPARE(sent.size(), std::size_t(2));
}

void PresenceDialogsUiTest::chatPageTimePrefixHistoryAndFailure()
{
    QTemporaryDir dir;
    ChatPageIdentity own{"", "", "me@localhost", "me", "me", dir.path().toStdString() + "/"};
    std::vector<std::unique_ptr<CChatMessage>> out;
    bool online = true;
    CPresenceChatWindow w(own, [&](std::unique_ptr<CChatMessage> m) {
        if (!online)
            return false;
        out.push_back(std::move(m));
        return true;
    });
    PresenceChatSettings s;
    s.history = true;
    s.showTime = true;
    w.ApplySettings(s);

    std::tm at{};
    at.tm_year = 126;
    at.tm_mon = 11;
    at.tm_mday = 9;
    at.tm_hour = 14;
    at.tm_min = 5;
    at.tm_sec = 7;
    at.tm_isdst = -1;
    const std::time_t when = std::mktime(&at);
    CChatMessage m;
    m.peerJid = "bob@localhost";
    m.body = "hello <b>&";
    w.Tabs().Receive(m, "Bob", when);
    QCOMPARE(w.TabWidget()->count(), 1);
    QCOMPARE(w.TabWidget()->tabText(0), QString("Bob"));
    CPresenceChatPageWidget* page = w.PageWidget(0);
    QCOMPARE(page->Conversation(), QString("(14:05:07 PM) Bob:\nhello <b>&\n"));

    // Typed and sent: shown with the own name, handed over with the page's session slot.
    QTest::keyClicks(page->Input(), "hi there");
    QTest::keyClick(page->Input(), Qt::Key_Return);
    QCOMPARE(out.size(), std::size_t(1));
    QCOMPARE(out[0]->peerJid, std::string("bob@localhost"));
    QCOMPARE(out[0]->body, std::string("hi there"));
    QVERIFY(out[0]->sessionSlot != nullptr && out[0]->sessionSlot == w.Tabs().Page(0)->Slot());
    QVERIFY(page->Conversation().contains(QRegularExpression(R"(\(\d\d:\d\d:\d\d [AP]M\) me:\nhi there\n$)")));
    QVERIFY(page->Input()->text().isEmpty());

    const std::string file = w.Tabs().Page(0)->HistoryFile();
    QCOMPARE(file, dir.path().toStdString() + "/me/bob@localhost.xml");
    const std::string xml = ReadFile(file);
    QVERIFY(xml.find("Time=\"14:05:07\"") != std::string::npos);
    QVERIFY(xml.find("<From><User FriendlyName=\"bob@localhost\"/></From><To><User FriendlyName=\"me@localhost\"/>"
                     "</To><Text>hello &lt;b&gt;&amp;</Text>") != std::string::npos);
    QVERIFY(xml.find("<Text>hi there</Text>") < xml.size());
    QVERIFY(xml.size() > 7 && xml.compare(xml.size() - 7, 7, "\n</Log>") == 0);

    // Without the time setting no prefix; with history off nothing more is written.
    s.showTime = false;
    s.history = false;
    w.ApplySettings(s);
    m.body = "second";
    w.Tabs().Receive(m, "Bob", when);
    QCOMPARE(w.TabWidget()->count(), 1);
    QVERIFY(page->Conversation().endsWith("\nBob:\nsecond\n"));
    QCOMPARE(ReadFile(file), xml);

    // Refused by the connection: the page says so and keeps the line.
    w.Tabs().SignedOut();
    QTest::keyClicks(page->Input(), "lost");
    QTest::keyClick(page->Input(), Qt::Key_Return);
    QCOMPARE(out.size(), std::size_t(1));
    QVERIFY(page->Conversation().endsWith("me:\nlost\nUnable to Send Chat Message\n"));
    w.Tabs().SignedIn();
    online = false;
    QTest::keyClicks(page->Input(), "again");
    QTest::keyClick(page->Input(), Qt::Key_Return);
    QVERIFY(page->Conversation().endsWith("again\nUnable to Send Chat Message\n"));

    RosterEntry away;
    away.jid = "bob@localhost";
    away.presence = PRESENCE_AWAY;
    away.statusMessage = "lunch";
    w.Tabs().ContactPresence(away, when);
    QVERIFY(page->Conversation().endsWith("*** (14:05:07 PM) Bob is Away (lunch)\n"));
}

void PresenceDialogsUiTest::arrivalBringsTabForwardOrPopsUp()
{
    ChatPageIdentity own{"", "", "me@localhost", "me", "me", ""};
    CPresenceChatWindow w(own, [](std::unique_ptr<CChatMessage>) { return true; });
    PresenceChatSettings s;
    s.toastPopup = true;
    w.ApplySettings(s);
    auto receive = [&](const char* jid, const char* text) {
        CChatMessage m;
        m.peerJid = jid;
        m.body = text;
        return w.Tabs().Receive(m, "", std::time(nullptr));
    };

    // A hidden window opens on the message's tab without taking the focus; the pop-up tells.
    ChatArrival a = receive("bob@localhost", "one");
    QVERIFY(a.created && a.select && !a.raise && a.popup);
    QVERIFY(w.isVisible());
    QVERIFY(w.PopupWidget()->isVisible());
    QCOMPARE(w.PopupWidget()->Text(), QString("bob@localhost\nSays:\none"));
    w.PopupWidget()->hide();

    // While the user reads Bob, Carol's message gets a tab behind and a pop-up.
    a = receive("carol@localhost", "two");
    QVERIFY(a.created && !a.select && a.popup);
    QCOMPARE(w.TabWidget()->count(), 2);
    QCOMPARE(w.TabWidget()->currentIndex(), 0);
    QCOMPARE(QString::fromStdString(w.PopupWidget()->Jid()), QString("carol@localhost"));
    // Clicking the pop-up opens that conversation.
    QTest::mouseClick(w.PopupWidget(), Qt::LeftButton);
    QCOMPARE(w.TabWidget()->currentIndex(), 1);
    QVERIFY(!w.PopupWidget()->isVisible());

    // The active window's current tab needs no pop-up; a second message reuses the tab.
    w.activateWindow();
    QTRY_VERIFY(w.isActiveWindow());
    a = receive("carol@localhost", "three");
    QVERIFY(!a.created && a.select && !a.popup);
    QVERIFY(!w.PopupWidget()->isVisible());
    QCOMPARE(w.TabWidget()->count(), 2);

    // Bring-to-front: the message's tab comes forward in a raised window, no pop-up.
    s.bringFront = true;
    w.ApplySettings(s);
    QWidget elsewhere; // the user works in another window
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY(!w.isActiveWindow());
    a = receive("bob@localhost", "four");
    QVERIFY(!a.created && a.select && a.raise && !a.popup);
    QCOMPARE(w.TabWidget()->currentIndex(), 0);
    QTRY_VERIFY(w.isActiveWindow());
    QVERIFY(!w.PopupWidget()->isVisible());
    QVERIFY(w.PageWidget(0)->Conversation().endsWith("bob@localhost:\nfour\n"));

    // No pop-up setting: a message behind the current tab is only added.
    s = {};
    w.ApplySettings(s);
    a = receive("dave@localhost", "five");
    QVERIFY(a.created && !a.select && !a.popup);
    QCOMPARE(w.TabWidget()->currentIndex(), 0);
    // A closed page's session slot outlives it (the XMPP side may still write it) and serves
    // the contact's next page.
    ChatSessionSlot* slot = w.Tabs().Page(0)->Slot();
    w.Tabs().Close(0);
    QCOMPARE(w.TabWidget()->count(), 2);
    QCOMPARE(w.Tabs().Find("bob@localhost"), -1);
    QCOMPARE(w.Tabs().Find("dave@localhost"), 1);
    a = receive("bob@localhost", "six");
    QVERIFY(a.created);
    QCOMPARE(w.Tabs().Page(w.Tabs().Find("bob@localhost"))->Slot(), slot);
    QCOMPARE(w.PageWidget(2)->Conversation(), QString("bob@localhost:\nsix\n"));
}

void PresenceDialogsUiTest::avatarBecomesSmallJpeg()
{
    QTemporaryDir dir;
    // A wide picture with a transparent half, saved as PNG and as BMP.
    QImage picture(300, 150, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int y = 0; y < 150; ++y)
        for (int x = 150; x < 300; ++x)
            picture.setPixelColor(x, y, QColor(200, 0, 0));
    const QString png = dir.filePath("me.png"), bmp = dir.filePath("me.bmp"), bad = dir.filePath("bad.jpg");
    QVERIFY(picture.save(png));
    QVERIFY(picture.convertToFormat(QImage::Format_RGB32).save(bmp));
    {
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }

    CPresenceProfileWindow w([](const PresenceProfileFields&) { return true; });
    QStringList pages;
    for (int i = 0; i < w.Pages()->count(); ++i)
        pages << w.Pages()->tabText(i);
    QCOMPARE(pages.join(","), QString("Personal,Bussiness,Home"));

    QVERIFY(w.TakeAvatar(png));
    const QByteArray jpeg = w.Photo();
    QVERIFY(jpeg.startsWith("\xFF\xD8\xFF"));
    QImage back;
    QVERIFY(back.loadFromData(jpeg, "JPG"));
    QCOMPARE(back.size(), QSize(96, 48));
    QVERIFY(qGray(back.pixel(10, 24)) > 240); // transparent became white
    QVERIFY(qRed(back.pixel(80, 24)) > 150 && qGreen(back.pixel(80, 24)) < 60);

    QVERIFY(w.TakeAvatar(bmp));
    QVERIFY(w.Photo().startsWith("\xFF\xD8\xFF"));
    const QByteArray kept = w.Photo();
    QVERIFY(!w.TakeAvatar(bad));
    QCOMPARE(w.Status(), QString("Invalid file"));
    QCOMPARE(w.Photo(), kept);

    // The picture and the page fields land where the vCard expects them.
    w.findChild<QLineEdit*>("Business Street")->setText("1 Work Rd");
    w.findChild<QLineEdit*>("Home Street")->setText("2 Home Ln");
    w.findChild<QLineEdit*>("Nick Name")->setText("meme");
    const PresenceProfileFields f = w.Fields();
    QCOMPARE(f.work.street, std::string("1 Work Rd"));
    QCOMPARE(f.home.street, std::string("2 Home Ln"));
    const std::unique_ptr<gloox::VCard> card = CPresenceProfile::Build(f);
    QCOMPARE(card->photo().type, std::string("image/jpeg"));
    QCOMPARE(card->photo().binval, kept.toStdString());
    QCOMPARE(card->nickname(), std::string("meme"));
}

void PresenceDialogsUiTest::invitationOutcomeReachesTheWindow()
{
    // Nothing listens there: the request fails on the HTTP client's thread, and the window
    // shows it on its own.
    CPresenceInviteWindow w("127.0.18.250", 9, "alice");
    QTest::keyClicks(w.Address(), "no-at-sign");
    QTest::mouseClick(w.InviteButton(), Qt::LeftButton);
    QCOMPARE(w.Status(), QString("Enter a valid e-mail address"));
    QVERIFY(w.InviteButton()->isEnabled());
    w.Address()->clear();
    QTest::keyClicks(w.Address(), "friend@example.org");
    QTest::keyClick(w.Address(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(w.Status(), QString("Error while getting invited contact Request"), 10000);
    QVERIFY(w.InviteButton()->isEnabled());
}

QTEST_MAIN(PresenceDialogsUiTest)
#include "PresenceDialogsUiTest.moc"
