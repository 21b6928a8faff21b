#pragma once
// Presence in the desktop program: the "Chat" button of the main window opens the presence
// window; presence follows the phone's sign-in: it signs in with the phone's account (through the
// phone's HTTP proxy when that is on) when the phone signs in, and goes offline when the phone
// signs out. Owns the presence core, the settings file and the windows.
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "app/Deployment.h"
#include "phone/ui/CzeloraTALKWindow.h"
#include "presence/CPresenceHandler.h"

class AddressBookStore;
class CAddressBookContacts;
class CGUIPresenceHandler;
class CPresenceSettings;
class CPresenceWindow;
class CSettings;
class CzeloraTALKDlg;
class IPresenceDialogs;
class QWidget;

class CPresenceWindows : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kWaitingText = "Sign in to the phone first";
    using DialogsFactory = std::function<std::unique_ptr<IPresenceDialogs>(CGUIPresenceHandler&, QWidget* parent)>;

    struct Dependencies {
        DeploymentValues deployment;
        AddressBookStore* addressBook = nullptr; // may be null: no mapping
        DialogsFactory dialogs; // empty: the secondary windows' buttons stay off
        CSettings* settings = nullptr; // the phone's connection settings; null: always direct
    };

    explicit CPresenceWindows(Dependencies dependencies);
    ~CPresenceWindows() override;

    // The main window's button; its action opens the presence window.
    CzeloraTALKWindow::Tool ChatTool();
    // The phone whose account presence signs in with, and whose window plays the sounds.
    void Attach(CzeloraTALKDlg& phone, QWidget* mainWindow);
    void Open();
    CPresenceWindow* Window() { return m_window.get(); }
    // The running presence core, or null while the phone is signed out.
    CPresenceHandler* Handler() { return m_handler.get(); }
    // The account and proxy presence would sign in with now.
    PresenceAccount CurrentAccount() const;

private:
    void OnPhoneSignIn(bool signedIn);
    void Start();
    void Stop();

    Dependencies m_deps;
    CzeloraTALKDlg* m_phone = nullptr;
    QWidget* m_mainWindow = nullptr;
    std::unique_ptr<CPresenceSettings> m_settings;
    std::unique_ptr<CAddressBookContacts> m_book;
    std::unique_ptr<CPresenceWindow> m_window;
    std::unique_ptr<IPresenceDialogs> m_dialogs;
    std::unique_ptr<CPresenceHandler> m_handler;
    std::string m_handlerUser; // whose account m_handler runs
};
