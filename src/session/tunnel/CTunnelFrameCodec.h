#pragma once
// Byte-stuffed framing of the tunnel stream: 0x7E, escaped content, 0x7F.
#include <cstddef>
#include <cstdint>
#include <vector>

class CTunnelRingBuffer;

class CTunnelFrameCodec {
public:
    static constexpr std::uint8_t kStart = 0x7E;
    static constexpr std::uint8_t kEnd = 0x7F;
    static constexpr std::uint8_t kEscape = 0x5D;
    static constexpr std::uint8_t kEscapeXor = 0x20;
    static constexpr std::uint8_t kTypeSignalling = 0x01;
    static constexpr std::uint8_t kTypeMedia = 0x02;

    // Encoded length, or -1 when `out` has less room than 2 x length + 2 (nothing written).
    static int Encode(const std::uint8_t* content, int length, std::uint8_t* out, int outSize);
    // Undoes the escapes of the bytes between the markers; returns the content length.
    // `out` must hold `length` bytes. A lone trailing escape byte is dropped.
    static int Unescape(const std::uint8_t* encoded, int length, std::uint8_t* out);

    enum TakeResult { kNeedMore = 0, kFrame = 1, kDiscarded = -1 };
    // Takes the next frame out of the ring: garbage before 0x7E is dropped, a second 0x7E
    // restarts the frame, empty frames are skipped. When the ring is full without an end
    // marker the frame is too long to ever fit: it is discarded (kDiscarded) so the stream
    // goes on. `out` must hold ring capacity bytes.
    static TakeResult TakeFrame(CTunnelRingBuffer& ring, std::uint8_t* out, int& contentLength);

    // Every frame content found in a complete byte stream, in order (bytes after the last end are ignored).
    static std::vector<std::vector<std::uint8_t>> DecodeStream(const std::uint8_t* data, std::size_t length);

    // Client signalling packet: 0x01, the TLV frame, CRC high and low, encoded. Encoded length,
    // -1 when content and CRC exceed `bufferLength` or the encoding does not fit `outSize`.
    static int BuildSignallingPacket(const std::uint8_t* tlv, int tlvLength, int bufferLength, std::uint8_t* out,
                                     int outSize);
    // True when the content (type byte ... CRC) ends with the CRC of everything before it.
    static bool CheckCRC(const std::uint8_t* content, int length);
};
