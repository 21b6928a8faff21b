#include "platform/inet/CInetEngine.h"

#include "platform/PlatformLog.h"
#include "platform/inet/CurlLibrary.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zelora::inet {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i];
        char b = prefix[i];
        if (a >= 'A' && a <= 'Z') {
            a = static_cast<char>(a - 'A' + 'a');
        }
        if (b >= 'A' && b <= 'Z') {
            b = static_cast<char>(b - 'A' + 'a');
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view v)
{
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) {
        v.remove_prefix(1);
    }
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r' || v.back() == '\n')) {
        v.remove_suffix(1);
    }
    return v;
}

std::string HostForUrl(const std::string& host)
{
    if (host.find(':') != std::string::npos && host.front() != '[') {
        return "[" + host + "]";
    }
    return host;
}

bool Bypassed(const std::string& host, const std::string& bypass)
{
    std::size_t start = 0;
    while (start <= bypass.size()) {
        std::size_t comma = bypass.find(',', start);
        std::string entry = bypass.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!entry.empty() && entry.front() == '.') {
            entry.erase(0, 1);
        }
        if (entry == "*" || entry == host ||
            (!entry.empty() && host.size() > entry.size() &&
             host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
             host[host.size() - entry.size() - 1] == '.')) {
            return true;
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return false;
}

std::string ProxyFor(const InetHandle& h)
{
    if (h.direct || h.proxy.httpProxy.empty() || Bypassed(h.host, h.proxy.bypass)) {
        return {};
    }
    return h.proxy.httpProxy;
}

curl_socket_t OpenSocket(void* clientp, curlsocktype, curl_sockaddr* address)
{
    auto* h = static_cast<InetHandle*>(clientp);
    if (h->kind == InetHandle::Kind::Request && h->owner != nullptr) {
        if (!h->notifiedResolve) {
            h->owner->Emit(*h, INTERNET_STATUS_RESOLVING_NAME);
            h->owner->Emit(*h, INTERNET_STATUS_NAME_RESOLVED);
            h->notifiedResolve = true;
        }
        h->owner->Emit(*h, INTERNET_STATUS_CONNECTING_TO_SERVER);
        h->notifiedConnecting = true;
    }
    return ::socket(address->family, address->socktype, address->protocol);
}

int BeforeRequest(void* clientp, char*, char*, int, int)
{
    auto* h = static_cast<InetHandle*>(clientp);
    if (h->owner != nullptr) {
        if (!h->notifiedConnecting) {
            h->owner->Emit(*h, INTERNET_STATUS_CONNECTING_TO_SERVER);
            h->notifiedConnecting = true;
        }
        h->owner->Emit(*h, INTERNET_STATUS_CONNECTED_TO_SERVER);
        h->owner->Emit(*h, INTERNET_STATUS_SENDING_REQUEST);
    }
    return CURL_PREREQFUNC_OK;
}

std::size_t OnHeader(char* buffer, std::size_t size, std::size_t count, void* userdata)
{
    auto* h = static_cast<InetHandle*>(userdata);
    const std::size_t n = size * count;
    std::string_view line(buffer, n);
    if (StartsWithNoCase(line, "HTTP/")) {
        int code = 0;
        auto space = line.find(' ');
        if (space != std::string_view::npos) {
            for (std::size_t i = space + 1; i < line.size() && line[i] >= '0' && line[i] <= '9' && code < 1000; ++i) {
                code = code * 10 + (line[i] - '0');
            }
        }
        if (!h->notifiedSent) {
            h->owner->Emit(*h, INTERNET_STATUS_REQUEST_SENT);
            h->owner->Emit(*h, INTERNET_STATUS_RECEIVING_RESPONSE);
            h->notifiedSent = true;
        }
        if (code >= 100 && code < 200) {
            h->owner->Emit(*h, INTERNET_STATUS_INTERMEDIATE_RESPONSE);
            return n;
        }
        if (h->finalResponses > 0) {
            h->owner->Emit(*h, INTERNET_STATUS_REDIRECT);
        }
        ++h->finalResponses;
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        h->statusCode = code;
        h->contentLength.clear();
        h->data.clear();
        return n;
    }
    if (Trim(line).empty()) {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        if (h->statusCode >= 200) {
            h->owner->Emit(*h, INTERNET_STATUS_RESPONSE_RECEIVED);
        }
        return n;
    }
    if (StartsWithNoCase(line, "Content-Length:")) {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        h->contentLength = std::string(Trim(line.substr(15)));
    }
    return n;
}

std::size_t OnBody(char* buffer, std::size_t size, std::size_t count, void* userdata)
{
    auto* h = static_cast<InetHandle*>(userdata);
    const std::size_t n = size * count;
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    if (h->data.size() + n > kMaxReplyBytes) {
        h->tooLarge = true;
        return 0;
    }
    h->data.append(buffer, n);
    return n;
}

} // namespace

