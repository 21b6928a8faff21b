#include "session/tunnel/CTCPConnection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "session/tunnel/CCRC.h"
#include "app/CLogger.h"
#include "session/tunnel/CTunnelFrameCodec.h"

namespace {
constexpr const char* kAcceptHeaders =
    "Accept: text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,*/*;q=0.5\r\n"
    "Accept-Language: en-us,en;q=0.5\r\n"
    "Accept-Encoding: gzip,deflate\r\n"
    "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\n";
}

CTCPConnection::CTCPConnection(const char* userAgent, const char* tunnelHost)
    : m_userAgent(userAgent != nullptr ? userAgent : ""), m_tunnelHost(tunnelHost != nullptr ? tunnelHost : "")
{
    if (m_userAgent.size() > 254)
        m_userAgent.resize(254);
}

CTCPConnection::~CTCPConnection()
{
    ZLOG_SCOPE();
    m_client.Shutdown();
    m_client.Close();
}

int CTCPConnection::Init(const char* host, int port)
{
    ZLOG_SCOPE();
    m_client.Shutdown();
    m_client.Close();
    if (m_client.Init(host, port) < 0) {
        ZLOG(LOG_ERROR, "Unable to Init TCP Client");
        return -1;
    }
    ZLOG(LOG_DEBUG, "TCP Connection successful");
    m_ringBuffer = std::make_unique<CTunnelRingBuffer>(kRingCapacity);
    m_frameLength = 0;
    return 1;
}

int CTCPConnection::Send(const std::uint8_t* bytes, int length)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_sendLock);
    return m_client.Send(bytes, length);
}

int CTCPConnection::Receive(std::uint8_t* buffer, int& length)
{
    ZLOG_SCOPE();
    int n = m_client.Receive(buffer, length);
    if (n == 0) {
        length = 0;
        return RECEIVE_CLOSED;
    }
    if (n < 0) {
        length = 0;
        return RECEIVE_ERROR;
    }
    length = n;
    return RECEIVE_OK;
}

int CTCPConnection::ReceiveFrame()
{
    ZLOG_SCOPE();
    if (!m_ringBuffer)
        return FRAME_CLOSED;
    int length = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        CTunnelFrameCodec::TakeResult r = CTunnelFrameCodec::TakeFrame(*m_ringBuffer, m_frame, length);
        if (r == CTunnelFrameCodec::kFrame) {
            m_frameLength = length;
            return FRAME_READY;
        }
        if (attempt == 1 || r == CTunnelFrameCodec::kDiscarded)
            return FRAME_NEED_MORE;
        // Never take more than the ring can keep: nothing received is dropped.
        int want = static_cast<int>(std::min<std::size_t>(m_ringBuffer->Free(), kReceiveChunk));
        int got = m_client.Receive(m_receiveArea, want);
        if (got <= 0)
            return FRAME_CLOSED;
        m_ringBuffer->Append(m_receiveArea, static_cast<std::size_t>(got));
    }
    return FRAME_NEED_MORE;
}

const std::uint8_t* CTCPConnection::GetFrame(int& length)
{
    ZLOG_SCOPE();
    length = m_frameLength;
    return m_frame;
}

int CTCPConnection::ResolveLocalAddress()
{
    ZLOG_SCOPE();
    const char* configured = std::getenv("ZELORA_LOCAL_ADDRESS");
    if (configured != nullptr && *configured != '\0') {
        SetLocalAddress(configured);
        return 1;
    }
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        ZLOG(LOG_ERROR, "gethostname failed");
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        ZLOG(LOG_ERROR, "gethostbyname failed");
        return -1;
    }
    char text[INET_ADDRSTRLEN] = {};
    const sockaddr_in* sin = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    SetLocalAddress(text);
    ZLOG(LOG_DEBUG, "Local address [%s]", text);
    return 1;
}

