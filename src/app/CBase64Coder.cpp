#include "app/CBase64Coder.h"

#include "app/CLogger.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kGroupsPerLine = CBase64Coder::kLineChars / 4;

int decodeChar(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

std::size_t CBase64Coder::EncodedLength(std::size_t inputLength)
{
    std::size_t groups = (inputLength + 2) / 3;
    std::size_t breaks = groups == 0 ? 0 : (groups - 1) / kGroupsPerLine;
    return 4 * groups + 2 * breaks;
}

int CBase64Coder::Encode(const std::uint8_t* input, std::size_t length, char* output, std::size_t* outSize)
{
    ZLOG_SCOPE();
    if (input == nullptr || output == nullptr || outSize == nullptr)
        return 0;
    std::size_t need = EncodedLength(length);
    if (*outSize < need)
        return 0;
    char* o = output;
    for (std::size_t i = 0, group = 0; i < length; i += 3, ++group) {
        if (group != 0 && group % kGroupsPerLine == 0) {
            *o++ = '\r';
            *o++ = '\n';
        }
        std::uint32_t v = static_cast<std::uint32_t>(input[i]) << 16;
        std::size_t left = length - i;
        if (left > 1)
            v |= static_cast<std::uint32_t>(input[i + 1]) << 8;
        if (left > 2)
            v |= input[i + 2];
        *o++ = kAlphabet[(v >> 18) & 0x3F];
        *o++ = kAlphabet[(v >> 12) & 0x3F];
        *o++ = left > 1 ? kAlphabet[(v >> 6) & 0x3F] : '=';
        *o++ = left > 2 ? kAlphabet[v & 0x3F] : '=';
    }
    *outSize = need;
    return 1;
}

std::string CBase64Coder::Encode(const std::uint8_t* input, std::size_t length)
{
    std::string out(EncodedLength(length), '\0');
    std::size_t size = out.size();
    static const std::uint8_t empty = 0;
    if (Encode(input != nullptr ? input : &empty, length, out.data(), &size) != 1)
        return {};
    out.resize(size);
    return out;
}

std::string CBase64Coder::Encode(std::string_view input)
{
    return Encode(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

int CBase64Coder::Decode(std::string_view text, std::vector<std::uint8_t>& out)
{
    ZLOG_SCOPE();
    out.clear();
    out.reserve(text.size() / 4 * 3);
    std::uint32_t acc = 0;
    int count = 0; // characters of the current group
    int padding = 0; // '=' seen in the current group
    bool ended = false;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        if (ended) {
            out.clear();
            return 0;
        }
        int v;
        if (c == '=') {
            // Padding only in the last two places of a group.
            if (count < 2) {
                out.clear();
                return 0;
            }
            ++padding;
            v = 0;
        } else {
            v = decodeChar(c);
            if (v < 0 || padding > 0) {
                out.clear();
                return 0;
            }
        }
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(acc >> 16));
            if (padding < 2)
                out.push_back(static_cast<std::uint8_t>(acc >> 8));
            if (padding < 1)
                out.push_back(static_cast<std::uint8_t>(acc));
            ended = padding > 0;
            acc = 0;
            count = 0;
            padding = 0;
        }
    }
    if (count != 0) {
        out.clear();
        return 0;
    }
    return 1;
}
