#include "web/WebApi.h"

#include "app/CEncryptDecrypt.h"
#include "app/CLogger.h"
#include "platform/HexString.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace zelora::web {

std::string RequestTimeStamp(std::chrono::system_clock::time_point now)
{
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<microseconds>(now.time_since_epoch());
    const std::time_t whole = static_cast<std::time_t>(duration_cast<seconds>(sinceEpoch).count());
    std::tm local{};
    localtime_r(&whole, &local);
    const double seconds = static_cast<double>(sinceEpoch.count()) / 1e6 + static_cast<double>(local.tm_gmtoff);
    char text[32];
    std::snprintf(text, sizeof(text), "%.0f", std::round(seconds) * 1000.0);
    return text;
}

std::string RequestTimeStamp() { return RequestTimeStamp(std::chrono::system_clock::now()); }

std::string MakeRequestData(const std::string& action, const std::string& userId, const std::string& timeStamp,
                            const std::string& lastCheckTs)
{
    std::string text = "action=" + action;
    text += "&transId=";
    text += kMainTransId;
    text += "&apiUserName=global&userId=" + userId;
    if (action == "_qrylist") {
        text += "&lastcheckts=" + lastCheckTs;
    }
    text += "&timeStamp=" + timeStamp;
    return text;
}

int MakeRequestBody(const std::string& plain, std::string& body)
{
    ZLOG_SCOPE();
    body.clear();
    if (plain.empty() || plain.size() > kMaxRequestText) {
        ZLOG(LOG_ERROR, "Unable to encrypt data");
        return -1;
    }
    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> enciphered;
    if (cipher.Encrypt(plain, CEncryptDecrypt::kWebDataKey, enciphered) <= 0) {
        ZLOG(LOG_ERROR, "Unable to encrypt data");
        return -1;
    }
    body = "msg=" + zelora::MakeHexString(enciphered);
    return 1;
}

int DecodeRequestBody(const std::string& body, std::string& plain)
{
    plain.clear();
    std::string_view hex(body);
    if (hex.substr(0, 4) == "msg=") {
        hex.remove_prefix(4);
    }
    std::vector<std::uint8_t> bytes;
    if (hex.empty() || zelora::ParseHexStrict(hex, bytes) < 0) {
        return -1;
    }
    CEncryptDecrypt cipher;
    if (cipher.Decrypt(bytes.data(), bytes.size(), CEncryptDecrypt::kWebDataKey, plain) != 0) {
        plain.clear();
        return -2;
    }
    return 1;
}

bool IsNewerVersion(const std::string& received, const std::string& own) { return received.compare(own) > 0; }

} // namespace zelora::web