DWORD MapCurlError(CURLcode code, const char* errorText, bool tooLarge)
{
    const bool reset = errorText != nullptr && std::strstr(errorText, "reset") != nullptr;
    switch (code) {
    case CURLE_OK:
        return ERROR_SUCCESS;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return reset ? ERROR_INTERNET_CONNECTION_RESET : ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_TOO_MANY_REDIRECTS:
        return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PROXY:
        return ERROR_INTERNET_INVALID_PROXY_REQUEST;
    case CURLE_WRITE_ERROR:
    case CURLE_OUT_OF_MEMORY:
        return ERROR_INTERNET_INTERNAL_ERROR;
    default:
        (void)tooLarge;
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

CInetEngine::CInetEngine(HINTERNET sessionId) : m_sessionId(sessionId) { }

CInetEngine::~CInetEngine() { Stop(); }

bool CInetEngine::Start()
{
    // libcurl is loaded by the thread at its first work, not here: a session that is opened at
    // start but never used costs one sleeping thread.
    try {
        m_thread = std::thread([self = shared_from_this()] { self->Run(); });
    } catch (...) {
        return false;
    }
    return true;
}

void CInetEngine::WakeLocked()
{
    if (m_multi != nullptr) {
        m_curl->MultiWakeup(m_multi);
    } else {
        m_wake.notify_one();
    }
}

void CInetEngine::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_stopping = true;
        if (!m_multiGone) {
            WakeLocked();
        }
    }
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
}

bool CInetEngine::Post(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (m_stopping || m_multiGone) {
        return false;
    }
    m_queue.push_back(std::move(work));
    WakeLocked();
    return true;
}

void CInetEngine::Emit(const InetHandle& handle, DWORD status, const INTERNET_ASYNC_RESULT* result)
{
    Report report{handle.id, handle.context, status, result != nullptr, {0, 0}};
    if (result != nullptr) {
        report.result = *result;
    }
    m_reports.push_back(report);
}

void CInetEngine::Deliver()
{
    std::vector<Report> reports;
    reports.swap(m_reports);
    for (const Report& r : reports) {
        INTERNET_STATUS_CALLBACK callback = nullptr;
        {
            std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
            // The callback is read per report so that unregistering takes effect at once.
            callback = SessionCallback(m_sessionId);
        }
        if (callback != nullptr) {
            INTERNET_ASYNC_RESULT copy = r.result;
            callback(r.handle, r.context, r.status, r.hasResult ? &copy : nullptr,
                     r.hasResult ? static_cast<DWORD>(sizeof(copy)) : 0);
        }
    }
}

void CInetEngine::ReportCreated(const std::shared_ptr<InetHandle>& handle)
{
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        if (handle->closed) {
            return;
        }
    }
    Emit(*handle, INTERNET_STATUS_HANDLE_CREATED);
}

