#pragma once
// One IPv4 stream socket.
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>

class CTCPClient {
public:
    static constexpr int kInvalidSocket = -1;

    CTCPClient() = default;
    ~CTCPClient();
    CTCPClient(const CTCPClient&) = delete;
    CTCPClient& operator=(const CTCPClient&) = delete;

    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kSendTimeoutMs = 10000;

    // 1, -1 name not resolved, -3 connect failed or not done within timeoutMs.
    int Init(const char* host, int port, int timeoutMs = kConnectTimeoutMs);
    // Bytes sent (all of them), or -1 (also when they are not all out within kSendTimeoutMs).
    int Send(const std::uint8_t* data, int length);
    // Bytes received, 0 when the peer closed, -1 on error.
    int Receive(std::uint8_t* buffer, int length);
    int Shutdown();
    int Close();
    int GetBytesAvailable() const;
    int Handle() const { return m_socket; }
    bool StartedSockets() const { return m_startedSockets; }

private:
    // 0 once connected, -1 on failure or time-out.
    static int ConnectWithin(int s, const sockaddr_in& addr, int timeoutMs);

    int m_socket = kInvalidSocket;
    bool m_startedSockets = false; // POSIX sockets need no start-up; kept for the close order
};
