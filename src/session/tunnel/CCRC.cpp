#include "session/tunnel/CCRC.h"

#include <array>

namespace {
constexpr std::array<std::uint16_t, 256> MakeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t v = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            v = static_cast<std::uint16_t>((v & 0x8000) ? (v << 1) ^ 0x1021 : (v << 1));
        table[i] = v;
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kTable = MakeTable();
} // namespace

std::uint16_t CCRC::Update(std::uint16_t crc, const std::uint8_t* data, std::size_t length)
{
    if (data == nullptr)
        return crc;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

std::uint16_t CCRC::Compute(const std::uint8_t* data, std::size_t length) { return Update(kInitial, data, length); }
