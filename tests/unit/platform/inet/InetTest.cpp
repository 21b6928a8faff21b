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

bool CurlMapped()
{
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libcurl") != std::string::npos;
}

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

// In a process of its own: an open session maps no libcurl; the first request loads it and is
// served. "" or what went wrong.
std::string FirstRequestLoadsCurl()
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.24.1", &address.sin_addr);
    socklen_t size = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return "no listener on 127.0.24.1";
    // The reachability probe connects first and sends nothing; the request comes next.
    std::thread server([listener] {
        pollfd ready{listener, POLLIN, 0};
        for (bool served = false; !served && poll(&ready, 1, 10000) == 1;) {
            const int peer = accept(listener, nullptr, nullptr);
            char buffer[4096];
            std::string head;
            for (ssize_t n; head.find("\r\n\r\n") == std::string::npos && (n = read(peer, buffer, sizeof buffer)) > 0;)
                head.append(buffer, static_cast<std::size_t>(n));
            const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello";
            served = head.find("\r\n\r\n") != std::string::npos && write(peer, reply.data(), reply.size()) > 0;
            close(peer);
        }
    });
    std::string fault;
    HINTERNET session = InternetOpen("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    InternetSetStatusCallback(session, &Record);
    if (session == nullptr || CurlMapped())
        fault = "libcurl mapped by an unused session";
    HINTERNET connect =
        InternetConnect(session, "127.0.24.1", ntohs(address.sin_port), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1);
    HINTERNET request = nullptr;
    if (fault.empty() && (connect == nullptr || !AwaitReport(1, INTERNET_STATUS_HANDLE_CREATED)))
        fault = "no connection handle";
    if (fault.empty() &&
        ((request = HttpOpenRequest(connect, "GET", "/", nullptr, "", nullptr, 0, 2)) == nullptr ||
         !AwaitReport(2, INTERNET_STATUS_HANDLE_CREATED)))
        fault = "no request handle";
    if (fault.empty() &&
        (HttpSendRequest(request, nullptr, 0, nullptr, 0) || GetLastError() != ERROR_IO_PENDING ||
         !AwaitReport(2, INTERNET_STATUS_REQUEST_COMPLETE) || g_requestResult != 1))
        fault = "request failed";
    char body[16] = {};
    DWORD read = 0;
    if (fault.empty() && (!InternetReadFile(request, body, sizeof body, &read) || std::string(body, read) != "hello"))
        fault = "wrong reply: " + std::string(body, read);
    if (fault.empty() && !CurlMapped())
        fault = "request served without libcurl mapped";
    InternetCloseHandle(session);
    shutdown(listener, SHUT_RDWR);
    server.join();
    close(listener);
    return fault;
}

} // namespace

TEST(WebInet, LibcurlIsLoadedByTheFirstRequestNotBySessionOpen)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string fault = FirstRequestLoadsCurl();
            std::fputs(fault.c_str(), stderr);
            std::exit(fault.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "^$");
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
