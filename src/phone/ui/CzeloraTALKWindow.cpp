#include "phone/ui/CzeloraTALKWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CLogger.h"
#include "phone/CzeloraTALKDlg.h"
#include "phone/ui/CAdsTicker.h"
#include "phone/ui/CDisplayWidget.h"
#include "phone/ui/CIncomingCallNotifier.h"
#include "phone/ui/CLoginPanel.h"
#include "phone/ui/CSmsNotice.h"
#include "phone/ui/MessageBoxes.h"
#include "phone/ui/SkinnedControls.h"
#include "widgets/CMXSkinButton.h"
#include "widgets/CSkin.h"
#include "widgets/CSkinSlider.h"

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 480;
// The other subsystems' buttons: four to a row, each row making the window taller.
constexpr int kToolsPerRow = 4;
constexpr int kToolRowHeight = 26;
constexpr int kVolumeMax = 255;
constexpr int kKeySize = 40;

} // namespace

CzeloraTALKWindow::CzeloraTALKWindow(CLoginPanel* loginPanel, Hooks hooks, QWidget* parent)
    : CSkinBackground("background", parent), m_hooks(std::move(hooks)), m_loginPanel(loginPanel)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle("zeloraTALK");
    setAccessibleName("zeloraTALK");
    const int toolRows = (static_cast<int>(m_hooks.moreTools.size()) + kToolsPerRow - 1) / kToolsPerRow;
    setFixedSize(kWidth, kHeight + toolRows * kToolRowHeight);
    setStyleSheet(skinned::WindowStyle());
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 10);
    layout->setSpacing(4);
    layout->addWidget(BuildTopBar());
    m_outer = new QStackedWidget(this);
    m_phonePage = BuildPhonePage();
    m_outer->addWidget(m_phonePage);
    m_loginPanel->setParent(m_outer);
    m_outer->addWidget(m_loginPanel);
    layout->addWidget(m_outer, 1);
    m_ticker = new CAdsTicker(this);
    layout->addWidget(m_ticker);

    m_notifier = new CIncomingCallNotifier(this);
    // The pop-up's buttons are the call and hang-up buttons of the window.
    m_notifier->SetActions(
        [this]() {
            if (m_dlg != nullptr)
                m_dlg->OnBnClickedButtonCall();
        },
        [this]() {
            if (m_dlg != nullptr)
                m_dlg->OnBnClickedButtonHangup();
            ShowNumber();
        });
    m_smsNotice = new CSmsNotice(this);
    CreateTray();
}

CzeloraTALKWindow::~CzeloraTALKWindow() { DetachController(); }

QWidget* CzeloraTALKWindow::BuildTopBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QGridLayout(bar);
    row->setContentsMargins(4, 0, 0, 0);
    m_title = new QLabel("zeloraTALK", bar);
    m_title->setStyleSheet("font-weight: bold; font-size: 14px; color: #8fc6e6;");
    m_status = new QLabel("Offline", bar);
    m_status->setAccessibleDescription("Status");
    m_account1 = new QLabel(bar);
    m_account1->setAccessibleDescription("Account text 1");
    m_account2 = new QLabel(bar);
    m_account2->setAccessibleDescription("Account text 2");
    m_counter = new QLabel(bar);
    m_counter->setAccessibleDescription("Counter");
    m_voipNumber = new QLabel(bar);
    m_voipNumber->setAccessibleDescription("VoIP number");
    auto* tray = AddButton(
        "small", "Hide to tray", "Hide to tray", bar, [this]() { HideToTray(); }, "_");
    auto* close = AddButton(
        "small", "Close", "Close", bar, [this]() { RequestClose(); }, QString::fromUtf8("\u00d7"));
    row->addWidget(m_title, 0, 0);
    row->addWidget(m_status, 0, 1);
    row->addWidget(tray, 0, 2);
    row->addWidget(close, 0, 3);
    row->addWidget(m_account1, 1, 0);
    row->addWidget(m_account2, 1, 1);
    row->addWidget(m_counter, 1, 2, 1, 2);
    row->addWidget(m_voipNumber, 2, 0, 1, 4);
    for (QLabel* label : {m_status, m_account1, m_account2, m_counter, m_voipNumber})
        label->setStyleSheet("font-size: 11px; color: #c8d4df;");
    return bar;
}

