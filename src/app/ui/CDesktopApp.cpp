#include "app/ui/CDesktopApp.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

#include "addressbook/AddressBookStore.h"
#include "addressbook/ui/CAddressBookWindows.h"
#include "app/CLogger.h"
#include "app/CSettings.h"
#include "app/CzeloraTALKApp.h"
#include "app/Deployment.h"
#include "phone/CMXSoundPhoneAudio.h"
#include "phone/ui/CPhoneWindows.h"
#include "web/ui/CPortalWindows.h"
#include "presence/ui/CPresenceDialogHost.h"
#include "presence/ui/CPresenceWindows.h"
#include "widgets/CSkin.h"

CDesktopApp::CDesktopApp(CzeloraTALKApp& app) : m_app(app)
{
    ZLOG_SCOPE();
    const DeploymentValues& deployment = Deployment::Get();
    // The skins ship with the other resources: beside the program, or in its share folder.
    if (std::getenv("ZELORA_SKIN_DIR") == nullptr)
        CSkin::SetFolder(QString::fromStdString(Deployment::DefaultResourceFolder() + "/skins/default"));
    // Without a sound card the engine falls back to the null device and logs a warning.
    m_audio = std::make_unique<CMXSoundPhoneAudio>();
    m_addressBook = std::make_unique<AddressBookStore>(AddressBookStore::DefaultFolder(), deployment.brandWord,
                                                       deployment.presenceDomain);
    CPhoneWindows::Dependencies deps;
    deps.settings = &CSettings::Instance();
    deps.audio = m_audio.get();
    deps.deployment = deployment;
    deps.addressBook = m_addressBook.get();
    deps.programFolder = app.ProgramFolder();
    deps.calltoNumber = app.CommandLine().Number();
    m_addressBookWindows = std::make_unique<CAddressBookWindows>(
        CAddressBookWindows::Dependencies{m_addressBook.get(), deployment, &CSettings::Instance()});
    for (auto& tool : m_addressBookWindows->Tools())
        deps.moreTools.push_back(std::move(tool));
    m_portal = std::make_unique<CPortalWindows>(
        deployment.portalHost.empty() ? deployment.webServiceHost : deployment.portalHost,
        [this]() { return m_windows != nullptr ? m_windows->Controller().GetUserId() : std::string(); });
    for (auto& tool : m_portal->Tools())
        deps.moreTools.push_back(std::move(tool));
    deps.smsWindow = m_portal->SmsWindow();
    m_presence = std::make_unique<CPresenceWindows>(CPresenceWindows::Dependencies{
        deployment, m_addressBook.get(),
        [](CGUIPresenceHandler& handler, QWidget* parent) {
            return std::unique_ptr<IPresenceDialogs>(std::make_unique<CPresenceDialogHost>(handler, parent));
        },
        &CSettings::Instance()});
    deps.moreTools.push_back(m_presence->ChatTool());
    m_windows = std::make_unique<CPhoneWindows>(std::move(deps));
    m_addressBookWindows->Attach(m_windows->Controller(), m_windows->MainWindow());
    m_presence->Attach(m_windows->Controller(), m_windows->MainWindow());
    connect(m_windows.get(), &CPhoneWindows::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    const int fd = app.Instance().ListenFd();
    if (fd >= 0) {
        m_listen = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_listen, &QSocketNotifier::activated, this, &CDesktopApp::OnIncoming);
    }
}

CDesktopApp::~CDesktopApp()
{
    ZLOG_SCOPE();
    for (auto& [fd, pending] : m_pending)
        delete pending.notifier;
    m_pending.clear();
    m_presence.reset(); // its threads post to the phone's window
    // The windows stop the controllers, which still use the audio and the address book.
    m_windows.reset();
    m_addressBookWindows.reset();
}

int CDesktopApp::Exec()
{
    ZLOG_SCOPE();
    if (!m_windows->Start())
        return CzeloraTALKApp::kExitFailed;
    return QApplication::exec();
}

void CDesktopApp::OnIncoming()
{
    ZLOG_SCOPE();
    // Each later start gets its own notifier: a slow one never holds up the window.
    while (auto connection = m_app.Instance().Accept()) {
        const int fd = connection->Fd();
        Pending& pending = m_pending[fd];
        pending.connection = std::move(connection);
        pending.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(pending.notifier, &QSocketNotifier::activated, this, [this, fd]() { OnReadable(fd); });
        QTimer::singleShot(kHandOverMs, this, [this, fd]() {
            if (m_pending.count(fd) != 0) {
                ZLOG(LOG_WARNING, "Hand-over not complete in time: dropped");
                Drop(fd);
            }
        });
        OnReadable(fd);
    }
}

void CDesktopApp::OnReadable(int fd)
{
    auto it = m_pending.find(fd);
    if (it == m_pending.end())
        return;
    const int rc = it->second.connection->Feed();
    if (rc == zelora::SingleInstance::Connection::kPending)
        return;
    const zelora::SingleInstance::Block block = it->second.connection->Data();
    Drop(fd);
    if (rc != zelora::SingleInstance::Connection::kComplete)
        return;
    if (zelora::SingleInstance::BlockText(block).empty()) {
        // A start without a number only brings the running window to the front.
        QWidget* window = m_windows->MainWindow();
        window->showNormal();
        window->raise();
        window->activateWindow();
        return;
    }
    m_windows->HandOver(std::string(block.data(), block.size()));
}

void CDesktopApp::Drop(int fd)
{
    auto it = m_pending.find(fd);
    if (it == m_pending.end())
        return;
    // The notifier goes before its socket is closed.
    delete it->second.notifier;
    m_pending.erase(it);
}
