#include "session/tunnel/CTCPClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "app/CLogger.h"

CTCPClient::~CTCPClient()
{
    ZLOG_SCOPE();
    Shutdown();
    Close();
}

int CTCPClient::ConnectWithin(int s, const sockaddr_in& addr, int timeoutMs)
{
    ZLOG_SCOPE();
    // Non-blocking, so a host that drops our packets costs the limit, not the kernel's
    // two minutes of SYN retries, and the caller's locks are not held that long.
    int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0)
        return -1;
    int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno != EINPROGRESS)
        return -1;
    if (rc != 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ZLOG(LOG_ERROR, "connect timed out after %d ms", timeoutMs);
                return -1;
            }
            pollfd p{s, POLLOUT, 0};
            int r = ::poll(&p, 1, static_cast<int>(left.count()));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return -1;
            if (r > 0)
                break;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return -1;
    }
    return ::fcntl(s, F_SETFL, flags) == 0 ? 0 : -1;
}

int CTCPClient::Init(const char* host, int port, int timeoutMs)
{
    ZLOG_SCOPE();
    Close();
    m_startedSockets = true;
    if (host == nullptr || *host == '\0' || port <= 0 || port > 65535) {
        ZLOG(LOG_ERROR, "gethostbyname failed");
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
        ZLOG(LOG_ERROR, "gethostbyname failed");
        return -1;
    }
    sockaddr_in addr{};
    std::memcpy(&addr, found->ai_addr, sizeof addr);
    freeaddrinfo(found);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));

    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        ZLOG(LOG_ERROR, "connect failed");
        return -3;
    }
    if (ConnectWithin(s, addr, timeoutMs) != 0) {
        ZLOG(LOG_ERROR, "connect failed");
        ::close(s);
        return -3;
    }
    // Signalling and media frames are small and latency bound.
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_socket = s;
    return 1;
}

int CTCPClient::Send(const std::uint8_t* data, int length)
{
    ZLOG_SCOPE();
    if (m_socket == kInvalidSocket || data == nullptr || length < 0)
        return -1;
    // Senders hold the core lock: a peer that stops reading must not hold them for ever.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    int sent = 0;
    while (sent < length) {
        ssize_t n = ::send(m_socket, data + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ZLOG(LOG_ERROR, "send not done within %d ms", kSendTimeoutMs);
            return -1;
        }
        pollfd p{m_socket, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return -1;
    }
    return sent;
}

int CTCPClient::Receive(std::uint8_t* buffer, int length)
{
    ZLOG_SCOPE();
    if (m_socket == kInvalidSocket || buffer == nullptr || length <= 0)
        return -1;
    for (;;) {
        ssize_t n = ::recv(m_socket, buffer, static_cast<std::size_t>(length), 0);
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

int CTCPClient::Shutdown()
{
    ZLOG_SCOPE();
    if (m_socket == kInvalidSocket)
        return 0;
    return ::shutdown(m_socket, SHUT_RDWR) == 0 ? 1 : 0;
}

int CTCPClient::Close()
{
    ZLOG_SCOPE();
    if (m_socket == kInvalidSocket)
        return 0;
    ::close(m_socket);
    m_socket = kInvalidSocket;
    return 1;
}

int CTCPClient::GetBytesAvailable() const
{
    ZLOG_SCOPE();
    if (m_socket == kInvalidSocket)
        return 0;
    int n = 0;
    if (::ioctl(m_socket, FIONREAD, &n) != 0)
        return 0;
    return n;
}
