// The address book's windows over their real controllers: the contact form's check message by
// message and its birth-date rule, the upload window's states against operator-sim (accepted,
// -1005, 404, a server that never answers, a user who gives up), and the contacts window's menus,
// messages, delete, delete all, presence icons and kept columns.
#include <QDate>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <thread>
#include <fstream>

#include "StoreTestSupport.h"
#include "BoxAnswerer.h"
#include "WebPeers.h"
#include "addressbook/CAddressBookNetStatusDlg.h"
#include "addressbook/ui/CAddressBookNetStatusWindow.h"
#include "addressbook/ui/CAddressBookWindowUpload.h"
#include "addressbook/ui/CContactFormWindow.h"
#include "addressbook/ui/CViewContactsWindow.h"
#include "platform/Registry.h"

namespace {

const std::string kWeb = "127.0.15.10", kSilent = "127.0.15.11";
const char* kUser = "1001";
const char* kOperatorData = "[server]\nversion = zeloraTALK Version 3.1.2\n\n[user:1001]\nbalance = 1.00\n"
                            "smsbalance = 0\nlvl3 = 4930111222\ninbox = 0\n";

// Stands for the upload window where a test is about the form alone.
struct RecordingUpload : CContactUpload {
    std::vector<std::pair<int, ContactRecord>> runs;
    bool Run(int kind, const ContactRecord& record, std::string& entryNumber) override
    {
        runs.emplace_back(kind, record);
        entryNumber = "77";
        return true;
    }
};

struct FakePhone : CContactsPhone {
    bool busy = false;
    QStringList calls, sms;
    bool IsCallInProgress() override { return busy; }
    void Call(const std::string& number) override { calls << QString::fromStdString(number); }
    void Sms(const std::string& number) override { sms << QString::fromStdString(number); }
};

// Watches the upload window: the status texts it showed, and presses its button once it says
// "Close" (or, with `cancelAfterTicks`, while it still says "Cancel").
class UploadWatcher : public QObject {
public:
    QStringList statuses;
    QString finalCaption;
    int finalProgress = -1;
    int cancelAfterTicks = -1;

    UploadWatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, &UploadWatcher::Tick);
        m_timer.start(10);
    }

private:
    void Tick()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* up = qobject_cast<CAddressBookNetStatusWindow*>(w);
            if (up == nullptr || !up->isVisible())
                continue;
            const QString status = up->StatusLabel()->text();
            if (!status.isEmpty() && (statuses.isEmpty() || statuses.last() != status))
                statuses << status;
            const bool cancel = cancelAfterTicks >= 0 && m_ticks++ >= cancelAfterTicks;
            if (up->Button()->text() == "Close" || cancel) {
                finalCaption = up->Button()->text();
                finalProgress = up->ProgressBar()->value();
                up->Button()->click();
            }
        }
    }
    QTimer m_timer;
    int m_ticks = 0;
};

void ClickOk(CContactFormWindow& form) { QTest::mouseClick(form.OkButton(), Qt::LeftButton); }

QAction* MenuItem(CViewContactsWindow& w, const QString& menu, const QString& item)
{
    for (QAction* top : w.Menus()->actions())
        if (top->text().remove('&') == menu)
            for (QAction* a : top->menu()->actions())
                if (a->text() == item)
                    return a;
    return nullptr;
}

} // namespace

class AddressBookUiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void formRefusesInTheCheckOrderAndKeepsTodayAsNoBirthDate();
    void uploadWindowShowsEveryOutcomeOfTheOperator();
    void contactsWindowMenusMessagesAndDeletes();

private:
    std::unique_ptr<AddressBookStore> NewStore();

    QTemporaryDir m_home;
    abtest::FakeSettings m_settings;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<RawServer> m_silent;
    std::vector<std::unique_ptr<AddressBookStore>> m_stores;
};

void AddressBookUiTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (m_home.path() + "/data").toUtf8());
    zelora::Registry::ReopenDefaults();
    const std::string data = m_home.path().toStdString() + "/operator.ini";
    std::ofstream(data) << kOperatorData;
    m_sim = std::make_unique<SimProcess>(OPERATOR_SIM_PATH, kWeb, data);
    const std::string error = m_sim->Start();
    QVERIFY2(error.empty(), error.c_str());
    // Reads the request and then says nothing, for as long as the test runs.
    m_silent = std::make_unique<RawServer>(kSilent, [](int fd) {
        char b;
        while (read(fd, &b, 1) > 0) {
        }
    });
    const std::string silentError = m_silent->Start();
    QVERIFY2(silentError.empty(), silentError.c_str());
}

