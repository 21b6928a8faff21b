// The phone's windows over their real controllers: the display's drawing, the login panel's
// rules, the connection settings' checks, and the main window driven through CzeloraTALKDlg with
// a fake protocol and audio engine. Screenshots of the three panels go to the build tree.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "../PhoneTestSupport.h"
#include "BoxAnswerer.h"
#include "phone/ui/CAdsTicker.h"
#include "phone/ui/CDisplayWidget.h"
#include "phone/ui/CIncomingCallNotifier.h"
#include "phone/ui/CLoginPanel.h"
#include "phone/ui/CPhoneWindows.h"
#include "phone/ui/CProxySettingsWindow.h"
#include "phone/ui/CzeloraTALKWindow.h"
#include "phone/ui/MessageBoxes.h"
#include "web/CScrollLink.h"
#include "widgets/CMXSkinButton.h"

using namespace phonetest;

namespace {

// Settings in a folder of the test's own, named after the test function.
class UiSettings : public TempSettings {
public:
    UiSettings() : TempSettings(std::string("ui.") + QTest::currentTestFunction()) { }
};

int CountColour(const QImage& image, const QRect& area, QRgb colour, int tolerance)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            QRgb p = image.pixel(x, y);
            n += std::abs(qRed(p) - qRed(colour)) <= tolerance && std::abs(qGreen(p) - qGreen(colour)) <= tolerance &&
                std::abs(qBlue(p) - qBlue(colour)) <= tolerance;
        }
    return n;
}

// Mean x of the pixels of one colour in a band of rows.
double CentreOf(const QImage& image, int top, int bottom, QRgb colour)
{
    double sum = 0;
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - qRed(colour)) < 20 && std::abs(qGreen(p) - qGreen(colour)) < 20 &&
                std::abs(qBlue(p) - qBlue(colour)) < 20) {
                sum += x;
                ++n;
            }
        }
    return n > 0 ? sum / n : -1;
}

// The program's windows over a fake protocol (set into `protocol` at start-up) and audio engine.
CPhoneWindows::Dependencies Dependencies(UiSettings& temp, FakeAudio& audio, FakeProtocol*& protocol)
{
    CPhoneWindows::Dependencies deps;
    deps.settings = &temp.Settings();
    deps.audio = &audio;
    deps.deployment = TestDeployment();
    deps.programFolder = temp.Folder();
    deps.options.startThreads = false;
    deps.options.localAddress = "127.0.11.1";
    deps.options.protocolFactory = [&protocol](bool, const TunnelSettings&) {
        auto p = std::make_unique<FakeProtocol>();
        protocol = p.get();
        return std::unique_ptr<CSessionProtocol>(std::move(p));
    };
    return deps;
}

// Signed in as the registration event from the protocol's side would do it; the queue wakes
// the window, which drains it.
bool SignIn(CPhoneWindows& windows, FakeProtocol* protocol)
{
    windows.Controller().RegisterSoftPhone("1001", "pw1001");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    return QTest::qWaitFor([&windows]() { return windows.Controller().IsSignedIn(); });
}

} // namespace

class PhoneUiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_xdg.isValid());
        for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            qputenv(var, m_xdg.filePath(var).toLocal8Bit());
    }

    void displayDrawsCentredColouredLinesAndElidesLongOnes();
    void loginPanelFollowsTheControllersRules();
    void connectionSettingsCheckTheProxyFields();
    void connectionSettingsAutomaticIsStoredAndReadBack();
    void mainWindowDialsFromTheKeyboardAndShowsOneBoxAtATime();
    void incomingCallNotifierSlidesInAndAnswers();
    void adsTickerDrawsTheMovingTextAndOpensTheLinkClicked();

private:
    QTemporaryDir m_xdg;
};

