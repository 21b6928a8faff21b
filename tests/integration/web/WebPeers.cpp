#include "WebPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

sockaddr_in Address(const std::string& host, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    return a;
}

bool CanConnect(const std::string& host)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Address(host, 80);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    close(fd);
    return ok;
}

// Reads headers and any Content-Length body; gives up after two seconds.
void ReadRequest(int fd)
{
    std::string data;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::size_t need = std::string::npos;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            return;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        auto end = data.find("\r\n\r\n");
        if (end != std::string::npos && need == std::string::npos) {
            std::size_t length = 0;
            auto cl = data.find("Content-Length:");
            if (cl != std::string::npos && cl < end) {
                length = std::strtoul(data.c_str() + cl + 15, nullptr, 10);
            }
            need = end + 4 + length;
        }
        if (need != std::string::npos && data.size() >= need) {
            return;
        }
    }
}

} // namespace

bool SimProcess::Exchange(const std::string& request, std::string& body) const
{
    body.clear();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    timeval limit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    sockaddr_in a = Address(m_address, 80);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) {
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n;
            while ((n = recv(fd, buffer, sizeof(buffer), 0)) > 0) {
                reply.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    close(fd);
    const auto end = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.", 0) != 0 || reply.find(" 200 ") > reply.find("\r\n") || end == std::string::npos) {
        return false;
    }
    body = reply.substr(end + 4);
    return true;
}

int SimProcess::Requests(const std::string& action) const
{
    std::string body;
    if (!Exchange("GET /sim/requests HTTP/1.0\r\nHost: " + m_address + "\r\n\r\n", body)) {
        return -1;
    }
    const std::string key = "\n" + action + " ";
    const std::string text = "\n" + body;
    const auto at = text.find(key);
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + key.size());
}

std::string SimProcess::Control(const std::string& form) const
{
    std::string body;
    Exchange("POST /control/addressbook HTTP/1.0\r\nHost: " + m_address +
                 "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                 std::to_string(form.size()) + "\r\n\r\n" + form,
             body);
    return body;
}

SimProcess::SimProcess(std::string binary, std::string address, std::string dataFile)
    : m_binary(std::move(binary)), m_address(std::move(address)), m_dataFile(std::move(dataFile))
{
}

SimProcess::~SimProcess() { Stop(); }

std::string SimProcess::Start()
{
    if (access(m_binary.c_str(), X_OK) != 0) {
        return "operator-sim not found at " + m_binary + " (build this project's operator-sim target)";
    }
    int out[2];
    if (pipe(out) != 0) {
        return "pipe failed";
    }
    m_pid = fork();
    if (m_pid < 0) {
        close(out[0]);
        close(out[1]);
        return "fork failed";
    }
    if (m_pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(m_binary.c_str(), m_binary.c_str(), "--listen", m_address.c_str(), "--port", "80", "--data",
              m_dataFile.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    // Our own child must say it listens: another server on the address must not stand in for it.
    std::string said;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (said.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[256];
            ssize_t n = read(out[0], buffer, sizeof(buffer));
            if (n <= 0) {
                break;
            }
            said.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(out[0]);
    if (said.rfind("listening ", 0) == 0 && CanConnect(m_address)) {
        return {};
    }
    Stop();
    return "operator-sim did not come up on " + m_address + ":80 (address in use?)";
}

void SimProcess::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}

RawServer::RawServer(std::string address, Behaviour behaviour, bool blackHole)
    : m_address(std::move(address)), m_behaviour(std::move(behaviour)), m_blackHole(blackHole)
{
}

RawServer::~RawServer()
{
    m_stop.store(true);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    for (int fd : m_fillers) {
        close(fd);
    }
    if (m_listen >= 0) {
        close(m_listen);
    }
}

std::string RawServer::Start()
{
    m_listen = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a = Address(m_address, 80);
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
        return "cannot bind " + m_address + ":80: " + std::strerror(errno);
    }
    if (listen(m_listen, m_blackHole ? 0 : 16) != 0) {
        return std::string("listen: ") + std::strerror(errno);
    }
    if (m_blackHole) {
        // Fill the accept queue; later connection attempts then get no answer.
        for (int i = 0; i < 3; ++i) {
            int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
            m_fillers.push_back(fd);
        }
        usleep(200 * 1000);
        return {};
    }
    m_thread = std::thread([this] { Run(); });
    return {};
}

void RawServer::Run()
{
    while (!m_stop.load()) {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        int fd = accept(m_listen, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        ++m_connections;
        ReadRequest(fd);
        m_behaviour(fd);
        close(fd);
    }
}

void RawServer::SendAll(int fd, const std::string& text)
{
    std::size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}
