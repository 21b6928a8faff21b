#include "platform/inet/CHttpTransfer.h"

#include "platform/PlatformLog.h"
#include "platform/inet/CInetEngine.h"

#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <string_view>

namespace zelora::inet {

namespace {

constexpr int kMaxRedirects = 10;
// A proxy named without a port.
constexpr std::uint16_t kDefaultProxyPort = 1080;

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

// "host:port", "[v6]:port" or "host" into its parts; false for an unusable text.
bool SplitHostPort(const std::string& text, std::uint16_t defaultPort, std::string& host, std::uint16_t& port)
{
    std::string_view rest(text);
    port = defaultPort;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        host = std::string(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
    } else {
        const auto colon = rest.rfind(':');
        host = std::string(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon);
    }
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6) {
            return false;
        }
        unsigned value = 0;
        for (char c : rest.substr(1)) {
            if (c < '0' || c > '9') {
                return false;
            }
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value == 0 || value > 65535) {
            return false;
        }
        port = static_cast<std::uint16_t>(value);
    }
    return !host.empty();
}

bool Redirecting(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

CHttpTransfer::CHttpTransfer(std::shared_ptr<InetHandle> request, CInetEngine& engine, std::uint64_t serial)
    : m_request(std::move(request)), m_engine(engine), m_serial(serial)
{
    std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
    m_host = m_request->host;
    m_port = m_request->port;
    m_path = m_request->path;
    m_verb = m_request->verb;
}

short CHttpTransfer::Events() const
{
    switch (m_step) {
    case Step::Connecting:
        return POLLOUT;
    case Step::Sending:
        return POLLIN | POLLOUT;
    case Step::Receiving:
        return POLLIN;
    default:
        return 0;
    }
}

void CHttpTransfer::Start() { Begin(); }

void CHttpTransfer::Begin()
{
    const InetHandle& h = *m_request;
    m_proxy.reset();
    if (!h.direct && !h.proxy.httpProxy.empty() && !Bypassed(m_host, h.proxy.bypass)) {
        m_proxy = h.proxy.httpProxy;
    }
    std::string hopHost = m_host;
    std::uint16_t hopPort = m_port;
    if (m_proxy && !SplitHostPort(*m_proxy, kDefaultProxyPort, hopHost, hopPort)) {
        PLATFORM_LOG(1, "Unusable proxy %s", m_proxy->c_str());
        Finish(ERROR_INTERNET_INVALID_PROXY_REQUEST);
        return;
    }
    m_step = Step::Resolving;
    ++m_connection;
    m_fd.Reset();
    m_reply.reset();
    // The connect time-out covers the name lookup and every address tried.
    m_deadline = Clock::now() + std::chrono::milliseconds(std::max(1L, h.connectTimeoutMs));
    m_engine.Emit(h, INTERNET_STATUS_RESOLVING_NAME);
    if (auto numeric = ResolveNumeric(hopHost, hopPort)) {
        OnResolved(*numeric);
        return;
    }
    m_engine.LookUp(m_serial, hopHost, hopPort);
}

void CHttpTransfer::OnResolved(const ResolvedAddresses& resolved)
{
    if (m_step != Step::Resolving) {
        return;
    }
    if (!resolved.found) {
        Finish(ERROR_INTERNET_NAME_NOT_RESOLVED);
        return;
    }
    m_engine.Emit(*m_request, INTERNET_STATUS_NAME_RESOLVED);
    m_addresses = resolved;
    m_nextAddress = 0;
    m_engine.Emit(*m_request, INTERNET_STATUS_CONNECTING_TO_SERVER);
    TryConnect();
}

void CHttpTransfer::TryConnect()
{
    while (m_nextAddress < m_addresses.addresses.size()) {
        const SocketAddress& a = m_addresses.addresses[m_nextAddress++];
        m_fd.Reset(::socket(a.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!m_fd.Valid()) {
            continue;
        }
        if (::connect(m_fd.Get(), reinterpret_cast<const sockaddr*>(&a.address), a.length) == 0) {
            Connected();
            return;
        }
        if (errno == EINPROGRESS) {
            m_step = Step::Connecting;
            return;
        }
    }
    m_fd.Reset();
    Finish(ERROR_INTERNET_CANNOT_CONNECT);
}

void CHttpTransfer::Connected()
{
    m_engine.Emit(*m_request, INTERNET_STATUS_CONNECTED_TO_SERVER);
    m_engine.Emit(*m_request, INTERNET_STATUS_SENDING_REQUEST);
    m_out = RequestText();
    m_outSent = 0;
    m_reply = std::make_unique<CHttpReply>(kMaxReplyBytes, m_verb == "HEAD");
    m_step = Step::Sending;
    m_deadline = Clock::now() + std::chrono::milliseconds(std::max(1L, m_request->receiveTimeoutMs));
    Send();
}

std::string CHttpTransfer::RequestText() const
{
    const InetHandle& h = *m_request;
    std::string hostHeader = HostForUrl(m_host);
    if (m_port != INTERNET_DEFAULT_HTTP_PORT) {
        hostHeader += ":" + std::to_string(m_port);
    }
    std::string text = m_verb + " ";
    if (m_proxy) {
        text += "http://" + hostHeader; // a proxy takes the whole address
    }
    text += m_path + " HTTP/1.1\r\n";
    auto given = [&h](std::string_view name) {
        for (const auto& header : h.headers) {
            if (EqualNoCase(header.first, name)) {
                return true;
            }
        }
        return false;
    };
    if (!given("Host")) {
        text += "Host: " + hostHeader + "\r\n";
    }
    if (!h.userAgent.empty() && !given("User-Agent")) {
        text += "User-Agent: " + h.userAgent + "\r\n";
    }
    for (const auto& [name, value] : h.headers) {
        if (!value.empty() && !(EqualNoCase(name, "Content-Length") && !m_sendBody)) {
            text += name + ": " + value + "\r\n";
        }
    }
    const bool withBody = m_sendBody && m_verb != "GET" && m_verb != "HEAD";
    if (withBody && !given("Content-Length")) {
        text += "Content-Length: " + std::to_string(h.body.size()) + "\r\n";
    }
    text += "\r\n";
    if (withBody) {
        text += h.body;
    }
    return text;
}

void CHttpTransfer::Send()
{
    while (m_outSent < m_out.size()) {
        const ssize_t n =
            ::send(m_fd.Get(), m_out.data() + m_outSent, m_out.size() - m_outSent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            m_outSent += static_cast<std::size_t>(n);
            m_deadline = Clock::now() + std::chrono::milliseconds(std::max(1L, m_request->receiveTimeoutMs));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (m_reply->Started()) {
            // The server answered before taking the whole request: its answer counts.
            m_step = Step::Receiving;
            return;
        }
        Finish(errno == ECONNRESET || errno == EPIPE ? ERROR_INTERNET_CONNECTION_RESET
                                                     : ERROR_INTERNET_CONNECTION_ABORTED);
        return;
    }
    m_out.clear();
    m_out.shrink_to_fit();
    m_engine.Emit(*m_request, INTERNET_STATUS_REQUEST_SENT);
    m_step = Step::Receiving;
}

void CHttpTransfer::OnReady(short revents)
{
    if (m_step == Step::Connecting) {
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(m_fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error == 0) {
            Connected();
        } else {
            TryConnect();
        }
        return;
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        Receive();
    }
    if (m_step == Step::Sending && (revents & POLLOUT) != 0) {
        Send();
    }
}

void CHttpTransfer::Receive()
{
    std::array<char, 16384> buffer{};
    const std::uint64_t connection = m_connection;
    // A few reads per wake-up, so one fast reply does not starve the others.
    for (int reads = 0; reads < 8; ++reads) {
        const ssize_t n = ::recv(m_fd.Get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                return;
            }
            Finish(errno == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET : ERROR_INTERNET_CONNECTION_ABORTED);
            return;
        }
        const int interim = m_reply->Interim();
        const bool headers = m_reply->HeadersDone();
        if (n > 0 && !m_reply->Started()) {
            m_engine.Emit(*m_request, INTERNET_STATUS_RECEIVING_RESPONSE);
        }
        const CHttpReply::Result result =
            n == 0 ? m_reply->End() : m_reply->Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        ReportProgress(interim, headers);
        m_deadline = Clock::now() + std::chrono::milliseconds(std::max(1L, m_request->receiveTimeoutMs));
        OnReply(result);
        // Done, or a redirect went on with a new connection.
        if (n == 0 || m_step == Step::Done || m_connection != connection) {
            return;
        }
    }
}

void CHttpTransfer::ReportProgress(int interimBefore, bool headersBefore)
{
    for (int i = interimBefore; i < m_reply->Interim(); ++i) {
        m_engine.Emit(*m_request, INTERNET_STATUS_INTERMEDIATE_RESPONSE);
    }
    if (!headersBefore && m_reply->HeadersDone()) {
        {
            std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
            m_request->statusCode = m_reply->Status();
            m_request->contentLength = m_reply->ContentLength();
            m_request->data.clear();
        }
        m_engine.Emit(*m_request, INTERNET_STATUS_RESPONSE_RECEIVED);
    }
}

void CHttpTransfer::OnReply(CHttpReply::Result result)
{
    switch (result) {
    case CHttpReply::Result::More:
        return;
    case CHttpReply::Result::Complete:
        if (!FollowRedirect()) {
            Finish(ERROR_SUCCESS);
        }
        return;
    case CHttpReply::Result::Malformed:
        Finish(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        return;
    case CHttpReply::Result::TooLarge:
        PLATFORM_LOG(1, "Reply from %s passed %zu bytes", m_host.c_str(), kMaxReplyBytes);
        Finish(ERROR_INTERNET_INTERNAL_ERROR);
        return;
    case CHttpReply::Result::Cut:
        Finish(ERROR_INTERNET_CONNECTION_ABORTED);
        return;
    }
}

bool CHttpTransfer::FollowRedirect()
{
    const int status = m_reply->Status();
    std::string location = m_reply->Location();
    if (!Redirecting(status) || location.empty() || (m_request->flags & INTERNET_FLAG_NO_AUTO_REDIRECT) != 0) {
        return false;
    }
    if (++m_redirects > kMaxRedirects) {
        Finish(ERROR_HTTP_REDIRECT_FAILED);
        return true;
    }
    if (auto hash = location.find('#'); hash != std::string::npos) {
        location.resize(hash);
    }
    for (char c : location) {
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) {
            Finish(ERROR_HTTP_REDIRECT_FAILED);
            return true;
        }
    }
    if (const auto scheme = location.find("://"); scheme != std::string::npos) {
        if (!EqualNoCase(std::string_view(location).substr(0, scheme), "http")) {
            Finish(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
            return true;
        }
        const std::string rest = location.substr(scheme + 3);
        const auto slash = rest.find('/');
        std::string authority = rest.substr(0, slash);
        if (auto at = authority.rfind('@'); at != std::string::npos) {
            authority.erase(0, at + 1);
        }
        std::string host;
        std::uint16_t port = INTERNET_DEFAULT_HTTP_PORT;
        if (!SplitHostPort(authority, INTERNET_DEFAULT_HTTP_PORT, host, port)) {
            Finish(ERROR_HTTP_REDIRECT_FAILED);
            return true;
        }
        m_host = host;
        m_port = port;
        m_path = slash == std::string::npos ? "/" : rest.substr(slash);
    } else if (!location.empty() && location.front() == '/') {
        m_path = location;
    } else {
        m_path = m_path.substr(0, m_path.rfind('/') + 1) + location;
    }
    // As browsers do: a moved or found POST is fetched, 307 and 308 repeat the request.
    if (status == 303 || ((status == 301 || status == 302) && m_verb == "POST")) {
        if (m_verb != "HEAD") {
            m_verb = "GET";
        }
        m_sendBody = false;
    }
    m_engine.Emit(*m_request, INTERNET_STATUS_REDIRECT);
    Begin();
    return true;
}

void CHttpTransfer::OnDeadline() { Finish(ERROR_INTERNET_TIMEOUT); }

void CHttpTransfer::Finish(DWORD error)
{
    {
        std::lock_guard<std::recursive_mutex> lock(InetRegistryMutex());
        if (error == ERROR_SUCCESS) {
            m_request->data = m_reply->TakeBody();
        }
        m_request->done = true;
        m_request->error = error;
    }
    m_step = Step::Done;
    m_fd.Reset();
    INTERNET_ASYNC_RESULT result{error == ERROR_SUCCESS ? 1u : 0u, error};
    m_engine.Emit(*m_request, INTERNET_STATUS_REQUEST_COMPLETE, &result);
}

} // namespace zelora::inet