void PhoneUiTest::displayDrawsCentredColouredLinesAndElidesLongOnes()
{
    CDisplayWidget display;
    display.resize(260, 64);
    display.SetLines({"5551234", "", "Connected - 00:01:05"}, true);
    QImage image = display.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int top = 8; // the lines' margin below the picture's rim
    QVERIFY2(CountColour(image, QRect(0, top, 260, 15), CDisplayWidget::kNumberColour, 40) > 20, "line 1 not blue");
    QCOMPARE(CountColour(image, QRect(0, top + 15, 260, 15), CDisplayWidget::kNumberColour, 40), 0);
    QVERIFY2(CountColour(image, QRect(0, top + 30, 260, 17), qRgb(255, 255, 255), 30) > 20, "line 3 not white");
    // Centred between 20 px from the left edge and the right edge.
    double centre = CentreOf(image, top, top + 15, CDisplayWidget::kNumberColour);
    QVERIFY2(std::abs(centre - (20 + 260) / 2.0) < 6, qPrintable(QString("line 1 centre %1").arg(centre)));
    QCOMPARE(display.ShownText(2), QString("Connected - 00:01:05"));

    const QString longLine = "A caller name far too long for the small display of the phone";
    display.SetLines({longLine.toStdString(), "", ""}, true);
    QVERIFY(display.ShownText(0).endsWith(QChar(0x2026)));
    QVERIFY(display.ShownText(0).size() < longLine.size());
    QCOMPARE(display.LineText(0), longLine); // the accessible text is the whole line
    // Nothing painted: the lines are empty whatever they held.
    display.SetLines({"x", "y", "z"}, false);
    image = display.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(CountColour(image, QRect(0, top, 260, 47), CDisplayWidget::kNumberColour, 40), 0);
    QCOMPARE(display.ShownText(1), QString());
}

void PhoneUiTest::loginPanelFollowsTheControllersRules()
{
    UiSettings temp;
    QStringList boxes, opened;
    std::vector<std::pair<std::string, std::string>> registered;
    CLoginPanel::Hooks hooks;
    hooks.messageBox = [&boxes](const std::string& text, CzeloraTALKView::Icon) {
        boxes << QString::fromStdString(text);
    };
    hooks.openUrl = [&opened](const std::string& url) {
        opened << QString::fromStdString(url);
        return false; // no browser: the panel must say so
    };
    CLoginPanel panel(hooks, "http://portal.zelora.test/signup");
    MXLoginDlg::Account account;
    account.userId = []() { return std::string("1001"); };
    account.password = []() { return std::string(); };
    account.registerSoftPhone = [&registered](const std::string& u, const std::string& p) {
        registered.emplace_back(u, p);
    };
    account.back = []() {};
    MXLoginDlg login(panel, temp.Settings(), account, TestDeployment().passwordResetPage);
    panel.SetController(&login);
    login.LoadCredentials();
    panel.show();
    panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel));

    QCOMPARE(panel.UserIdField()->text(), QString("1001"));
    QCOMPARE(panel.PasswordField()->echoMode(), QLineEdit::Password);
    QVERIFY(!panel.RememberMeBox()->isChecked());
    QVERIFY(!panel.AutoLoginBox()->isEnabled());
    // The empty field gets the cursor.
    QTRY_VERIFY(panel.PasswordField()->hasFocus());

    QTest::mouseClick(panel.RememberMeBox(), Qt::LeftButton, {}, QPoint(8, panel.RememberMeBox()->height() / 2));
    QVERIFY(panel.RememberMeBox()->isChecked());
    QVERIFY(panel.AutoLoginBox()->isEnabled());
    panel.AutoLoginBox()->setChecked(true);
    panel.RememberMeBox()->setChecked(false);
    QVERIFY(!panel.AutoLoginBox()->isEnabled());
    QVERIFY(!panel.AutoLoginBox()->isChecked());

    panel.UserIdField()->clear();
    QTest::mouseClick(panel.SignInButton(), Qt::LeftButton, {}, panel.SignInButton()->rect().center());
    QCOMPARE(boxes, QStringList{"Please enter User ID."});
    QVERIFY(panel.UserIdField()->hasFocus());
    QTest::keyClicks(panel.UserIdField(), "2002");
    QTest::mouseClick(panel.SignInButton(), Qt::LeftButton, {}, panel.SignInButton()->rect().center());
    QCOMPARE(boxes.last(), QString("Please enter Password."));
    QVERIFY(panel.PasswordField()->hasFocus());
    QVERIFY(registered.empty());
    panel.RememberMeBox()->setChecked(true);
    QTest::keyClicks(panel.PasswordField(), "secret");
    QTest::keyClick(panel.PasswordField(), Qt::Key_Return);
    QCOMPARE(registered.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(registered[0].first), QString("2002"));
    QCOMPARE(QString::fromStdString(registered[0].second), QString("secret"));
    // Remembered: shown again from the store with the boxes as left.
    login.LoadCredentials();
    QVERIFY(panel.RememberMeBox()->isChecked());
    QVERIFY(panel.AutoLoginBox()->isEnabled());

    panel.OpenUrl("http://portal.zelora.test/signup");
    QCOMPARE(opened, QStringList{"http://portal.zelora.test/signup"});
    QVERIFY(boxes.last().startsWith("Unable to open the web page"));
}

