#pragma once
// zeloratalk-cli: the phone's controllers driven by line commands.
#include <functional>
#include <string>
#include <vector>

class CzeloraTALKDlg;
class CCliView;
class MXLoginDlg;
class CProxySettingsDlg;
class CWebPhoneDuties;

class CCliApp {
public:
    CCliApp(CzeloraTALKDlg& dlg, CCliView& view, MXLoginDlg& login, CProxySettingsDlg& proxy);

    // Runs until the window closes; reads commands from `inputFd`. The result is the exit code.
    int Run(int inputFd);
    // One command line; false when it asked to quit.
    bool Execute(const std::string& line);
    // Commands of other parts of the phone (the address book): true when the words were one.
    void SetExtraCommands(std::function<bool(const std::vector<std::string>&)> extra) { m_extra = std::move(extra); }

    // Console notices of the logger go to stderr: stdout carries only the line protocol.
    static void RouteLoggerNotices();
    // The end of the program: the web side stops calling the window before the window's
    // core goes. `web` may be null.
    static void CloseWindow(CzeloraTALKDlg& dlg, CWebPhoneDuties* web);

private:
    enum class Outcome { Done, Malformed, Quit };
    using Words = std::vector<std::string>;
    struct Command {
        const char* name;
        const char* usage;
        const char* summary;
        Outcome (CCliApp::*run)(const Words& w);
    };
    // The one table that both dispatches the commands and lists them for `help`.
    static const std::vector<Command>& Commands();

    Outcome Help(const Words& w);
    Outcome Login(const Words& w);
    Outcome Logout(const Words& w);
    Outcome Dial(const Words& w);
    Outcome Answer(const Words& w);
    Outcome Hangup(const Words& w);
    Outcome Redial(const Words& w);
    Outcome Key(const Words& w);
    Outcome Volume(const Words& w);
    Outcome ProxySettings(const Words& w);
    Outcome Status(const Words& w);
    Outcome QuitCommand(const Words& w);
    void Quit();

    CzeloraTALKDlg& m_dlg;
    CCliView& m_view;
    MXLoginDlg& m_login;
    CProxySettingsDlg& m_proxy;
    bool m_quitRequested = false;
    std::function<bool(const std::vector<std::string>&)> m_extra;
};
