#include "platform/inet/WinInet.h"

#include "platform/inet/CInetEngine.h"
#include "platform/inet/InetHandle.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace zelora::inet {

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct Registry {
    std::map<HINTERNET, std::shared_ptr<InetHandle>> handles;
    std::uintptr_t nextId = 0x1000;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

// Caller holds the registry mutex.
std::shared_ptr<InetHandle> Find(HINTERNET id, InetHandle::Kind kind)
{
    auto& r = TheRegistry();
    auto it = r.handles.find(id);
    if (it == r.handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (it->second->kind != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return it->second;
}

HINTERNET AddHandle(const std::shared_ptr<InetHandle>& handle)
{
    auto& r = TheRegistry();
    r.nextId += 0x10;
    handle->id = reinterpret_cast<HINTERNET>(r.nextId);
    r.handles.emplace(handle->id, handle);
    return handle->id;
}

std::shared_ptr<CInetEngine> EngineOf(const InetHandle& handle)
{
    auto& r = TheRegistry();
    auto it = r.handles.find(handle.sessionId);
    return it == r.handles.end() ? nullptr : it->second->engine;
}

bool ValidHost(const char* host)
{
    if (host == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(host);
    if (length == 0 || length > 255) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(host[i]);
        if (c <= ' ' || c >= 0x7F || c == '/' || c == '?' || c == '#' || c == '@' || c == '\\') {
            return false;
        }
    }
    return true;
}

bool ValidToken(std::string_view name)
{
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u >= 0x7F || c == ':' || c == '(' || c == ')' || c == ',' || c == ';' || c == '"') {
            return false;
        }
    }
    return true;
}

std::string_view TrimBlank(std::string_view v)
{
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) {
        v.remove_prefix(1);
    }
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) {
        v.remove_suffix(1);
    }
    return v;
}

// Applies the header lines to the request; all or nothing.
bool ApplyHeaders(InetHandle& request, std::string_view text, DWORD modifiers)
{
    auto headers = request.headers;
    bool any = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            return false;
        }
        std::string_view name = line.substr(0, colon);
        std::string_view value = TrimBlank(line.substr(colon + 1));
        if (!ValidToken(name)) {
            SetLastError(ERROR_HTTP_INVALID_HEADER);
            return false;
        }
        for (char c : value) {
            if (c == '\r' || c == '\n' || c == '\0') {
                SetLastError(ERROR_HTTP_INVALID_HEADER);
                return false;
            }
        }
        auto existing = headers.end();
        for (auto it = headers.begin(); it != headers.end(); ++it) {
            if (EqualNoCase(it->first, name)) {
                existing = it;
                break;
            }
        }
        if ((modifiers & HTTP_ADDREQ_FLAG_REPLACE) != 0) {
            if (existing != headers.end()) {
                if (value.empty()) {
                    headers.erase(existing);
                } else {
                    existing->second = std::string(value);
                }
            } else if (!value.empty()) {
                headers.emplace_back(std::string(name), std::string(value));
            }
        } else if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0 && existing != headers.end()) {
            SetLastError(ERROR_HTTP_HEADER_ALREADY_EXISTS);
            return false;
        } else {
            headers.emplace_back(std::string(name), std::string(value));
        }
        any = true;
    }
    if (!any) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    request.headers = std::move(headers);
    return true;
}

std::shared_ptr<InetHandle> ReadableRequest(HINTERNET id)
{
    auto request = Find(id, InetHandle::Kind::Request);
    if (request == nullptr) {
        return nullptr;
    }
    if (!request->sent || !request->done) {
        SetLastError(request->sent ? ERROR_IO_PENDING : ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return nullptr;
    }
    if (request->error != ERROR_SUCCESS) {
        SetLastError(request->error);
        return nullptr;
    }
    return request;
}

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x + 32);
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y + 32);
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::recursive_mutex& InetRegistryMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

INTERNET_STATUS_CALLBACK SessionCallback(HINTERNET session)
{
    auto& r = TheRegistry();
    auto it = r.handles.find(session);
    return it == r.handles.end() ? nullptr : it->second->callback;
}

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD error) { t_lastError = error; }