void PhoneUiTest::connectionSettingsCheckTheProxyFields()
{
    UiSettings temp;
    BoxAnswerer answerer;
    CProxySettingsWindow window(temp.Settings());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.ChoiceButton(CProxySettingsWindow::CONNECTION_DIRECT)->isChecked());
    QVERIFY(!window.UseProxyBox()->isEnabled());
    QVERIFY(!window.AddressField()->isEnabled());

    window.ChoiceButton(CProxySettingsWindow::CONNECTION_TUNNEL)->click();
    QVERIFY(window.UseProxyBox()->isEnabled());
    QVERIFY(!window.AddressField()->isEnabled());
    window.UseProxyBox()->click();
    QVERIFY(window.AddressField()->isEnabled() && window.PortField()->isEnabled());
    window.AddressField()->setText("  ");
    window.PortField()->setText("3128");
    window.Accept();
    QTRY_COMPARE(answerer.texts, QStringList{"Enter Proxy Address"});
    QVERIFY(window.isVisible());
    window.AddressField()->setText("127.0.11.5");
    window.PortField()->clear();
    window.Accept();
    QTRY_COMPARE(answerer.texts.last(), QString("Enter Proxy Port"));
    QVERIFY(window.isVisible());

    // Back to direct: the proxy is off, an empty address is accepted and the choice stored.
    window.ChoiceButton(CProxySettingsWindow::CONNECTION_DIRECT)->click();
    QVERIFY(!window.UseProxyBox()->isEnabled());
    window.UseProxyBox()->setChecked(false);
    window.AddressField()->clear();
    window.Accept();
    QTRY_VERIFY(!window.isVisible());
    QVERIFY(answerer.texts.last().startsWith("Your settings is saved"));
    CProxySettingsWindow again(temp.Settings());
    QVERIFY(again.ChoiceButton(CProxySettingsWindow::CONNECTION_DIRECT)->isChecked());
    QVERIFY(!again.UseProxyBox()->isChecked());
}

// Automatic keeps the proxy fields open (it may end on the tunnel through the proxy); it is
// stored as 2, read back as the checked choice, and leaving it stores the other choice again.
void PhoneUiTest::connectionSettingsAutomaticIsStoredAndReadBack()
{
    UiSettings temp;
    BoxAnswerer answerer;
    {
        CProxySettingsWindow window(temp.Settings());
        window.ChoiceButton(CProxySettingsWindow::CONNECTION_AUTOMATIC)->click();
        QVERIFY(window.UseProxyBox()->isEnabled());
        window.UseProxyBox()->click();
        QVERIFY(window.AddressField()->isEnabled());
        window.AddressField()->setText("127.0.14.40");
        window.PortField()->setText("8888");
        window.Accept();
        QTRY_VERIFY(answerer.texts.size() == 1 && answerer.texts[0].startsWith("Your settings is saved"));
    }
    CSettingsHttpProxy stored;
    QVERIFY(temp.Settings().ReadHttpProxy(stored) >= 0);
    QCOMPARE(stored.httpUseTunnel, 2);
    QCOMPARE(stored.httpUseProxy, 1);
    QCOMPARE(QString::fromStdString(stored.httpProxyIp), QString("127.0.14.40"));

    CProxySettingsWindow again(temp.Settings());
    QVERIFY(again.ChoiceButton(CProxySettingsWindow::CONNECTION_AUTOMATIC)->isChecked());
    QVERIFY(!again.ChoiceButton(CProxySettingsWindow::CONNECTION_DIRECT)->isChecked());
    QVERIFY(again.UseProxyBox()->isChecked() && again.AddressField()->isEnabled());
    QVERIFY(!again.ChoiceButton(CProxySettingsWindow::CONNECTION_AUTOMATIC)->accessibleDescription().isEmpty());
    again.ChoiceButton(CProxySettingsWindow::CONNECTION_TUNNEL)->click();
    again.Accept();
    QTRY_COMPARE(answerer.texts.size(), 2);
    QVERIFY(temp.Settings().ReadHttpProxy(stored) >= 0);
    QCOMPARE(stored.httpUseTunnel, 1);
    CProxySettingsWindow third(temp.Settings());
    QVERIFY(third.ChoiceButton(CProxySettingsWindow::CONNECTION_TUNNEL)->isChecked());
}

