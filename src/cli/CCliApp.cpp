#include "cli/CCliApp.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>

#include "cli/CCliProtocol.h"
#include "cli/CCliView.h"
#include "app/CLogger.h"
#include "phone/CConnectionChooser.h"
#include "phone/CProxySettingsDlg.h"
#include "phone/CWebPhoneDuties.h"
#include "phone/CzeloraTALKDlg.h"
#include "phone/MXLoginDlg.h"

CCliApp::CCliApp(CzeloraTALKDlg& dlg, CCliView& view, MXLoginDlg& login, CProxySettingsDlg& proxy)
    : m_dlg(dlg), m_view(view), m_login(login), m_proxy(proxy)
{
}

void CCliApp::Quit()
{
    m_quitRequested = true;
    m_dlg.OnClose();
}

const std::vector<CCliApp::Command>& CCliApp::Commands()
{
    static const std::vector<Command> commands = {
        {"help", "help", "List the commands", &CCliApp::Help},
        {"login", "login USER PASSWORD [remember] [auto]", "Sign in; remember the password, sign in at start",
         &CCliApp::Login},
        {"logout", "logout", "Sign out", &CCliApp::Logout},
        {"dial", "dial NUMBER", "Call NUMBER", &CCliApp::Dial},
        {"answer", "answer", "Accept the ringing call", &CCliApp::Answer},
        {"hangup", "hangup", "End or refuse the call", &CCliApp::Hangup},
        {"redial", "redial", "Call the last number again", &CCliApp::Redial},
        {"key", "key C", "Press a key: 0-9 * # + (tones during a call) or a letter", &CCliApp::Key},
        {"volume", "volume speaker|mic 0-255", "Set a volume", &CCliApp::Volume},
        {"proxy-settings", "proxy-settings tunnel=0|1|auto proxy=0|1 [host=H] [port=P]",
         "Store the connection settings (used at the next start)", &CCliApp::ProxySettings},
        {"status", "status", "Print the STATE line", &CCliApp::Status},
        {"quit", "quit", "Sign out and end the program", &CCliApp::QuitCommand},
    };
    return commands;
}

bool CCliApp::Execute(const std::string& line)
{
    ZLOG_SCOPE();
    Words w;
    if (!CCliProtocol::Split(line, w)) {
        m_view.WriteLine(CCliProtocol::MessageLine("Unknown command"));
        return true;
    }
    if (w.empty())
        return true;
    Outcome outcome = Outcome::Malformed;
    for (const Command& command : Commands()) {
        if (w[0] == command.name) {
            outcome = (this->*command.run)(w);
            break;
        }
    }
    // Commands of other parts of the phone (the address book) come after the phone's own.
    if (outcome == Outcome::Malformed && m_extra && m_extra(w))
        outcome = Outcome::Done;
    if (outcome == Outcome::Malformed)
        m_view.WriteLine(CCliProtocol::MessageLine("Unknown command"));
    return outcome != Outcome::Quit;
}

CCliApp::Outcome CCliApp::Help(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 1)
        return Outcome::Malformed;
    for (const Command& command : Commands())
        m_view.WriteLine(CCliProtocol::HelpLine(command.usage, command.summary));
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Login(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() < 3 || w.size() > 5)
        return Outcome::Malformed;
    bool remember = false, autoLogin = false;
    for (std::size_t i = 3; i < w.size(); ++i) {
        if (w[i] == "remember")
            remember = true;
        else if (w[i] == "auto")
            autoLogin = true;
        else
            return Outcome::Malformed;
    }
    m_login.OnRememberMeToggled(remember);
    m_login.OnSignIn(w[1], w[2], remember, autoLogin);
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Logout(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 1)
        return Outcome::Malformed;
    m_dlg.SignOut();
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Dial(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 2)
        return Outcome::Malformed;
    if (m_dlg.GetCallState() != 0) {
        m_view.WriteLine(CCliProtocol::MessageLine("Can not dial while call in progress"));
    } else {
        m_dlg.SetDialField(w[1]);
        m_dlg.OnBnClickedButtonCall();
    }
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Answer(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 1)
        return Outcome::Malformed;
    if (m_dlg.GetCallState() == 1)
        m_dlg.OnBnClickedButtonCall();
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Hangup(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 1)
        return Outcome::Malformed;
    m_dlg.OnBnClickedButtonHangup();
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Redial(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 1)
        return Outcome::Malformed;
    m_dlg.OnRedial();
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Key(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 2 || w[1].size() != 1)
        return Outcome::Malformed;
    char c = w[1][0];
    bool digit = (c >= '0' && c <= '9') || c == '*' || c == '#' || c == '+';
    bool letter = std::isalpha(static_cast<unsigned char>(c)) != 0;
    if (!digit && !letter)
        return Outcome::Malformed;
    // Letters are ignored during a call, as on the keyboard.
    if (letter && m_dlg.GetCallState() != 0)
        return Outcome::Done;
    m_dlg.OnDialKey(c);
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Volume(const Words& w)
{
    ZLOG_SCOPE();
    int level = 0;
    if (w.size() != 3 || (w[1] != "speaker" && w[1] != "mic") || !CCliProtocol::ParseNumber(w[2], 0, 255, level))
        return Outcome::Malformed;
    if (w[1] == "speaker")
        m_dlg.OnSpeakerVolume(level);
    else
        m_dlg.OnMicVolume(level);
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::ProxySettings(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() < 3 || w.size() > 5)
        return Outcome::Malformed;
    std::string tunnel, proxy, host, port;
    if (!CCliProtocol::TakeValue(w[1], "tunnel", tunnel) || !CCliProtocol::TakeValue(w[2], "proxy", proxy))
        return Outcome::Malformed;
    if ((tunnel != "0" && tunnel != "1" && tunnel != "auto") || (proxy != "0" && proxy != "1"))
        return Outcome::Malformed;
    for (std::size_t i = 3; i < w.size(); ++i) {
        if (!CCliProtocol::TakeValue(w[i], "host", host) && !CCliProtocol::TakeValue(w[i], "port", port))
            return Outcome::Malformed;
    }
    m_proxy.OnInitDialog();
    int mode = tunnel == "auto" ? CConnectionChooser::MODE_AUTO
        : tunnel == "1"         ? CConnectionChooser::MODE_TUNNEL
                                : CConnectionChooser::MODE_SIP;
    m_proxy.OnOKMode(mode, proxy == "1", host, port);
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::Status(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 1)
        return Outcome::Malformed;
    m_view.WriteLine(CCliProtocol::StateLine(m_dlg.IsSignedIn(), m_dlg.GetCallState(), m_dlg.GetDialField()));
    return Outcome::Done;
}

