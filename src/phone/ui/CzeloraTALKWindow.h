#pragma once
// The main phone window: frameless and skinned, with the dial pad, the call display and the
// login panel; it drains its controller's message queue on the GUI thread, woken by each post.
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <atomic>
#include <functional>
#include <map>
#include <vector>

#include "phone/CzeloraTALKView.h"
#include "widgets/CSkinBackground.h"

class CzeloraTALKDlg;
class CDisplayWidget;
class CLoginPanel;
class CMXSkinButton;
class CSkinSlider;
class CAdsTicker;
class CIncomingCallNotifier;
class CSmsNotice;

class CzeloraTALKWindow : public CSkinBackground, public CzeloraTALKView {
    Q_OBJECT
public:
    // A button of another subsystem's window (address book, portal pages, presence).
    struct Tool {
        std::string caption;
        std::string tip; // also the button's accessible name
        std::function<void()> action;
    };
    struct Hooks {
        std::function<void()> loginShown; // the login panel is about to show: load credentials
        std::function<void()> closed; // the controller closed the window
        std::function<void()> connectionSettings;
        std::function<void()> ringtone;
        std::function<bool(const std::string&)> openUrl; // false when no browser started
        std::string shopPage;
        std::string homePage;
        // The other subsystems' buttons, in a second row under the phone's own.
        std::vector<Tool> moreTools;
        // Message 0x414: the SMS window, with the number chosen in the address book ("" for none).
        std::function<void(const std::string& number)> smsWindow;
    };

    CzeloraTALKWindow(CLoginPanel* loginPanel, Hooks hooks, QWidget* parent = nullptr);
    ~CzeloraTALKWindow() override;

    // The controller behind the buttons; its queue now wakes this window.
    void AttachController(CzeloraTALKDlg* dlg);
    void DetachController();

    // CzeloraTALKView
    void MessageBox(const std::string& text, Icon icon) override;
    bool AskYesNo(const std::string& text) override;
    void SwitchPanel(int panel) override;
    void RefreshControls(bool signedIn, const std::string& dialField) override;
    void ShowSignedInButtons() override;
    void PaintDisplay(const CMXDisplayScreen::Lines& lines, bool painted) override;
    void SetSliders(int speaker, int mic) override;
    void ShowAccountTexts(const std::string& first, const std::string& second) override;
    void OpenNotifier(const std::string& text) override;
    void CloseNotifier() override;
    void ActivateWindow() override;
    void FlashWindow() override;
    void ShowCounter(int value) override;
    void SetTitle(const std::string& title) override;
    void CloseWindow() override;
    void ShowVoipNumber(const std::string& voipNumber, const std::string& userId) override;
    void ShowSmsNotice(const std::string& text) override;
    void OpenLink(const std::string& url) override;
    void OpenSmsWindow(const std::string& number) override;

    // Hides to the tray when the desktop has one; false (window stays) otherwise.
    bool HideToTray();
    bool TrayAvailable() const { return m_tray != nullptr; }

    QLineEdit* NumberField() const { return m_number; }
    CDisplayWidget* Display() const { return m_display; }
    CIncomingCallNotifier* Notifier() const { return m_notifier; }
    CSmsNotice* SmsNotice() const { return m_smsNotice; }
    CAdsTicker* Ticker() const { return m_ticker; }
    CMXSkinButton* Button(const QString& accessibleName) const;
    int Panel() const { return m_panel; }
    bool IsClosing() const { return m_closing; }

    // The key's character for the controller's keyboard rule; 0 for keys it does not take.
    static char KeyCharacter(int key, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void RequestClose();
    QWidget* BuildPhonePage();
    QWidget* BuildTopBar();
    QWidget* BuildKeypad();
    QWidget* BuildCallRow();
    QWidget* BuildSliders();
    QWidget* BuildTools();
    // A skinned button registered under its accessible name; `size` empty: the skin's own.
    CMXSkinButton* AddButton(const QString& skin, const QString& name, const QString& tip, QWidget* parent,
                             std::function<void()> action, const QString& caption = {}, QSize size = {});
    void CreateTray();
    bool HandleKey(QKeyEvent* event);
    void DrainQueue();
    void ShowNumber();

    Hooks m_hooks;
    CzeloraTALKDlg* m_dlg = nullptr;
    std::atomic<bool> m_drainPosted{false};
    QStackedWidget* m_outer = nullptr;
    QStackedWidget* m_inner = nullptr;
    QWidget* m_phonePage = nullptr;
    CLoginPanel* m_loginPanel;
    QLineEdit* m_number = nullptr;
    CDisplayWidget* m_display = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_account1 = nullptr;
    QLabel* m_account2 = nullptr;
    QLabel* m_counter = nullptr;
    QLabel* m_voipNumber = nullptr;
    CSkinSlider* m_speaker = nullptr;
    CSkinSlider* m_mic = nullptr;
    CAdsTicker* m_ticker = nullptr;
    CIncomingCallNotifier* m_notifier = nullptr;
    CSmsNotice* m_smsNotice = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    std::map<QString, CMXSkinButton*> m_buttons;
    int m_panel = 0;
    bool m_settingNumber = false;
    bool m_closing = false;
    bool m_hiddenToTray = false;
    QPoint m_dragOffset;
};
