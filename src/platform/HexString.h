#pragma once
// Bytes to upper-case hexadecimal text and back; the one hex routine every part uses.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelora {

// Two upper-case digits per byte, high nibble first; returns 2 x count, 0 when count < 1.
// Writes no terminator; `out` must hold 2 x count characters.
int MakeHexString(const std::uint8_t* bytes, char* out, int count);
std::string MakeHexString(const std::uint8_t* bytes, std::size_t count);
inline std::string MakeHexString(const std::vector<std::uint8_t>& bytes)
{
    return MakeHexString(bytes.data(), bytes.size());
}

// Lenient reading, two characters at a time: "A"-"F"/"a"-"f" are 10-15, anything else counts
// as its code minus '0'. A trailing odd character is ignored. Returns the bytes written.
int ParseHexString(std::string_view text, std::vector<std::uint8_t>& out);

// One hex digit's value, or -1 for anything else.
int HexNibble(char c);
// Two upper-case digits for one byte, appended.
void AppendHexByte(std::string& out, std::uint8_t byte);

// Strict reading for input from the network or from files: even length, hex digits only.
// Returns the byte count, or -1 (out is then empty).
int ParseHexStrict(std::string_view text, std::vector<std::uint8_t>& out);

} // namespace zelora