CCliApp::Outcome CCliApp::QuitCommand(const Words& w)
{
    ZLOG_SCOPE();
    if (w.size() != 1)
        return Outcome::Malformed;
    Quit();
    return Outcome::Quit;
}

void CCliApp::RouteLoggerNotices() { CLogger::SetNoticeStream(stderr); }

void CCliApp::CloseWindow(CzeloraTALKDlg& dlg, CWebPhoneDuties* web)
{
    ZLOG_SCOPE();
    // The web client's threads read the window (call state, sign-in) until it is detached;
    // the window's destruction resets the core they would read.
    if (web != nullptr)
        web->Detach();
    dlg.OnDestroy();
}

int CCliApp::Run(int inputFd)
{
    ZLOG_SCOPE();
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        ZLOG(LOG_ERROR, "Unable to create wake-up pipe");
        return 1;
    }
    int wakeWrite = wake[1];
    m_dlg.Queue().SetNotifier([wakeWrite]() {
        char c = 1;
        ssize_t n = write(wakeWrite, &c, 1);
        (void)n; // a full pipe already wakes the loop
    });

    std::string pending;
    int input = inputFd;
    auto quitStarted = std::chrono::steady_clock::time_point{};
    while (!m_view.IsClosed()) {
        int timeout = -1;
        if (m_quitRequested) {
            if (quitStarted == std::chrono::steady_clock::time_point{})
                quitStarted = std::chrono::steady_clock::now();
            auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - quitStarted)
                    .count();
            if (waited >= CzeloraTALKDlg::kCloseGraceMs)
                break;
            timeout = static_cast<int>(CzeloraTALKDlg::kCloseGraceMs - waited);
        }
        pollfd fds[2] = {{wake[0], POLLIN, 0}, {input, POLLIN, 0}};
        int count = poll(fds, input >= 0 ? 2 : 1, timeout);
        if (count < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char sink[256];
            while (read(wake[0], sink, sizeof sink) > 0) {
            }
        }
        m_dlg.DrainMessages();
        if (input >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[4096];
            ssize_t n = read(input, buffer, sizeof buffer);
            if (n > 0) {
                pending.append(buffer, static_cast<std::size_t>(n));
                std::size_t nl;
                while ((nl = pending.find('\n')) != std::string::npos) {
                    std::string line = pending.substr(0, nl);
                    pending.erase(0, nl + 1);
                    if (!m_quitRequested && !Execute(line))
                        break;
                    m_dlg.DrainMessages();
                }
                // A line without end stays bounded: beyond 64 KiB it is not a command.
                if (pending.size() > 65536) {
                    pending.clear();
                    m_view.WriteLine(CCliProtocol::MessageLine("Unknown command"));
                }
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                input = -1; // end of input is quit
                if (!pending.empty() && !m_quitRequested)
                    Execute(pending);
                if (!m_quitRequested)
                    Quit();
            }
        }
    }
    m_dlg.Queue().SetNotifier({});
    close(wake[0]);
    close(wake[1]);
    return 0;
}