QWidget* CzeloraTALKWindow::BuildPhonePage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_inner = new QStackedWidget(page);
    auto* dialPage = new QWidget(m_inner);
    auto* dialRow = new QHBoxLayout(dialPage);
    dialRow->setContentsMargins(8, 16, 8, 16);
    m_number = skinned::Edit("Number", dialPage);
    m_number->setStyleSheet("font-size: 16px;");
    m_number->installEventFilter(this);
    connect(m_number, &QLineEdit::textChanged, this, [this](const QString& text) {
        // Typed or pasted by other means than keys (an accessibility client, paste).
        if (!m_settingNumber && m_dlg != nullptr)
            m_dlg->SetDialField(text.toStdString());
    });
    dialRow->addWidget(m_number, 1);
    dialRow->addWidget(AddButton(
        "small", "Clear", "Clear last input digit", dialPage,
        [this]() {
            if (m_dlg != nullptr)
                m_dlg->OnClearDigit();
            ShowNumber();
        },
        QString::fromUtf8("\u2190")));
    m_inner->addWidget(dialPage);
    m_display = new CDisplayWidget(m_inner);
    m_inner->addWidget(m_display);
    m_inner->setFixedHeight(66);
    layout->addWidget(m_inner);
    layout->addWidget(BuildKeypad(), 0, Qt::AlignHCenter);
    layout->addWidget(BuildCallRow());
    layout->addWidget(BuildSliders());
    layout->addWidget(BuildTools());
    return page;
}

QWidget* CzeloraTALKWindow::BuildKeypad()
{
    auto* pad = new QWidget(this);
    auto* grid = new QGridLayout(pad);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(22);
    grid->setVerticalSpacing(4);
    const char* keys = "123456789*0#";
    for (int i = 0; i < 12; ++i) {
        char key = keys[i];
        QString caption(QChar::fromLatin1(key));
        CMXSkinButton* button = AddButton(
            "key", caption, QString("Key %1").arg(caption), pad,
            [this, key]() {
                if (m_dlg != nullptr)
                    m_dlg->OnDialKey(key);
                ShowNumber();
            },
            caption, QSize(kKeySize, kKeySize));
        button->setFont(QFont("DejaVu Sans", 14, QFont::Bold));
        grid->addWidget(button, i / 3, i % 3);
    }
    return pad;
}

QWidget* CzeloraTALKWindow::BuildCallRow()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(20, 0, 20, 0);
    CMXSkinButton* call = AddButton("call", "Call", "Dial", row, [this]() {
        if (m_dlg != nullptr)
            m_dlg->OnBnClickedButtonCall();
    });
    CMXSkinButton* redial = AddButton(
        "button", "Redial", "Redial", row,
        [this]() {
            if (m_dlg != nullptr)
                m_dlg->OnRedial();
            ShowNumber();
        },
        "Redial", QSize(70, 28));
    CMXSkinButton* hangUp = AddButton("hangup", "Hang up", "End call", row, [this]() {
        if (m_dlg != nullptr)
            m_dlg->OnBnClickedButtonHangup();
        ShowNumber();
    });
    layout->addWidget(call);
    layout->addStretch();
    layout->addWidget(redial);
    layout->addStretch();
    layout->addWidget(hangUp);
    return row;
}