void CInetEngine::ApplyCommonOptions(InetHandle& h, CURL* easy, bool forProbe)
{
    m_curl->EasySetopt(easy, CURLOPT_NOSIGNAL, 1L);
    m_curl->EasySetopt(easy, CURLOPT_PRIVATE, &h);
    m_curl->EasySetopt(easy, CURLOPT_ERRORBUFFER, h.errorText);
    m_curl->EasySetopt(easy, CURLOPT_CONNECTTIMEOUT_MS, std::max(1L, h.connectTimeoutMs));
    m_curl->EasySetopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    m_curl->EasySetopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    h.owner = this;
    h.errorText[0] = '\0';
    const std::string proxy = ProxyFor(h);
    std::string url;
    if (forProbe) {
        // The reachability check goes to the first hop: the proxy when there is one.
        url = "http://" + (proxy.empty() ? HostForUrl(h.host) + ":" + std::to_string(h.port) : proxy) + "/";
        m_curl->EasySetopt(easy, CURLOPT_PROXY, "");
        m_curl->EasySetopt(easy, CURLOPT_CONNECT_ONLY, 1L);
    } else {
        url = "http://" + HostForUrl(h.host) + ":" + std::to_string(h.port) + h.path;
        m_curl->EasySetopt(easy, CURLOPT_PROXY, proxy.c_str());
        m_curl->EasySetopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
        m_curl->EasySetopt(easy, CURLOPT_OPENSOCKETDATA, &h);
        m_curl->EasySetopt(easy, CURLOPT_PREREQFUNCTION, BeforeRequest);
        m_curl->EasySetopt(easy, CURLOPT_PREREQDATA, &h);
        m_curl->EasySetopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
        m_curl->EasySetopt(easy, CURLOPT_HEADERDATA, &h);
        m_curl->EasySetopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
        m_curl->EasySetopt(easy, CURLOPT_WRITEDATA, &h);
        m_curl->EasySetopt(easy, CURLOPT_USERAGENT, h.userAgent.c_str());
        m_curl->EasySetopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        // The receive time-out: a reply that stalls this long fails with the time-out error.
        m_curl->EasySetopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        m_curl->EasySetopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, (h.receiveTimeoutMs + 999) / 1000));
        if ((h.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0) {
            m_curl->EasySetopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
            m_curl->EasySetopt(easy, CURLOPT_MAXREDIRS, 10L);
        }
    }
    m_curl->EasySetopt(easy, CURLOPT_URL, url.c_str());
}

CURL* CInetEngine::NewEasy()
{
    if (m_curl == nullptr) {
        PLATFORM_LOG(1, "No HTTP transfer without libcurl: %s", m_curlError.c_str());
        return nullptr;
    }
    return m_curl->EasyInit();
}

void CInetEngine::StartProbe(const std::shared_ptr<InetHandle>& connect)
{
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        if (connect->closed) {
            return;
        }
    }
    CURL* easy = NewEasy();
    if (easy == nullptr) {
        Emit(*connect, INTERNET_STATUS_HANDLE_CREATED);
        return;
    }
    ApplyCommonOptions(*connect, easy, true);
    if (m_curl->MultiAddHandle(m_multi, easy) != CURLM_OK) {
        m_curl->EasyCleanup(easy);
        Emit(*connect, INTERNET_STATUS_HANDLE_CREATED);
        return;
    }
    connect->easy = easy;
    m_active.push_back(connect);
}

void CInetEngine::StartTransfer(const std::shared_ptr<InetHandle>& request)
{
    INTERNET_ASYNC_RESULT failed{0, ERROR_INTERNET_INTERNAL_ERROR};
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        if (request->closed) {
            return;
        }
    }
    CURL* easy = NewEasy();
    if (easy == nullptr) {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        request->done = true;
        request->error = failed.dwError;
        Emit(*request, INTERNET_STATUS_REQUEST_COMPLETE, &failed);
        return;
    }
    ApplyCommonOptions(*request, easy, false);
    curl_slist* list = m_curl->SlistAppend(nullptr, "Expect:");
    bool haveAccept = false;
    for (const auto& [name, value] : request->headers) {
        if (StartsWithNoCase(name, "Accept") && name.size() == 6) {
            haveAccept = true;
        }
        std::string line = name + ": " + value;
        if (curl_slist* grown = m_curl->SlistAppend(list, line.c_str()); grown != nullptr) {
            list = grown;
        }
    }
    if (!haveAccept) {
        // Without an accept type the request carries none, as the Windows client does.
        if (curl_slist* grown = m_curl->SlistAppend(list, "Accept:"); grown != nullptr) {
            list = grown;
        }
    }
    request->headerList = list;
    m_curl->EasySetopt(easy, CURLOPT_HTTPHEADER, list);
    if (request->verb == "GET") {
        m_curl->EasySetopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (request->verb == "HEAD") {
        m_curl->EasySetopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        if (request->verb != "POST") {
            m_curl->EasySetopt(easy, CURLOPT_CUSTOMREQUEST, request->verb.c_str());
        }
        m_curl->EasySetopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(request->body.size()));
        m_curl->EasySetopt(easy, CURLOPT_POSTFIELDS, request->body.data());
    }
    if (m_curl->MultiAddHandle(m_multi, easy) != CURLM_OK) {
        m_curl->EasyCleanup(easy);
        m_curl->SlistFreeAll(list);
        request->headerList = nullptr;
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        request->done = true;
        request->error = failed.dwError;
        Emit(*request, INTERNET_STATUS_REQUEST_COMPLETE, &failed);
        return;
    }
    request->easy = easy;
    m_active.push_back(request);
}