HINTERNET InternetOpen(const char* userAgent, DWORD accessType, const char* proxy, const char* proxyBypass, DWORD flags)
{
    if ((flags & INTERNET_FLAG_ASYNC) == 0) {
        // Only the asynchronous mode is served.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto session = std::make_shared<InetHandle>();
    session->kind = InetHandle::Kind::Session;
    session->userAgent = userAgent != nullptr ? userAgent : "";
    switch (accessType) {
    case INTERNET_OPEN_TYPE_PRECONFIG:
        session->proxy = PreconfigProxy();
        break;
    case INTERNET_OPEN_TYPE_DIRECT:
        session->direct = true;
        break;
    case INTERNET_OPEN_TYPE_PROXY:
        session->proxy = ParseProxyList(proxy != nullptr ? proxy : "", proxyBypass != nullptr ? proxyBypass : "");
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    HINTERNET id = AddHandle(session);
    session->sessionId = id;
    session->engine = std::make_shared<CInetEngine>(id);
    if (!session->engine->Start()) {
        TheRegistry().handles.erase(id);
        SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return id;
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET sessionId, INTERNET_STATUS_CALLBACK callback)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto session = Find(sessionId, InetHandle::Kind::Session);
    if (session == nullptr) {
        return nullptr;
    }
    INTERNET_STATUS_CALLBACK previous = session->callback;
    session->callback = callback;
    return previous;
}

BOOL InternetSetOption(HINTERNET sessionId, DWORD option, const void* buffer, DWORD length)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto session = Find(sessionId, InetHandle::Kind::Session);
    if (session == nullptr) {
        return 0;
    }
    if (buffer == nullptr || length < sizeof(DWORD)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    DWORD value = 0;
    std::memcpy(&value, buffer, sizeof(value));
    switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
        session->connectTimeoutMs = static_cast<long>(value);
        return 1;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
        session->receiveTimeoutMs = static_cast<long>(value);
        return 1;
    default:
        SetLastError(ERROR_INTERNET_INVALID_OPERATION);
        return 0;
    }
}

HINTERNET InternetConnect(HINTERNET sessionId, const char* host, INTERNET_PORT port, const char*, const char*,
                          DWORD service, DWORD, DWORD_PTR context)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto session = Find(sessionId, InetHandle::Kind::Session);
    if (session == nullptr) {
        return nullptr;
    }
    if (service != INTERNET_SERVICE_HTTP) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return nullptr;
    }
    if (!ValidHost(host)) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return nullptr;
    }
    if (context == 0) {
        SetLastError(12024);
        return nullptr;
    }
    auto connect = std::make_shared<InetHandle>(*session);
    connect->kind = InetHandle::Kind::Connect;
    connect->engine.reset();
    connect->callback = nullptr;
    connect->context = context;
    connect->sessionId = sessionId;
    connect->host = host;
    connect->port = port == 0 ? INTERNET_DEFAULT_HTTP_PORT : port;
    HINTERNET id = AddHandle(connect);
    auto engine = session->engine;
    if (!engine->Post([e = engine.get(), connect] { e->ReportCreated(connect); })) {
        TheRegistry().handles.erase(id);
        SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return id;
}

