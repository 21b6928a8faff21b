// The portal windows against the operator simulator: the page in the embedded browser, the
// enciphering failure's box, and the default browser where the embedded one may not run.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QtTest>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>

#include "WebPeers.h"
#include "web/CPortalLink.h"
#include "web/WebApi.h"
#include "web/ui/CWebPageView.h"
#include "web/ui/CPortalWindows.h"
#include "web/ui/CWebSMSDlg.h"
#include "web/ui/CzeloraTALKCallHistoryDialog.h"

namespace {

const char* kSimHost = "127.0.16.10";
const char* kSms = "Lunch moved to Friday";

CPortalPage::Source From(const std::string& user, std::function<std::string()> stamp = {})
{
    return CPortalPage::Source{kSimHost, [user]() { return user; }, std::move(stamp)};
}

} // namespace

class PortalWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void encipheringFailureShowsTheBox();
    void pageInTheEmbeddedBrowser();
    void defaultBrowserWhenNotEmbedded();
    void defaultBrowserWhenTheEmbeddedOneEnds();
    void mainWindowButtonsOpenFreshWindows();

private:
    // A stub browser named by BROWSER that writes the URL it gets into the file returned;
    // empty XDG folders so that no installed handler comes first.
    QString StubBrowser();
    void CheckStubGot(const std::string& url, const QString& file);

    QTemporaryDir m_dir;
    std::unique_ptr<SimProcess> m_sim;
};

void PortalWindowsTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const std::string data = m_dir.filePath("operator.ini").toStdString();
    std::ofstream(data) << "[user:1001]\nlvl3 = 4930111222\nsms.1 = 4930555|"
                        << QString(kSms).replace(" ", "%20").toStdString()
                        << "\nmissed.1 = 4930777|2026-12-01%2009:30\n";
    m_sim = std::make_unique<SimProcess>(OPERATOR_SIM_PATH, kSimHost, data);
    const std::string error = m_sim->Start();
    QVERIFY2(error.empty(), error.c_str());
}

void PortalWindowsTest::cleanupTestCase()
{
    if (m_sim != nullptr)
        m_sim->Stop();
}

void PortalWindowsTest::encipheringFailureShowsTheBox()
{
    // The box is modal: read and close it from the event loop it runs.
    QString shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&shown]() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box != nullptr && box->isVisible()) {
                shown = QString("%1|%2").arg(box->text()).arg(box->icon() == QMessageBox::Critical);
                box->button(QMessageBox::Ok)->click();
            }
        }
    });
    poll.start(20);
    CWebSMSDlg dlg(From(std::string(1300, 'u')));
    QCOMPARE(dlg.Open(), 1);
    QCOMPARE(shown, QString("Unable to make web page contents|1"));
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.windowTitle(), QString("SMS Dialog"));
    QVERIFY(dlg.View()->Url().isEmpty());
    QVERIFY(!dlg.View()->Embedded());
}

void PortalWindowsTest::pageInTheEmbeddedBrowser()
{
    CWebSMSDlg dlg(From("1001"));
    QSignalSpy shown(dlg.View(), &CWebPageView::PageShown);
    QCOMPARE(dlg.Open(), 0);
    QVERIFY(dlg.View()->Embedded());
    QVERIFY2(shown.wait(20000), "the embedded page did not load");
    const QString text = shown.at(0).at(1).toString();
    QVERIFY(shown.at(0).at(0).toBool());
    QVERIFY2(text.contains("SMS Inbox") && text.contains(QString("4930555: ") + kSms), qPrintable(text));
    QCOMPARE(dlg.View()->accessibleDescription(), text);

    // A stale link: the portal says so inside the window, the window stays.
    const std::string stale =
        zelora::web::RequestTimeStamp(std::chrono::system_clock::now() - std::chrono::minutes(30));
    CzeloraTALKCallHistoryDialog history(From("1001", [stale]() { return stale; }));
    QSignalSpy again(history.View(), &CWebPageView::PageShown);
    QCOMPARE(history.Open(), 0);
    QVERIFY(again.wait(20000));
    QVERIFY2(again.at(0).at(1).toString().contains("The sign-in link has expired."),
             qPrintable(again.at(0).at(1).toString()));
    QCOMPARE(history.windowTitle(), QString("Call History"));
}

QString PortalWindowsTest::StubBrowser()
{
    const QString got = m_dir.filePath("browser.txt");
    QFile::remove(got);
    const QString stub = m_dir.filePath("browser.sh");
    QFile file(stub);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QString("#!/bin/sh\nprintf '%s\\n' \"$1\" > '%1.part' && mv '%1.part' '%1'\n").arg(got).toUtf8());
    file.close();
    QFile::setPermissions(stub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
        QDir().mkpath(m_dir.filePath(name));
        qputenv(name, m_dir.filePath(name).toUtf8());
    }
    qputenv("BROWSER", stub.toUtf8());
    return got;
}

