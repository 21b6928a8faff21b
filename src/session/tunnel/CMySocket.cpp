#include "session/tunnel/CMySocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/CLogger.h"

CMySocket::CMySocket(const char* destinationIp, int destinationPort) : m_receiveArea(new std::uint8_t[kReceiveAreaSize])
{
    ZLOG_SCOPE();
    m_destination.sin_family = AF_INET;
    m_destination.sin_port = htons(static_cast<std::uint16_t>(destinationPort));
    if (destinationIp == nullptr || destinationPort <= 0 || destinationPort > 65535 ||
        inet_pton(AF_INET, destinationIp, &m_destination.sin_addr) != 1) {
        ZLOG(LOG_ERROR, "Invalid destination address");
        m_error = true;
    }
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        ZLOG(LOG_ERROR, "socket failed");
        m_error = true;
        return;
    }
    int size = kReceiveBufferBytes;
    if (::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) {
        ZLOG(LOG_ERROR, "setsockopt SO_RCVBUF failed");
        m_error = true;
    }
}

CMySocket::~CMySocket()
{
    ZLOG_SCOPE();
    if (m_bound)
        Shutdown();
    if (m_socket >= 0)
        ::close(m_socket);
}

int CMySocket::WaitForData()
{
    ZLOG_SCOPE();
    if (m_socket < 0)
        return -1;
    pollfd p{m_socket, POLLIN, 0};
    int r = ::poll(&p, 1, 100);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CMySocket::SendToDefault(const std::uint8_t* data, int length)
{
    ZLOG_SCOPE();
    return SendTo(data, length, m_destination);
}

int CMySocket::SendTo(const std::uint8_t* data, int length, const sockaddr_in& to)
{
    ZLOG_SCOPE();
    if (m_socket < 0 || data == nullptr || length < 0)
        return -1;
    ssize_t n = ::sendto(m_socket, data, static_cast<std::size_t>(length), MSG_NOSIGNAL,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n < 0 ? -1 : static_cast<int>(n);
}

int CMySocket::ReceiveFrom(std::uint8_t* buffer, int size, int timeoutMs, sockaddr_in* from)
{
    ZLOG_SCOPE();
    if (m_socket < 0 || buffer == nullptr || size <= 0 || m_shutDown)
        return -1;
    pollfd p{m_socket, POLLIN, 0};
    int r = ::poll(&p, 1, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    if (r == 0)
        return 0;
    if (m_shutDown)
        return -1;
    sockaddr_in src{};
    socklen_t len = sizeof src;
    // MSG_TRUNC reports the datagram's real length, so an oversize one can be recognised.
    ssize_t n = ::recvfrom(m_socket, buffer, static_cast<std::size_t>(size), MSG_TRUNC | MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&src), &len);
    if (n < 0)
        return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    if (n == 0 && m_shutDown)
        return -1;
    if (from != nullptr)
        *from = src;
    return static_cast<int>(n);
}

void CMySocket::Shutdown()
{
    ZLOG_SCOPE();
    m_shutDown = true;
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}
