#include "app/CEncryptDecrypt.h"

#include <cstring>

namespace {
constexpr std::uint32_t kDelta = 0x9E3779B9u;

void putLe(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t getLe(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string_view untilNul(std::string_view text)
{
    std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}
} // namespace

int CEncryptDecrypt::SetKey(std::string_view key)
{
    if (key.empty() || key.size() > 16)
        return -1;
    std::string padded(key);
    padded.resize(16, ' ');
    if (padded.size() != 16)
        return -2;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(padded.data());
    for (int i = 0; i < 4; ++i)
        m_k[i] = getLe(bytes + 4 * i);
    return 0;
}

int CEncryptDecrypt::Encrypt(std::string_view plain, std::string_view key, std::vector<std::uint8_t>& out)
{
    plain = untilNul(plain);
    if (plain.empty())
        return -1;
    if (SetKey(key) != 0)
        return -2;
    std::size_t size = EncryptedSize(plain.size());
    out.assign(size, 0);
    for (std::size_t i = 0, o = 0; i < plain.size(); i += 2, o += 8) {
        std::uint32_t y = static_cast<std::uint8_t>(plain[i]);
        std::uint32_t z = i + 1 < plain.size() ? static_cast<std::uint8_t>(plain[i + 1]) : 0u;
        std::uint32_t sum = 0;
        for (int n = 0; n < 32; ++n) {
            sum += kDelta;
            y += ((z << 4) + m_k[0]) ^ (z + sum) ^ ((z >> 5) + m_k[1]);
            z += ((y << 4) + m_k[2]) ^ (y + sum) ^ ((y >> 5) + m_k[3]);
        }
        putLe(&out[o], y);
        putLe(&out[o + 4], z);
    }
    return static_cast<int>(size);
}

int CEncryptDecrypt::Encrypt(const char* plain, const char* key, std::uint8_t* out, std::size_t outSize)
{
    if (plain == nullptr || *plain == '\0')
        return -1;
    if (key == nullptr)
        return -2;
    std::vector<std::uint8_t> bytes;
    int n = Encrypt(std::string_view(plain), std::string_view(key), bytes);
    if (n < 0)
        return n;
    if (out == nullptr || bytes.size() > outSize)
        return -3;
    std::memcpy(out, bytes.data(), bytes.size());
    return n;
}

int CEncryptDecrypt::Decrypt(const std::uint8_t* data, std::size_t length, std::string_view key, std::string& out)
{
    out.clear();
    if (length == 0 || data == nullptr)
        return -1;
    if (length % 8 != 0)
        return -3;
    if (SetKey(key) != 0)
        return -2;
    out.reserve(length / 4);
    for (std::size_t o = 0; o < length; o += 8) {
        std::uint32_t y = getLe(data + o);
        std::uint32_t z = getLe(data + o + 4);
        std::uint32_t sum = 0xC6EF3720u;
        for (int n = 0; n < 32; ++n) {
            z -= ((y << 4) + m_k[2]) ^ (y + sum) ^ ((y >> 5) + m_k[3]);
            y -= ((z << 4) + m_k[0]) ^ (z + sum) ^ ((z >> 5) + m_k[1]);
            sum -= kDelta;
        }
        char c0 = static_cast<char>(y & 0xFF);
        char c1 = static_cast<char>(z & 0xFF);
        if (c0 == '\0')
            return 0;
        out.push_back(c0);
        if (c1 == '\0')
            return 0;
        out.push_back(c1);
    }
    return 0;
}
