#include "web/CMXINet.h"

#include "app/CLogger.h"
#include "platform/HexString.h"

#include <cstdlib>

using namespace zelora::inet;

std::recursive_mutex CMXINet::s_lock;
HINTERNET CMXINet::s_session = nullptr;
std::map<DWORD_PTR, CMXINet*> CMXINet::s_live;
DWORD_PTR CMXINet::s_nextCookie = 0;

namespace {

const char* StatusName(DWORD status)
{
    switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
        return "INTERNET_STATUS_RESOLVING_NAME";
    case INTERNET_STATUS_NAME_RESOLVED:
        return "INTERNET_STATUS_NAME_RESOLVED";
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
        return "INTERNET_STATUS_CONNECTING_TO_SERVER";
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
        return "INTERNET_STATUS_CONNECTED_TO_SERVER";
    case INTERNET_STATUS_SENDING_REQUEST:
        return "INTERNET_STATUS_SENDING_REQUEST";
    case INTERNET_STATUS_REQUEST_SENT:
        return "INTERNET_STATUS_REQUEST_SENT";
    case INTERNET_STATUS_RECEIVING_RESPONSE:
        return "INTERNET_STATUS_RECEIVING_RESPONSE";
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        return "INTERNET_STATUS_RESPONSE_RECEIVED";
    case INTERNET_STATUS_CLOSING_CONNECTION:
        return "INTERNET_STATUS_CLOSING_CONNECTION";
    case INTERNET_STATUS_CONNECTION_CLOSED:
        return "INTERNET_STATUS_CONNECTION_CLOSED";
    case INTERNET_STATUS_HANDLE_CREATED:
        return "INTERNET_STATUS_HANDLE_CREATED";
    case INTERNET_STATUS_HANDLE_CLOSING:
        return "INTERNET_STATUS_HANDLE_CLOSING";
    case INTERNET_STATUS_REQUEST_COMPLETE:
        return "INTERNET_STATUS_REQUEST_COMPLETE";
    case INTERNET_STATUS_REDIRECT:
        return "INTERNET_STATUS_REDIRECT";
    case INTERNET_STATUS_INTERMEDIATE_RESPONSE:
        return "INTERNET_STATUS_INTERMEDIATE_RESPONSE";
    case INTERNET_STATUS_STATE_CHANGE:
        return "INTERNET_STATUS_STATE_CHANGE";
    default:
        return "default:";
    }
}

} // namespace

CMXINet::CMXINet(const std::string& eventName) : m_eventName(eventName)
{
    ZLOG_SCOPE();
    m_buffer.resize(kInitialBufferSize);
    std::lock_guard<std::recursive_mutex> lock(s_lock);
    m_cookie = ++s_nextCookie;
    s_live.emplace(m_cookie, this);
}

CMXINet::~CMXINet()
{
    ZLOG_SCOPE();
    Close();
    {
        // After this no report can reach the object: the callback holds the same lock.
        std::lock_guard<std::recursive_mutex> lock(s_lock);
        s_live.erase(m_cookie);
    }
    m_event.Set();
}

int CMXINet::Init()
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(s_lock);
    if (s_session != nullptr) {
        return 1;
    }
    s_session = InternetOpen("zeloraTALK", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    if (s_session == nullptr) {
        ZLOG(LOG_ERROR, "Error opening internet session %u", GetLastError());
        return -1;
    }
    InternetSetStatusCallback(s_session, &CMXINet::StatusCallBack);
    return 1;
}

void CMXINet::Exit()
{
    ZLOG_SCOPE();
    HINTERNET session = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(s_lock);
        if (s_session == nullptr) {
            return;
        }
        InternetSetStatusCallback(s_session, nullptr);
        session = s_session;
        s_session = nullptr;
    }
    // Closed outside the lock: the background thread may be waiting for it in a callback.
    InternetCloseHandle(session);
}

