#pragma once
// The call's RTP between the local audio engine and the tunnel: datagrams from the engine go
// out as media frames, media frames from the tunnel go to the engine's port.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Event.h"
#include "session/tunnel/CTCPConnection.h"
#include "session/tunnel/CUDPSocket.h"

class CTunnelMediaRelay {
public:
    static constexpr int kLocalMediaPort = 37644;
    static constexpr int kReceiveArea = 2048;
    using ConnectionSource = std::function<std::shared_ptr<CTCPConnection>()>;

    explicit CTunnelMediaRelay(ConnectionSource connection);
    ~CTunnelMediaRelay();
    CTunnelMediaRelay(const CTunnelMediaRelay&) = delete;
    CTunnelMediaRelay& operator=(const CTunnelMediaRelay&) = delete;

    // Binds (address, port) for the engine's RTP and starts the relay thread: 1, -2 when the
    // socket cannot be made, -11 when the thread cannot.
    int Start(const char* address, int port);
    // Ends the relay thread (waits up to 3 s for it, then joins it) and drops the socket. 1.
    int Stop();
    // One RTP datagram from the tunnel to the local audio engine.
    int SendMedia(const std::uint8_t* bytes, int length);
    bool IsActive() const { return m_active.load(); }

private:
    void UDPThreadProc(CUDPSocket* socket);
    void UdpToTcpSwap(CUDPSocket& socket);

    ConnectionSource m_connection;
    std::mutex m_lock; // the socket; released before the thread is joined
    std::unique_ptr<CUDPSocket> m_socket;
    std::thread m_thread;
    zelora::Event m_stopped{true};
    std::atomic<bool> m_active{false};
};
