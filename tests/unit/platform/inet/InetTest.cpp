#include "web/CMXINet.h"
#include "platform/inet/InetProxy.h"
#include "platform/inet/WinInet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

using namespace zelora::inet;

namespace {

void NoNotify(std::string, int, void*) { }

class EnvVar {
public:
    EnvVar(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_had = true;
            m_old = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvVar()
    {
        if (m_had) {
            setenv(m_name, m_old.c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    bool m_had = false;
    std::string m_old;
};

std::mutex g_reportLock;
std::condition_variable g_reported;
std::vector<std::pair<DWORD_PTR, DWORD>> g_reports;
DWORD_PTR g_requestResult = 0;

void Record(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD)
{
    std::lock_guard<std::mutex> lock(g_reportLock);
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && info != nullptr)
        g_requestResult = static_cast<INTERNET_ASYNC_RESULT*>(info)->dwResult;
    g_reports.emplace_back(context, status);
    g_reported.notify_all();
}

bool AwaitReport(DWORD_PTR context, DWORD status)
{
    std::unique_lock<std::mutex> lock(g_reportLock);
    return g_reported.wait_for(lock, std::chrono::seconds(10), [&] {
        return std::find(g_reports.begin(), g_reports.end(), std::make_pair(context, status)) != g_reports.end();
    });
}

// A server on 127.0.0.1 that answers the connections it accepts with `replies`, one each, and
// keeps what each request said. A reply of "" leaves its connection open.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> replies) : m_replies(std::move(replies))
    {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(address);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(m_listener, 4) == 0 &&
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~ScriptedServer()
    {
        shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        close(m_listener);
        for (int fd : m_open)
            close(fd);
    }
    INTERNET_PORT Port() const { return m_port; }
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_requests;
    }

private:
    void Serve()
    {
        pollfd ready{m_listener, POLLIN, 0};
        for (const std::string& reply : m_replies) {
            if (poll(&ready, 1, 10000) != 1 || (ready.revents & POLLIN) == 0)
                return;
            const int peer = accept(m_listener, nullptr, nullptr);
            if (peer < 0)
                return;
            std::string head;
            char buffer[4096];
            for (ssize_t n; head.find("\r\n\r\n") == std::string::npos && (n = read(peer, buffer, sizeof buffer)) > 0;)
                head.append(buffer, static_cast<std::size_t>(n));
            const auto length = head.find("Content-Length: ");
            const std::size_t body = length == std::string::npos ? 0 : std::stoul(head.substr(length + 16));
            for (ssize_t n;
                 head.size() < head.find("\r\n\r\n") + 4 + body && (n = read(peer, buffer, sizeof buffer)) > 0;)
                head.append(buffer, static_cast<std::size_t>(n));
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_requests.push_back(head);
            }
            if (reply.empty()) {
                m_open.push_back(peer);
                continue;
            }
            [[maybe_unused]] ssize_t sent = write(peer, reply.data(), reply.size());
            close(peer);
        }
    }

    std::vector<std::string> m_replies;
    int m_listener = -1;
    INTERNET_PORT m_port = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<std::string> m_requests;
    std::vector<int> m_open;
};

struct Outcome {
    DWORD_PTR result = 0;
    DWORD error = 0;
    std::string body;
    DWORD status = 0;
    std::vector<DWORD> reports;
};

// One request through the layer: the host named as given, answered by `server`.
Outcome Fetch(const char* host, INTERNET_PORT port, const char* verb, const std::string& body, DWORD_PTR context)
{
    Outcome out;
    HINTERNET session = InternetOpen("agent/1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    InternetSetStatusCallback(session, &Record);
    HINTERNET connect = InternetConnect(session, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, context);
    HINTERNET request = HttpOpenRequest(connect, verb, "/form", nullptr, "", nullptr, 0, context);
    const DWORD all = static_cast<DWORD>(-1);
    HttpAddRequestHeaders(request, "Content-Type: application/x-www-form-urlencoded\r\n", all, HTTP_ADDREQ_FLAG_ADD);
    HttpSendRequest(request, nullptr, 0, body.data(), static_cast<DWORD>(body.size()));
    if (AwaitReport(context, INTERNET_STATUS_REQUEST_COMPLETE)) {
        std::lock_guard<std::mutex> lock(g_reportLock);
        out.result = g_requestResult;
        for (const auto& [c, status] : g_reports)
            if (c == context)
                out.reports.push_back(status);
    }
    if (out.result == 1) {
        char text[16] = {};
        DWORD length = sizeof(text);
        if (HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE, text, &length, nullptr))
            out.status = static_cast<DWORD>(std::atoi(text));
        char buffer[256];
        for (DWORD read = 0; InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0;)
            out.body.append(buffer, read);
    } else {
        InternetQueryDataAvailable(request, nullptr, 0, 0);
        out.error = GetLastError();
    }
    InternetCloseHandle(session);
    return out;
}

bool Reported(const Outcome& o, DWORD status)
{
    return std::find(o.reports.begin(), o.reports.end(), status) != o.reports.end();
}

} // namespace

// The reply framings a server may use, each read whole, and what is not HTTP refused.
TEST(WebInet, RepliesAreReadWholeInEveryFramingAndRedirectsFollowed)
{
    // A POST answered by an interim 100, then moved: fetched again with GET at the new place,
    // whose reply comes in chunks.
    ScriptedServer moved(
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 302 Found\r\nLocation: /next\r\n"
         "Content-Length: 3\r\n\r\nold",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"});
    Outcome o = Fetch("127.0.0.1", moved.Port(), "POST", "a=1&b=2", 1);
    EXPECT_EQ(o.result, 1u);
    EXPECT_EQ(o.status, 200u);
    EXPECT_EQ(o.body, "hello world");
    EXPECT_TRUE(Reported(o, INTERNET_STATUS_INTERMEDIATE_RESPONSE));
    EXPECT_TRUE(Reported(o, INTERNET_STATUS_REDIRECT));
    const auto requests = moved.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].rfind("POST /form HTTP/1.1\r\n", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("\r\nHost: 127.0.0.1:" + std::to_string(moved.Port()) + "\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("\r\nUser-Agent: agent/1\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("\r\nContent-Length: 7\r\n\r\na=1&b=2"), std::string::npos) << requests[0];
    EXPECT_EQ(requests[1].rfind("GET /next HTTP/1.1\r\n", 0), 0u) << requests[1];
    EXPECT_EQ(requests[1].find("Content-Length"), std::string::npos) << requests[1];

    // A body that runs to the close, from a host given by name (looked up off the engine thread).
    ScriptedServer toClose({"HTTP/1.0 200 OK\r\n\r\nuntil the close"});
    o = Fetch("localhost", toClose.Port(), "GET", "", 2);
    EXPECT_EQ(o.result, 1u);
    EXPECT_EQ(o.body, "until the close");
    EXPECT_TRUE(Reported(o, INTERNET_STATUS_NAME_RESOLVED));

    // HEAD: the announced length is not waited for.
    ScriptedServer head({"HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n"});
    const auto start = std::chrono::steady_clock::now();
    o = Fetch("127.0.0.1", head.Port(), "HEAD", "", 3);
    EXPECT_EQ(o.result, 1u);
    EXPECT_EQ(o.body, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // Not HTTP at all; a body shorter than announced, then the close.
    ScriptedServer bad({"SSH-2.0-server\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort"});
    o = Fetch("127.0.0.1", bad.Port(), "GET", "", 4);
    EXPECT_EQ(o.result, 0u);
    EXPECT_EQ(o.error, ERROR_HTTP_INVALID_SERVER_RESPONSE);
    o = Fetch("127.0.0.1", bad.Port(), "GET", "", 5);
    EXPECT_EQ(o.result, 0u);
    EXPECT_EQ(o.error, ERROR_INTERNET_CONNECTION_ABORTED);

    // A name that does not resolve fails with its own error.
    o = Fetch("no-such-host.invalid", 80, "GET", "", 6);
    EXPECT_EQ(o.result, 0u);
    EXPECT_EQ(o.error, ERROR_INTERNET_NAME_NOT_RESOLVED);
}

TEST(WebInet, ErrorTextsCoverTableAndUnknown)
{
    EXPECT_EQ(CMXINet::GetErrorText(12002), "The request has timed out.");
    EXPECT_EQ(CMXINet::GetErrorText(12007), "The server name could not be resolved.");
    EXPECT_EQ(CMXINet::GetErrorText(12029), "The attempt to connect to the server failed.");
    EXPECT_EQ(CMXINet::GetErrorText(12030), "The connection with the server has been terminated.");
    EXPECT_EQ(CMXINet::GetErrorText(12031), "The connection with the server has been reset.");
    EXPECT_EQ(CMXINet::GetErrorText(12017), "The operation was canceled, ");
    EXPECT_EQ(CMXINet::GetErrorText(12156), "The redirection failed because either the scheme changed");
    EXPECT_EQ(CMXINet::GetErrorText(12009), "Unkown Error");
    EXPECT_EQ(CMXINet::GetErrorText(0), "Unkown Error");
}

TEST(WebInet, HexRoutinesDelegate)
{
    const std::uint8_t bytes[] = {0x00, 0xAB, 0x7F};
    char text[6];
    EXPECT_EQ(CMXINet::MakeHexString(bytes, text, 3), 6);
    EXPECT_EQ(std::string(text, 6), "00AB7F");
    EXPECT_EQ(CMXINet::MakeHexString(bytes, text, 0), 0);
    std::vector<std::uint8_t> back;
    EXPECT_EQ(CMXINet::ParseHexString("00ab7f", back), 3);
    EXPECT_EQ(back, std::vector<std::uint8_t>(bytes, bytes + 3));
}

TEST(WebInet, SessionOpensOnceAndGuardsCalls)
{
    ASSERT_EQ(CMXINet::Init(), 1);
    EXPECT_EQ(CMXINet::Init(), 1);
    CMXINet client("unit_guard");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.MakeHttpConnection(nullptr, nullptr, "127.0.4.250", 80, "GET", "/", "*/*", 0), -1);
    EXPECT_EQ(client.AddRequestHeaders("Accept: */*\r\n", HTTP_ADDREQ_FLAG_REPLACE), -1);
    EXPECT_EQ(client.SendRequest("x", 1), -1);
    int code = 0;
    EXPECT_EQ(client.QueryStatusCode(code), 1);
    EXPECT_EQ(client.CheckForData(), 1);
    EXPECT_TRUE(client.GetResponseText().empty());
    client.Close();
    EXPECT_EQ(client.m_closed.load(), 1);
    client.Close();
    // Nothing above may wait: no handle existed.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    CMXINet::Exit();
    CMXINet::Exit();
    EXPECT_EQ(client.MakeHttpConnection(&NoNotify, nullptr, "127.0.4.250", 80, "GET", "/", "*/*", 0), -1);
}

TEST(WebInet, RequestHeadersFollowModifiers)
{
    HINTERNET session = InternetOpen("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(InternetOpen("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr);
    HINTERNET connect = InternetConnect(session, "127.0.4.250", 9, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1);
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(InternetConnect(session, "bad host", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
    EXPECT_EQ(InternetConnect(session, "", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1), nullptr);
    EXPECT_EQ(HttpOpenRequest(connect, "GET", "/a b", nullptr, nullptr, nullptr, 0, 1), nullptr);
    EXPECT_EQ(HttpOpenRequest(session, "GET", "/", nullptr, nullptr, nullptr, 0, 1), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    const char* accept[] = {"text/xml", nullptr};
    HINTERNET request = HttpOpenRequest(connect, "POST", "/x", nullptr, "", accept, 0, 1);
    ASSERT_NE(request, nullptr);
    const DWORD all = static_cast<DWORD>(-1);
    EXPECT_TRUE(HttpAddRequestHeaders(request, "Accept: */*\r\n", all, HTTP_ADDREQ_FLAG_REPLACE));
    EXPECT_TRUE(HttpAddRequestHeaders(request, "Content-Type: a/b\r\n", all, HTTP_ADDREQ_FLAG_ADD_IF_NEW));
    EXPECT_FALSE(HttpAddRequestHeaders(request, "content-type: c/d\r\n", all, HTTP_ADDREQ_FLAG_ADD_IF_NEW));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_ALREADY_EXISTS);
    EXPECT_FALSE(HttpAddRequestHeaders(request, "no colon here\r\n", all, 0));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_HEADER);
    EXPECT_FALSE(HttpAddRequestHeaders(request, "Bad Name: x\r\n", all, 0));
    // A line break inside the text cannot smuggle a second, invalid header in.
    EXPECT_FALSE(HttpAddRequestHeaders(request, "X-A: 1\r\nbroken\r\n", all, 0));
    DWORD available = 0;
    EXPECT_FALSE(InternetQueryDataAvailable(request, &available, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    char text[8];
    DWORD length = sizeof(text);
    EXPECT_FALSE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE, text, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
    EXPECT_TRUE(InternetCloseHandle(request));
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(InternetCloseHandle(session));
    // Children go with their session.
    EXPECT_FALSE(InternetCloseHandle(connect));
}

TEST(WebInet, ProxyComesFromEnvironment)
{
    EnvVar a("http_proxy", "http://user:pw@proxy.example:3128/");
    EnvVar b("HTTP_PROXY", nullptr);
    EnvVar c("https_proxy", nullptr);
    EnvVar d("HTTPS_PROXY", "secure.example:8443");
    EnvVar e("no_proxy", "localhost, .internal;127.0.0.1");
    InetProxyConfig config = PreconfigProxy();
    EXPECT_EQ(config.httpProxy, "proxy.example:3128");
    EXPECT_EQ(config.httpsProxy, "secure.example:8443");
    EXPECT_EQ(config.bypass, "localhost,.internal,127.0.0.1");
    EXPECT_EQ(ProxyListText(config), "http=proxy.example:3128 https=secure.example:8443");
    InetProxyConfig parsed = ParseProxyList("http=p1:80;https=p2:443", "a b");
    EXPECT_EQ(parsed.httpProxy, "p1:80");
    EXPECT_EQ(parsed.httpsProxy, "p2:443");
    EXPECT_EQ(parsed.bypass, "a,b");
    EXPECT_EQ(ParseProxyList("both:1", "").httpsProxy, "both:1");
    EXPECT_EQ(NormaliseProxy("bad host:1"), "");
}
