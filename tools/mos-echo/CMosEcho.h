#pragma once
// UDP echo for the probe: stamps the server fields into every reply and can
// drop, delay, repeat or bunch replies to imitate a bad path.
#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "MosEchoOptions.h"

class CMosEcho {
public:
    explicit CMosEcho(const MosEchoOptions& options);
    ~CMosEcho();
    CMosEcho(const CMosEcho&) = delete;
    CMosEcho& operator=(const CMosEcho&) = delete;

    // Binds the socket; on failure returns false with the reason in `error`.
    bool Open(std::string& error);
    // The port actually bound (useful with port 0).
    std::uint16_t BoundPort() const { return m_boundPort; }
    // Serves until stopFd becomes readable (a signalfd for SIGTERM/SIGINT).
    // Returns false on a socket error.
    bool Serve(int stopFd, std::string& error);

    unsigned long Received() const { return m_received; }
    unsigned long Sent() const { return m_sent; }
    unsigned long Dropped() const { return m_dropped; }

    // Fills the server fields of a reply that are long enough to hold them.
    static void StampReply(std::vector<std::uint8_t>& reply, const MosEchoOptions& options, double serverTime);

private:
    struct Pending {
        double due;
        sockaddr_in to;
        std::vector<std::uint8_t> bytes;
    };

    void HandleDatagram(const std::uint8_t* data, std::size_t size, const sockaddr_in& from);
    void Enqueue(Pending p);
    void SendDue(double now);
    void ReleaseBurst(double now);
    double NextWake() const;

    MosEchoOptions m_options;
    int m_fd = -1;
    std::uint16_t m_boundPort = 0;
    std::deque<Pending> m_pending; // ordered by due time
    std::vector<Pending> m_burst;
    double m_burstStart = 0.0;
    unsigned long m_received = 0;
    unsigned long m_sent = 0;
    unsigned long m_dropped = 0;
};