QWidget* CzeloraTALKWindow::BuildSliders()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(8, 0, 8, 0);
    m_speaker = new CSkinSlider("slider_track", "slider_thumb", box);
    m_speaker->SetTip("Volume level");
    m_mic = new CSkinSlider("slider_track", "slider_thumb", box);
    m_mic->SetTip("Mic level");
    int row = 0;
    for (CSkinSlider* slider : {m_speaker, m_mic}) {
        slider->setRange(0, kVolumeMax);
        auto* label = new QLabel(slider == m_speaker ? "Speaker" : "Mic", box);
        label->setStyleSheet("font-size: 11px;");
        grid->addWidget(label, row, 0);
        grid->addWidget(slider, row, 1);
        ++row;
    }
    // The engine follows on release and on keyboard steps, not while dragging.
    auto apply = [this](CSkinSlider* slider) {
        if (m_dlg == nullptr)
            return;
        if (slider == m_speaker)
            m_dlg->OnSpeakerVolume(slider->value());
        else
            m_dlg->OnMicVolume(slider->value());
    };
    for (CSkinSlider* slider : {m_speaker, m_mic}) {
        connect(slider, &QSlider::sliderReleased, this, [apply, slider]() { apply(slider); });
        connect(slider, &QSlider::actionTriggered, this, [apply, slider](int action) {
            if (action != QAbstractSlider::SliderMove)
                QMetaObject::invokeMethod(
                    slider, [apply, slider]() { apply(slider); }, Qt::QueuedConnection);
        });
    }
    return box;
}

QWidget* CzeloraTALKWindow::BuildTools()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    const Tool tools[] = {
        {"Settings", "Settings",
         [this]() {
             if (m_hooks.connectionSettings)
                 m_hooks.connectionSettings();
         }},
        {"Ringtone", "Ringtone",
         [this]() {
             if (m_hooks.ringtone)
                 m_hooks.ringtone();
         }},
        {"TopUp", "TopUp your account", [this]() { OpenLink(m_hooks.shopPage); }},
        {"Home", "Home", [this]() { OpenLink(m_hooks.homePage); }},
    };
    for (const Tool& tool : tools) {
        QString caption = QString::fromStdString(tool.caption);
        CMXSkinButton* button =
            AddButton("button", caption, QString::fromStdString(tool.tip), row, tool.action, caption, QSize(60, 24));
        button->setFont(QFont("DejaVu Sans", 8));
        layout->addWidget(button);
    }
    if (m_hooks.moreTools.empty())
        return row;
    auto* both = new QWidget(this);
    auto* rows = new QVBoxLayout(both);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    rows->addWidget(row);
    auto* more = new QWidget(both);
    auto* moreLayout = new QGridLayout(more);
    moreLayout->setContentsMargins(0, 0, 0, 0);
    moreLayout->setVerticalSpacing(2);
    int index = 0;
    for (const Tool& tool : m_hooks.moreTools) {
        QString tip = QString::fromStdString(tool.tip);
        CMXSkinButton* button =
            AddButton("button", tip, tip, more, tool.action, QString::fromStdString(tool.caption), QSize(60, 24));
        button->setFont(QFont("DejaVu Sans", 8));
        moreLayout->addWidget(button, index / kToolsPerRow, index % kToolsPerRow);
        ++index;
    }
    rows->addWidget(more);
    return both;
}

CMXSkinButton* CzeloraTALKWindow::AddButton(const QString& skin, const QString& name, const QString& tip,
                                            QWidget* parent, std::function<void()> action, const QString& caption,
                                            QSize size)
{
    auto* button = new CMXSkinButton(parent);
    QString mask = skin + "_mask";
    button->SetSkin(skin, skin + "_pressed", skin + "_hover", CSkin::Exists(mask) ? mask : QString(), size);
    button->SetCaption(caption);
    button->SetTip(tip);
    button->SetName(name);
    button->setFixedSize(button->size());
    connect(button, &QAbstractButton::clicked, this, [action = std::move(action)]() { action(); });
    m_buttons[name] = button;
    return button;
}

void CzeloraTALKWindow::CreateTray()
{
    ZLOG_SCOPE();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        ZLOG(LOG_WARNING, "No system tray on this desktop: no hiding to the tray, notices as own pop-ups");
        m_buttons["Hide to tray"]->hide();
        return;
    }
    m_tray = new QSystemTrayIcon(QIcon(CSkin::Face("call", QSize(22, 22), devicePixelRatioF())), this);
    m_tray->setToolTip("zeloraTALK");
    auto* menu = new QMenu(this);
    menu->addAction("Show zeloraTALK", this, [this]() { ActivateWindow(); });
    menu->addAction("Exit", this, [this]() { RequestClose(); });
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        if (m_hiddenToTray)
            m_notifier->Dismiss();
        ActivateWindow();
    });
    m_tray->show();
}