int CMXINet::SetTimeouts(unsigned connectMs, unsigned receiveMs)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(s_lock);
    DWORD c = connectMs;
    DWORD r = receiveMs;
    if (s_session == nullptr || !InternetSetOption(s_session, INTERNET_OPTION_CONNECT_TIMEOUT, &c, sizeof(c)) ||
        !InternetSetOption(s_session, INTERNET_OPTION_RECEIVE_TIMEOUT, &r, sizeof(r))) {
        return -1;
    }
    return 1;
}

int CMXINet::MakeHttpConnection(INetStatusCallback notify, void* context, const std::string& host, unsigned port,
                                const std::string& verb, const std::string& objectPath, const std::string& acceptType,
                                unsigned flags)
{
    ZLOG_SCOPE();
    HINTERNET oldConnect = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_handleLock);
        oldConnect = m_connect;
        m_connect = nullptr;
    }
    if (oldConnect != nullptr) {
        InternetCloseHandle(oldConnect);
    }
    HINTERNET session = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(s_lock);
        session = s_session;
        if (notify == nullptr || session == nullptr) {
            return -1;
        }
        m_notify = notify;
        m_context = context;
    }
    // A signal left over from an earlier request must not pass for this connection's.
    m_event.Reset();
    HINTERNET connect = InternetConnect(session, host.c_str(), static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, kConnectionFlags, m_cookie);
    if (connect == nullptr) {
        ZLOG(LOG_ERROR, "Error opening internet connection");
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(m_handleLock);
        m_connect = connect;
    }
    if (!m_event.Wait(kHandleWaitMs)) {
        ZLOG(LOG_INFO, "Timed out waiting for the connection handle");
        return -1;
    }
    HINTERNET oldRequest = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_handleLock);
        oldRequest = m_request;
        m_request = nullptr;
    }
    if (oldRequest != nullptr) {
        InternetCloseHandle(oldRequest);
    }
    m_event.Reset();
    const char* acceptTypes[] = {acceptType.c_str(), nullptr};
    HINTERNET request = HttpOpenRequest(connect, verb.c_str(), objectPath.c_str(), nullptr, "",
                                        acceptType.empty() ? nullptr : acceptTypes, flags | kConnectionFlags, m_cookie);
    if (request == nullptr) {
        ZLOG(LOG_ERROR, "Error opening http connection");
        return -2;
    }
    {
        std::lock_guard<std::mutex> lock(m_handleLock);
        m_request = request;
    }
    if (!m_event.Wait(kHandleWaitMs)) {
        ZLOG(LOG_INFO, "Timed out waiting for the request handle");
        return -1;
    }
    return 1;
}

int CMXINet::AddRequestHeaders(const std::string& headerLine, unsigned modifiers)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(m_handleLock);
    if (m_request == nullptr) {
        ZLOG(LOG_INFO, "Http Request object found null");
        return -1;
    }
    if (!HttpAddRequestHeaders(m_request, headerLine.c_str(), static_cast<DWORD>(headerLine.size()), modifiers)) {
        ZLOG(LOG_ERROR, "Error adding request header");
        return -1;
    }
    return 1;
}

int CMXINet::SendRequest(const void* body, std::size_t length)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(m_handleLock);
    m_response.clear();
    m_length = 0;
    if (HttpSendRequest(m_request, nullptr, 0, body, static_cast<DWORD>(length)) == 0 &&
        GetLastError() != ERROR_IO_PENDING) {
        ZLOG(LOG_INFO, "%s", GetErrorText(GetLastError()).c_str());
        ZLOG(LOG_ERROR, "Error sending http request");
        return -1;
    }
    return 1;
}