void PhoneUiTest::mainWindowDialsFromTheKeyboardAndShowsOneBoxAtATime()
{
    UiSettings temp;
    FakeAudio audio;
    FakeProtocol* protocol = nullptr;
    BoxAnswerer answerer;
    CPhoneWindows windows(Dependencies(temp, audio, protocol));
    QSignalSpy closed(&windows, &CPhoneWindows::Closed);
    QVERIFY(windows.Start());
    auto* window = qobject_cast<CzeloraTALKWindow*>(windows.MainWindow());
    QVERIFY(window != nullptr);
    QCOMPARE(window->accessibleName(), QString("zeloraTALK"));
    // Picture buttons: the fixed name, the tooltip as description.
    QCOMPARE(window->Button("Call")->accessibleDescription(), QString("Dial"));
    QCOMPARE(window->Button("Hang up")->accessibleDescription(), QString("End call"));
    QCOMPARE(window->NumberField()->accessibleName(), QString("Number"));
    QVERIFY(protocol != nullptr);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_COMPARE(window->Panel(), int(CzeloraTALKView::PANEL_LOGIN));
    const QString shots = QStringLiteral(ZELORA_SCREENSHOT_DIR);
    QDir().mkpath(shots);
    QVERIFY(window->grab().save(shots + "/login.png"));

    CzeloraTALKDlg& dlg = windows.Controller();
    QVERIFY(SignIn(windows, protocol));
    QTRY_COMPARE(window->Panel(), int(CzeloraTALKView::PANEL_DIALPAD));

    QTest::keyClicks(window, "55*1#");
    QCOMPARE(window->NumberField()->text(), QString("55*1#"));
    QTest::keyClick(window, Qt::Key_Backspace);
    QCOMPARE(window->NumberField()->text(), QString("55*1"));
    QTest::keyClick(window->NumberField(), Qt::Key_Escape);
    QVERIFY(window->isVisible());
    QVERIFY(audio.Has("Tone 10"));
    window->Button("1")->click();
    QCOMPARE(window->NumberField()->text(), QString("55*11"));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(window->grab().save(shots + "/dialpad.png"));

    QTest::keyClick(window->NumberField(), Qt::Key_Return);
    QCOMPARE(protocol->Count("Invite"), 1);
    QTRY_COMPARE(window->Panel(), int(CzeloraTALKView::PANEL_CALL));
    QTRY_VERIFY(!window->Display()->LineText(1).isEmpty());
    QVERIFY(window->grab().save(shots + "/call.png"));

    // During the call Return is refused; a second box asked for while it is open waits for it.
    answerer.delayTicks = 5;
    answerer.onOpen = [&dlg](const QString& text) {
        if (text.startsWith("Can not dial"))
            dlg.Queue().Post(CzeloraTALKDlg::WM_INTERNAL_SHOW_BOX, CzeloraTALKView::ICON_INFORMATION, 0, "second");
    };
    QTest::keyClick(window, Qt::Key_Return);
    QTRY_COMPARE(answerer.texts, (QStringList{"Can not dial while call in progress", "second"}));
    QTRY_COMPARE(messageboxes::Open(), 0);
    QCOMPARE(answerer.mostOpen, 1);
    QCOMPARE(protocol->Count("Invite"), 1);

    // Closing during the call asks; No keeps the window.
    answerer.onOpen = {};
    answerer.delayTicks = 0;
    answerer.answer = QMessageBox::No;
    QVERIFY(!windows.ConfirmClose());
    QTRY_COMPARE(answerer.texts.last(), QString("Currently call is in progress. Do you want to close anyway?"));
    QVERIFY(window->isVisible());
    QCOMPARE(closed.count(), 0);
}

