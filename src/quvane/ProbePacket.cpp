#include "quvane/ProbePacket.h"

#include <bit>
#include <cstring>

namespace quvane {

namespace {
// Runs of the datagram as sent: offset, length, filler byte. The sequence
// number overwrites its run afterwards; everything else stays as listed.
struct Run {
    std::size_t offset;
    std::size_t length;
    std::uint8_t fill;
};
constexpr std::uint8_t kX = 0x58;
constexpr std::uint8_t kZero = 0x30;
constexpr std::uint8_t kDot = 0x2E;
constexpr Run kRuns[] = {
    {0, 6, kX},  {6, 30, kZero},  {36, 6, kX},  {42, 20, kZero},  {62, 6, kX},  {68, 20, kZero},
    {88, 6, kX}, {94, 20, kZero}, {114, 6, kX}, {120, 10, kZero}, {130, 6, kX}, {136, 24, kDot},
};
} // namespace

Packet BuildProbePacket(std::uint32_t sequence)
{
    Packet p{};
    for (const Run& r : kRuns)
        std::memset(p.data() + r.offset, r.fill, r.length);
    WriteLeUint32(p.data() + kOffsetSequence, sequence);
    return p;
}

void WriteLeUint32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t ReadLeUint32(const std::uint8_t* at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return v;
}

void WriteLeDouble(std::uint8_t* at, double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

double ReadLeDouble(const std::uint8_t* at)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(at[i]) << (8 * i);
    return std::bit_cast<double>(bits);
}

} // namespace quvane