void AddressBookUiTest::cleanupTestCase()
{
    m_stores.clear();
    m_silent.reset();
    m_sim.reset();
}

std::unique_ptr<AddressBookStore> AddressBookUiTest::NewStore()
{
    static int n = 0;
    const std::string folder = m_home.path().toStdString() + "/book" + std::to_string(++n);
    std::filesystem::create_directories(folder);
    auto store = std::make_unique<AddressBookStore>(folder, "zelora", "presence.test", m_settings.Hooks());
    store->Load(kUser);
    return store;
}

void AddressBookUiTest::formRefusesInTheCheckOrderAndKeepsTodayAsNoBirthDate()
{
    auto store = NewStore();
    RecordingUpload upload;
    BoxAnswerer boxes;
    CContactFormWindow form(*store, upload, std::nullopt);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(form.windowTitle(), QString("New Contact"));

    // Blank after trimming counts as empty; the focus goes where the text asks.
    form.FieldEdit("First Name")->setText("   ");
    ClickOk(form);
    QCOMPARE(boxes.texts.last(), QString("Please enter First Name"));
    QCOMPARE(form.focusWidget(), form.FieldEdit("First Name"));
    form.FieldEdit("First Name")->setText("Ann|");
    ClickOk(form);
    QCOMPARE(boxes.texts.last(), QString("Please enter email"));
    QCOMPARE(form.focusWidget(), form.FieldEdit("E-Mail"));

    // Every field holds a bar; each refusal names the first one left, then that one is cleaned.
    const std::pair<QString, QString> order[] = {
        {"E-Mail", "Bar Sign(|) is not allowed in any fields"},
        {"VOIP Number", "Bar Sign(|) is not allowed in VOIP number"},
        {"Mobile Number", "Bar Sign(|) is not allowed in mobile number"},
        {"Home Number", "Bar Sign(|) is not allowed in home number"},
        {"Business Number", "Bar Sign(|) is not allowed in business number"},
        {"First Name", "Bar Sign(|) is not allowed in title"},
        {"Title", "Bar Sign(|) is not allowed in title"},
        {"Middle Name", "Bar Sign(|) is not allowed in Middle Name"},
        {"Last Name", "Bar Sign(|) is not allowed in Last Name"},
        {"Alternate E-Mail", "Bar Sign(|) is not allowed in Alternate E-Mail"},
        {"Fax Number", "Bar Sign(|) is not allowed in Fax Number"},
        {"Pager Number", "Bar Sign(|) is not allowed in Pager Number"},
        {"ICQ", "Bar Sign(|) is not allowed in ICQ"},
        {"Website", "Bar Sign(|) is not allowed in Website"},
        {"Company Name", "Bar Sign(|) is not allowed in Company Name"},
        {"Comments", "Bar Sign(|) is not allowed in Comments"},
    };
    const QString clean[] = {"ann@example.com",
                             "2002",
                             "0170",
                             "030",
                             "040",
                             "Ann",
                             "Dr",
                             "B",
                             "Lee",
                             "ann@presence.test",
                             "050",
                             "060",
                             "123",
                             "http://ann.example",
                             "Acme &Co",
                             "Hi"};
    for (const auto& [label, message] : order)
        if (label != "Comments")
            form.FieldEdit(label)->setText(form.FieldEdit(label)->text() + "x|y");
    form.Comments()->setPlainText("a|b");
    int i = 0;
    for (const auto& [label, message] : order) {
        ClickOk(form);
        QCOMPARE(boxes.texts.last(), message);
        if (label == "Comments")
            form.Comments()->setPlainText("line one\nline two");
        else
            form.FieldEdit(label)->setText("  " + clean[i] + " ");
        ++i;
    }
    ClickOk(form);
    QCOMPARE(boxes.texts.last(), QString("Enter is not allowed in Comments"));
    QVERIFY(upload.runs.empty());
    QVERIFY(form.isVisible());

    // Left at today's date: no birth date. The fields go out trimmed, "&" as it is.
    form.Comments()->setPlainText("Hi");
    QCOMPARE(form.BirthDate()->date(), QDate::currentDate());
    ClickOk(form);
    QCOMPARE(boxes.texts.size(), 19);
    QCOMPARE(upload.runs.size(), std::size_t(1));
    QCOMPARE(upload.runs[0].first, CAddressBookNetStatusDlg::KIND_ADD);
    const ContactRecord& sent = upload.runs[0].second;
    QCOMPARE(sent.birthDate, std::string(" "));
    QCOMPARE(sent.name, std::string(" "));
    QCOMPARE(sent.firstName, std::string("Ann"));
    QCOMPARE(sent.companyName, std::string("Acme &Co"));
    QCOMPARE(form.result(), int(QDialog::Accepted));
    auto live = store->LiveEntries();
    QCOMPARE(live.size(), std::size_t(1));
    QCOMPARE(live[0].second.entryNumber, std::string("77"));
    QCOMPARE(live[0].second.birthDate, std::string(" "));

    // The edit form opens on the stored entry; a picked date is kept in the file's form.
    CContactFormWindow edit(*store, upload, live[0].second);
    edit.show();
    QCOMPARE(edit.windowTitle(), QString("Edit Contact - Ann B Lee"));
    QCOMPARE(edit.FieldEdit("VOIP Number")->text(), QString("2002"));
    edit.BirthDate()->setDate(QDate(1975, 3, 9));
    ClickOk(edit);
    QCOMPARE(upload.runs.size(), std::size_t(2));
    QCOMPARE(upload.runs[1].first, CAddressBookNetStatusDlg::KIND_UPDATE);
    QCOMPARE(upload.runs[1].second.entryNumber, std::string("77"));
    QCOMPARE(store->LiveEntries()[0].second.birthDate, std::string("1975-03-09"));
    // Reopened, the picker shows the stored date, and a stored date stays when not touched.
    CContactFormWindow again(*store, upload, store->LiveEntries()[0].second);
    QCOMPARE(again.BirthDate()->date(), QDate(1975, 3, 9));
    QCOMPARE(boxes.texts.size(), 19);
}

