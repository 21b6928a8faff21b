#include "session/tunnel/CTCPClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "app/CLogger.h"

CTCPClient::~CTCPClient()
{
    ZLOG_SCOPE();
    Shutdown();
    Close();
}

int CTCPClient::Init(const char* host, int port)
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
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
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
    int sent = 0;
    while (sent < length) {
        ssize_t n = ::send(m_socket, data + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        sent += static_cast<int>(n);
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
