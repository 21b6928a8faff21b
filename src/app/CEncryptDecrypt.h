#pragma once
// The program's one symmetric cipher: TEA in ECB fashion, one character per 32-bit half-block.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CEncryptDecrypt {
public:
    static constexpr const char* kWebDataKey = "tidewater@kp";
    static constexpr const char* kSettingsFileKey = "Hb3Nf6Yc1Tz5Qe0J";
    static constexpr const char* kTunnelKey = "q7Lm2Xv9Rt4Kp8Wd";

    virtual ~CEncryptDecrypt() = default;

    // 0, -1 empty or longer than 16, -2 padded key not 16 characters.
    int SetKey(std::string_view key);

    // Bytes written (4 x the text length made even), -1 empty text, -2 bad key, -3 no room.
    // The text ends at its first NUL, as a C string would.
    int Encrypt(std::string_view plain, std::string_view key, std::vector<std::uint8_t>& out);
    int Encrypt(const char* plain, const char* key, std::uint8_t* out, std::size_t outSize);

    // 0, -1 length 0, -2 bad key, -3 length not a multiple of 8.
    // The text stops at the first NUL character (the padding one included).
    int Decrypt(const std::uint8_t* data, std::size_t length, std::string_view key, std::string& out);

    static std::size_t EncryptedSize(std::size_t textLength) { return 4 * (textLength + (textLength & 1)); }

private:
    std::uint32_t m_k[4] = {0, 0, 0, 0};
};