int CMXINet::CheckForData()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(m_handleLock);
    DWORD available = 100;
    if (!InternetQueryDataAvailable(m_request, &available, 0, 0)) {
        DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            ZLOG(LOG_INFO, "%s", GetErrorText(error).c_str());
        }
        return 1;
    }
    if (m_length + available > kMaxReplyBytes) {
        ZLOG(LOG_ERROR, "Error reply larger than %zu bytes", kMaxReplyBytes);
        return 1;
    }
    if (m_buffer.size() < m_length + available) {
        m_buffer.resize(m_length + available);
    }
    DWORD read = 0;
    if (!InternetReadFile(m_request, m_buffer.data() + m_length, available, &read)) {
        return 1;
    }
    m_length += read;
    return read > 0 ? 1 : 2;
}

int CMXINet::QueryStatusCode(int& code)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(m_handleLock);
    char text[255] = {};
    DWORD length = sizeof(text);
    DWORD index = 0;
    if (!HttpQueryInfo(m_request, HTTP_QUERY_STATUS_CODE, text, &length, &index)) {
        DWORD error = GetLastError();
        return (error == ERROR_HTTP_HEADER_NOT_FOUND || error == ERROR_INSUFFICIENT_BUFFER) ? 3 : 1;
    }
    code = std::atoi(text);
    return 4;
}

std::string CMXINet::GetResponseText()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(m_handleLock);
    m_response.assign(reinterpret_cast<const char*>(m_buffer.data()), m_length);
    return m_response;
}

bool CMXINet::CloseAndWait(HINTERNET handle, zelora::Event& event, bool wait)
{
    if (handle == nullptr) {
        return false;
    }
    if (wait) {
        event.Reset();
    }
    // A handle the layer no longer knows (its session is gone) gets no closing report.
    const bool accepted = InternetCloseHandle(handle) != 0;
    if (wait && accepted) {
        event.Wait(kCloseWaitMs);
    }
    return accepted;
}

void CMXINet::TakeHandles(HINTERNET& request, HINTERNET& connect)
{
    std::lock_guard<std::mutex> lock(m_handleLock);
    request = m_request;
    connect = m_connect;
    m_request = nullptr;
    m_connect = nullptr;
    m_length = 0;
}

void CMXINet::Close()
{
    ZLOG_SCOPE();
    if (m_closed.load() == 1) {
        return;
    }
    m_closed.store(1);
    HINTERNET request = nullptr;
    HINTERNET connect = nullptr;
    TakeHandles(request, connect);
    CloseAndWait(request, m_event, true);
    CloseAndWait(connect, m_event, true);
}

void CMXINet::ClosedByINet()
{
    ZLOG_SCOPE();
    m_closed.store(1);
    HINTERNET request = nullptr;
    HINTERNET connect = nullptr;
    TakeHandles(request, connect);
    CloseAndWait(request, m_event, false);
    CloseAndWait(connect, m_event, false);
}

void CMXINet::StatusCallBack(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD infoLength)
{
    std::lock_guard<std::recursive_mutex> lock(s_lock);
    auto it = s_live.find(context);
    if (it == s_live.end() || it->second->m_notify == nullptr) {
        return;
    }
    CMXINet* self = it->second;
    if (self->m_closed.load() == 1) {
        self->m_event.Set();
        return;
    }
    self->HandleStatus(status, info, infoLength);
}

void CMXINet::Notify(const std::string& text, int state) { m_notify(text, state, m_context); }

