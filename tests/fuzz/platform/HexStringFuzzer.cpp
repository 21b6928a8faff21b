// The hex readers on any text: the strict one accepts exactly the even runs of hex digits
// and gives back what MakeHexString wrote; the lenient one never writes past its count.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/HexString.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool allHex = size % 2 == 0;
    for (char c : text)
        allHex = allHex && zelora::HexNibble(c) >= 0;

    std::vector<std::uint8_t> bytes;
    int strict = zelora::ParseHexStrict(text, bytes);
    if (strict < 0) {
        Check(!allHex && bytes.empty());
    } else {
        Check(allHex && static_cast<std::size_t>(strict) == size / 2 && bytes.size() == size / 2);
        std::string upper(text);
        for (char& c : upper)
            if (c >= 'a' && c <= 'f')
                c = static_cast<char>(c - 'a' + 'A');
        Check(zelora::MakeHexString(bytes) == upper);
    }

    std::vector<std::uint8_t> lenient;
    int n = zelora::ParseHexString(text, lenient);
    Check(n == static_cast<int>(size / 2) && lenient.size() == size / 2);
    if (strict >= 0)
        Check(lenient == bytes);

    // The raw writer fills exactly 2 x count characters.
    std::vector<char> out(size * 2 + 1, '\x7f');
    Check(zelora::MakeHexString(data, out.data(), static_cast<int>(size)) == static_cast<int>(size * 2));
    Check(out[size * 2] == '\x7f');
    return 0;
}
