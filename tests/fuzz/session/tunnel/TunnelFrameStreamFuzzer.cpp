// Arbitrary bytes fed in pieces through the ring buffer: every frame taken must equal what a
// one-shot decode of the same bytes finds, and the extractor must never stall.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "session/tunnel/CTunnelFrameCodec.h"
#include "session/tunnel/CTunnelRingBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the piece size.
    std::size_t piece = 1 + data[0] % 251;
    ++data;
    --size;
    CTunnelRingBuffer ring(3000);
    std::vector<std::uint8_t> frame(3000);
    std::vector<std::vector<std::uint8_t>> taken;
    bool discarded = false;
    std::size_t pos = 0;
    while (pos < size) {
        std::size_t n = ring.Append(data + pos, size - pos < piece ? size - pos : piece);
        pos += n;
        for (;;) {
            int length = 0;
            auto r = CTunnelFrameCodec::TakeFrame(ring, frame.data(), length);
            if (r == CTunnelFrameCodec::kNeedMore)
                break;
            if (r == CTunnelFrameCodec::kDiscarded) {
                discarded = true;
                continue;
            }
            if (length <= 0 || length > 2997)
                __builtin_trap();
            taken.emplace_back(frame.begin(), frame.begin() + length);
        }
        if (n == 0 && ring.Full())
            __builtin_trap(); // stalled: full ring and nothing taken or discarded
    }
    if (!discarded) {
        auto whole = CTunnelFrameCodec::DecodeStream(data, size);
        if (whole != taken)
            __builtin_trap();
    }
    return 0;
}