void PhoneUiTest::incomingCallNotifierSlidesInAndAnswers()
{
    UiSettings temp;
    FakeAudio audio;
    FakeProtocol* protocol = nullptr;
    CPhoneWindows windows(Dependencies(temp, audio, protocol));
    QVERIFY(windows.Start());
    QVERIFY(SignIn(windows, protocol));
    auto* window = qobject_cast<CzeloraTALKWindow*>(windows.MainWindow());
    CIncomingCallNotifier* notifier = window->Notifier();

    SESSION_EVENT_INFO offer = Record(21);
    CopyText(offer.codecName, "PCMA");
    CopyText(offer.codecPayload, "8");
    CopyText(offer.rtpIp, "127.0.11.2");
    CopyText(offer.rtpPort, "30002");
    CopyText(offer.fromUserName, "5550199");
    protocol->Raise(MXSS_STATUS_INCOMING_CALL, &offer);
    QTRY_VERIFY(notifier->isVisible());
    QCOMPARE(notifier->windowTitle(), QString("Incoming call"));
    QVERIFY(notifier->Caller().contains("5550199"));
    QCOMPARE(notifier->CurrentState(), CSlidePopup::STATE_SLIDING_IN);
    QTRY_COMPARE(notifier->CurrentState(), CSlidePopup::STATE_SHOWN);
    // Fully in at the corner of the available area.
    QRect area = notifier->screen()->availableGeometry();
    QCOMPARE(notifier->geometry().bottomRight(), area.bottomRight());
    // A second show while shown keeps it shown (the stay starts again).
    notifier->Popup();
    QCOMPARE(notifier->CurrentState(), CSlidePopup::STATE_SHOWN);

    auto* answer = notifier->findChild<CMXSkinButton*>();
    QVERIFY(answer != nullptr);
    QCOMPARE(answer->accessibleName(), QString("Answer"));
    answer->click();
    QVERIFY(!notifier->isVisible());
    QCOMPARE(protocol->Count("AcceptIncomingCall"), 1);
}

void PhoneUiTest::adsTickerDrawsTheMovingTextAndOpensTheLinkClicked()
{
    CScrollLink ticker;
    CAdsTicker view;
    view.resize(200, 18);
    QStringList opened;
    view.Attach(&ticker, [&opened](const std::string& link) { opened << QString::fromStdString(link); });
    ticker.AddScrollText("Cheap calls", "http://127.0.11.3/offer");
    // Steps by hand (no ticker thread) until the text is well inside the area.
    for (int i = 0; i < 400 && (ticker.Frames().empty() || ticker.Frames().front().x > 60); ++i)
        ticker.Step();
    QVERIFY(!ticker.Frames().empty());
    const CTextFrame frame = ticker.Frames().front();
    QVERIFY(frame.width > 20); // measured with the ticker's font, not left at 0
    QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY2(CountColour(image, QRect(frame.x, 0, frame.width, 18), qRgb(0x8f, 0xc6, 0xe6), 60) > 10,
             "ticker text not drawn where its frame is");
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(frame.x + frame.width / 2, 9));
    QCOMPARE(opened, QStringList{"http://127.0.11.3/offer"});
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(frame.x + frame.width + 5, 9));
    QCOMPARE(opened.size(), 1); // between frames: nothing opens
}

QTEST_MAIN(PhoneUiTest)
#include "PhoneUiTest.moc"
