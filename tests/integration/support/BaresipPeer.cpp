#include "BaresipPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace zelora::test {

namespace {

void Put16(std::string& s, uint16_t v)
{
    s.push_back(static_cast<char>(v & 0xff));
    s.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& s, uint32_t v)
{
    Put16(s, static_cast<uint16_t>(v & 0xffff));
    Put16(s, static_cast<uint16_t>(v >> 16));
}

} // namespace

bool WriteToneWav(const std::string& path, int frequencyHz, int seconds)
{
    const uint32_t rate = 8000;
    const uint32_t samples = rate * static_cast<uint32_t>(seconds);
    std::string wav = "RIFF";
    Put32(wav, 36 + samples * 2);
    wav += "WAVEfmt ";
    Put32(wav, 16);
    Put16(wav, 1);
    Put16(wav, 1);
    Put32(wav, rate);
    Put32(wav, rate * 2);
    Put16(wav, 2);
    Put16(wav, 16);
    wav += "data";
    Put32(wav, samples * 2);
    for (uint32_t i = 0; i < samples; ++i) {
        double v = 8000.0 * std::sin(2.0 * M_PI * frequencyHz * i / rate);
        Put16(wav, static_cast<uint16_t>(static_cast<int16_t>(v)));
    }
    return WriteFile(path, wav);
}

BaresipPeer::~BaresipPeer() { Stop(); }

std::string BaresipPeer::Start(const Options& options)
{
    m_options = options;
    std::string program = FindProgram("baresip");
    if (program.empty())
        return MissingProgram("baresip", "baresip-core");
    const std::string& d = m_dir.Path();
    if (d.empty())
        return "cannot create a temp directory";
    std::string ctrl = options.ip + ":" + std::to_string(options.ctrlPort);
    std::string config = "poll_method\t\tepoll\n"
                         "sip_listen\t\t" +
        options.ip +
        ":5060\n"
        "net_interface\t\t" +
        options.ip +
        "\n"
        "audio_player\t\taufile," +
        d +
        "/played.wav\n"
        "audio_alert\t\taufile," +
        d +
        "/alert.wav\n"
        "audio_source\t\taufile," +
        d +
        "/tone600.wav\n"
        "rtp_ports\t\t30000-30099\n"
        "module_path\t\t/usr/lib/baresip/modules\n"
        "module\t\t\tg711.so\n"
        "module\t\t\taufile.so\n"
        "module\t\t\tmenu.so\n"
        "module_tmp\t\taccount.so\n"
        "module_app\t\tctrl_tcp.so\n"
        "ctrl_tcp_listen\t\t" +
        ctrl + "\n";
    std::string account = "<sip:" + options.user + "@" + (options.registrar.empty() ? options.ip : options.registrar) +
        ">;auth_pass=" + options.password + ";answermode=" + (options.autoAnswer ? "auto" : "manual") +
        ";audio_codecs=" + options.codecs + (options.registrar.empty() ? ";regint=0" : ";regint=600") + "\n";
    if (!WriteFile(d + "/config", config) || !WriteFile(d + "/accounts", account) || !WriteFile(d + "/contacts", "") ||
        !WriteToneWav(d + "/tone600.wav", 600, 5))
        return "cannot write the baresip configuration in " + d;
    std::string error = m_process.Start({program, "-f", d}, d + "/baresip.log");
    if (!error.empty())
        return "baresip: " + error;
    if (!Connect(std::chrono::milliseconds(10000))) {
        std::string log = Log();
        Stop();
        return "baresip ctrl_tcp on " + ctrl + " did not answer; its log:\n" + log;
    }
    if (!options.registrar.empty()) {
        bool registered = WaitUntil(
            [&] {
                Pump(0);
                for (const std::string& m : m_messages)
                    if (Field(m, "type") == "REGISTER_OK")
                        return true;
                return Log().find("200 OK") != std::string::npos;
            },
            std::chrono::milliseconds(10000));
        if (!registered) {
            std::string log = Log();
            Stop();
            return "baresip " + options.user + " did not register at " + options.registrar + "; its log:\n" + log;
        }
    }
    return {};
}

void BaresipPeer::Stop()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    m_process.Stop();
}

bool BaresipPeer::Connect(std::chrono::milliseconds timeout)
{
    return WaitUntil(
        [&] {
            if (!m_process.Running())
                return false;
            int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(static_cast<uint16_t>(m_options.ctrlPort));
            inet_pton(AF_INET, m_options.ip.c_str(), &addr.sin_addr);
            if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
                int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                m_fd = fd;
                return true;
            }
            close(fd);
            return false;
        },
        timeout);
}

bool BaresipPeer::Pump(int timeoutMs)
{
    if (m_fd < 0)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0) {
        // baresip writes a response and its event separately; a delayed ACK from us would
        // hold the second write back by some 40 ms and distort every timing.
        int one = 1;
        setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        char buffer[8192];
        ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        m_input.append(buffer, static_cast<std::size_t>(n));
        // Netstrings: "<length>:<payload>,"
        while (true) {
            std::size_t colon = m_input.find(':');
            if (colon == std::string::npos || colon > 9)
                break;
            std::size_t length = std::strtoul(m_input.c_str(), nullptr, 10);
            if (m_input.size() < colon + 1 + length + 1)
                break;
            m_messages.push_back(m_input.substr(colon + 1, length));
            m_input.erase(0, colon + 1 + length + 1);
        }
        timeoutMs = 0;
    }
    return true;
}

std::string BaresipPeer::Command(const std::string& command, const std::string& params)
{
    if (m_fd < 0)
        return "not connected to baresip";
    std::string token = "t" + std::to_string(++m_token);
    std::string json = "{\"command\":\"" + command + "\",\"params\":\"" + params + "\",\"token\":\"" + token + "\"}";
    std::string frame = std::to_string(json.size()) + ":" + json + ",";
    if (send(m_fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size()))
        return "cannot send to baresip";
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
            if (it->find("\"response\":true") != std::string::npos && Field(*it, "token") == token) {
                std::string reply = *it;
                m_messages.erase(it);
                if (reply.find("\"ok\":true") == std::string::npos)
                    return "baresip refused " + command + ": " + reply;
                return {};
            }
        }
        if (!Pump(50))
            return "baresip closed its control connection";
    }
    return "no answer from baresip to " + command;
}

std::string BaresipPeer::WaitEvent(const std::string& type, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (true) {
        for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
            if (it->find("\"event\":true") != std::string::npos && Field(*it, "type") == type) {
                std::string event = *it;
                m_messages.erase(it);
                return event;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Pump(static_cast<int>(left.count() < 100 ? left.count() : 100)))
            return {};
    }
}

std::string BaresipPeer::Field(const std::string& json, const std::string& name)
{
    std::string key = "\"" + name + "\":";
    std::size_t at = json.find(key);
    if (at == std::string::npos)
        return {};
    at += key.size();
    if (at < json.size() && json[at] == '"') {
        std::string value;
        for (std::size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
            if (json[i] == '\\' && i + 1 < json.size())
                ++i;
            value.push_back(json[i]);
        }
        return value;
    }
    std::size_t end = json.find_first_of(",}", at);
    return json.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

} // namespace zelora::test
