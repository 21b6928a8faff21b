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
#include "phone/CProxySettingsDlg.h"
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

bool CCliApp::Execute(const std::string& line)
{
    ZLOG_SCOPE();
    std::vector<std::string> w;
    if (!CCliProtocol::Split(line, w)) {
        m_view.WriteLine(CCliProtocol::MessageLine("Unknown command"));
        return true;
    }
    if (w.empty())
        return true;
    const std::string& cmd = w[0];
    auto unknown = [this]() {
        m_view.WriteLine(CCliProtocol::MessageLine("Unknown command"));
        return true;
    };

    if (cmd == "login" && w.size() >= 3 && w.size() <= 5) {
        bool remember = false, autoLogin = false;
        for (std::size_t i = 3; i < w.size(); ++i) {
            if (w[i] == "remember")
                remember = true;
            else if (w[i] == "auto")
                autoLogin = true;
            else
                return unknown();
        }
        m_login.OnRememberMeToggled(remember);
        m_login.OnSignIn(w[1], w[2], remember, autoLogin);
    } else if (cmd == "logout" && w.size() == 1) {
        m_dlg.SignOut();
    } else if (cmd == "dial" && w.size() == 2) {
        if (m_dlg.GetCallState() != 0) {
            m_view.WriteLine(CCliProtocol::MessageLine("Can not dial while call in progress"));
        } else {
            m_dlg.SetDialField(w[1]);
            m_dlg.OnBnClickedButtonCall();
        }
    } else if (cmd == "answer" && w.size() == 1) {
        if (m_dlg.GetCallState() == 1)
            m_dlg.OnBnClickedButtonCall();
    } else if (cmd == "hangup" && w.size() == 1) {
        m_dlg.OnBnClickedButtonHangup();
    } else if (cmd == "redial" && w.size() == 1) {
        m_dlg.OnRedial();
    } else if (cmd == "key" && w.size() == 2 && w[1].size() == 1) {
        char c = w[1][0];
        bool digit = (c >= '0' && c <= '9') || c == '*' || c == '#' || c == '+';
        bool letter = std::isalpha(static_cast<unsigned char>(c)) != 0;
        if (!digit && !letter)
            return unknown();
        // Letters are ignored during a call, as on the keyboard.
        if (letter && m_dlg.GetCallState() != 0)
            return true;
        m_dlg.OnDialKey(c);
    } else if (cmd == "volume" && w.size() == 3 && (w[1] == "speaker" || w[1] == "mic")) {
        int level = 0;
        if (!CCliProtocol::ParseNumber(w[2], 0, 255, level))
            return unknown();
        if (w[1] == "speaker")
            m_dlg.OnSpeakerVolume(level);
        else
            m_dlg.OnMicVolume(level);
    } else if (cmd == "proxy-settings" && w.size() >= 3 && w.size() <= 5) {
        std::string tunnel, proxy, host, port;
        if (!CCliProtocol::TakeValue(w[1], "tunnel", tunnel) || !CCliProtocol::TakeValue(w[2], "proxy", proxy))
            return unknown();
        if ((tunnel != "0" && tunnel != "1") || (proxy != "0" && proxy != "1"))
            return unknown();
        for (std::size_t i = 3; i < w.size(); ++i) {
            if (!CCliProtocol::TakeValue(w[i], "host", host) && !CCliProtocol::TakeValue(w[i], "port", port))
                return unknown();
        }
        m_proxy.OnInitDialog();
        m_proxy.OnOK(tunnel == "1", proxy == "1", host, port);
    } else if (cmd == "status" && w.size() == 1) {
        m_view.WriteLine(CCliProtocol::StateLine(m_dlg.IsSignedIn(), m_dlg.GetCallState(), m_dlg.GetDialField()));
    } else if (cmd == "quit" && w.size() == 1) {
        Quit();
        return false;
    } else if (m_extra && m_extra(w)) {
        return true;
    } else {
        return unknown();
    }
    return true;
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
        (void)n;   // a full pipe already wakes the loop
    });

    std::string pending;
    int input = inputFd;
    auto quitStarted = std::chrono::steady_clock::time_point{};
    while (!m_view.IsClosed()) {
        int timeout = -1;
        if (m_quitRequested) {
            if (quitStarted == std::chrono::steady_clock::time_point{})
                quitStarted = std::chrono::steady_clock::now();
            auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                                quitStarted)
                              .count();
            if (waited >= kQuitGraceMs)
                break;
            timeout = static_cast<int>(kQuitGraceMs - waited);
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
                input = -1;   // end of input is quit
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
