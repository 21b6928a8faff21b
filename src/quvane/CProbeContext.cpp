#include "quvane/CProbeContext.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <latch>
#include <limits>
#include <thread>

namespace quvane {

namespace {

constexpr double kPacketGap = 0.01; // seconds between packets
constexpr int kSocketBufferBytes = 32768;
constexpr int kBelowNormalNice = 5; // added to the caller's nice value
constexpr long kIdlePauseNs = 100 * 1000; // receiver pause when nothing is readable
constexpr std::size_t kMaxHostText = 255;
constexpr int kMaxDrainPerRound = 256; // datagrams read before the time limit is checked again
// Added to the slowest round trip seen when sending ends: without it the
// last reply is counted as lost whenever it happens to be the slowest of all,
// which on any path with jitter is one probe in sixty.
constexpr double kTailGrace = 0.1;

timespec ToTimespec(double seconds)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

void SleepUntil(double deadline)
{
    const timespec ts = ToTimespec(deadline);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Probing keeps both threads awake for its whole length; let the host's own
// work go first. Raising one's nice value needs no privilege, so a failure
// here only means the thread keeps the caller's priority.
void LowerThreadPriority()
{
    const id_t tid = static_cast<id_t>(gettid());
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0)
        return;
    (void)setpriority(PRIO_PROCESS, tid, current + kBelowNormalNice);
}

double RealtimeSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// When the datagram reached the host, on the monotonic clock. The kernel's
// stamp (wall clock) is moved onto the monotonic clock so that the time the
// receiver thread spent waiting for the processor is not counted as travel.
double ArrivalTime(const msghdr& msg)
{
    const double now = MonotonicSeconds();
    for (const cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&msg), const_cast<cmsghdr*>(c))) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        const double waited =
            RealtimeSeconds() - (static_cast<double>(stamp.tv_sec) + static_cast<double>(stamp.tv_nsec) / 1e9);
        // A wall clock that was stepped meanwhile gives a nonsense wait.
        if (waited >= 0.0 && waited < 1.0)
            return now - waited;
        break;
    }
    return now;
}

bool StartsWithLetter(const char* text)
{
    const char c = text[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

double MonotonicSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

CProbeContext::CProbeContext()
{
    m_packets.reserve(kPacketCount);
    for (int seq = 1; seq <= kPacketCount; ++seq)
        m_packets.push_back(BuildProbePacket(static_cast<std::uint32_t>(seq)));
    m_replies.reserve(kPacketCount);
}

CProbeContext::~CProbeContext()
{
    if (m_fd >= 0)
        close(m_fd);
}

void CProbeContext::OpenSocket(const char* host, std::uint16_t port)
{
    if (host == nullptr || strnlen(host, kMaxHostText + 1) > kMaxHostText)
        return;
    m_server.sin_family = AF_INET;
    m_server.sin_port = htons(port);
    if (StartsWithLetter(host)) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
            return;
        m_server.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    } else if (inet_pton(AF_INET, host, &m_server.sin_addr) != 1) {
        return;
    }
    m_haveServer = true;

    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    const int size = kSocketBufferBytes;
    (void)setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    (void)setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const int on = 1;
    (void)setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

ProbeResults CProbeContext::Run(const char* host, std::uint16_t port)
{
    OpenSocket(host, port);

    std::latch go(1);
    std::thread receiver;
    std::thread sender;
    try {
        receiver = std::thread([this, &go] {
            LowerThreadPriority();
            go.wait();
            ReceiverLoop();
        });
        sender = std::thread([this, &go] {
            LowerThreadPriority();
            go.wait();
            SenderLoop();
        });
    } catch (const std::system_error&) {
        // Without a sender nothing is sent; the receiver then waits out its
        // no-reply limit. Without a receiver there is nothing to wait for.
        FinishSending();
    }
    go.count_down();
    if (receiver.joinable())
        receiver.join();
    if (sender.joinable())
        sender.join();

    std::lock_guard<std::mutex> guard(m_lock);
    m_values = FindServerValues(m_sendTimes, m_replies);
    return AnalyseReplies(m_sendTimes, m_replies);
}

void CProbeContext::FinishSending()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_waitLimit = m_largestRtt + kTailGrace;
        m_sendingEnd = MonotonicSeconds();
    }
    m_sendingFinished.store(true, std::memory_order_release);
}

void CProbeContext::SenderLoop()
{
    // Deadlines are absolute so that a late wake-up does not push every
    // following packet back.
    const double start = MonotonicSeconds();
    for (std::size_t i = 0; i < m_packets.size(); ++i) {
        SleepUntil(start + kPacketGap * static_cast<double>(i + 1));
        Packet& p = m_packets[i];
        const double now = MonotonicSeconds();
        WriteLeDouble(p.data() + kOffsetSendTime, now);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_sendTimes[ReadLeUint32(p.data() + kOffsetSequence)] = now;
        }
        if (m_fd >= 0 && m_haveServer)
            (void)sendto(m_fd, p.data(), p.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&m_server),
                         sizeof m_server);
    }
    FinishSending();
}

void CProbeContext::DrainSocket(unsigned& distinct, std::vector<bool>& answered, double deadline)
{
    std::uint8_t buf[kPacketSize];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    for (int round = 0; round < kMaxDrainPerRound; ++round) {
        iovec iov{buf, sizeof buf};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        // MSG_TRUNC reports the datagram's real length, so oversized ones
        // are recognised and dropped instead of being read as cut-off replies.
        const ssize_t n = recvmsg(m_fd, &msg, MSG_TRUNC);
        if (n < 0)
            return; // drained (EAGAIN) or a transient error; the loop polls again
        const double arrival = ArrivalTime(msg);
        if (arrival > deadline)
            continue; // came after the receiver would have given up
        if (static_cast<std::size_t>(n) > kPacketSize || static_cast<std::size_t>(n) < kOffsetSequence + 4)
            continue;
        Packet copy{};
        std::memcpy(copy.data(), buf, static_cast<std::size_t>(n));
        WriteLeDouble(copy.data() + kOffsetSendTime, arrival);
        const std::uint32_t seq = ReadLeUint32(copy.data() + kOffsetSequence);

        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_sendTimes.find(seq);
        if (it != m_sendTimes.end()) {
            const double rtt = arrival - it->second;
            if (rtt > m_largestRtt)
                m_largestRtt = rtt;
            if (!answered[seq]) {
                answered[seq] = true;
                ++distinct;
            }
        }
        if (m_replies.size() < kMaxKeptReplies)
            m_replies.push_back(copy);
    }
}

void CProbeContext::ReceiverLoop()
{
    unsigned distinct = 0;
    std::vector<bool> answered(kPacketCount + 1, false);
    while (distinct < static_cast<unsigned>(kPacketCount)) {
        const bool finished = m_sendingFinished.load(std::memory_order_acquire);
        double deadline = std::numeric_limits<double>::infinity();
        if (finished) {
            std::lock_guard<std::mutex> guard(m_lock);
            if (distinct == 0)
                m_waitLimit = kNoReplyWait;
            deadline = m_sendingEnd + m_waitLimit;
        }
        // Replies already waiting in the socket are read before the time
        // limit is checked, so a receiver that was kept off the processor
        // does not throw away replies that came in time.
        pollfd p{m_fd, POLLIN, 0};
        const bool readable = m_fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
        if (readable)
            DrainSocket(distinct, answered, deadline);
        if (finished && MonotonicSeconds() > deadline)
            break;
        if (!readable) {
            const timespec pause{0, kIdlePauseNs};
            nanosleep(&pause, nullptr);
        }
    }
}

} // namespace quvane
