#pragma once
// Internal: the state behind one handle. Guarded by InetRegistryMutex() unless noted.
#include "platform/inet/InetProxy.h"
#include "platform/inet/WinInet.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelora::inet {

class CInetEngine;

struct InetHandle {
    enum class Kind { Session, Connect, Request };

    Kind kind = Kind::Session;
    HINTERNET id = nullptr;
    DWORD_PTR context = 0;
    HINTERNET sessionId = nullptr;
    bool closed = false;

    // Session.
    std::string userAgent;
    InetProxyConfig proxy;
    bool direct = false;
    INTERNET_STATUS_CALLBACK callback = nullptr;
    long connectTimeoutMs = 30000;
    long receiveTimeoutMs = 30000;
    std::shared_ptr<CInetEngine> engine;

    // Connection (requests copy these).
    std::string host;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;

    // Request.
    std::string verb;
    std::string path;
    DWORD flags = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool sent = false;
    bool done = false;
    DWORD error = ERROR_SUCCESS;
    int statusCode = 0;
    std::string contentLength;
    std::string data;
    std::size_t readPos = 0;
};

std::recursive_mutex& InetRegistryMutex();
// Header names and schemes compare without regard to ASCII case.
bool EqualNoCase(std::string_view a, std::string_view b);
// The session's callback (caller holds the registry mutex); null for an unknown session.
INTERNET_STATUS_CALLBACK SessionCallback(HINTERNET session);

} // namespace zelora::inet
