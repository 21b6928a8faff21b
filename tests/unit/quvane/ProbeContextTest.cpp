// The probe against an echo thread in this process, so the sockets, threads
// and receive rules run under the sanitizers too.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "quvane/CProbeContext.h"
#include "quvane/ProbePacket.h"

namespace {

using namespace quvane;

// Echoes packets 11..60 twice with server values filled in, answers 1..10
// only with a datagram one byte too long, and throws in a stray short one.
class MisbehavingEcho {
public:
    explicit MisbehavingEcho(const char* address)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        inet_pton(AF_INET, address, &addr.sin_addr);
        m_ok = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        socklen_t len = sizeof addr;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~MisbehavingEcho()
    {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }
    bool Ok() const { return m_ok; }
    std::uint16_t Port() const { return m_port; }
    // Packets as the server saw them; read only after the probe is over.
    const std::vector<Packet>& Received() const { return m_received; }

private:
    void Serve()
    {
        // Stands for a server elsewhere: do not let this machine's load stall
        // its replies (needs privilege; otherwise the usual priority).
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            std::uint8_t buf[512];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n != static_cast<ssize_t>(kPacketSize))
                continue;
            Packet packet;
            std::memcpy(packet.data(), buf, kPacketSize);
            m_received.push_back(packet);
            const auto* to = reinterpret_cast<const sockaddr*>(&from);
            const std::uint32_t seq = ReadLeUint32(buf + kOffsetSequence);
            if (seq <= 10) {
                buf[kPacketSize] = '.';
                sendto(m_fd, buf, kPacketSize + 1, 0, to, len);
                continue;
            }
            if (seq == 11)
                sendto(m_fd, "short", 5, 0, to, len);
            WriteLeDouble(buf + kOffsetServerTime, seq * 0.01);
            WriteLeDouble(buf + kOffsetBaseInterval, 1.25);
            WriteLeDouble(buf + kOffsetServerValue, 6.5);
            WriteLeUint32(buf + kOffsetAllowedCount, 3);
            sendto(m_fd, buf, kPacketSize, 0, to, len);
            sendto(m_fd, buf, kPacketSize, 0, to, len);
        }
    }

    int m_fd = -1;
    bool m_ok = false;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::vector<Packet> m_received;
    std::thread m_thread;
};

TEST(ProbeContext, CountsEachPacketOnceAndIgnoresOversizedAndStrayReplies)
{
    MisbehavingEcho echo("127.0.5.30");
    ASSERT_TRUE(echo.Ok());
    CProbeContext probe;
    const ProbeResults r = probe.Run("127.0.5.30", echo.Port());

    EXPECT_EQ(r.matched, 50u);
    EXPECT_NEAR(r.lossPercent, 10.0 / 60.0 * 100.0, 1e-9);
    EXPECT_GT(r.minRtt, 0.0);
    EXPECT_LT(r.maxRtt, 0.2);
    ASSERT_TRUE(probe.Values().has_value());
    EXPECT_EQ(probe.Values()->serverValue, 6.5);
    EXPECT_EQ(probe.Values()->baseInterval, 1.25);
    EXPECT_EQ(probe.Values()->allowedCount, 3);
}

TEST(ProbeContext, SendsSixtyPacedPacketsStampedWithTheirSendTime)
{
    MisbehavingEcho echo("127.0.5.31");
    ASSERT_TRUE(echo.Ok());
    const double before = MonotonicSeconds();
    CProbeContext probe;
    probe.Run("127.0.5.31", echo.Port());
    const double after = MonotonicSeconds();

    const std::vector<Packet>& got = echo.Received();
    ASSERT_EQ(got.size(), 60u);
    double previous = before;
    for (std::uint32_t i = 0; i < 60; ++i) {
        Packet expected = BuildProbePacket(i + 1);
        const double sent = ReadLeDouble(got[i].data() + kOffsetSendTime);
        std::memcpy(expected.data() + kOffsetSendTime, got[i].data() + kOffsetSendTime, 8);
        EXPECT_EQ(got[i], expected) << "packet " << i + 1;
        EXPECT_GT(sent, previous);
        EXPECT_LT(sent, after);
        previous = sent;
    }
    const double first = ReadLeDouble(got[0].data() + kOffsetSendTime);
    // Never early: the n-th packet leaves no sooner than n x 10 ms after start.
    EXPECT_GE(first - before, 0.0099);
    EXPECT_GE(previous - before, 0.5999);
    EXPECT_LT(previous - first, 1.0);
}

TEST(ProbeContext, UnusableAddressGivesTotalLossAfterTheNoReplyWait)
{
    CProbeContext probe;
    const double start = MonotonicSeconds();
    const ProbeResults r = probe.Run("300.1.2.3", 5000);
    const double took = MonotonicSeconds() - start;
    EXPECT_EQ(r.matched, 0u);
    EXPECT_DOUBLE_EQ(r.lossPercent, 100.0);
    EXPECT_FALSE(probe.Values().has_value());
    EXPECT_GE(took, 0.6 + CProbeContext::kNoReplyWait - 0.01);
}

} // namespace
