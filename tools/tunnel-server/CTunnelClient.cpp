#include "CTunnelClient.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "CTunnelFrame.h"
#include "TunnelLog.h"
#include "session/tunnel/CTunnelDataParser.h"
#include "session/tunnel/CTunnelFrameCodec.h"

namespace {
constexpr std::size_t kMaxHello = 2048;
constexpr std::size_t kMaxPending = 1 << 20; // a client that reads nothing is dropped, not buffered forever
constexpr std::size_t kReadChunk = 4096;
} // namespace

CTunnelClient::CTunnelClient(int fd, std::uint64_t id, std::string peer, IPackets& packets)
    : m_fd(fd), m_id(id), m_peer(std::move(peer)), m_packets(packets), m_lastActivity(std::time(nullptr))
{
}

CTunnelClient::~CTunnelClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CTunnelClient::Drop(const char* why)
{
    if (!m_closing)
        TunnelLog("client %llu (%s) dropped: %s", Number(), m_peer.c_str(), why);
    m_closing = true;
}

bool CTunnelClient::TakeHello(const std::uint8_t* data, std::size_t n, std::size_t& used)
{
    std::size_t take = std::min(kMaxHello - m_hello.size(), n);
    m_hello.append(reinterpret_cast<const char*>(data), take);
    std::size_t end = m_hello.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (m_hello.size() >= kMaxHello) {
            Drop("no CLIENT_HELLO within 2048 bytes");
            return false;
        }
        used = n;
        return true;
    }
    // Bytes after the hello already belong to the framed stream.
    std::size_t extra = m_hello.size() - (end + 4);
    used = n - extra;
    m_hello.resize(end + 4);
    HandleHello();
    return !m_closing;
}

void CTunnelClient::OnReadable()
{
    std::uint8_t area[kReadChunk];
    for (;;) {
        std::size_t want = sizeof area;
        if (m_helloDone)
            want = std::min(want, m_ring.Free());
        if (want == 0) {
            HandleFrames(); // frees the ring (or discards an oversize frame)
            continue;
        }
        ssize_t got = ::recv(m_fd, area, want, 0);
        if (got == 0) {
            Drop("closed by the client");
            return;
        }
        if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                Drop(std::strerror(errno));
            return;
        }
        m_lastActivity = std::time(nullptr);
        const std::size_t n = static_cast<std::size_t>(got);
        std::size_t used = 0;
        if (!m_helloDone && !TakeHello(area, n, used))
            return;
        if (used < n) {
            m_ring.Append(area + used, n - used);
            HandleFrames();
            if (m_closing)
                return;
        }
    }
}

void CTunnelClient::OnWritable()
{
    while (m_outOffset < m_out.size()) {
        ssize_t n = ::send(m_fd, m_out.data() + m_outOffset, m_out.size() - m_outOffset, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                Drop(std::strerror(errno));
            return;
        }
        m_outOffset += static_cast<std::size_t>(n);
    }
    m_out.clear();
    m_outOffset = 0;
}

void CTunnelClient::SendPacket(const std::uint8_t* content, int length)
{
    if (m_closing)
        return;
    std::uint8_t encoded[2 * 3000 + 2];
    int n = CTunnelFrameCodec::Encode(content, length, encoded, sizeof encoded);
    if (n < 0)
        return;
    if (m_out.size() - m_outOffset + static_cast<std::size_t>(n) > kMaxPending) {
        Drop("not reading its stream");
        return;
    }
    bool idle = m_outOffset >= m_out.size();
    m_out.insert(m_out.end(), encoded, encoded + n);
    if (idle)
        OnWritable();
}

void CTunnelClient::SendSignalling(int command, CTunnelFrame& frame)
{
    std::uint8_t content[CTunnelFrame::kMaxPacket];
    int length = frame.Packet(command, content, sizeof content);
    if (length > 0)
        SendPacket(content, length);
}

std::string CTunnelClient::NewTimestamp()
{
    // Unique across clients, so a timestamp never validates another client's registration.
    static unsigned counter = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%lld%04u", static_cast<long long>(std::time(nullptr)), (++counter) % 10000);
    return text;
}

void CTunnelClient::HandleHello()
{
    if (m_hello.rfind("CLIENT_HELLO\r\n", 0) != 0) {
        Drop("handshake without CLIENT_HELLO");
        return;
    }
    std::string agent = m_hello.substr(14, m_hello.size() - 18);
    m_helloDone = true;
    timestamp = NewTimestamp();
    m_lastTimestamp = std::time(nullptr);
    std::string reply = "SERVER_HELLO" + timestamp;
    m_out.insert(m_out.end(), reply.begin(), reply.end());
    OnWritable();
    TunnelLog("client %llu hello [%s], timestamp %s", Number(), agent.c_str(), timestamp.c_str());
    m_hello.clear();
    m_hello.shrink_to_fit();
}

void CTunnelClient::HandleFrames()
{
    std::uint8_t frame[3000];
    for (;;) {
        int length = 0;
        CTunnelFrameCodec::TakeResult r = CTunnelFrameCodec::TakeFrame(m_ring, frame, length);
        if (r == CTunnelFrameCodec::kNeedMore)
            return;
        if (r == CTunnelFrameCodec::kDiscarded) {
            TunnelLog("client %llu: frame longer than %zu bytes discarded", Number(), m_ring.Capacity() - 1);
            continue;
        }
        if (frame[0] == CTunnelFrameCodec::kTypeSignalling)
            m_packets.OnSignalling(*this, frame, length);
        else if (frame[0] == CTunnelFrameCodec::kTypeMedia)
            m_packets.OnMedia(*this, frame + 1, length - 1);
        else
            TunnelLog("client %llu: packet type %d dropped", Number(), frame[0]);
        if (m_closing)
            return;
    }
}

void CTunnelClient::Tick(std::time_t now, int idleTimeout, int timestampInterval)
{
    if (m_closing)
        return;
    if (now - m_lastActivity > idleTimeout) {
        Drop("idle");
        return;
    }
    if (!user.empty() && timestampInterval > 0 && now - m_lastTimestamp >= timestampInterval) {
        previousTimestamp = timestamp;
        timestamp = NewTimestamp();
        m_lastTimestamp = now;
        CTunnelFrame f;
        f.Text(ELEMENT_TYPE_SIP_SERVER_TIMESTAMP, timestamp);
        SendSignalling(100, f);
    }
}