HINTERNET HttpOpenRequest(HINTERNET connectId, const char* verb, const char* objectName, const char*, const char*,
                          const char** acceptTypes, DWORD flags, DWORD_PTR context)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto connect = Find(connectId, InetHandle::Kind::Connect);
    if (connect == nullptr) {
        return nullptr;
    }
    std::string method = verb != nullptr && *verb != '\0' ? verb : "GET";
    if (!ValidToken(method) || method.size() > 32) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path = objectName != nullptr ? objectName : "";
    if (path.size() > 2048) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return nullptr;
    }
    for (char c : path) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u >= 0x7F || c == '#') {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return nullptr;
        }
    }
    if (path.empty() || path.front() != '/') {
        path.insert(path.begin(), '/');
    }
    if (context == 0) {
        SetLastError(12024);
        return nullptr;
    }
    auto request = std::make_shared<InetHandle>(*connect);
    request->kind = InetHandle::Kind::Request;
    request->context = context;
    request->verb = method;
    request->path = path;
    request->flags = flags;
    std::string accept;
    for (const char** type = acceptTypes; type != nullptr && *type != nullptr; ++type) {
        if (!accept.empty()) {
            accept += ", ";
        }
        accept += *type;
    }
    if (!accept.empty() && !ApplyHeaders(*request, "Accept: " + accept, HTTP_ADDREQ_FLAG_ADD)) {
        return nullptr;
    }
    auto engine = EngineOf(*connect);
    if (engine == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HINTERNET id = AddHandle(request);
    if (!engine->Post([e = engine.get(), request] { e->ReportCreated(request); })) {
        TheRegistry().handles.erase(id);
        SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return id;
}

BOOL HttpAddRequestHeaders(HINTERNET requestId, const char* headers, DWORD length, DWORD modifiers)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto request = Find(requestId, InetHandle::Kind::Request);
    if (request == nullptr) {
        return 0;
    }
    if (headers == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (request->sent) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return 0;
    }
    std::string_view text =
        length == static_cast<DWORD>(-1) ? std::string_view(headers) : std::string_view(headers, length);
    if (auto nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    return ApplyHeaders(*request, text, modifiers) ? 1 : 0;
}

BOOL HttpSendRequest(HINTERNET requestId, const char* headers, DWORD headersLength, const void* body, DWORD bodyLength)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto request = Find(requestId, InetHandle::Kind::Request);
    if (request == nullptr) {
        return 0;
    }
    if (request->sent) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return 0;
    }
    if (headers != nullptr && headersLength != 0) {
        std::string_view text = headersLength == static_cast<DWORD>(-1) ? std::string_view(headers)
                                                                        : std::string_view(headers, headersLength);
        if (!ApplyHeaders(*request, text, HTTP_ADDREQ_FLAG_ADD)) {
            return 0;
        }
    }
    if (body == nullptr && bodyLength != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto engine = EngineOf(*request);
    if (engine == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    request->body.assign(static_cast<const char*>(body), static_cast<const char*>(body) + bodyLength);
    request->sent = true;
    if (!engine->Post([e = engine.get(), request] { e->StartTransfer(request); })) {
        request->sent = false;
        SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
        return 0;
    }
    SetLastError(ERROR_IO_PENDING);
    return 0;
}

BOOL InternetQueryDataAvailable(HINTERNET requestId, DWORD* available, DWORD, DWORD_PTR)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto request = ReadableRequest(requestId);
    if (request == nullptr) {
        return 0;
    }
    if (available != nullptr) {
        *available = static_cast<DWORD>(request->data.size() - request->readPos);
    }
    return 1;
}

BOOL InternetReadFile(HINTERNET requestId, void* buffer, DWORD toRead, DWORD* read)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    if (read != nullptr) {
        *read = 0;
    }
    auto request = ReadableRequest(requestId);
    if (request == nullptr) {
        return 0;
    }
    if (buffer == nullptr && toRead != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t n = std::min<std::size_t>(toRead, request->data.size() - request->readPos);
    if (n > 0) {
        std::memcpy(buffer, request->data.data() + request->readPos, n);
        request->readPos += n;
    }
    if (read != nullptr) {
        *read = static_cast<DWORD>(n);
    }
    return 1;
}

BOOL HttpQueryInfo(HINTERNET requestId, DWORD infoLevel, void* buffer, DWORD* length, DWORD*)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    auto request = Find(requestId, InetHandle::Kind::Request);
    if (request == nullptr) {
        return 0;
    }
    if (length == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string value;
    if (infoLevel == HTTP_QUERY_STATUS_CODE) {
        if (request->statusCode == 0) {
            SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
            return 0;
        }
        value = std::to_string(request->statusCode);
    } else if (infoLevel == HTTP_QUERY_CONTENT_LENGTH) {
        if (request->contentLength.empty()) {
            SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
            return 0;
        }
        value = request->contentLength;
    } else {
        SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
        return 0;
    }
    if (buffer == nullptr || *length < value.size() + 1) {
        *length = static_cast<DWORD>(value.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    *length = static_cast<DWORD>(value.size());
    return 1;
}

BOOL InternetCloseHandle(HINTERNET id)
{
    std::shared_ptr<InetHandle> handle;
    std::shared_ptr<CInetEngine> engine;
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        auto& r = TheRegistry();
        auto it = r.handles.find(id);
        if (it == r.handles.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        handle = it->second;
        r.handles.erase(it);
        handle->closed = true;
        if (handle->kind == InetHandle::Kind::Session) {
            engine = handle->engine;
            // Children die with their session; their transfers end with the thread.
            for (auto child = r.handles.begin(); child != r.handles.end();) {
                if (child->second->sessionId == id) {
                    child->second->closed = true;
                    child = r.handles.erase(child);
                } else {
                    ++child;
                }
            }
            handle->callback = nullptr;
        } else {
            engine = EngineOf(*handle);
        }
    }
    if (handle->kind == InetHandle::Kind::Session) {
        if (engine != nullptr) {
            engine->Stop();
        }
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        handle->engine.reset();
        return 1;
    }
    if (engine != nullptr) {
        engine->Post([e = engine.get(), handle] { e->CloseOnThread(handle); });
    }
    return 1;
}

} // namespace zelora::inet
