// The TCP connection and the protocol object against an in-test loopback listener.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "session/tunnel/CCRC.h"
#include "session/tunnel/CTCPClient.h"
#include "session/tunnel/CTCPConnection.h"
#include "session/tunnel/CTunnelFrameCodec.h"
#include "session/tunnel/CTunnelProtocol.h"
#include "session/tunnel/CUDPSocket.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One accepted loopback connection whose far end the test drives.
class Loopback {
public:
    explicit Loopback(const char* address)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address, &a.sin_addr);
        a.sin_port = 0;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_listen, 2) == 0) {
            socklen_t len = sizeof a;
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
            m_port = ntohs(a.sin_port);
        }
    }
    ~Loopback()
    {
        if (m_peer >= 0)
            ::close(m_peer);
        ::close(m_listen);
    }
    int Port() const { return m_port; }
    int ListenHandle() const { return m_listen; }
    bool AcceptPeer()
    {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            return false;
        m_peer = ::accept(m_listen, nullptr, nullptr);
        return m_peer >= 0;
    }
    void Write(const Bytes& b) { ASSERT_EQ(::send(m_peer, b.data(), b.size(), MSG_NOSIGNAL), (ssize_t)b.size()); }
    Bytes ReadAll(std::size_t atLeast)
    {
        Bytes out;
        std::uint8_t buf[8192];
        while (out.size() < atLeast) {
            pollfd p{m_peer, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0)
                break;
            ssize_t n = ::recv(m_peer, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    void ClosePeer()
    {
        ::close(m_peer);
        m_peer = -1;
    }

private:
    int m_listen = -1;
    int m_peer = -1;
    int m_port = 0;
};

Bytes Frame(const Bytes& content)
{
    Bytes out(content.size() * 2 + 2);
    int n = CTunnelFrameCodec::Encode(content.data(), static_cast<int>(content.size()), out.data(),
                                      static_cast<int>(out.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

Bytes CurrentFrame(CTCPConnection& c)
{
    int len = 0;
    const std::uint8_t* f = c.GetFrame(len);
    return Bytes(f, f + len);
}

TEST(TunnelConnection, ReceiveFrameAcrossReceivesGarbageAndClose)
{
    Loopback server("127.0.2.100");
    ASSERT_GT(server.Port(), 0);
    CTCPConnection c("agent");
    ASSERT_EQ(c.Init("127.0.2.100", server.Port()), 1);
    ASSERT_TRUE(server.AcceptPeer());

    Bytes first{0x01, 0x7E, 0x44};
    Bytes second(1500);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = static_cast<std::uint8_t>(i);
    Bytes wire{'j', 'u', 'n', 'k', 0x7F};
    for (const Bytes& f : {Frame(first), Frame(second)}) {
        Bytes enc = f;
        wire.insert(wire.end(), enc.begin(), enc.end());
    }
    // Dribble the bytes so frames split across many receives.
    std::thread writer([&] {
        for (std::size_t pos = 0; pos < wire.size(); pos += 333) {
            server.Write(Bytes(wire.begin() + static_cast<long>(pos),
                               wire.begin() + static_cast<long>(std::min(pos + 333, wire.size()))));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::vector<Bytes> got;
    while (got.size() < 2) {
        int rc = c.ReceiveFrame();
        ASSERT_NE(rc, CTCPConnection::FRAME_CLOSED);
        if (rc == CTCPConnection::FRAME_READY) {
            got.push_back(CurrentFrame(c));
            c.ResetFrame();
        } else {
            ASSERT_EQ(rc, CTCPConnection::FRAME_NEED_MORE);
        }
    }
    writer.join();
    EXPECT_EQ(got[0], first);
    EXPECT_EQ(got[1], second);
    int len = -1;
    c.GetFrame(len);
    EXPECT_EQ(len, 0);

    server.ClosePeer();
    EXPECT_EQ(c.ReceiveFrame(), CTCPConnection::FRAME_CLOSED);
}

TEST(TunnelConnection, SendsAreFramedWithCrcAndBounded)
{
    Loopback server("127.0.2.101");
    CTCPConnection c("agent");
    ASSERT_EQ(c.Init("127.0.2.101", server.Port()), 1);
    ASSERT_TRUE(server.AcceptPeer());

    std::uint8_t packet[16] = {0x01, 1, 13, 1, '5'};
    EXPECT_EQ(c.SendFrameWithCRC(packet, 5, 6), -1); // no room for the CRC
    int sent = c.SendFrameWithCRC(packet, 5, 16);
    ASSERT_GT(sent, 0);
    Bytes wire = server.ReadAll(static_cast<std::size_t>(sent));
    auto frames = CTunnelFrameCodec::DecodeStream(wire.data(), wire.size());
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_EQ(frames[0].size(), 7u);
    std::uint16_t crc = CCRC::Compute(packet, 5);
    EXPECT_EQ(frames[0][5], crc >> 8);
    EXPECT_EQ(frames[0][6], crc & 0xFF);

    Bytes big(1100, 0x7E); // escapes to 2202 bytes: more than the send buffer
    EXPECT_EQ(c.SendFrame(big.data(), static_cast<int>(big.size()), 2048), -2);
    Bytes fits(1023, 0x7E);
    EXPECT_GT(c.SendFrame(fits.data(), static_cast<int>(fits.size()), 2048), 0);
    EXPECT_EQ(server.ReadAll(2048).size(), 2048u);
}

TEST(TunnelConnection, SendsFromManyThreadsStayWhole)
{
    Loopback server("127.0.2.102");
    CTCPConnection c("agent");
    ASSERT_EQ(c.Init("127.0.2.102", server.Port()), 1);
    ASSERT_TRUE(server.AcceptPeer());
    constexpr int kThreads = 4, kEach = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&c, t] {
            for (int i = 0; i < kEach; ++i) {
                Bytes content(50 + static_cast<std::size_t>(t) * 100, static_cast<std::uint8_t>(0x7E + t % 2));
                content[0] = static_cast<std::uint8_t>(t);
                if (i % 10 == 0)
                    c.Send(reinterpret_cast<const std::uint8_t*>("png"), 3);
                else
                    c.SendFrame(content.data(), static_cast<int>(content.size()), 2048);
            }
        });
    for (auto& th : threads)
        th.join();
    c.Shutdown();
    Bytes wire = server.ReadAll(SIZE_MAX);
    auto frames = CTunnelFrameCodec::DecodeStream(wire.data(), wire.size());
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(kThreads * kEach * 9 / 10));
    for (const Bytes& f : frames) {
        int t = f[0];
        ASSERT_LT(t, kThreads);
        ASSERT_EQ(f.size(), 50 + static_cast<std::size_t>(t) * 100) << "interleaved frame";
    }
}

TEST(TunnelConnection, InitFailuresAndLocalAddress)
{
    CTCPConnection c("agent");
    EXPECT_EQ(c.Init("127.0.2.103", 1), -1); // nothing listens there
    EXPECT_EQ(c.Init("no.such.host.invalid", 443), -1);
    EXPECT_EQ(c.ReceiveFrame(), CTCPConnection::FRAME_CLOSED);
    EXPECT_EQ(c.GetBytesAvailable(), 0);

    setenv("ZELORA_LOCAL_ADDRESS", "127.0.2.104", 1);
    EXPECT_EQ(c.ResolveLocalAddress(), 1);
    EXPECT_STREQ(c.GetLocalAddress(), "127.0.2.104");
    unsetenv("ZELORA_LOCAL_ADDRESS");
    EXPECT_EQ(c.ResolveLocalAddress(), 1); // from the host name
    in_addr a{};
    EXPECT_EQ(inet_pton(AF_INET, c.GetLocalAddress(), &a), 1) << c.GetLocalAddress();
    c.SetLocalAddress("10.1.2.3");
    EXPECT_STREQ(c.GetLocalAddress(), "10.1.2.3");
}

TEST(TunnelConnection, HttpPostLayoutAndProxyReply)
{
    CTCPConnection c("UA/1", "tunnel.example");
    const std::uint8_t body[] = {'a', 'b'};
    int n = c.MakeHttpPost(body, 2);
    ASSERT_GT(n, 0);
    std::string text(reinterpret_cast<const char*>(c.SendBuffer()), static_cast<std::size_t>(n));
    EXPECT_EQ(text.rfind("POST http://tunnel.example/ HTTP/1.1\r\nHost: tunnel.example\r\nUser-Agent: UA/1\r\n", 0),
              0u);
    EXPECT_NE(text.find("Keep-Alive: 300\r\nProxy-Connection: keep-alive\r\nContent-Length: 2\r\n\r\nab"),
              std::string::npos);
    Bytes huge(2048, 'x');
    EXPECT_EQ(c.MakeHttpPost(huge.data(), 2048), -1);

    Loopback server("127.0.2.105");
    ASSERT_EQ(c.Init("127.0.2.105", server.Port()), 1);
    ASSERT_TRUE(server.AcceptPeer());
    std::string ok = "HTTP/1.1 200 Whatever\r\n\r\n";
    server.Write(Bytes(ok.begin(), ok.end()));
    EXPECT_EQ(c.ReadProxyReply(), 1);
    std::string no = "HTTP/1.1 403 Forbidden\r\n\r\n";
    server.Write(Bytes(no.begin(), no.end()));
    EXPECT_EQ(c.ReadProxyReply(), -1);
}

TEST(TunnelUdpSocket, BindConflictSetsErrorFlag)
{
    CUDPSocket first("127.0.2.106", 0, "127.0.2.106", 37644);
    ASSERT_FALSE(first.HasError());
    int port = first.LocalPort();
    ASSERT_GT(port, 0);
    CUDPSocket second("127.0.2.106", port, "127.0.2.106", 37644);
    EXPECT_TRUE(second.HasError());
    CUDPSocket bad("not-an-address", 5000, "127.0.2.106", 37644);
    EXPECT_TRUE(bad.HasError());

    // A datagram larger than the caller's area reports its real length.
    CUDPSocket sender("127.0.2.106", 0, "127.0.2.106", port);
    Bytes big(3000, 1);
    ASSERT_EQ(sender.SendToDefault(big.data(), 3000), 3000);
    std::uint8_t small[100];
    EXPECT_EQ(first.ReceiveFrom(small, 100, 1000), 3000);
    EXPECT_EQ(first.ReceiveFrom(small, 100, 50), 0);
    first.Shutdown();
    EXPECT_EQ(first.ReceiveFrom(small, 100, 50), -1);
}

// A listener whose accept queue is full drops further SYNs: to a connecting client it looks
// like a host that swallows packets, and a blocking connect waits out every SYN retry.
TEST(TunnelTcpClient, ConnectAndSendToASilentPeerEndWithinTheirLimits)
{
    Loopback full("127.0.2.108");
    ASSERT_GT(full.Port(), 0);
    ASSERT_EQ(::listen(full.ListenHandle(), 0), 0); // no backlog: one queued connection fills it
    CTCPClient filler;
    ASSERT_EQ(filler.Init("127.0.2.108", full.Port(), 2000), 1) << "the first connection must be queued";
    CTCPClient blocked;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(blocked.Init("127.0.2.108", full.Port()), -3);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(CTCPClient::kConnectTimeoutMs - 100));
    EXPECT_LT(took, std::chrono::milliseconds(CTCPClient::kConnectTimeoutMs + 2000)) << "the connect was not bounded";
    EXPECT_EQ(blocked.Handle(), CTCPClient::kInvalidSocket);
    EXPECT_EQ(blocked.Init("127.0.2.107", 1), -3); // refused at once, not after the limit

    // A live peer connects; once it stops reading and both buffers are full, a send gives up.
    Loopback server("127.0.2.107");
    CTCPClient c;
    ASSERT_EQ(c.Init("127.0.2.107", server.Port()), 1);
    ASSERT_TRUE(server.AcceptPeer());
    EXPECT_EQ(::fcntl(c.Handle(), F_GETFL) & O_NONBLOCK, 0) << "blocking again once connected";
    const std::uint8_t ping[3] = {'p', 'n', 'g'};
    EXPECT_EQ(c.Send(ping, 3), 3);
    EXPECT_EQ(server.ReadAll(3), Bytes(ping, ping + 3));
    Bytes chunk(1 << 20, 0x55);
    int rc = 0;
    for (int i = 0; i < 64 && rc >= 0; ++i) {
        start = std::chrono::steady_clock::now();
        rc = c.Send(chunk.data(), static_cast<int>(chunk.size()));
        ASSERT_LT(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(CTCPClient::kSendTimeoutMs + 2000))
            << "send " << i << " was not bounded";
    }
    EXPECT_EQ(rc, -1) << "64 MB went to a peer that reads nothing";
}

int IgnoreEvent(int, void*, SESSION_EVENT_INFO*) { return 0; }

TEST(TunnelProtocolUnit, InitValidationAndWorkWithoutConnection)
{
    CODEC_INFO codecs[1] = {};
    int context = 0;
    CTunnelProtocol p("ua", 0, "", 0, 0, "");
    EXPECT_EQ(p.Init("r", "h", "5060", nullptr, &context, nullptr, codecs, 1, "ua", 5060), -1);
    EXPECT_EQ(p.Init("r", "h", "5060", IgnoreEvent, nullptr, nullptr, codecs, 1, "ua", 5060), -9);
    EXPECT_EQ(p.Init("r", "h", "5060", IgnoreEvent, &context, nullptr, codecs, 0, "ua", 5060), -8);
    EXPECT_EQ(p.Init("r", "h", "5060", IgnoreEvent, &context, "/nonexistent-dir/x/log", codecs, 1, "ua", 5060), -7);
    // Valid arguments, but no tunnel server address configured.
    EXPECT_EQ(p.Init("r", "h", "5060", IgnoreEvent, &context, nullptr, codecs, 1, "ua", 5060), -1);
    EXPECT_FALSE(p.IsConnected());
    EXPECT_EQ(p.SendPing(), -1);
    SESSION_EVENT_INFO rec;
    ClearEventInfo(rec);
    EXPECT_EQ(p.StartListen(&rec), -1);
    EXPECT_EQ(p.StopListen(), 1);
    EXPECT_EQ(p.SendRingWithSDP(&rec, nullptr, nullptr), 0);
    EXPECT_LT(p.HangUp(&rec), 0);
    EXPECT_LT(p.HangUp(nullptr), 0);
    EXPECT_LT(p.Invite("a", "b", nullptr, nullptr, nullptr, nullptr), 0);
    // Too long for an element: refused before any connection attempt.
    EXPECT_EQ(p.Register("d", "0123456789012345678901234567890", "pw", 60, nullptr, nullptr, 0), -5);
    EXPECT_EQ(p.Register("d", "user", "0123456789012345678901234567890", 60, nullptr, nullptr, 0), -5);
    EXPECT_EQ(p.Register("d", "user", "pw", 60, nullptr, nullptr, 0), -1); // no tunnel server address
}

} // namespace