void AddressBookUiTest::uploadWindowShowsEveryOutcomeOfTheOperator()
{
    auto store = NewStore();
    BoxAnswerer boxes;
    UploadWatcher watcher;
    CAddressBookWindowUpload upload(kWeb, 80, []() { return std::string(kUser); });
    const int addsBefore = m_sim->Requests("_addent");

    // Accepted: the operator keeps the entry and its number lands in the local book.
    auto fill = [](CContactFormWindow& form) {
        form.FieldEdit("First Name")->setText("Carl");
        form.FieldEdit("E-Mail")->setText("carl@example.com");
        form.FieldEdit("VOIP Number")->setText("3003");
    };
    {
        CContactFormWindow form(*store, upload, std::nullopt);
        form.show();
        fill(form);
        ClickOk(form);
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }
    QCOMPARE(m_sim->Requests("_addent"), addsBefore + 1);
    auto live = store->LiveEntries();
    QCOMPARE(live.size(), std::size_t(1));
    QVERIFY(!live[0].second.entryNumber.empty());
    QVERIFY(watcher.finalCaption.isEmpty()); // the accepted window closed by itself

    // -1005: the window stays with "Close", the form stays open, nothing is added.
    {
        CContactFormWindow form(*store, upload, std::nullopt);
        form.show();
        fill(form);
        ClickOk(form);
        QVERIFY(form.isVisible());
        QCOMPARE(watcher.statuses.last(), QString("User name (Carl) already exist"));
        QCOMPARE(watcher.finalCaption, QString("Close"));
        QCOMPARE(watcher.finalProgress, 100);
    }
    QCOMPARE(store->LiveEntries().size(), std::size_t(1));

    // 404 from the operator.
    QCOMPARE(m_sim->Control("op=fail&status=404&count=1"), std::string("ok\n"));
    std::string sno = "unchanged";
    watcher.finalCaption.clear();
    QVERIFY(!upload.Run(CAddressBookNetStatusDlg::KIND_DELETE, live[0].second, sno));
    QCOMPARE(watcher.statuses.last(), QString("Requested page not found."));
    QCOMPARE(watcher.finalCaption, QString("Close"));

    // A server that never answers: the wait is bounded and ends as a request error.
    QElapsedTimer clock;
    clock.start();
    CAddressBookWindowUpload silent(
        kSilent, 80, []() { return std::string(kUser); }, 1500);
    watcher.finalCaption.clear();
    QVERIFY(!silent.Run(CAddressBookNetStatusDlg::KIND_ADD, live[0].second, sno));
    QVERIFY(clock.elapsed() >= 1400 && clock.elapsed() < 5000);
    QCOMPARE(watcher.statuses.last(), QString("Internet request error."));
    QCOMPARE(watcher.finalCaption, QString("Close"));
    QCOMPARE(watcher.finalProgress, 100);

    // The user gives up while it waits: "Cancel" ends it at once, not accepted.
    watcher.finalCaption.clear();
    watcher.cancelAfterTicks = 20;
    clock.restart();
    CAddressBookWindowUpload patient(kSilent, 80, []() { return std::string(kUser); });
    QVERIFY(!patient.Run(CAddressBookNetStatusDlg::KIND_ADD, live[0].second, sno));
    QCOMPARE(watcher.finalCaption, QString("Cancel"));
    QVERIFY(clock.elapsed() < 3000);
    QCOMPARE(store->LiveEntries().size(), std::size_t(1));
    QVERIFY(boxes.texts.isEmpty());
}

