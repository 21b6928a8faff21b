#include "audio/CRtpSession.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "audio/AudioResult.h"
#include "app/CLogger.h"

namespace {

bool ResolveIPv4(const std::string& host, in_addr& out)
{
    if (inet_pton(AF_INET, host.c_str(), &out) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || res == nullptr)
        return false;
    out = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return true;
}

} // namespace

CRtpSession::CRtpSession()
{
    std::random_device rd;
    m_sequence = static_cast<uint16_t>(rd());
    m_timestamp = rd();
    m_ssrc = rd();
    m_interruptFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_interruptFd < 0)
        ZLOG(LOG_ERROR, "Unable to create media wake-up: %s", std::strerror(errno));
}

CRtpSession::~CRtpSession()
{
    Close();
    if (m_interruptFd >= 0)
        ::close(m_interruptFd);
}

void CRtpSession::Interrupt()
{
    ZLOG_SCOPE();
    const uint64_t one = 1;
    if (m_interruptFd >= 0 && ::write(m_interruptFd, &one, sizeof one) < 0)
        ZLOG(LOG_ERROR, "Unable to wake the media receiver: %s", std::strerror(errno));
}

int CRtpSession::Open(const std::string& localAddress, int localPort, const std::string& remoteAddress, int remotePort,
                      std::string& error)
{
    ZLOG_SCOPE();
    Close();
    uint64_t stale = 0;
    if (m_interruptFd >= 0 && ::read(m_interruptFd, &stale, sizeof stale) < 0 && errno != EAGAIN)
        ZLOG(LOG_ERROR, "Unable to clear the media wake-up: %s", std::strerror(errno));
    if (localPort <= 0 || localPort > 65535 || remotePort <= 0 || remotePort > 65535) {
        error = "Invalid media port";
        ZLOG(LOG_ERROR, "Invalid media port %d/%d", localPort, remotePort);
        return MXSOUND_ERROR_INVALID_ARGUMENT;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(localPort));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!localAddress.empty() && inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr) != 1) {
        error = "Invalid local media address " + localAddress;
        ZLOG(LOG_ERROR, "Invalid local media address %s", localAddress.c_str());
        return MXSOUND_ERROR_INVALID_ARGUMENT;
    }
    m_remote = {};
    m_remote.sin_family = AF_INET;
    m_remote.sin_port = htons(static_cast<uint16_t>(remotePort));
    if (remoteAddress.empty() || !ResolveIPv4(remoteAddress, m_remote.sin_addr)) {
        error = "Invalid remote media address " + remoteAddress;
        ZLOG(LOG_ERROR, "Invalid remote media address %s", remoteAddress.c_str());
        return MXSOUND_ERROR_INVALID_ARGUMENT;
    }
    // Deliberately no SO_REUSEADDR: a second socket on the port would silently take our packets.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("Unable to create media socket: ") + std::strerror(errno);
        ZLOG(LOG_ERROR, "Unable to create media socket: %s", std::strerror(errno));
        return MXSOUND_ERROR_NETWORK;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
        error = "Unable to bind media port " + std::to_string(localPort) + " on " + text + ": " + std::strerror(err);
        ZLOG(LOG_ERROR, "Unable to bind media port %d on %s: %s", localPort, text, std::strerror(err));
        ::close(fd);
        return MXSOUND_ERROR_NETWORK;
    }
    m_fd = fd;
    m_first = true;
    return MXSOUND_OK;
}

void CRtpSession::Close()
{
    ZLOG_SCOPE();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

// Media path (every packet): no entering/leaving trace.
int CRtpSession::Send(uint8_t payloadType, const uint8_t* payload, size_t len, uint32_t samples)
{
    if (m_fd < 0)
        return -1;
    RtpHeader header;
    header.marker = m_first;
    header.payloadType = payloadType;
    header.sequence = m_sequence;
    header.timestamp = m_timestamp;
    header.ssrc = m_ssrc;
    uint8_t packet[CRtpPacket::kMaxPacket];
    const size_t n = CRtpPacket::Build(header, payload, len, packet, sizeof packet);
    m_sequence = static_cast<uint16_t>(m_sequence + 1);
    m_timestamp += samples;
    if (n == 0)
        return -1;
    m_first = false;
    const ssize_t sent =
        sendto(m_fd, packet, n, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&m_remote), sizeof m_remote);
    // A refused or full socket loses this packet only; the call goes on.
    if (sent != static_cast<ssize_t>(n))
        return -1;
    ++m_sent;
    return 0;
}

int CRtpSession::Receive(uint8_t* buffer, size_t cap, int timeoutMs)
{
    if (m_fd < 0)
        return -1;
    pollfd p[2] = {{m_fd, POLLIN, 0}, {m_interruptFd, POLLIN, 0}};
    const int rc = poll(p, m_interruptFd >= 0 ? 2 : 1, timeoutMs);
    if (rc <= 0)
        return rc < 0 && errno != EINTR ? -1 : 0;
    if ((p[0].revents & POLLIN) == 0)
        return 0;
    const ssize_t n = recv(m_fd, buffer, cap, MSG_DONTWAIT);
    if (n < 0) {
        // ICMP port unreachable from an earlier send shows up here: not fatal.
        return (errno == EAGAIN || errno == ECONNREFUSED || errno == EINTR) ? 0 : -1;
    }
    return static_cast<int>(n);
}
