#pragma once
// Standard Base64 (RFC 4648 alphabet, "=" padding), broken into lines of 76 characters
// separated by CR LF, with no break after the last line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CBase64Coder {
public:
    static constexpr std::size_t kLineChars = 76;

    // 4 characters per started group of 3 bytes plus 2 per line break.
    static std::size_t EncodedLength(std::size_t inputLength);

    // 1 with *outSize set to the encoded length; 0 when an argument is null or *outSize is
    // smaller than EncodedLength(length). No terminator is written.
    static int Encode(const std::uint8_t* input, std::size_t length, char* output, std::size_t* outSize);
    static std::string Encode(const std::uint8_t* input, std::size_t length);
    static std::string Encode(std::string_view input);

    // Reverse of Encode; CR, LF, blanks and tabs are skipped. 1, or 0 on a character outside the
    // alphabet, misplaced padding or a cut group (out is then empty).
    static int Decode(std::string_view text, std::vector<std::uint8_t>& out);
};