void AddressBookUiTest::contactsWindowMenusMessagesAndDeletes()
{
    auto store = NewStore();
    BoxAnswerer boxes;
    UploadWatcher watcher;
    CAddressBookWindowUpload upload(kWeb, 80, []() { return std::string(kUser); });
    // Two contacts the operator knows, entered the way the forms do.
    for (const auto& [first, email, voip] :
         {std::tuple{"Dora", "dora@example.com", "4004"}, std::tuple{"Emil", "emil@presence.test", "5005"}}) {
        ContactRecord r = abtest::Contact("", first, email);
        r.voip = voip;
        std::string sno;
        QVERIFY(upload.Run(CAddressBookNetStatusDlg::KIND_ADD, r, sno));
        r.entryNumber = sno;
        QCOMPARE(store->Add(r), 0);
    }
    FakePhone phone;
    int pimSyncs = 0;
    auto open = [&]() {
        auto w = std::make_unique<CViewContactsWindow>(
            *store, upload, phone, CViewContactsWindow::Hooks{[&](QWidget*) { ++pimSyncs; }, "presence.test"});
        w->show();
        return w;
    };
    auto window = open();
    QCOMPARE(window->windowTitle(), QString("Address Book"));
    QCOMPARE(window->List()->topLevelItemCount(), 2);
    QCOMPARE(window->List()->columnCount(), 11);

    // Without a selection.
    MenuItem(*window, "Phone", "VOIP Number")->trigger();
    MenuItem(*window, "SMS", "VOIP Number")->trigger();
    for (const char* caption : {"Edit", "Delete"})
        for (QPushButton* b : window->findChildren<QPushButton*>())
            if (b->text() == caption)
                b->click();
    QCOMPARE(boxes.texts,
             QStringList(
                 {"Please select any contact form list to make call", "Please select any contact form list to send sms",
                  "Please select any contact from list to edit", "Please select any contact from list to delete"}));
    boxes.texts.clear();

    // Dora has no mobile number; a call is under way; then her VoIP number is called.
    window->Select(0);
    QCOMPARE(window->Selection(), std::optional<std::size_t>(0));
    MenuItem(*window, "Phone", "Mobile Number")->trigger();
    MenuItem(*window, "SMS", "Business Number")->trigger();
    phone.busy = true;
    MenuItem(*window, "Phone", "VOIP Number")->trigger();
    QCOMPARE(boxes.texts,
             QStringList({"Please select any valid item to make call", "Please select any valid item to send sms",
                          "Cannot call when call is in progress"}));
    QVERIFY(phone.calls.isEmpty() && window->isVisible());
    phone.busy = false;
    MenuItem(*window, "Phone", "VOIP Number")->trigger();
    QCOMPARE(phone.calls, QStringList({"4004"}));
    QVERIFY(!window->isVisible());

    window = open();
    window->Select(1);
    MenuItem(*window, "SMS", "VOIP Number")->trigger();
    QCOMPARE(phone.sms, QStringList({"5005"}));
    QVERIFY(!window->isVisible());

    // Presence: only the contact of the presence domain carries an icon, drawn from its state.
    window = open();
    QTreeWidgetItem* emil = window->List()->findItems("Emil", Qt::MatchExactly, 0).value(0);
    QTreeWidgetItem* dora = window->List()->findItems("Dora", Qt::MatchExactly, 0).value(0);
    QVERIFY(emil != nullptr && dora != nullptr);
    QVERIFY(dora->icon(0).isNull());
    QCOMPARE(emil->toolTip(0), QString("Available"));
    // Changed elsewhere (presence side, web replies): the open list follows.
    QCOMPARE(store->SetPresence("emil@zelora.im", 2), 1);
    QTRY_COMPARE_WITH_TIMEOUT(window->List()->findItems("Emil", Qt::MatchExactly, 0).value(0)->toolTip(0),
                              QString("Away"), 500);
    emil = window->List()->findItems("Emil", Qt::MatchExactly, 0).value(0);
    QVERIFY(emil->icon(0).pixmap(14).toImage() != CViewContactsWindow::PresenceIcon(0).pixmap(14).toImage());
    // The web sync's replies, applied on its own thread, show as soon as the store tells of them.
    auto onWebThread = [](const std::function<void()>& work) { std::thread(work).join(); };
    WebContact fritz;
    fritz.entryNumber = "9009";
    fritz.firstName = "Fritz";
    fritz.email = "fritz@example.com";
    int rc = -9;
    onWebThread([&] { rc = store->AddEntry(fritz); });
    QCOMPARE(rc, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!window->List()->findItems("Fritz", Qt::MatchExactly, 0).isEmpty(), 500);
    onWebThread([&] { rc = store->MarkDeleted(store->LiveEntries().back().first); });
    QCOMPARE(rc, 0);
    QTRY_VERIFY_WITH_TIMEOUT(window->List()->findItems("Fritz", Qt::MatchExactly, 0).isEmpty(), 500);
    // Another program of the same user (its own store on the same file) adds and removes a contact.
    AddressBookStore elsewhere(std::filesystem::path(store->Path()).parent_path().string(), "zelora", "presence.test",
                               m_settings.Hooks());
    elsewhere.Load(kUser);
    QCOMPARE(elsewhere.AddEntry(fritz), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!window->List()->findItems("Fritz", Qt::MatchExactly, 0).isEmpty(), 1000);
    QCOMPARE(elsewhere.MarkDeleted(elsewhere.LiveEntries().back().first), 0);
    QTRY_VERIFY_WITH_TIMEOUT(window->List()->findItems("Fritz", Qt::MatchExactly, 0).isEmpty(), 1000);

    // Delete: No keeps it; Yes sends "_delent" and marks it deleted.
    const int deletesBefore = m_sim->Requests("_delent");
    QPushButton* del = nullptr;
    QPushButton* delAll = nullptr;
    QPushButton* pim = nullptr;
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        del = b->text() == "Delete" ? b : del;
        delAll = b->text() == "Delete All" ? b : delAll;
        pim = b->text() == "PIM Sync" ? b : pim;
    }
    window->Select(0);
    boxes.answer = QMessageBox::No;
    del->click();
    QCOMPARE(window->List()->topLevelItemCount(), 2);
    boxes.answer = QMessageBox::Yes;
    const std::string doraSno = store->LiveEntries()[0].second.entryNumber;
    window->Select(0);
    del->click();
    QCOMPARE(m_sim->Requests("_delent"), deletesBefore + 1);
    QCOMPARE(window->List()->topLevelItemCount(), 1);
    QCOMPARE(store->Find(std::stol(doraSno)), -1);
    QCOMPARE(boxes.texts.mid(3),
             QStringList({"Are you sure that you want to delete this contact?",
                          "Are you sure that you want to delete this contact?"}));

    pim->click();
    QCOMPARE(pimSyncs, 1);

    // Columns: widths, order and sort survive the window.
    window->List()->header()->resizeSection(3, 222);
    window->List()->header()->moveSection(2, 0);
    window->List()->sortByColumn(1, Qt::DescendingOrder);
    window->close();
    std::string kept;
    QCOMPARE(zelora::Registry::CurrentUser().GetString(CViewContactsWindow::kListCtrlsKey, "1017", kept), 0);
    window = open();
    QCOMPARE(window->List()->header()->sectionSize(3), 222);
    QCOMPARE(window->List()->header()->logicalIndex(0), 2);
    QCOMPARE(window->List()->header()->sortIndicatorSection(), 1);
    QCOMPARE(window->List()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    // A damaged value is passed over.
    QCOMPARE(zelora::Registry::CurrentUser().SetString(CViewContactsWindow::kListCtrlsKey, "1017", "9,9;x;1"), 0);
    window->close();
    QCOMPARE(zelora::Registry::CurrentUser().GetString(CViewContactsWindow::kListCtrlsKey, "1017", kept), 0);
    QVERIFY(kept != "9,9;x;1");

    // Delete all: asked, sent, emptied; then the blank list's message.
    window = open();
    delAll = nullptr;
    for (QPushButton* b : window->findChildren<QPushButton*>())
        delAll = b->text() == "Delete All" ? b : delAll;
    boxes.texts.clear();
    delAll->click();
    QCOMPARE(window->List()->topLevelItemCount(), 0);
    QVERIFY(store->LiveEntries().empty());
    delAll->click();
    QCOMPARE(
        boxes.texts,
        QStringList({"Are you sure you want to delete all contacts?", "Contact list is blank. Please add a contact"}));
    QCOMPARE(m_sim->Requests("_delAll"), 1);
    QVERIFY(watcher.finalCaption.isEmpty());
}

QTEST_MAIN(AddressBookUiTest)
#include "AddressBookUiTest.moc"