void CMXINet::HandleStatus(DWORD status, const void* info, DWORD infoLength)
{
    const char* method = ZLOG_METHOD;
    const char* name = StatusName(status);
    ZLOG_AS(LOG_INFO, method, "********%s Entering********", name);
    switch (status) {
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
        Notify("Connecting to server", INET_STATE_PROGRESS);
        break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
        Notify("Connected to server", INET_STATE_PROGRESS);
        break;
    case INTERNET_STATUS_SENDING_REQUEST:
        Notify("Sending request", INET_STATE_PROGRESS);
        break;
    case INTERNET_STATUS_REQUEST_SENT:
        Notify("Request sent", INET_STATE_PROGRESS);
        break;
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        Notify("Receiving response", INET_STATE_PROGRESS);
        break;
    case INTERNET_STATUS_HANDLE_CREATED:
        m_event.Set();
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
        INTERNET_ASYNC_RESULT result{0, ERROR_INTERNET_INTERNAL_ERROR};
        if (info != nullptr && infoLength >= sizeof(result)) {
            result = *static_cast<const INTERNET_ASYNC_RESULT*>(info);
        }
        if (result.dwError == ERROR_SUCCESS) {
            Notify("Request complete", INET_STATE_COMPLETE);
        } else {
            std::string text = GetErrorText(result.dwError);
            ZLOG_AS(LOG_INFO, method, "%s", text.c_str());
            Notify(text + " Try again", INET_STATE_FAILED);
        }
        break;
    }
    case INTERNET_STATUS_REDIRECT:
        Notify("Server redirected", INET_STATE_PROGRESS);
        break;
    default:
        break;
    }
    ZLOG_AS(LOG_INFO, method, "########%s Leaving########", name);
}

int CMXINet::MakeHexString(const std::uint8_t* bytes, char* out, int count)
{
    return zelora::MakeHexString(bytes, out, count);
}

int CMXINet::ParseHexString(std::string_view text, std::vector<std::uint8_t>& out)
{
    return zelora::ParseHexString(text, out);
}

std::string CMXINet::GetErrorText(unsigned code)
{
    switch (code) {
    case 12001:
        return "No more handles could be generated at this time.";
    case 12002:
        return "The request has timed out.";
    case 12003:
        return "An extended error was returned from the server.";
    case 12004:
        return "An internal error has occurred.";
    case 12005:
        return "The URL is invalid.";
    case 12006:
        return "The URL scheme could not be recognized or is not supported.";
    case 12007:
        return "The server name could not be resolved.";
    case 12008:
        return "The requested protocol could not be located.";
    case 12011:
        return "The request option cannot be set, only queried.";
    case 12012:
        return "The Win32 Internet function support is being shut down or unloaded.";
    case 12016:
        return "The requested operation is invalid.";
    case 12017:
        return "The operation was canceled, ";
    case 12018:
        return "The type of handle supplied is incorrect for this operation.";
    case 12019:
        return "The requested operation cannot be carried out because the handle supplied is not in the correct "
               "state.";
    case 12020:
        return "The request cannot be made via a proxy.";
    case 12021:
        return "A required registry value could not be located.";
    case 12022:
        return "A required registry value was located but is an incorrect type or has an invalid value.";
    case 12023:
        return "Direct network access cannot be made at this time.";
    case 12024:
        return "An asynchronous request could not be made because a zero context value was supplied.";
    case 12025:
        return "An asynchronous request could not be made because a callback function has not been set.";
    case 12026:
        return "The required operation could not be completed because one or more requests are pending.";
    case 12027:
        return "The format of the request is invalid.";
    case 12028:
        return "The requested item could not be located.";
    case 12029:
        return "The attempt to connect to the server failed.";
    case 12030:
        return "The connection with the server has been terminated.";
    case 12031:
        return "The connection with the server has been reset.";
    case 12032:
        return "Calls for the Win32 Internet function to redo the request.";
    case 12033:
        return "The request to the proxy was invalid.";
    case 12036:
        return "The request failed because the handle already exists.";
    case 12038:
        return "SSL certificate common name (host name field) is incorrect.";
    case 12150:
        return "The requested header could not be located.";
    case 12151:
        return "The server did not return any headers.";
    case 12152:
        return "The server response could not be parsed.";
    case 12153:
        return "The supplied header is invalid.";
    case 12154:
        return "The request made to HttpQueryInfo is invalid.";
    case 12155:
        return "The header could not be added because it already exists.";
    case 12156:
        return "The redirection failed because either the scheme changed";
    default:
        return "Unkown Error";
    }
}
