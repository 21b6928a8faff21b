#include "TunnelTestPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {
sockaddr_in MakeAddress(const std::string& address, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

int ListenOn(const std::string& address, int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = MakeAddress(address, port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

int AcceptWithin(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return -1;
    return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
}
} // namespace

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zelora-tunnel-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr)
        m_path = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const
{
    std::string path = m_path + "/" + name;
    std::ofstream(path) << content;
    return path;
}

std::string PeerProcess::Start(const std::vector<std::string>& argv, const std::string& logFile)
{
    if (argv.empty() || argv[0].empty())
        return "no program given";
    if (::access(argv[0].c_str(), X_OK) != 0)
        return "program " + argv[0] + " is not executable";
    pid_t pid = ::fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        int fd = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    m_pid = pid;
    return {};
}

int PeerProcess::Stop()
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return 128 + SIGKILL;
}

bool WaitForTcp(const std::string& address, int port, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = MakeAddress(address, port);
        bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    dirs += ":/usr/sbin:/usr/bin:/sbin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!dir.empty()) {
            std::string full = dir + "/" + name;
            if (::access(full.c_str(), X_OK) == 0)
                return full;
        }
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return {};
}

int EventLog::Callback(int status, void* context, SESSION_EVENT_INFO* record)
{
    auto* self = static_cast<EventLog*>(context);
    SESSION_EVENT_INFO copy;
    ClearEventInfo(copy);
    if (record != nullptr)
        copy = *record;
    {
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_events.emplace_back(status, copy);
        self->m_all.push_back(status);
    }
    self->m_cv.notify_all();
    return 0;
}

bool EventLog::WaitFor(int status, int timeoutMs, SESSION_EVENT_INFO* record)
{
    std::unique_lock<std::mutex> lock(m_lock);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (auto it = m_events.begin(); it != m_events.end(); ++it) {
            if (it->first == status) {
                if (record != nullptr)
                    *record = it->second;
                m_events.erase(it);
                return true;
            }
        }
        if (m_cv.wait_until(lock, end) == std::cv_status::timeout) {
            // One last look: the event may have come with the time-out.
            for (auto it = m_events.begin(); it != m_events.end(); ++it)
                if (it->first == status) {
                    if (record != nullptr)
                        *record = it->second;
                    m_events.erase(it);
                    return true;
                }
            return false;
        }
    }
}

int EventLog::Count(int status)
{
    std::lock_guard<std::mutex> guard(m_lock);
    int n = 0;
    for (int s : m_all)
        n += s == status ? 1 : 0;
    return n;
}

UdpPeer::UdpPeer(const std::string& address, int port)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = MakeAddress(address, port);
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

UdpPeer::~UdpPeer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int UdpPeer::SendTo(const std::string& address, int port, const std::vector<unsigned char>& data)
{
    sockaddr_in a = MakeAddress(address, port);
    return static_cast<int>(::sendto(m_fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a));
}

std::vector<unsigned char> UdpPeer::Receive(int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return {};
    std::vector<unsigned char> buf(65536);
    ssize_t n = ::recv(m_fd, buf.data(), buf.size(), 0);
    buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buf;
}

FixedReplyServer::FixedReplyServer(const std::string& address, int port, std::string reply) : m_reply(std::move(reply))
{
    m_fd = ListenOn(address, port);
    if (m_fd >= 0)
        m_thread = std::thread(&FixedReplyServer::Run, this);
}

FixedReplyServer::~FixedReplyServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string FixedReplyServer::FirstRequest()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_request;
}

void FixedReplyServer::Run()
{
    while (!m_stop) {
        int c = AcceptWithin(m_fd, 100);
        if (c < 0)
            continue;
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0)
                break;
            ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_request.empty())
                m_request = request;
        }
        ::send(c, m_reply.data(), m_reply.size(), MSG_NOSIGNAL);
        // Keep the line open a moment, as a proxy waiting for credentials would.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::close(c);
    }
}

CaptureTunnelServer::CaptureTunnelServer(const std::string& address, std::string timestamp)
    : m_timestamp(std::move(timestamp))
{
    m_fd = ListenOn(address, 443);
    if (m_fd >= 0)
        m_thread = std::thread(&CaptureTunnelServer::Run, this);
}

CaptureTunnelServer::~CaptureTunnelServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<unsigned char> CaptureTunnelServer::Stream()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_stream;
}

bool CaptureTunnelServer::WaitForBytes(std::size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_stream.size() >= count; });
}

void CaptureTunnelServer::Run()
{
    int c = -1;
    while (!m_stop && c < 0)
        c = AcceptWithin(m_fd, 100);
    if (c < 0)
        return;
    std::string hello;
    char buf[4096];
    bool helloDone = false;
    while (!m_stop) {
        pollfd p{c, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        if (!helloDone) {
            hello.append(buf, static_cast<std::size_t>(n));
            std::size_t end = hello.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            helloDone = true;
            std::string reply = "SERVER_HELLO" + m_timestamp;
            ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            std::lock_guard<std::mutex> guard(m_lock);
            m_stream.insert(m_stream.end(), hello.begin() + static_cast<long>(end) + 4, hello.end());
        } else {
            std::lock_guard<std::mutex> guard(m_lock);
            m_stream.insert(m_stream.end(), buf, buf + n);
        }
        m_cv.notify_all();
    }
    ::close(c);
}
