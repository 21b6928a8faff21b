#pragma once
// RTP fixed header: parse and build (version 2, big-endian on the wire).
#include <cstddef>
#include <cstdint>

struct RtpHeader {
    bool marker = false;
    uint8_t payloadType = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
};

class CRtpPacket {
public:
    static constexpr size_t kHeaderSize = 12;
    static constexpr size_t kMaxPacket = 1500;

    enum ParseResult {
        RTP_OK = 0,
        RTP_TOO_SHORT = -1,
        RTP_BAD_VERSION = -2,
        RTP_BAD_PADDING = -3,
        RTP_BAD_EXTENSION = -4,
    };

    // Skips CSRCs, the header extension and padding; payload points into data.
    static int Parse(const uint8_t* data, size_t len, RtpHeader& header, const uint8_t*& payload, size_t& payloadLen);

    // Writes header + payload into out; returns bytes written, 0 when cap is too small.
    static size_t Build(const RtpHeader& header, const uint8_t* payload, size_t payloadLen, uint8_t* out, size_t cap);
};
