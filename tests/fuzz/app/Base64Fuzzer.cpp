// Base64 on any text: what decodes encodes back to the same characters once blanks and
// line breaks are set aside, and any bytes encode to text that decodes to them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "app/CBase64Coder.h"

using fuzzsupport::Check;

namespace {

std::string WithoutBlanks(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n' && c != ' ' && c != '\t')
            out.push_back(c);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> decoded;
    if (CBase64Coder::Decode(text, decoded) == 1) {
        std::string again = CBase64Coder::Encode(decoded.data(), decoded.size());
        // Unused low bits of the last character may be set in the input; the canonical
        // text then differs there, so compare what both texts decode to instead.
        std::vector<std::uint8_t> twice;
        Check(CBase64Coder::Decode(again, twice) == 1 && twice == decoded);
        Check(WithoutBlanks(again).size() == WithoutBlanks(text).size());
    } else {
        Check(decoded.empty());
    }

    const std::string encoded = CBase64Coder::Encode(data, size);
    Check(encoded.size() == CBase64Coder::EncodedLength(size));
    for (std::size_t at = CBase64Coder::kLineChars; at < encoded.size(); at += CBase64Coder::kLineChars + 2)
        Check(encoded.compare(at, 2, "\r\n") == 0);
    std::vector<std::uint8_t> back;
    Check(CBase64Coder::Decode(encoded, back) == 1);
    Check(back == std::vector<std::uint8_t>(data, data + size));

    // The buffer form refuses a buffer one short and never writes past the one it has.
    std::vector<char> out(encoded.size() + 1, '\x7f');
    std::size_t room = encoded.size() == 0 ? 0 : encoded.size() - 1;
    if (encoded.size() > 0)
        Check(CBase64Coder::Encode(data, size, out.data(), &room) == 0);
    room = encoded.size();
    Check(CBase64Coder::Encode(data, size, out.data(), &room) == 1 && room == encoded.size());
    Check(out[encoded.size()] == '\x7f');
    return 0;
}
