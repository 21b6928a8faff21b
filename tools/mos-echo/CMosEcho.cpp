#include "CMosEcho.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "quvane/CProbeContext.h"
#include "quvane/ProbePacket.h"

namespace {
constexpr std::size_t kMaxDatagram = 2048;
} // namespace

CMosEcho::CMosEcho(const MosEchoOptions& options) : m_options(options) { }

CMosEcho::~CMosEcho()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool CMosEcho::Open(std::string& error)
{
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_options.port);
    if (inet_pton(AF_INET, m_options.address.c_str(), &addr.sin_addr) != 1) {
        error = "bad address " + m_options.address;
        return false;
    }
    if (bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        error = "bind " + m_options.address + ":" + std::to_string(m_options.port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_boundPort = ntohs(addr.sin_port);
    return true;
}

void CMosEcho::StampReply(std::vector<std::uint8_t>& reply, const MosEchoOptions& o, double serverTime)
{
    using namespace quvane;
    if (reply.size() >= kOffsetServerTime + 8)
        WriteLeDouble(reply.data() + kOffsetServerTime, serverTime);
    if (reply.size() >= kOffsetBaseInterval + 8)
        WriteLeDouble(reply.data() + kOffsetBaseInterval, o.baseInterval);
    if (reply.size() >= kOffsetServerValue + 8)
        WriteLeDouble(reply.data() + kOffsetServerValue, o.serverValue);
    if (reply.size() >= kOffsetAllowedCount + 4)
        WriteLeUint32(reply.data() + kOffsetAllowedCount, static_cast<std::uint32_t>(o.allowedCount));
}

void CMosEcho::HandleDatagram(const std::uint8_t* data, std::size_t size, const sockaddr_in& from)
{
    ++m_received;
    if (m_options.dropEvery != 0 && m_received % m_options.dropEvery == 0) {
        ++m_dropped;
        return;
    }
    const double now = quvane::MonotonicSeconds();
    double delayMs = m_options.delayMs;
    if (m_options.lateEvery != 0 && m_received % m_options.lateEvery == 0)
        delayMs += m_options.lateByMs;
    Pending p{now + delayMs / 1000.0, from, std::vector<std::uint8_t>(data, data + size)};
    StampReply(p.bytes, m_options, now);
    p.bytes.insert(p.bytes.end(), m_options.pad, static_cast<std::uint8_t>('.'));
    if (m_options.burst != 0) {
        if (m_burst.empty())
            m_burstStart = now;
        m_burst.push_back(std::move(p));
        if (m_burst.size() >= m_options.burst)
            ReleaseBurst(now);
        return;
    }
    Enqueue(std::move(p));
}

void CMosEcho::Enqueue(Pending p)
{
    const auto at = std::upper_bound(m_pending.begin(), m_pending.end(), p.due,
                                     [](double due, const Pending& q) { return due < q.due; });
    m_pending.insert(at, std::move(p));
}

void CMosEcho::ReleaseBurst(double now)
{
    for (Pending& p : m_burst) {
        p.due = now;
        Enqueue(std::move(p));
    }
    m_burst.clear();
}

void CMosEcho::SendDue(double now)
{
    while (!m_pending.empty() && m_pending.front().due <= now) {
        const Pending& p = m_pending.front();
        const int copies = m_options.duplicate ? 2 : 1;
        for (int i = 0; i < copies; ++i) {
            if (sendto(m_fd, p.bytes.data(), p.bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&p.to),
                       sizeof p.to) >= 0)
                ++m_sent;
        }
        m_pending.pop_front();
    }
}

double CMosEcho::NextWake() const
{
    double wake = -1.0;
    if (!m_pending.empty())
        wake = m_pending.front().due;
    if (!m_burst.empty()) {
        const double flush = m_burstStart + m_options.burstTimeoutMs / 1000.0;
        if (wake < 0.0 || flush < wake)
            wake = flush;
    }
    return wake;
}

bool CMosEcho::Serve(int stopFd, std::string& error)
{
    std::uint8_t buf[kMaxDatagram];
    for (;;) {
        const double now = quvane::MonotonicSeconds();
        if (!m_burst.empty() && now >= m_burstStart + m_options.burstTimeoutMs / 1000.0)
            ReleaseBurst(now);
        SendDue(now);

        pollfd fds[2] = {{m_fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const double wake = NextWake();
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (wake >= 0.0) {
            const double wait = std::max(0.0, wake - now);
            timeout.tv_sec = static_cast<time_t>(wait);
            timeout.tv_nsec = static_cast<long>((wait - static_cast<double>(timeout.tv_sec)) * 1e9);
            timeoutPtr = &timeout;
        }
        const int ready = ppoll(fds, 2, timeoutPtr, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            error = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        if ((fds[1].revents & POLLIN) != 0)
            return true;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                break;
            HandleDatagram(buf, static_cast<std::size_t>(n), from);
        }
    }
}
