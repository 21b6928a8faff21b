#pragma once
// CRC-16 of client signalling packets: polynomial 0x1021, start 0xFFFF, not reflected, no final XOR.
#include <cstddef>
#include <cstdint>

class CCRC {
public:
    static std::uint16_t Compute(const std::uint8_t* data, std::size_t length);
    // Continues a running value, so a packet can be checked in pieces.
    static std::uint16_t Update(std::uint16_t crc, const std::uint8_t* data, std::size_t length);
    static constexpr std::uint16_t kInitial = 0xFFFF;
};
