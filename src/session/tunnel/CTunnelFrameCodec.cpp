#include "session/tunnel/CTunnelFrameCodec.h"

#include <cstring>

#include "session/tunnel/CCRC.h"
#include "app/CLogger.h"
#include "session/tunnel/CTunnelRingBuffer.h"

namespace {
inline bool NeedsEscape(std::uint8_t b)
{
    return b == CTunnelFrameCodec::kStart || b == CTunnelFrameCodec::kEnd || b == CTunnelFrameCodec::kEscape;
}
} // namespace

int CTunnelFrameCodec::Encode(const std::uint8_t* content, int length, std::uint8_t* out, int outSize)
{
    if (out == nullptr || length < 0 || (length > 0 && content == nullptr) ||
        static_cast<long>(length) * 2 + 2 > outSize)
        return -1;
    int o = 0;
    out[o++] = kStart;
    for (int i = 0; i < length; ++i) {
        std::uint8_t b = content[i];
        if (NeedsEscape(b)) {
            out[o++] = kEscape;
            out[o++] = static_cast<std::uint8_t>(b ^ kEscapeXor);
        } else {
            out[o++] = b;
        }
    }
    out[o++] = kEnd;
    return o;
}

int CTunnelFrameCodec::Unescape(const std::uint8_t* encoded, int length, std::uint8_t* out)
{
    int o = 0;
    for (int i = 0; i < length; ++i) {
        std::uint8_t b = encoded[i];
        if (b == kEscape) {
            if (i + 1 >= length)
                break;
            out[o++] = static_cast<std::uint8_t>(encoded[++i] ^ kEscapeXor);
        } else {
            out[o++] = b;
        }
    }
    return o;
}

CTunnelFrameCodec::TakeResult CTunnelFrameCodec::TakeFrame(CTunnelRingBuffer& ring, std::uint8_t* out,
                                                           int& contentLength)
{
    contentLength = 0;
    for (;;) {
        std::size_t size = ring.Size();
        std::size_t start = 0;
        while (start < size && ring.At(start) != kStart)
            ++start;
        ring.Discard(start);
        size = ring.Size();
        if (size == 0)
            return kNeedMore;

        std::size_t i = 1;
        bool restarted = false;
        for (; i < size; ++i) {
            std::uint8_t b = ring.At(i);
            if (b == kStart) {
                ring.Discard(i); // the bytes before a new start marker belong to no frame
                restarted = true;
                break;
            }
            if (b == kEnd)
                break;
        }
        if (restarted)
            continue;
        if (i >= size) {
            if (ring.Full()) {
                ZLOG(LOG_WARNING, "Frame longer than %zu bytes discarded", ring.Capacity() - 1);
                ring.Discard(size);
                return kDiscarded;
            }
            return kNeedMore;
        }
        // Unescape straight out of the ring, no intermediate copy.
        int o = 0;
        ring.Discard(1);
        std::size_t body = i - 1;
        bool escaped = false;
        for (std::size_t k = 0; k < body; ++k) {
            std::uint8_t b = ring.At(k);
            if (escaped) {
                out[o++] = static_cast<std::uint8_t>(b ^ kEscapeXor);
                escaped = false;
            } else if (b == kEscape) {
                escaped = true;
            } else {
                out[o++] = b;
            }
        }
        ring.Discard(body + 1);
        if (o == 0)
            continue; // an empty frame carries nothing
        contentLength = o;
        return kFrame;
    }
}

std::vector<std::vector<std::uint8_t>> CTunnelFrameCodec::DecodeStream(const std::uint8_t* data, std::size_t length)
{
    std::vector<std::vector<std::uint8_t>> frames;
    std::size_t start = length;
    for (std::size_t i = 0; i < length; ++i) {
        if (data[i] == kStart) {
            start = i;
        } else if (data[i] == kEnd && start < length) {
            std::vector<std::uint8_t> content(i - start - 1);
            int n = Unescape(data + start + 1, static_cast<int>(i - start - 1), content.data());
            content.resize(static_cast<std::size_t>(n));
            if (!content.empty())
                frames.push_back(std::move(content));
            start = length;
        }
    }
    return frames;
}

int CTunnelFrameCodec::BuildSignallingPacket(const std::uint8_t* tlv, int tlvLength, int bufferLength,
                                             std::uint8_t* out, int outSize)
{
    if (tlv == nullptr || tlvLength < 0 || tlvLength + 3 > bufferLength || bufferLength > 65536)
        return -1;
    std::vector<std::uint8_t> content(static_cast<std::size_t>(tlvLength) + 3);
    content[0] = kTypeSignalling;
    std::memcpy(content.data() + 1, tlv, static_cast<std::size_t>(tlvLength));
    std::uint16_t crc = CCRC::Compute(content.data(), static_cast<std::size_t>(tlvLength) + 1);
    content[static_cast<std::size_t>(tlvLength) + 1] = static_cast<std::uint8_t>(crc >> 8);
    content[static_cast<std::size_t>(tlvLength) + 2] = static_cast<std::uint8_t>(crc & 0xFF);
    return Encode(content.data(), static_cast<int>(content.size()), out, outSize);
}

bool CTunnelFrameCodec::CheckCRC(const std::uint8_t* content, int length)
{
    if (content == nullptr || length < 3)
        return false;
    std::uint16_t crc = CCRC::Compute(content, static_cast<std::size_t>(length) - 2);
    return content[length - 2] == static_cast<std::uint8_t>(crc >> 8) &&
        content[length - 1] == static_cast<std::uint8_t>(crc & 0xFF);
}
