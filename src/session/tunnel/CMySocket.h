#pragma once
// IPv4 datagram socket with a default destination.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <netinet/in.h>

class CMySocket {
public:
    static constexpr int kReceiveBufferBytes = 262144;
    static constexpr std::size_t kReceiveAreaSize = 8192;

    CMySocket(const char* destinationIp, int destinationPort);
    virtual ~CMySocket();
    CMySocket(const CMySocket&) = delete;
    CMySocket& operator=(const CMySocket&) = delete;

    // Waits up to 100 ms for a datagram; 1 when one waits, 0 otherwise, -1 on error.
    virtual int WaitForData();

    bool HasError() const { return m_error; }
    int Handle() const { return m_socket; }
    // Bytes sent, or -1.
    int SendToDefault(const std::uint8_t* data, int length);
    int SendTo(const std::uint8_t* data, int length, const sockaddr_in& to);
    // Waits up to `timeoutMs` for a datagram: its length (may exceed `size`, the rest is then lost),
    // 0 on time-out, -1 on error or after Shutdown.
    int ReceiveFrom(std::uint8_t* buffer, int size, int timeoutMs, sockaddr_in* from = nullptr);
    void Shutdown();
    bool IsShutDown() const { return m_shutDown; }
    const sockaddr_in& DefaultDestination() const { return m_destination; }

protected:
    int m_socket = -1;
    bool m_error = false;
    bool m_bound = false;
    std::atomic<bool> m_shutDown{false};
    sockaddr_in m_destination{};
    std::unique_ptr<std::uint8_t[]> m_receiveArea;
};
