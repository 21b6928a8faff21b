#pragma once
// Presence in the desktop program: the "Chat" button of the main window opens the presence
// window; presence signs in with the phone's account once the phone is signed in. Owns the
// presence core, the settings file and the windows.
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/Deployment.h"
#include "phone/ui/CzeloraTALKWindow.h"

class AddressBookStore;
class CAddressBookContacts;
class CGUIPresenceHandler;
class CPresenceHandler;
class CPresenceSettings;
class CPresenceWindow;
class CzeloraTALKDlg;
class IPresenceDialogs;
class QWidget;

class CPresenceWindows : public QObject {
    Q_OBJECT
public:
    static constexpr int kPhonePollMs = 300;
    using DialogsFactory = std::function<std::unique_ptr<IPresenceDialogs>(CGUIPresenceHandler&, QWidget* parent)>;

    struct Dependencies {
        DeploymentValues deployment;
        AddressBookStore* addressBook = nullptr; // may be null: no mapping
        DialogsFactory dialogs; // empty: the secondary windows' buttons stay off
    };

    explicit CPresenceWindows(Dependencies dependencies);
    ~CPresenceWindows() override;

    // The main window's button; its action opens the presence window.
    CzeloraTALKWindow::Tool ChatTool();
    // The phone whose account presence signs in with, and whose window plays the sounds.
    void Attach(CzeloraTALKDlg& phone, QWidget* mainWindow);
    void Open();
    CPresenceWindow* Window() { return m_window.get(); }

private:
    void StartWhenSignedIn();
    void Start();

    Dependencies m_deps;
    CzeloraTALKDlg* m_phone = nullptr;
    QWidget* m_mainWindow = nullptr;
    QTimer m_waitForPhone;
    std::unique_ptr<CPresenceSettings> m_settings;
    std::unique_ptr<CAddressBookContacts> m_book;
    std::unique_ptr<CPresenceWindow> m_window;
    std::unique_ptr<IPresenceDialogs> m_dialogs;
    std::unique_ptr<CPresenceHandler> m_handler;
};
