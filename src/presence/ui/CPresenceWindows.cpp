#include "presence/ui/CPresenceWindows.h"

#include <QPointer>
#include <chrono>
#include <QWidget>

#include "app/CLogger.h"
#include "app/CSettings.h"
#include "phone/CzeloraTALKDlg.h"
#include "presence/CAddressBookContacts.h"
#include "presence/CFifo.h"
#include "presence/CPresenceIMAccounts.h"
#include "presence/CPresenceSettings.h"
#include "presence/IPresenceDialogs.h"
#include "presence/ui/CPresenceWindow.h"

CPresenceWindows::CPresenceWindows(Dependencies dependencies) : m_deps(std::move(dependencies)) { }

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
    // The phone outlives this object's use of it, but may still drain a change after it is gone.
    phone.AddSignInObserver([self = QPointer<CPresenceWindows>(this)](bool signedIn) {
        if (self)
            self->OnPhoneSignIn(signedIn);
    });
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
    OnPhoneSignIn(m_phone->IsSignedIn());
}

void CPresenceWindows::OnPhoneSignIn(bool signedIn)
{
    ZLOG_SCOPE();
    if (!m_window)
        return; // presence not opened yet: Open() looks at the phone itself
    if (!signedIn) {
        Stop();
        m_window->ShowWaiting(kWaitingText);
        return;
    }
    // Signed in again as someone else: the new account's presence, not the old one's.
    if (m_handler && m_handlerUser != m_phone->GetUserId())
        Stop();
    if (!m_handler)
        Start();
}

PresenceAccount CPresenceWindows::CurrentAccount() const
{
    PresenceAccount account;
    if (m_phone != nullptr) {
        account.userId = m_phone->GetUserId();
        account.password = m_phone->GetPassword();
    }
    account.domain = m_deps.deployment.presenceDomain;
    CSettingsHttpProxy proxy;
    if (m_deps.settings != nullptr && m_deps.settings->ReadHttpProxy(proxy) < 0) {
        ZLOG(LOG_ERROR, "Unable to Read Http Proxy Info");
        proxy = CSettingsHttpProxy{};
    }
    // The phone's proxy setting, read at each sign-in: a change applies from the next one.
    if (proxy.httpUseProxy == 1 && !proxy.httpProxyIp.empty()) {
        account.useProxy = 1;
        account.proxyHost = proxy.httpProxyIp;
        account.proxyPort = proxy.httpProxyPort;
    }
    return account;
}

void CPresenceWindows::Start()
{
    ZLOG_SCOPE();
    const DeploymentValues& d = m_deps.deployment;
    PresenceAccount account = CurrentAccount();
    // Named after the account, as the console names it.
    account.settingsFile = CPresenceIMAccounts::SettingsFile(account.userId);
    *m_settings = CPresenceSettings(account.settingsFile);
    m_settings->ReadSettings();
    account.gatewaysRead = &m_settings->Gateways(); // one read of the file serves both
    XmppEndpoint endpoint;
    endpoint.server = d.presenceServer;
    endpoint.port = d.presencePort;
    m_handler = std::make_unique<CPresenceHandler>(CFifo::XmppFifo(), CFifo::GuiFifo());
    m_handlerUser = account.userId;
    m_window->SetStatusLabel("Trying to Sign in...");
    m_handler->InitializePresenceHandler(account, endpoint, {d.gatewayYahoo, d.gatewayMsn, d.gatewayGtalk},
                                         m_window.get(), &m_phone->Queue());
    m_handler->Gui()->SetNotifySettings(m_settings->Notify());
    CGUIPresenceHandler& gui = *m_handler->Gui();
    if (m_deps.dialogs)
        m_dialogs = m_deps.dialogs(gui, m_window.get());
    m_window->Initialize(gui, m_dialogs.get());
}

void CPresenceWindows::Stop()
{
    ZLOG_SCOPE();
    if (!m_handler)
        return;
    // The threads' steps are bounded (100 ms waits), so this returns within a fraction of a second;
    // closing the stream tells the contacts the account went offline.
    const auto started = std::chrono::steady_clock::now();
    m_handler.reset();
    ZLOG(
        LOG_DEBUG, "Presence signed out in %lld ms",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()));
    m_handlerUser.clear();
    // After the threads: whatever they posted meanwhile is dropped by the window.
    m_window->Detach();
    m_dialogs.reset();
    // Commands and results of the old account must not reach the next one.
    const std::size_t dropped = CFifo::XmppFifo().DiscardAll() + CFifo::GuiFifo().DiscardAll();
    if (dropped > 0)
        ZLOG(LOG_DEBUG, "%zu presence records of the signed-out account dropped", dropped);
}
