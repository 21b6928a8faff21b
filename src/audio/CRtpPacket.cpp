#include "audio/CRtpPacket.h"

#include <cstring>

namespace {

uint16_t Read16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t Read32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
void Write16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void Write32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

// No logging here: this runs for every packet on the media path.
int CRtpPacket::Parse(const uint8_t* data, size_t len, RtpHeader& header, const uint8_t*& payload, size_t& payloadLen)
{
    if (data == nullptr || len < kHeaderSize)
        return RTP_TOO_SHORT;
    if ((data[0] >> 6) != 2)
        return RTP_BAD_VERSION;
    const bool padding = (data[0] & 0x20) != 0;
    const bool extension = (data[0] & 0x10) != 0;
    const size_t csrcCount = data[0] & 0x0F;
    header.marker = (data[1] & 0x80) != 0;
    header.payloadType = data[1] & 0x7F;
    header.sequence = Read16(data + 2);
    header.timestamp = Read32(data + 4);
    header.ssrc = Read32(data + 8);

    size_t offset = kHeaderSize + 4 * csrcCount;
    if (offset > len)
        return RTP_TOO_SHORT;
    if (extension) {
        if (offset + 4 > len)
            return RTP_BAD_EXTENSION;
        const size_t words = Read16(data + offset + 2);
        offset += 4 + 4 * words;
        if (offset > len)
            return RTP_BAD_EXTENSION;
    }
    size_t end = len;
    if (padding) {
        const size_t pad = data[len - 1];
        if (pad == 0 || pad > end - offset)
            return RTP_BAD_PADDING;
        end -= pad;
    }
    payload = data + offset;
    payloadLen = end - offset;
    return RTP_OK;
}

size_t CRtpPacket::Build(const RtpHeader& header, const uint8_t* payload, size_t payloadLen, uint8_t* out, size_t cap)
{
    if (out == nullptr || cap < kHeaderSize || payloadLen > cap - kHeaderSize)
        return 0;
    out[0] = 0x80;
    out[1] = uint8_t((header.marker ? 0x80 : 0) | (header.payloadType & 0x7F));
    Write16(out + 2, header.sequence);
    Write32(out + 4, header.timestamp);
    Write32(out + 8, header.ssrc);
    if (payloadLen > 0)
        std::memcpy(out + kHeaderSize, payload, payloadLen);
    return kHeaderSize + payloadLen;
}
