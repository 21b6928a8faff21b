#pragma once
// zeloratalk-cli: the phone's controllers driven by line commands.
#include <functional>
#include <string>
#include <vector>

class CzeloraTALKDlg;
class CCliView;
class MXLoginDlg;
class CProxySettingsDlg;

class CCliApp {
public:
    // How long a quit during a call waits for the call to be released before closing anyway.
    static constexpr int kQuitGraceMs = 5000;

    CCliApp(CzeloraTALKDlg& dlg, CCliView& view, MXLoginDlg& login, CProxySettingsDlg& proxy);

    // Runs until the window closes; reads commands from `inputFd`. The result is the exit code.
    int Run(int inputFd);
    // One command line; false when it asked to quit.
    bool Execute(const std::string& line);
    // Commands of other parts of the phone (the address book): true when the words were one.
    void SetExtraCommands(std::function<bool(const std::vector<std::string>&)> extra) { m_extra = std::move(extra); }

private:
    void Quit();

    CzeloraTALKDlg& m_dlg;
    CCliView& m_view;
    MXLoginDlg& m_login;
    CProxySettingsDlg& m_proxy;
    bool m_quitRequested = false;
    std::function<bool(const std::vector<std::string>&)> m_extra;
};
