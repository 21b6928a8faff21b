#include "session/sip/CUdpTransport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <osipparser2/osip_port.h>

#include "app/CLogger.h"

namespace zelora {

namespace {

// Used when the next hop is unknown: routing towards a public address names the
// interface of the default route; nothing is sent.
constexpr const char* kProbeAddress = "192.0.2.1";

int ResolveIpv4(const char* host, int port, sockaddr_in& out)
{
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host, &out.sin_addr) == 1)
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0 || res == nullptr)
        return -1;
    out.sin_addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return 0;
}

} // namespace

CUdpTransport::~CUdpTransport() { Close(); }

std::string CUdpTransport::ConfiguredLocalAddress()
{
    ZLOG_SCOPE();
    const char* env = std::getenv("ZELORA_LOCAL_ADDRESS");
    in_addr probe{};
    if (env == nullptr || inet_pton(AF_INET, env, &probe) != 1)
        return {};
    return env;
}

int CUdpTransport::Open(const char* address, int port)
{
    ZLOG_SCOPE();
    Close();
    if (port < 0 || port > 65535) {
        ZLOG(LOG_ERROR, "invalid port %d", port);
        return -1;
    }
    std::string bindAddress = ConfiguredLocalAddress();
    if (bindAddress.empty())
        bindAddress = (address != nullptr && address[0] != '\0') ? address : "0.0.0.0";
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, bindAddress.c_str(), &sa.sin_addr) != 1) {
        ZLOG(LOG_ERROR, "invalid bind address %s", bindAddress.c_str());
        return -1;
    }
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ZLOG(LOG_ERROR, "socket failed errno %d", errno);
        return -1;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ZLOG(LOG_ERROR, "bind %s:%d failed errno %d", bindAddress.c_str(), port, errno);
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    m_fd = fd;
    m_port = ntohs(sa.sin_port);
    m_boundAddress = bindAddress;
    ZLOG(LOG_DEBUG, "listening on %s:%d", bindAddress.c_str(), m_port);
    return 0;
}

void CUdpTransport::Close()
{
    ZLOG_SCOPE();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
    m_boundAddress.clear();
}

int CUdpTransport::SendTo(const char* host, int port, const char* data, size_t length) const
{
    ZLOG_SCOPE();
    if (m_fd < 0 || host == nullptr || data == nullptr || length > kMaxDatagram)
        return -1;
    if (port <= 0 || port > 65535)
        port = 5060;
    sockaddr_in to{};
    if (ResolveIpv4(host, port, to) != 0) {
        ZLOG(LOG_ERROR, "cannot resolve %s", host);
        return -1;
    }
    ssize_t n = sendto(m_fd, data, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (n < 0 || static_cast<size_t>(n) != length) {
        ZLOG(LOG_ERROR, "sendto %s:%d failed errno %d", host, port, errno);
        return -1;
    }
    // The protocol log shows the exchange itself.
    osip_trace(__FILE__, __LINE__, OSIP_INFO1, nullptr, "sent to %s:%d\n%.*s\n", host, port, static_cast<int>(length),
               static_cast<const char*>(data));
    return 0;
}

long CUdpTransport::Receive(char* buffer, size_t capacity, std::string& sourceIp, int& sourcePort) const
{
    ZLOG_SCOPE();
    if (m_fd < 0)
        return -1;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(m_fd, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
    char ip[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
    sourceIp = ip;
    sourcePort = ntohs(from.sin_port);
    if (static_cast<size_t>(n) > capacity) {
        ZLOG(LOG_WARNING, "datagram of %ld bytes from %s truncated, dropped", static_cast<long>(n), ip);
        return 0;
    }
    if (n > 0)
        osip_trace(__FILE__, __LINE__, OSIP_INFO1, nullptr, "received from %s:%d\n%.*s\n", ip, sourcePort,
                   static_cast<int>(n), buffer);
    return n == 0 ? 0 : static_cast<long>(n);
}

int CUdpTransport::LocalAddressTowards(const char* host, std::string& out)
{
    ZLOG_SCOPE();
    std::string configured = ConfiguredLocalAddress();
    if (!configured.empty()) {
        out = configured;
        return 0;
    }
    const char* targets[2] = {host, kProbeAddress};
    for (const char* target : targets) {
        if (target == nullptr || target[0] == '\0')
            continue;
        sockaddr_in to{};
        if (ResolveIpv4(target, 5060, to) != 0)
            continue;
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        sockaddr_in local{};
        socklen_t len = sizeof local;
        int ok = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0 &&
            local.sin_addr.s_addr != htonl(INADDR_ANY);
        ::close(fd);
        if (ok) {
            char ip[INET_ADDRSTRLEN] = {0};
            inet_ntop(AF_INET, &local.sin_addr, ip, sizeof ip);
            out = ip;
            return 0;
        }
    }
    out = "127.0.0.1";
    return -1;
}

} // namespace zelora
