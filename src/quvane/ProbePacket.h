#pragma once
// Layout of the 160-byte probe datagram and little-endian field access.
#include <array>
#include <cstddef>
#include <cstdint>

namespace quvane {

inline constexpr std::size_t kPacketSize = 160;
inline constexpr int kPacketCount = 60;

// Field offsets within the datagram.
inline constexpr std::size_t kOffsetSequence = 12; // uint32, 1..60
inline constexpr std::size_t kOffsetSendTime = 28; // double seconds; arrival time in a kept reply
inline constexpr std::size_t kOffsetServerTime = 54; // double seconds, filled by the server
inline constexpr std::size_t kOffsetBaseInterval = 80; // double seconds, filled by the server
inline constexpr std::size_t kOffsetServerValue = 106; // double, filled by the server
inline constexpr std::size_t kOffsetAllowedCount = 126; // int32, filled by the server

using Packet = std::array<std::uint8_t, kPacketSize>;

// A packet as sent, every filler in place and the send time still "0" characters.
Packet BuildProbePacket(std::uint32_t sequence);

// Field access; the caller guarantees offset + size <= size of the buffer.
void WriteLeUint32(std::uint8_t* at, std::uint32_t value);
std::uint32_t ReadLeUint32(const std::uint8_t* at);
void WriteLeDouble(std::uint8_t* at, double value);
double ReadLeDouble(const std::uint8_t* at);

} // namespace quvane
