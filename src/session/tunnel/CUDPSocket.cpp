#include "session/tunnel/CUDPSocket.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include "app/CLogger.h"

CUDPSocket::CUDPSocket(const char* localIp, int localPort, const char* destinationIp, int destinationPort)
    : CMySocket(destinationIp, destinationPort)
{
    ZLOG_SCOPE();
    if (m_socket < 0)
        return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(localPort));
    if (localIp == nullptr || localPort < 0 || localPort > 65535 || inet_pton(AF_INET, localIp, &local.sin_addr) != 1) {
        ZLOG(LOG_ERROR, "Invalid local address");
        m_error = true;
        return;
    }
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ZLOG(LOG_ERROR, "bind failed");
        m_error = true;
        return;
    }
    m_bound = true;
}

CUDPSocket::~CUDPSocket() { ZLOG_SCOPE(); }

int CUDPSocket::WaitForData()
{
    ZLOG_SCOPE();
    int n = ReceiveFrom(m_receiveArea.get(), static_cast<int>(kReceiveAreaSize), 100);
    if (n > 0)
        OnReceive(m_receiveArea.get(), n > static_cast<int>(kReceiveAreaSize) ? static_cast<int>(kReceiveAreaSize) : n);
    return n;
}

void CUDPSocket::OnReceive(const std::uint8_t* /*data*/, int /*length*/) { ZLOG_SCOPE(); }

int CUDPSocket::LocalPort() const
{
    ZLOG_SCOPE();
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (m_socket < 0 || ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return -1;
    return ntohs(a.sin_port);
}
