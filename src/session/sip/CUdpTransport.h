#pragma once
// The one UDP socket of the user agent: bind, send, receive, local address discovery.
#include <cstddef>
#include <string>

namespace zelora {

class CUdpTransport {
public:
    static constexpr size_t kMaxDatagram = 65535;

    CUdpTransport() = default;
    ~CUdpTransport();
    CUdpTransport(const CUdpTransport&) = delete;
    CUdpTransport& operator=(const CUdpTransport&) = delete;

    // Binds 0.0.0.0 (or `address`, or ZELORA_LOCAL_ADDRESS when set) to `port` (0 = any).
    // No SO_REUSEADDR: a second bind of the same address and port fails. 0 or -1.
    int Open(const char* address, int port);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    int Port() const { return m_port; }
    const std::string& BoundAddress() const { return m_boundAddress; }

    // Resolves `host` (numeric or by name) and sends. 0 or -1.
    int SendTo(const char* host, int port, const char* data, size_t length) const;
    // Non-blocking read of one datagram. Returns its length, 0 when none is waiting, -1 on error.
    // The source address and port are written as text/number.
    long Receive(char* buffer, size_t capacity, std::string& sourceIp, int& sourcePort) const;

    // The local IPv4 address a datagram to `host` would leave from (no packet is sent);
    // ZELORA_LOCAL_ADDRESS wins when set. 0 ok, -1 on failure ("127.0.0.1" then written).
    static int LocalAddressTowards(const char* host, std::string& out);
    // ZELORA_LOCAL_ADDRESS when it holds an IPv4 address, else empty.
    static std::string ConfiguredLocalAddress();

private:
    int m_fd = -1;
    int m_port = 0;
    std::string m_boundAddress;
};

} // namespace zelora
