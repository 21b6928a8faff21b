#include "platform/HexString.h"

namespace zelora {
namespace {
constexpr char kDigits[] = "0123456789ABCDEF";

int lenientNibble(char c)
{
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - '0';
}

} // namespace

int HexNibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void AppendHexByte(std::string& out, std::uint8_t byte)
{
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

int MakeHexString(const std::uint8_t* bytes, char* out, int count)
{
    if (count < 1 || bytes == nullptr || out == nullptr)
        return 0;
    for (int i = 0; i < count; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return 2 * count;
}

std::string MakeHexString(const std::uint8_t* bytes, std::size_t count)
{
    std::string text(2 * count, '\0');
    if (count > 0)
        MakeHexString(bytes, text.data(), static_cast<int>(count));
    return text;
}

int ParseHexString(std::string_view text, std::vector<std::uint8_t>& out)
{
    out.clear();
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>((lenientNibble(text[i]) << 4) + lenientNibble(text[i + 1])));
    return static_cast<int>(out.size());
}

int ParseHexStrict(std::string_view text, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (text.size() % 2 != 0)
        return -1;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = HexNibble(text[i]);
        int lo = HexNibble(text[i + 1]);
        if (hi < 0 || lo < 0) {
            out.clear();
            return -1;
        }
        out.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
    }
    return static_cast<int>(out.size());
}

} // namespace zelora
