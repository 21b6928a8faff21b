#pragma once
// The desktop program around its windows: the phone's windows over the start-up's decisions,
// and later starts' numbers read from the single-instance socket on the GUI thread without
// blocking it.
#include <QObject>
#include <map>
#include <memory>

#include "platform/SingleInstance.h"

class CzeloraTALKApp;
class CPhoneWindows;
class CPortalWindows;
class CPresenceWindows;
class CMXSoundPhoneAudio;
class AddressBookStore;
class CAddressBookWindows;
class QSocketNotifier;

class CDesktopApp : public QObject {
    Q_OBJECT
public:
    // How long a later start may take to send its block before it is dropped.
    static constexpr int kHandOverMs = 2000;

    explicit CDesktopApp(CzeloraTALKApp& app);
    ~CDesktopApp() override;
    CDesktopApp(const CDesktopApp&) = delete;
    CDesktopApp& operator=(const CDesktopApp&) = delete;

    // Shows the windows and runs the event loop until they close: the exit code.
    int Exec();

private:
    void OnIncoming();
    void OnReadable(int fd);
    void Drop(int fd);

    CzeloraTALKApp& m_app;
    std::unique_ptr<CMXSoundPhoneAudio> m_audio;
    std::unique_ptr<AddressBookStore> m_addressBook;
    std::unique_ptr<CAddressBookWindows> m_addressBookWindows;
    // Before the phone's windows: their buttons open these, so these go last.
    std::unique_ptr<CPortalWindows> m_portal;
    std::unique_ptr<CPhoneWindows> m_windows;
    std::unique_ptr<CPresenceWindows> m_presence;
    QSocketNotifier* m_listen = nullptr;
    struct Pending {
        std::unique_ptr<zelora::SingleInstance::Connection> connection;
        QSocketNotifier* notifier = nullptr;
    };
    std::map<int, Pending> m_pending; // by socket
};