bool CzeloraTALKWindow::HideToTray()
{
    ZLOG_SCOPE();
    if (m_tray == nullptr)
        return false;
    m_hiddenToTray = true;
    hide();
    return true;
}

void CzeloraTALKWindow::AttachController(CzeloraTALKDlg* dlg)
{
    m_dlg = dlg;
    // Each post wakes the GUI thread once; the drain then takes everything queued by then.
    dlg->Queue().SetNotifier([this]() {
        if (!m_drainPosted.exchange(true))
            QMetaObject::invokeMethod(this, &CzeloraTALKWindow::DrainQueue, Qt::QueuedConnection);
    });
    if (dlg->Queue().Pending() > 0 && !m_drainPosted.exchange(true))
        QMetaObject::invokeMethod(this, &CzeloraTALKWindow::DrainQueue, Qt::QueuedConnection);
}

void CzeloraTALKWindow::DetachController()
{
    if (m_dlg != nullptr)
        m_dlg->Queue().SetNotifier({});
    m_dlg = nullptr;
    m_ticker->Attach(nullptr, {});
}

void CzeloraTALKWindow::DrainQueue()
{
    m_drainPosted = false;
    if (m_dlg != nullptr)
        m_dlg->DrainMessages();
}

void CzeloraTALKWindow::ShowNumber()
{
    if (m_dlg == nullptr)
        return;
    QString text = QString::fromStdString(m_dlg->GetDialField());
    if (m_number->text() == text)
        return;
    m_settingNumber = true;
    m_number->setText(text);
    m_settingNumber = false;
}

CMXSkinButton* CzeloraTALKWindow::Button(const QString& accessibleName) const
{
    auto it = m_buttons.find(accessibleName);
    return it != m_buttons.end() ? it->second : nullptr;
}

char CzeloraTALKWindow::KeyCharacter(int key, const QString& text)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return '\r';
    if (key == Qt::Key_Backspace)
        return '\b';
    if (text.size() != 1 || text[0].unicode() > 0x7F)
        return 0;
    char c = static_cast<char>(text[0].unicode());
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    bool taken =
        letter || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '=' || c == '*' || c == '#' || c == '+';
    return taken ? c : 0;
}

bool CzeloraTALKWindow::HandleKey(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        return true; // never closes the phone
    char c = KeyCharacter(event->key(), event->text());
    if (c == 0 || m_dlg == nullptr || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    m_dlg->OnKeyboardKey(c);
    ShowNumber();
    return true;
}

bool CzeloraTALKWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_number && event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return CSkinBackground::eventFilter(watched, event);
}

void CzeloraTALKWindow::keyPressEvent(QKeyEvent* event)
{
    if (!HandleKey(event))
        CSkinBackground::keyPressEvent(event);
}

void CzeloraTALKWindow::closeEvent(QCloseEvent* event)
{
    if (m_closing || m_dlg == nullptr) {
        event->accept();
        return;
    }
    event->ignore();
    RequestClose();
}

void CzeloraTALKWindow::RequestClose()
{
    // The controller decides (a call in progress asks first); it closes through CloseWindow.
    if (m_dlg == nullptr || m_dlg->OnClose() || !m_dlg->IsCloseAfterCall())
        return;
    // It closes on the call's release; a release that never comes must not keep the program.
    QTimer::singleShot(CzeloraTALKDlg::kCloseGraceMs, this, [this]() {
        if (!m_closing)
            CloseWindow();
    });
}

void CzeloraTALKWindow::mousePressEvent(QMouseEvent* event)
{
    // A frameless window is moved by dragging its background.
    if (event->button() == Qt::LeftButton)
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    CSkinBackground::mousePressEvent(event);
}

void CzeloraTALKWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        move(event->globalPosition().toPoint() - m_dragOffset);
    CSkinBackground::mouseMoveEvent(event);
}

void CzeloraTALKWindow::MessageBox(const std::string& text, Icon icon) { messageboxes::Show(this, text, icon); }

bool CzeloraTALKWindow::AskYesNo(const std::string& text) { return messageboxes::AskYesNo(this, text); }

