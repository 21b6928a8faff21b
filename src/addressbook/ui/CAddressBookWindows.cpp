#include "addressbook/ui/CAddressBookWindows.h"

#include "addressbook/AddressBookStore.h"
#include "addressbook/ui/CAddressBookWindowUpload.h"
#include "addressbook/ui/CViewContactsWindow.h"
#include "app/CLogger.h"
#include "app/CSettings.h"
#include "phone/CKVOutlookPluginHandler.h"
#include "phone/CKVRemoteStorageHandler.h"
#include "phone/CzeloraTALKDlg.h"
#include "phone/ui/MessageBoxes.h"

CAddressBookWindows::CAddressBookWindows(Dependencies dependencies) : m_deps(std::move(dependencies))
{
    m_upload = std::make_unique<CAddressBookWindowUpload>(m_deps.deployment.webServiceHost, m_deps.webPort, [this]() {
        return m_dlg != nullptr ? m_dlg->GetUserId() : std::string();
    });
}

CAddressBookWindows::~CAddressBookWindows()
{
    ZLOG_SCOPE();
    delete m_window.data();
    CKVOutlookPluginHandler().Stop();
}

std::vector<CzeloraTALKWindow::Tool> CAddressBookWindows::Tools()
{
    return {{"Contacts", "Contacts", [this]() { OpenAddressBook(); }},
            {"Storage", "Remote Storage", [this]() { OpenRemoteStorage(); }}};
}

void CAddressBookWindows::Attach(CzeloraTALKDlg& dlg, QWidget* mainWindow)
{
    m_dlg = &dlg;
    m_mainWindow = mainWindow;
}

void CAddressBookWindows::OpenAddressBook()
{
    ZLOG_SCOPE();
    if (m_window.isNull()) {
        CViewContactsWindow::Hooks hooks;
        hooks.pimSync = [this](QWidget* parent) { OpenPimSync(parent); };
        hooks.presenceDomain = m_deps.deployment.presenceDomain;
        // A top-level window of its own: the phone stays usable beside it.
        m_window = new CViewContactsWindow(*m_deps.store, *m_upload, *this, std::move(hooks));
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        m_window->Controller().Refresh();
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

CViewContactsWindow* CAddressBookWindows::AddressBook() const { return m_window.data(); }

void CAddressBookWindows::OpenRemoteStorage()
{
    ZLOG_SCOPE();
    CSettingsHttpProxy proxy;
    if (m_deps.settings->ReadHttpProxy(proxy) < 0)
        ZLOG(LOG_ERROR, "Unable to read the proxy settings");
    const std::string subscriber = m_dlg != nullptr ? m_dlg->GetSubscriberNumber() : std::string();
    CKVRemoteStorageHandler(m_deps.deployment.remoteStoragePlugin).Open(subscriber, proxy);
}

void CAddressBookWindows::OpenPimSync(QWidget* parent)
{
    ZLOG_SCOPE();
    CKVOutlookPluginHandler plugin;
    plugin.Start([parent](const char* text) { messageboxes::Show(parent, text, CzeloraTALKView::ICON_INFORMATION); });
}

void CAddressBookWindows::SetPresence(const std::string& presenceId, int state)
{
    // The contacts window hears of it from the store.
    m_deps.store->SetPresence(presenceId, state);
}

bool CAddressBookWindows::IsCallInProgress() { return m_dlg == nullptr || m_dlg->GetCallState() != 0; }

void CAddressBookWindows::Call(const std::string& number)
{
    ZLOG_SCOPE();
    if (m_dlg == nullptr)
        return;
    m_dlg->SetDialField(number);
    m_dlg->OnBnClickedButtonCall();
    if (m_mainWindow != nullptr) {
        m_mainWindow->showNormal();
        m_mainWindow->raise();
    }
}

void CAddressBookWindows::Sms(const std::string& number)
{
    ZLOG_SCOPE();
    if (m_dlg != nullptr)
        m_dlg->Queue().Post(CzeloraTALKDlg::WM_SHOW_SMS_DIALOG, 0, 0, number);
}
