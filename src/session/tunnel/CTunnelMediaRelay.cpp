#include "session/tunnel/CTunnelMediaRelay.h"

#include <arpa/inet.h>

#include "app/CLogger.h"
#include "session/tunnel/CTunnelFrameCodec.h"

CTunnelMediaRelay::CTunnelMediaRelay(ConnectionSource connection) : m_connection(std::move(connection)) { }

CTunnelMediaRelay::~CTunnelMediaRelay()
{
    ZLOG_SCOPE();
    Stop();
}

int CTunnelMediaRelay::Start(const char* address, int port)
{
    ZLOG_SCOPE();
    auto socket = std::make_unique<CUDPSocket>(address, port, address, kLocalMediaPort);
    if (socket->HasError() || port <= 0) {
        ZLOG(LOG_ERROR, "Initializing UDP socket failed");
        return -2;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_socket = std::move(socket);
    m_stopped.Reset();
    m_active = true;
    try {
        m_thread = std::thread(&CTunnelMediaRelay::UDPThreadProc, this, m_socket.get());
    } catch (...) {
        m_active = false;
        m_socket.reset();
        m_stopped.Set();
        ZLOG(LOG_ERROR, "CreateThread failed");
        return -11;
    }
    return 1;
}

int CTunnelMediaRelay::Stop()
{
    ZLOG_SCOPE();
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_socket)
        return 1;
    m_active = false;
    m_socket->Shutdown();
    std::thread relay = std::move(m_thread);
    lock.unlock();
    if (relay.joinable()) {
        if (!m_stopped.Wait(3000))
            ZLOG(LOG_WARNING, "Relay thread slow to stop");
        relay.join();
    }
    lock.lock();
    m_socket.reset();
    return 1;
}

void CTunnelMediaRelay::UDPThreadProc(CUDPSocket* socket)
{
    ZLOG_SCOPE();
    ZLOG(LOG_DEBUG, "Thread Started");
    if (socket != nullptr)
        UdpToTcpSwap(*socket);
    m_stopped.Set();
}

void CTunnelMediaRelay::UdpToTcpSwap(CUDPSocket& socket)
{
    ZLOG_SCOPE();
    // One spare byte in front for the packet type, one behind to recognise oversize datagrams.
    std::uint8_t packet[1 + kReceiveArea + 1];
    while (m_active.load()) {
        int n = socket.ReceiveFrom(packet + 1, kReceiveArea + 1, 200);
        if (n < 0)
            break;
        if (n == 0)
            continue;
        if (n > kReceiveArea) {
            ZLOG(LOG_WARNING, "Datagram of %d bytes dropped, larger than %d", n, kReceiveArea);
            continue;
        }
        std::shared_ptr<CTCPConnection> connection = m_connection();
        if (!connection)
            break;
        packet[0] = CTunnelFrameCodec::kTypeMedia;
        int rc = connection->SendFrame(packet, n + 1, static_cast<int>(sizeof packet));
        if (rc == -2) {
            ZLOG(LOG_WARNING, "Datagram of %d bytes dropped, its frame does not fit", n);
            continue;
        }
        if (rc <= 0)
            break;
    }
    ZLOG(LOG_DEBUG, "Returning from UDP thread");
}

int CTunnelMediaRelay::SendMedia(const std::uint8_t* bytes, int length)
{
    ZLOG_SCOPE();
    std::shared_ptr<CTCPConnection> connection = m_connection();
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_socket || !connection) {
        ZLOG(LOG_ERROR, "UdpSocket handle was null");
        return -1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kLocalMediaPort);
    std::string local = connection->LocalAddressCopy();
    if (inet_pton(AF_INET, local.c_str(), &to.sin_addr) != 1) {
        ZLOG(LOG_ERROR, "Invalid local address [%s]", local.c_str());
        return -1;
    }
    return m_socket->SendTo(bytes, length, to);
}