void PortalWindowsTest::CheckStubGot(const std::string& url, const QString& got)
{
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(got), 10000);
    QFile file(got);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().trimmed().toStdString(), url);
}

void PortalWindowsTest::defaultBrowserWhenNotEmbedded()
{
    QVERIFY2(!QStandardPaths::findExecutable("xdg-open").isEmpty(), "xdg-open is missing (Debian package xdg-utils)");
    const QString got = StubBrowser();
    qputenv(CWebPageView::kBrowserVariable, "external");
    CzeloraTALKCallHistoryDialog dlg(From("1001"));
    QSignalSpy outside(dlg.View(), &CWebPageView::OpenedOutside);
    QCOMPARE(dlg.Open(), 0);
    qunsetenv(CWebPageView::kBrowserVariable);
    QCOMPARE(outside.count(), 1);
    QVERIFY(outside.at(0).at(1).toBool());
    QVERIFY(!dlg.View()->Embedded());
    const std::string url = dlg.Controller().Url();
    CheckStubGot(url, got);
    zelora::web::CPortalLink::Request request;
    QCOMPARE(zelora::web::CPortalLink::Read(url.substr(url.find("msg=")), request), 1);
    QCOMPARE(request.page, std::string("MissedCallViewBO"));
    QCOMPARE(request.userId, std::string("1001"));
}

void PortalWindowsTest::defaultBrowserWhenTheEmbeddedOneEnds()
{
    const QString got = StubBrowser();
    CWebSMSDlg dlg(From("1001"));
    QSignalSpy shown(dlg.View(), &CWebPageView::PageShown);
    QSignalSpy outside(dlg.View(), &CWebPageView::OpenedOutside);
    QCOMPARE(dlg.Open(), 0);
    QVERIFY(shown.wait(20000));
    // Chromium's own debug page ends the page's process as a crash would.
    auto* web = dlg.View()->findChild<QWebEngineView*>();
    QVERIFY(web != nullptr);
    web->load(QUrl("chrome://kill"));
    QVERIFY2(outside.wait(20000), "the ended browser did not hand the page over");
    QVERIFY(!dlg.View()->Embedded());
    CheckStubGot(dlg.Controller().Url(), got);
}

void PortalWindowsTest::mainWindowButtonsOpenFreshWindows()
{
    std::string user = "1001";
    CPortalWindows windows(kSimHost, [&user]() { return user; });
    std::map<std::string, std::function<void()>> press;
    for (const CzeloraTALKWindow::Tool& tool : windows.Tools())
        press[tool.tip] = tool.action;
    QCOMPARE(press.size(), std::size_t(5));
    for (const char* tip : {"SMS", "Fax", "Call History", "Missed Calls", "Number Assignment"})
        QVERIFY2(press.count(tip) == 1, tip);

    const std::pair<const char*, const CPortalPage::Kind*> opens[] = {
        {"Fax", &CPortalPage::kFax},
        {"Number Assignment", &CPortalPage::kNumberAssignment},
        {"Missed Calls", &CPortalPage::kCallHistory}};
    for (const auto& [tip, kind] : opens) {
        press[tip]();
        CPortalWindow* window = windows.Window(*kind);
        QVERIFY2(window != nullptr && window->isVisible(), tip);
        QCOMPARE(window->windowTitle().toStdString(), std::string(kind->title));
    }
    // Message 0x414 and a second "Call History": a new window each, the user of that moment.
    windows.SmsWindow()("4930555");
    QPointer<CPortalWindow> sms = windows.Window(CPortalPage::kSms);
    QVERIFY(!sms.isNull());
    QPointer<CPortalWindow> history = windows.Window(CPortalPage::kCallHistory);
    user = "2002";
    press["Call History"]();
    QTRY_VERIFY(history.isNull());
    zelora::web::CPortalLink::Request request;
    const std::string url = windows.Window(CPortalPage::kCallHistory)->Controller().Url();
    QCOMPARE(zelora::web::CPortalLink::Read(url.substr(url.find("msg=")), request), 1);
    QCOMPARE(request.userId, std::string("2002"));
    QVERIFY(!sms.isNull());
}

int main(int argc, char** argv)
{
    CWebPageView::PrepareProcess();
    QApplication app(argc, argv);
    PortalWindowsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PortalWindowsTest.moc"