const char* CTCPConnection::GetLocalAddress()
{
    ZLOG_SCOPE();
    // Valid until the next SetLocalAddress; threads of this program use LocalAddressCopy.
    std::lock_guard<std::mutex> guard(m_addressLock);
    return m_localAddress.c_str();
}

std::string CTCPConnection::LocalAddressCopy() const
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_addressLock);
    return m_localAddress;
}

void CTCPConnection::SetLocalAddress(const char* text)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_addressLock);
    m_localAddress = text != nullptr ? std::string(text).substr(0, 255) : std::string();
}

int CTCPConnection::MakeHttpPost(const std::uint8_t* data, int length)
{
    ZLOG_SCOPE();
    if (length < 0 || (length > 0 && data == nullptr))
        return -1;
    std::lock_guard<std::mutex> guard(m_sendLock);
    char* out = reinterpret_cast<char*>(m_sendBuffer);
    int n = std::snprintf(out, kSendBufferSize,
                          "POST http://%s/ HTTP/1.1\r\nHost: %s\r\nUser-Agent: %s\r\n%s"
                          "Connection: Keep-Alive\r\nKeep-Alive: 300\r\nProxy-Connection: keep-alive\r\n"
                          "Content-Length: %d\r\n\r\n",
                          m_tunnelHost.c_str(), m_tunnelHost.c_str(), m_userAgent.c_str(), kAcceptHeaders, length);
    if (n < 0 || n + length >= kSendBufferSize) {
        ZLOG(LOG_ERROR, "Buffer too short for HTTP post");
        return -1;
    }
    if (length > 0)
        std::memcpy(m_sendBuffer + n, data, static_cast<std::size_t>(length));
    return n + length;
}

int CTCPConnection::ReadProxyReply()
{
    ZLOG_SCOPE();
    std::uint8_t reply[kSendBufferSize + 1];
    int length = kSendBufferSize;
    if (Receive(reply, length) != RECEIVE_OK)
        return -1;
    reply[length] = '\0';
    const char* text = reinterpret_cast<const char*>(reply);
    return (std::strstr(text, "HTTP/1.0 200") != nullptr || std::strstr(text, "HTTP/1.1 200") != nullptr) ? 1 : -1;
}

int CTCPConnection::SendFrameLocked(const std::uint8_t* bytes, int length)
{
    ZLOG_SCOPE();
    int encoded = CTunnelFrameCodec::Encode(bytes, length, m_sendBuffer, kSendBufferSize);
    if (encoded < 0) {
        ZLOG(LOG_ERROR, "Frame of [%d] bytes does not fit the send buffer", length);
        return -2;
    }
    return m_client.Send(m_sendBuffer, encoded);
}

int CTCPConnection::SendFrame(const std::uint8_t* bytes, int length, int /*bufferLength*/)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_sendLock);
    return SendFrameLocked(bytes, length);
}

int CTCPConnection::SendFrameWithCRC(std::uint8_t* bytes, int length, int bufferLength)
{
    ZLOG_SCOPE();
    if (bytes == nullptr || length < 0 || length + 2 > bufferLength) {
        ZLOG(LOG_ERROR, "No room for the CRC in [%d] bytes", bufferLength);
        return -1;
    }
    std::uint16_t crc = CCRC::Compute(bytes, static_cast<std::size_t>(length));
    bytes[length] = static_cast<std::uint8_t>(crc >> 8);
    bytes[length + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    std::lock_guard<std::mutex> guard(m_sendLock);
    return SendFrameLocked(bytes, length + 2);
}

int CTCPConnection::Shutdown()
{
    ZLOG_SCOPE();
    return m_client.Shutdown();
}

int CTCPConnection::Close()
{
    ZLOG_SCOPE();
    // A sender may be inside send(); closing under its lock keeps the descriptor from being reused under it.
    std::lock_guard<std::mutex> guard(m_sendLock);
    return m_client.Close();
}

int CTCPConnection::GetBytesAvailable()
{
    ZLOG_SCOPE();
    return m_client.GetBytesAvailable();
}