void CzeloraTALKWindow::SwitchPanel(int panel)
{
    ZLOG_SCOPE();
    m_panel = panel;
    if (panel == PANEL_LOGIN) {
        if (m_hooks.loginShown)
            m_hooks.loginShown();
        m_outer->setCurrentWidget(m_loginPanel);
        return;
    }
    m_outer->setCurrentWidget(m_phonePage);
    m_inner->setCurrentIndex(panel == PANEL_CALL ? 1 : 0);
}

void CzeloraTALKWindow::RefreshControls(bool signedIn, const std::string& dialField)
{
    m_status->setText(signedIn ? "Online" : "Offline");
    m_status->setAccessibleName(m_status->text());
    m_settingNumber = true;
    m_number->setText(QString::fromStdString(dialField));
    m_settingNumber = false;
}

void CzeloraTALKWindow::ShowSignedInButtons()
{
    // Signed in from the login panel: back to the phone through the controller, which keeps
    // track of the panel shown.
    if (m_panel == PANEL_LOGIN && m_dlg != nullptr)
        m_dlg->Queue().Post(CzeloraTALKDlg::WM_RESTORE_PANEL);
    for (const char* name : {"Call", "Hang up", "Redial"})
        if (CMXSkinButton* button = Button(name))
            button->setEnabled(true);
}

void CzeloraTALKWindow::PaintDisplay(const CMXDisplayScreen::Lines& lines, bool painted)
{
    m_display->SetLines(lines, painted);
}

void CzeloraTALKWindow::SetSliders(int speaker, int mic)
{
    QSignalBlocker blockSpeaker(m_speaker);
    QSignalBlocker blockMic(m_mic);
    m_speaker->setValue(speaker);
    if (mic >= 0)
        m_mic->setValue(mic);
}

void CzeloraTALKWindow::ShowAccountTexts(const std::string& first, const std::string& second)
{
    m_account1->setText(QString::fromStdString(first));
    m_account1->setAccessibleName(m_account1->text());
    m_account2->setText(QString::fromStdString(second));
    m_account2->setAccessibleName(m_account2->text());
}

void CzeloraTALKWindow::OpenNotifier(const std::string& text) { m_notifier->ShowCaller(QString::fromStdString(text)); }

void CzeloraTALKWindow::CloseNotifier() { m_notifier->Dismiss(); }

void CzeloraTALKWindow::ActivateWindow()
{
    m_hiddenToTray = false;
    showNormal();
    raise();
    activateWindow();
}

void CzeloraTALKWindow::FlashWindow() { QApplication::alert(this); }

void CzeloraTALKWindow::ShowCounter(int value)
{
    m_counter->setText(QString::asprintf("%i", value));
    m_counter->setAccessibleName(m_counter->text());
}

void CzeloraTALKWindow::SetTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
    m_title->setText(QString::fromStdString(title));
}

void CzeloraTALKWindow::CloseWindow()
{
    ZLOG_SCOPE();
    m_closing = true;
    m_notifier->Dismiss();
    m_smsNotice->Dismiss();
    if (m_tray != nullptr)
        m_tray->hide();
    hide();
    if (m_hooks.closed)
        m_hooks.closed();
}

void CzeloraTALKWindow::ShowVoipNumber(const std::string& voipNumber, const std::string& userId)
{
    m_voipNumber->setText(QString::fromStdString(voipNumber.empty() ? userId : voipNumber + "  " + userId));
    m_voipNumber->setAccessibleName(m_voipNumber->text());
}

void CzeloraTALKWindow::ShowSmsNotice(const std::string& text) { m_smsNotice->ShowText(QString::fromStdString(text)); }

void CzeloraTALKWindow::OpenSmsWindow(const std::string& number)
{
    if (m_hooks.smsWindow)
        m_hooks.smsWindow(number);
    else
        ZLOG(LOG_WARNING, "No SMS window in this program");
}

void CzeloraTALKWindow::OpenLink(const std::string& url)
{
    ZLOG_SCOPE();
    if (!url.empty() && m_hooks.openUrl && m_hooks.openUrl(url))
        return;
    ZLOG(LOG_ERROR, "Unable to open %s", url.c_str());
    MessageBox("Unable to open the web page " + url, ICON_ERROR);
}
