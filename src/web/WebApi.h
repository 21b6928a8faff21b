#pragma once
// The operator web service's request format: plain form text, enciphered, sent as "msg=" + hex.
#include <chrono>
#include <cstddef>
#include <string>

namespace zelora::web {

inline constexpr const char* kServicePath = "/api/Transit/global/ZeloraMxVoipService";
inline constexpr unsigned kServicePort = 80;
inline constexpr const char* kServiceVerb = "POST";
inline constexpr const char* kAdsPath = "/zeloraads/www/property.php?campaignid=2";
inline constexpr const char* kAutoLoginPath = "/sp/Transit/zelora/AutoLogin";
inline constexpr const char* kOwnVersion = "zeloraTALK Version 3.1.2";
inline constexpr const char* kAcceptHeader = "Accept: */*\r\n";
inline constexpr const char* kContentTypeHeader = "Content-Type: application/x-www-form-urlencoded\r\n";
inline constexpr unsigned kFormsSubmitFlag = 0x40;
inline constexpr const char* kMainTransId = "12345";
inline constexpr const char* kAddressBookTransId = "12344";

// The body buffer holds 10,240 bytes: "msg=" plus 8 hex digits per character of text.
inline constexpr std::size_t kBodyBufferSize = 10240;
inline constexpr std::size_t kMaxRequestText = 1278;

// Whole seconds since 1970-01-01 in local wall-clock time, rounded, times 1000 ("%.0f").
std::string RequestTimeStamp();
std::string RequestTimeStamp(std::chrono::system_clock::time_point now);

// "action=A&transId=12345&apiUserName=global&userId=U[&lastcheckts=T]&timeStamp=S";
// the last-check part only for "_qrylist". Values go in as they are, unescaped.
std::string MakeRequestData(const std::string& action, const std::string& userId, const std::string& timeStamp,
                            const std::string& lastCheckTs = {});

// "msg=" + upper-case hex of the text enciphered with the web-data key.
// 1, or -1 when the text is empty, longer than kMaxRequestText or cannot be enciphered.
int MakeRequestBody(const std::string& plain, std::string& body);

// The reverse, for the service side and diagnostics: accepts "msg=HEX" or "HEX" (strict hex).
// 1, -1 bad hex, -2 text that does not decipher.
int DecodeRequestBody(const std::string& body, std::string& plain);

// Plain, case-sensitive, character by character: true when `received` sorts after `own`.
bool IsNewerVersion(const std::string& received, const std::string& own = kOwnVersion);

inline constexpr const char* kNewVersionQuestion =
    "A new version of zeloraTALK is available for download.\n\rYou can install new version once download is "
    "complete.\n\r\n\rDownload Now?";

} // namespace zelora::web
