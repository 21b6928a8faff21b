#include "presence/ui/CPresenceWindows.h"

#include <QWidget>

#include "app/CLogger.h"
#include "phone/CzeloraTALKDlg.h"
#include "presence/CAddressBookContacts.h"
#include "presence/CFifo.h"
#include "presence/CPresenceHandler.h"
#include "presence/CPresenceIMAccounts.h"
#include "presence/CPresenceSettings.h"
#include "presence/IPresenceDialogs.h"
#include "presence/ui/CPresenceWindow.h"

CPresenceWindows::CPresenceWindows(Dependencies dependencies) : m_deps(std::move(dependencies))
{
    m_waitForPhone.setInterval(kPhonePollMs);
    connect(&m_waitForPhone, &QTimer::timeout, this, &CPresenceWindows::StartWhenSignedIn);
}

CPresenceWindows::~CPresenceWindows()
{
    ZLOG_SCOPE();
    // The threads end before the windows they post to go.
    m_handler.reset();
    m_dialogs.reset();
    m_window.reset();
}

CzeloraTALKWindow::Tool CPresenceWindows::ChatTool()
{
    return {"Chat", "Chat", [this] { Open(); }};
}

void CPresenceWindows::Attach(CzeloraTALKDlg& phone, QWidget* mainWindow)
{
    m_phone = &phone;
    m_mainWindow = mainWindow;
}

void CPresenceWindows::Open()
{
    ZLOG_SCOPE();
    if (m_phone == nullptr)
        return;
    if (!m_window) {
        m_settings = std::make_unique<CPresenceSettings>("");
        if (m_deps.addressBook != nullptr)
            m_book = std::make_unique<CAddressBookContacts>(*m_deps.addressBook, m_deps.deployment.mailDomain,
                                                            m_deps.deployment.presenceDomain);
        CPresenceWindow::Hooks hooks;
        hooks.call = [this](const std::string& number) {
            m_phone->SetDialField(number);
            m_phone->OnBnClickedButtonCall();
        };
        // A window of its own (no parent): it stays when the main window is minimised.
        m_window = std::make_unique<CPresenceWindow>(*m_settings, m_book.get(), hooks);
        m_window->resize(340, 520);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    StartWhenSignedIn();
}

void CPresenceWindows::StartWhenSignedIn()
{
    if (m_handler)
        return;
    if (!m_phone->IsSignedIn()) {
        m_window->ShowWaiting("Sign in to the phone first");
        if (!m_waitForPhone.isActive())
            m_waitForPhone.start();
        return;
    }
    m_waitForPhone.stop();
    Start();
}

void CPresenceWindows::Start()
{
    ZLOG_SCOPE();
    const DeploymentValues& d = m_deps.deployment;
    PresenceAccount account;
    account.userId = m_phone->GetUserId();
    account.password = m_phone->GetPassword();
    account.domain = d.presenceDomain;
    // Named after the account, as the console names it.
    account.settingsFile = CPresenceIMAccounts::SettingsFile(account.userId);
    *m_settings = CPresenceSettings(account.settingsFile);
    m_settings->ReadSettings();
    account.gatewaysRead = &m_settings->Gateways(); // one read of the file serves both
    XmppEndpoint endpoint;
    endpoint.server = d.presenceServer;
    endpoint.port = d.presencePort;
    m_handler = std::make_unique<CPresenceHandler>(CFifo::XmppFifo(), CFifo::GuiFifo());
    m_window->SetStatusLabel("Trying to Sign in...");
    m_handler->InitializePresenceHandler(account, endpoint, {d.gatewayYahoo, d.gatewayMsn, d.gatewayGtalk},
                                         m_window.get(), &m_phone->Queue());
    m_handler->Gui()->SetNotifySettings(m_settings->Notify());
    CGUIPresenceHandler& gui = *m_handler->Gui();
    if (m_deps.dialogs)
        m_dialogs = m_deps.dialogs(gui, m_window.get());
    m_window->Initialize(gui, m_dialogs.get());
}
