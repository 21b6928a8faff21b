#include "phone/CKVRemoteStorageHandler.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "app/CLogger.h"
#include "app/CSettings.h"
#include "platform/SharedLibrary.h"

TARN_PROXY_INFO CKVRemoteStorageHandler::ProxyRecord(const CSettingsHttpProxy& proxy)
{
    TARN_PROXY_INFO info{};
    const std::size_t length = std::min(proxy.httpProxyIp.size(), sizeof info.proxyHost - 1);
    std::memcpy(info.proxyHost, proxy.httpProxyIp.data(), length);
    info.proxyHost[length] = '\0';
    info.proxyPort = proxy.httpProxyPort;
    return info;
}

int CKVRemoteStorageHandler::Open(const std::string& subscriber, const CSettingsHttpProxy& proxy) const
{
    ZLOG_SCOPE();
    if (m_libraryPath.empty())
        return 1;
    // Loaded once and kept: what entry 26 starts may still run in the library after it returns.
    static std::mutex lock;
    static zelora::SharedLibrary library;
    std::lock_guard<std::mutex> guard(lock);
    if (!library.IsOpen() && !library.Open(m_libraryPath)) {
        ZLOG(LOG_DEBUG, "Remote storage not available: %s", library.Error().c_str());
        return 1;
    }
    auto open = reinterpret_cast<TarnStorageOpen>(library.Symbol(kEntry25));
    auto run = reinterpret_cast<TarnStorageRun>(library.Symbol(kEntry26));
    if (open == nullptr || run == nullptr) {
        ZLOG(LOG_DEBUG, "Remote storage library %s lacks its entry points", m_libraryPath.c_str());
        return 1;
    }
    TARN_PROXY_INFO info = ProxyRecord(proxy);
    open(subscriber.c_str(), &info);
    run();
    return 1;
}
