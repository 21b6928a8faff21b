// zeloratalk-cli: the phone without windows, one command a line on stdin, one event a line on stdout.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/CCliApp.h"
#include "cli/CCliProtocol.h"
#include "cli/CCliView.h"
#include "app/CCommandLineArgument.h"
#include "app/CLogger.h"
#include "phone/CMXSoundPhoneAudio.h"
#include "phone/CProxySettingsDlg.h"
#include "app/CSettings.h"
#include "app/CStartup.h"
#include "phone/CzeloraTALKDlg.h"
#include "app/Deployment.h"
#include "app/MXFileHelper.h"
#include "phone/MXLoginDlg.h"
#include "phone/CWebPhoneDuties.h"
#include "phone/CAddressBookPhoneDuties.h"
#include "cli/CCliAddressBook.h"
#include "cli/CCliPresence.h"

namespace {

CCliView* g_view = nullptr;

void SettingsMessage(const char* text, bool)
{
    if (g_view != nullptr)
        g_view->WriteLine(CCliProtocol::MessageLine(text != nullptr ? text : ""));
}

} // namespace

int main(int argc, char** argv)
{
    CCliApp::RouteLoggerNotices();
    CCliView view(stdout);
    g_view = &view;
    MXFileHelper::SetMessageBoxHandler(&SettingsMessage);

    std::string error;
    if (CStartup::Init("zeloratalk-cli", {}, &error) == -2) {
        view.WriteLine(CCliProtocol::MessageLine(error));
        return 1;
    }

    CzeloraTALKDlg::Options options;
    // Only a deployment that names the operator's web service gets the web side.
    std::unique_ptr<CWebPhoneDuties> web;
    // The local address book: loaded at sign-in, updated by the web side, asked for callers.
    AddressBookStore addressBook(AddressBookStore::DefaultFolder(), Deployment::Get().brandWord,
                                 Deployment::Get().presenceDomain);
    CzeloraTALKDlg* dlgForBook = nullptr;
    if (!Deployment::Get().webServiceHost.empty()) {
        web = std::make_unique<CAddressBookPhoneDuties>(
            WebEndpoints::FromDeployment(Deployment::Get()), addressBook,
            [&dlgForBook]() { return dlgForBook != nullptr ? dlgForBook->GetUserId() : std::string(); });
        options.webDuties = web.get();
    }
    CMXSoundPhoneAudio audio;
    CSettings& settings = CSettings::Instance();
    CzeloraTALKDlg dlg(view, audio, settings, Deployment::Get(), options);
    dlgForBook = &dlg;
    if (web != nullptr && !web->Attach(dlg))
        view.WriteLine(CCliProtocol::MessageLine("Unable to reach the operator's web service"));
    dlg.SetEventObserver([&view](int status, const SESSION_EVENT_INFO* record) {
        view.WriteLine(CCliProtocol::EventLine(status, record));
    });
    // The first parameter that carries a callto number is the one dialled.
    CCommandLineArgument commandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (commandLine.Found())
        dlg.SetCalltoNumber(commandLine.Number());

    if (dlg.OnInitDialog() < 0) {
        dlg.DrainMessages();
        CCliApp::CloseWindow(dlg, web.get());
        return 1;
    }

    MXLoginDlg::Account account;
    account.userId = [&dlg]() { return dlg.GetUserId(); };
    account.password = [&dlg]() { return dlg.GetPassword(); };
    account.registerSoftPhone = [&dlg](const std::string& user, const std::string& password) {
        dlg.RegisterSoftPhone(user, password);
    };
    account.back = [&dlg]() { dlg.Queue().Post(CzeloraTALKDlg::WM_RESTORE_PANEL); };
    MXLoginDlg login(view, settings, account, Deployment::Get().passwordResetPage);
    login.LoadCredentials();
    CProxySettingsDlg proxy(view, settings);

    CCliApp app(dlg, view, login, proxy);
    CCliAddressBook book(view, dlg, addressBook, Deployment::Get().webServiceHost);
    CCliPresence presence(dlg, view);
    app.SetExtraCommands([&book, &presence](const std::vector<std::string>& words) {
        return book.Execute(words) || presence.Execute(words);
    });
    int rc = app.Run(STDIN_FILENO);
    CCliApp::CloseWindow(dlg, web.get());
    g_view = nullptr;
    return rc;
}
