#pragma once
// One client's end of the tunnel: the CLIENT_HELLO handshake, the framed stream read into a
// ring, and what is queued for it. Whole packets go to the packet handler; the client owns
// its socket and closes it when it goes.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "session/tunnel/CTunnelRingBuffer.h"

class CTunnelFrame;

class CTunnelClient {
public:
    class IPackets {
    public:
        virtual ~IPackets() = default;
        virtual void OnSignalling(CTunnelClient& client, const std::uint8_t* content, int length) = 0;
        virtual void OnMedia(CTunnelClient& client, const std::uint8_t* rtp, int length) = 0;
    };

    CTunnelClient(int fd, std::uint64_t id, std::string peer, IPackets& packets);
    ~CTunnelClient();
    CTunnelClient(const CTunnelClient&) = delete;
    CTunnelClient& operator=(const CTunnelClient&) = delete;

    int Fd() const { return m_fd; }
    std::uint64_t Id() const { return m_id; }
    // Logs as the client's number.
    unsigned long long Number() const { return static_cast<unsigned long long>(m_id); }
    bool Closing() const { return m_closing; }
    bool WantsWrite() const { return m_outOffset < m_out.size(); }

    void OnReadable();
    void OnWritable();
    void SendPacket(const std::uint8_t* content, int length);
    void SendSignalling(int command, CTunnelFrame& frame);
    // Marks the client for closing after the current poll round.
    void Drop(const char* why);
    // Drops an idle client, renews a registered client's timestamp when it is due.
    void Tick(std::time_t now, int idleTimeout, int timestampInterval);

    // Registration state, kept by the signalling handler.
    std::string user; // registered user, empty when not registered
    std::string timestamp, previousTimestamp;

private:
    // Bytes of the handshake; false once the client is dropped.
    bool TakeHello(const std::uint8_t* data, std::size_t n, std::size_t& used);
    void HandleHello();
    void HandleFrames();
    static std::string NewTimestamp();

    int m_fd;
    std::uint64_t m_id;
    std::string m_peer;
    IPackets& m_packets;
    bool m_helloDone = false;
    std::string m_hello;
    CTunnelRingBuffer m_ring{3000};
    std::vector<std::uint8_t> m_out;
    std::size_t m_outOffset = 0;
    bool m_closing = false;
    std::time_t m_lastTimestamp = 0;
    std::time_t m_lastActivity = 0;
};