void CInetEngine::Detach(InetHandle& h)
{
    if (h.easy != nullptr) {
        m_curl->MultiRemoveHandle(m_multi, h.easy);
        m_curl->EasyCleanup(h.easy);
        h.easy = nullptr;
    }
    if (h.headerList != nullptr) {
        m_curl->SlistFreeAll(h.headerList);
        h.headerList = nullptr;
    }
}

void CInetEngine::CloseOnThread(const std::shared_ptr<InetHandle>& handle)
{
    Detach(*handle);
    m_active.erase(std::remove(m_active.begin(), m_active.end(), handle), m_active.end());
    Emit(*handle, INTERNET_STATUS_HANDLE_CLOSING);
}

void CInetEngine::Finish(CURL* easy, CURLcode code)
{
    auto it = std::find_if(m_active.begin(), m_active.end(),
                           [easy](const std::shared_ptr<InetHandle>& h) { return h->easy == easy; });
    if (it == m_active.end()) {
        m_curl->MultiRemoveHandle(m_multi, easy);
        m_curl->EasyCleanup(easy);
        return;
    }
    std::shared_ptr<InetHandle> h = *it;
    m_active.erase(it);
    if (h->kind == InetHandle::Kind::Connect) {
        Detach(*h);
        ReportCreated(h);
        return;
    }
    INTERNET_ASYNC_RESULT result{1, ERROR_SUCCESS};
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        DWORD error = MapCurlError(code, h->errorText, h->tooLarge);
        if (error == ERROR_SUCCESS && h->statusCode == 0) {
            error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
        }
        h->done = true;
        h->error = error;
        if (error != ERROR_SUCCESS) {
            result = {0, error};
        }
    }
    Detach(*h);
    Emit(*h, INTERNET_STATUS_REQUEST_COMPLETE, &result);
}

bool CInetEngine::WaitForWork()
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
    return !m_stopping;
}

void CInetEngine::LoadCurl()
{
    const CurlApi* curl = CurlLibrary::Get(m_curlError);
    CURLM* multi = curl != nullptr ? curl->MultiInit() : nullptr;
    if (curl != nullptr && multi == nullptr) {
        m_curlError = "curl_multi_init failed";
        PLATFORM_LOG(1, "%s", m_curlError.c_str());
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_curl = multi != nullptr ? curl : nullptr;
    m_multi = multi;
}

void CInetEngine::Run()
{
    m_threadId.store(std::this_thread::get_id());
    if (WaitForWork()) {
        LoadCurl();
    }
    for (;;) {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_stopping) {
                break;
            }
            work.swap(m_queue);
        }
        for (auto& item : work) {
            item();
        }
        if (m_multi != nullptr) {
            int running = 0;
            m_curl->MultiPerform(m_multi, &running);
            int left = 0;
            while (CURLMsg* msg = m_curl->MultiInfoRead(m_multi, &left)) {
                if (msg->msg == CURLMSG_DONE) {
                    Finish(msg->easy_handle, msg->data.result);
                }
            }
        }
        Deliver();
        if (m_multi == nullptr) {
            // Without libcurl every request has failed at once; only new work wakes the thread.
            WaitForWork();
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_stopping) {
                break;
            }
            if (!m_queue.empty()) {
                continue;
            }
        }
        // New work and Stop wake the poll, and curl shortens the wait to its transfers' own
        // timers: the bound only guards against a lost wake-up.
        m_curl->MultiPoll(m_multi, nullptr, 0, 60000, nullptr);
    }
    for (auto& h : m_active) {
        Detach(*h);
    }
    m_active.clear();
    std::deque<std::function<void()>> dropped;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    dropped.swap(m_queue);
    m_multiGone = true;
    if (m_multi != nullptr) {
        m_curl->MultiCleanup(m_multi);
        m_multi = nullptr;
    }
}

} // namespace zelora::inet
