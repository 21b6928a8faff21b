#pragma once
// The hand-over to the operator's remote-storage client, a closed plug-in library named by the
// deployment: entry 25 gets the subscriber's number and the HTTP proxy, then entry 26 runs.
// Nothing comes back and nothing is shown; a missing plug-in is skipped.
#include <cstdint>
#include <string>

struct CSettingsHttpProxy;

// The record handed to entry 25.
struct TARN_PROXY_INFO {
    char proxyHost[64]; // NUL-terminated, cut to 63 characters
    std::int32_t proxyPort;
};

extern "C" {
using TarnStorageOpen = int (*)(const char* subscriber, TARN_PROXY_INFO* proxy);
using TarnStorageRun = int (*)();
}

class CKVRemoteStorageHandler {
public:
    static constexpr const char* kEntry25 = "tarn_ordinal_25";
    static constexpr const char* kEntry26 = "tarn_ordinal_26";

    explicit CKVRemoteStorageHandler(std::string libraryPath) : m_libraryPath(std::move(libraryPath)) { }

    static TARN_PROXY_INFO ProxyRecord(const CSettingsHttpProxy& proxy);
    // Always 1: the library's results are not the phone's business.
    int Open(const std::string& subscriber, const CSettingsHttpProxy& proxy) const;

private:
    std::string m_libraryPath;
};
