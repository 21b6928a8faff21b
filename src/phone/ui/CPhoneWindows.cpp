#include "phone/ui/CPhoneWindows.h"

#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

#include "app/CLogger.h"
#include "phone/CAddressBookPhoneDuties.h"
#include "phone/MXLoginDlg.h"
#include "phone/ui/CAdsTicker.h"
#include "phone/ui/CLoginPanel.h"
#include "phone/ui/CProxySettingsWindow.h"
#include "phone/ui/CRingtoneWindow.h"
#include "phone/ui/CzeloraTALKWindow.h"
#include "phone/ui/MessageBoxes.h"

namespace {

bool OpenInBrowser(const std::string& url)
{
    return !url.empty() && QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

} // namespace

struct CPhoneWindows::Impl {
    Dependencies deps;
    std::unique_ptr<CAddressBookPhoneDuties> web;
    std::unique_ptr<CzeloraTALKWindow> window;
    CLoginPanel* loginPanel = nullptr; // owned by the window
    std::unique_ptr<CzeloraTALKDlg> dlg;
    std::unique_ptr<MXLoginDlg> login;
    bool webAttached = false;
    bool shutDown = false;

    // Controllers stopped in the order the web side needs: it reads the window until detached.
    void Shutdown()
    {
        ZLOG_SCOPE();
        if (shutDown)
            return;
        shutDown = true;
        window->DetachController();
        if (web != nullptr)
            web->Detach();
        dlg->OnDestroy();
    }
};

CPhoneWindows::CPhoneWindows(Dependencies dependencies) : m_impl(std::make_unique<Impl>())
{
    ZLOG_SCOPE();
    Impl& d = *m_impl;
    d.deps = std::move(dependencies);
    CLoginPanel::Hooks loginHooks;
    loginHooks.messageBox = [this](const std::string& text, CzeloraTALKView::Icon icon) {
        messageboxes::Show(m_impl->window.get(), text, icon);
    };
    loginHooks.runConnectionSettings = [this]() {
        CProxySettingsWindow settings(*m_impl->deps.settings, m_impl->window.get());
        settings.exec();
    };
    loginHooks.openUrl = &OpenInBrowser;
    d.loginPanel = new CLoginPanel(loginHooks, d.deps.deployment.signupPage);

    CzeloraTALKWindow::Hooks hooks;
    hooks.loginShown = [this]() {
        if (m_impl->login != nullptr)
            m_impl->login->LoadCredentials();
    };
    // The controller's close arrives inside its own handlers: shut down once they have returned.
    hooks.closed = [this]() {
        QTimer::singleShot(0, this, [this]() {
            m_impl->Shutdown();
            emit Closed();
        });
    };
    hooks.connectionSettings = loginHooks.runConnectionSettings;
    hooks.ringtone = [this]() {
        CRingtoneWindow ringtone(*m_impl->deps.settings, m_impl->deps.programFolder, m_impl->window.get());
        ringtone.exec();
    };
    hooks.openUrl = &OpenInBrowser;
    hooks.shopPage = d.deps.deployment.shopPage;
    hooks.homePage = d.deps.deployment.homePage;
    hooks.moreTools = d.deps.moreTools;
    hooks.smsWindow = d.deps.smsWindow;
    d.window = std::make_unique<CzeloraTALKWindow>(d.loginPanel, hooks);

    CzeloraTALKDlg::Options options = d.deps.options;
    if (options.webDuties == nullptr && d.deps.addressBook != nullptr && !d.deps.deployment.webServiceHost.empty()) {
        d.web = std::make_unique<CAddressBookPhoneDuties>(
            WebEndpoints::FromDeployment(d.deps.deployment), *d.deps.addressBook,
            [this]() { return m_impl->dlg != nullptr ? m_impl->dlg->GetUserId() : std::string(); });
        options.webDuties = d.web.get();
    }
    d.dlg = std::make_unique<CzeloraTALKDlg>(*d.window, *d.deps.audio, *d.deps.settings, d.deps.deployment, options);
    if (d.web != nullptr) {
        d.webAttached = d.web->Attach(*d.dlg);
        if (!d.webAttached)
            ZLOG(LOG_ERROR, "Unable to reach the operator's web service");
        else if (d.web->Client() != nullptr)
            d.window->Ticker()->Attach(&d.web->Client()->Ticker(),
                                       [this](const std::string& link) { m_impl->window->OpenLink(link); });
    }
    if (!d.deps.calltoNumber.empty())
        d.dlg->SetCalltoNumber(d.deps.calltoNumber);

    MXLoginDlg::Account account;
    CzeloraTALKDlg* dlg = d.dlg.get();
    account.userId = [dlg]() { return dlg->GetUserId(); };
    account.password = [dlg]() { return dlg->GetPassword(); };
    account.registerSoftPhone = [dlg](const std::string& user, const std::string& password) {
        dlg->RegisterSoftPhone(user, password);
    };
    account.back = [dlg]() { dlg->Queue().Post(CzeloraTALKDlg::WM_RESTORE_PANEL); };
    d.login =
        std::make_unique<MXLoginDlg>(*d.loginPanel, *d.deps.settings, account, d.deps.deployment.passwordResetPage);
    d.loginPanel->SetController(d.login.get());
    d.window->AttachController(dlg);
}

CPhoneWindows::~CPhoneWindows()
{
    m_impl->Shutdown();
    // The login controller refers to the panel, the window's child: it goes first.
    m_impl->login.reset();
}

bool CPhoneWindows::Start()
{
    ZLOG_SCOPE();
    m_impl->window->show();
    if (m_impl->dlg->OnInitDialog() < 0) {
        m_impl->dlg->DrainMessages();
        m_impl->window->hide();
        m_impl->Shutdown();
        return false;
    }
    return true;
}

QWidget* CPhoneWindows::MainWindow() { return m_impl->window.get(); }

void CPhoneWindows::HandOver(const std::string& number256Block)
{
    ZLOG_SCOPE();
    m_impl->window->ActivateWindow();
    m_impl->dlg->OnCopyData(number256Block);
}

bool CPhoneWindows::ConfirmClose() { return m_impl->dlg->OnClose(); }

CzeloraTALKDlg& CPhoneWindows::Controller() { return *m_impl->dlg; }
