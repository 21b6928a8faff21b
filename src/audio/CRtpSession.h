#pragma once
// The call's UDP media socket and the sending side of RTP (sequence,
// timestamp and SSRC start at random values).
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/CRtpPacket.h"

class CRtpSession {
public:
    CRtpSession();
    ~CRtpSession();
    CRtpSession(const CRtpSession&) = delete;
    CRtpSession& operator=(const CRtpSession&) = delete;

    // Binds localAddress:localPort (any address when empty) and aims at the remote.
    // Returns 0 or an MXSoundResult with error.
    int Open(const std::string& localAddress, int localPort, const std::string& remoteAddress, int remotePort,
             std::string& error);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Sends one packet; the timestamp then moves on by samples. Returns 0 or -1.
    int Send(uint8_t payloadType, const uint8_t* payload, size_t len, uint32_t samples);
    // Waits up to timeoutMs for a datagram; returns its length, 0 on timeout or Interrupt, -1 on error.
    int Receive(uint8_t* buffer, size_t cap, int timeoutMs);
    // Wakes a Receive that is waiting (and the next one): the call is stopping.
    void Interrupt();

    uint32_t Ssrc() const { return m_ssrc; }
    uint64_t PacketsSent() const { return m_sent; }

private:
    int m_fd = -1;
    int m_interruptFd = -1; // eventfd
    sockaddr_in m_remote{};
    uint16_t m_sequence;
    uint32_t m_timestamp;
    uint32_t m_ssrc;
    bool m_first = true;
    uint64_t m_sent = 0;
};
