// The web client against the operator simulator and misbehaving servers on loopback.
#include "app/CLogger.h"
#include "web/CMXINet.h"
#include "web/CPortalLink.h"
#include "web/CWebServiceClient.h"
#include "FakeAddressBook.h"
#include "web/WebApi.h"
#include "web/WebMessages.h"
#include "WebPeers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

using namespace zelora::web;
namespace fs = std::filesystem;

namespace {

const std::string kSimHost = "127.0.4.10";
fs::path g_dir;

bool WaitFor(const std::function<bool()>& condition, int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Log lines written since construction.
class LogWatch {
public:
    LogWatch() : m_offset(ReadFile(g_dir / "web.log").size()) { }
    std::string Text() const { return ReadFile(g_dir / "web.log").substr(m_offset); }
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }

private:
    std::size_t m_offset;
};

class FakeHost : public IWebServiceHost {
public:
    bool IsSignedIn() const override { return signedIn.load(); }
    bool IsCallInProgress() const override { return inCall.load(); }
    void HangUpCall() override { ++hangUps; }
    void SetSignedOut() override
    {
        signedIn.store(false);
        ++signOuts;
    }
    bool AskYesNo(const std::string& question) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        questions.push_back(question);
        return true;
    }
    void OpenUrl(const std::string& url) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        opened.push_back(url);
    }

    std::atomic<bool> signedIn{true};
    std::atomic<bool> inCall{false};
    std::atomic<int> hangUps{0};
    std::atomic<int> signOuts{0};
    std::mutex mutex;
    std::vector<std::string> questions;
    std::vector<std::string> opened;
};

std::vector<zelora::Message> Drain(zelora::MessageQueue& queue)
{
    std::vector<zelora::Message> out;
    queue.Drain([&](const zelora::Message& m) { out.push_back(m); });
    return out;
}

bool HasMessage(const std::vector<zelora::Message>& messages, unsigned msg, std::intptr_t wParam = -1)
{
    for (const auto& m : messages) {
        if (m.msg == msg && (wParam < 0 || m.wParam == wParam)) {
            return true;
        }
    }
    return false;
}

// One exchange on a bare client, recording every notification.
struct Exchange {
    std::mutex mutex;
    std::vector<std::pair<std::string, int>> notes;
    std::atomic<int> last{0};

    static void Notify(std::string text, int state, void* context)
    {
        auto* self = static_cast<Exchange*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->notes.emplace_back(text, state);
        self->last.store(state);
    }
    // Returns the HTTP status, or -1 on a failed request; `reply` gets the text.
    int Run(CMXINet& client, const std::string& host, const std::string& verb, const std::string& path,
            const std::string& body, std::string& reply)
    {
        client.m_closed.store(0);
        if (client.MakeHttpConnection(&Exchange::Notify, this, host, 80, verb, path, "*/*", 0x40) != 1 ||
            client.AddRequestHeaders(kContentTypeHeader, zelora::inet::HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 1 ||
            client.SendRequest(body.data(), body.size()) != 1) {
            return -2;
        }
        if (!WaitFor([&] { return last.load() == 2 || last.load() == -1; }, 10000) || last.load() == -1) {
            return -1;
        }
        while (client.CheckForData() == 1) {
        }
        int code = 0;
        client.QueryStatusCode(code);
        reply = client.GetResponseText();
        client.Close();
        return code;
    }
};

std::string WebServiceReply(const std::string& plain, int& status)
{
    CMXINet client("test_exchange");
    Exchange exchange;
    std::string body;
    if (MakeRequestBody(plain, body) != 1) {
        status = -3;
        return {};
    }
    std::string reply;
    status = exchange.Run(client, kSimHost, "POST", kServicePath, body, reply);
    return reply;
}

const char* kSeedData = R"([server]
version = zeloraTALK Version 3.1.3
downloadlink = http://127.0.4.10/setup.exe
ad1 = Cheap%20calls|http://127.0.4.10/calls
ad2 = No%20link|

[user:1001]
balance = 12.50
smsbalance = 7
lvl3 = 4930111222
inbox = 2
sms.1 = 4930555|Meet%20at%20eight%20&%20bring%20<cake>
missed.1 = 4930777|2026-12-01%2009:30

[user:2002]
balance = 1.00
nextsno = 3
entry.1 = 5|%20|ann@example.org|1|2|3|4|Ms|Ann|B|Smith|1975-03-09|Co|alt@example.org|5|6|7|http://a|first
entry.2 = 6|%20|bob@example.org|1|2|3|4|Mr|Bob||Jones|%20|Co||||||second
)";

class WebService : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_data = g_dir / "operator.ini";
        std::ofstream(s_data) << kSeedData;
        s_sim = std::make_unique<SimProcess>(OPERATOR_SIM_PATH, kSimHost, s_data.string());
        const std::string error = s_sim->Start();
        ASSERT_TRUE(error.empty()) << error;
        ASSERT_EQ(CMXINet::Init(), 1);
    }
    static void TearDownTestSuite()
    {
        CMXINet::Exit();
        s_sim.reset();
    }
    void SetUp() override
    {
        ASSERT_NE(s_sim, nullptr);
        CWebServiceClient::AddressBookPending().store(false);
    }

    std::unique_ptr<CWebServiceClient> MakeClient(const std::string& serviceHost = kSimHost)
    {
        WebEndpoints endpoints;
        endpoints.serviceHost = serviceHost;
        endpoints.adsHost = kSimHost;
        endpoints.probeSite = kSimHost;
        endpoints.homePage = "http://home.example/";
        auto client = std::make_unique<CWebServiceClient>(endpoints, &host, &queue, &book);
        client->SetProxyMode(1);
        client->SetUserId("1001");
        return client;
    }

    // Waits for the reply, then runs the reader until it is done.
    static bool Complete(CWebServiceClient& client, WebRequestKind kind, void (CWebServiceClient::*reader)())
    {
        if (!WaitFor([&] { return client.State(kind) == 2; }, 10000)) {
            return false;
        }
        for (int i = 0; i < 10 && client.State(kind) == 2; ++i) {
            (client.*reader)();
        }
        return client.State(kind) == 0;
    }

    static fs::path s_data;
    static std::unique_ptr<SimProcess> s_sim;
    FakeHost host;
    zelora::MessageQueue queue;
    FakeAddressBook book;
};

fs::path WebService::s_data;
std::unique_ptr<SimProcess> WebService::s_sim;

} // namespace

TEST_F(WebService, BalanceArrivesAndIsPosted)
{
    LogWatch log;
    auto client = MakeClient();
    ASSERT_EQ(client->OnReqBalance(), 1);
    // Sent (1), or already answered (2).
    EXPECT_NE(client->State(WEB_KIND_BALANCE), 0);
    ASSERT_TRUE(Complete(*client, WEB_KIND_BALANCE, &CWebServiceClient::GetBalance));
    EXPECT_EQ(client->Balance(), "12.50");
    EXPECT_EQ(client->SmsBalance(), "7");
    EXPECT_TRUE(HasMessage(Drain(queue), WM_WEB_BALANCE_RECEIVED));
    EXPECT_TRUE(log.Has("Balance Received"));
}

TEST_F(WebService, NewerVersionAsksAndOpensDownload)
{
    auto client = MakeClient();
    client->SetUserId("");
    ASSERT_EQ(client->OnReqVersion(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_VERSION, &CWebServiceClient::GetVersion));
    EXPECT_EQ(client->LatestVersion(), "zeloraTALK Version 3.1.3");
    std::lock_guard<std::mutex> lock(host.mutex);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0], kNewVersionQuestion);
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened[0], "http://127.0.4.10/setup.exe");
}

TEST_F(WebService, VoipNumberAndCallerId)
{
    auto client = MakeClient();
    ASSERT_EQ(client->OnReqVoipNumber(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_VOIP_NUMBER, &CWebServiceClient::GetVoipNumber));
    EXPECT_EQ(client->VoipNumber(), "4930111222");
    EXPECT_EQ(CWebServiceClient::ServerUserId(), "1001");
    ASSERT_EQ(client->OnReqCLI(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_CLI, &CWebServiceClient::GetCLI));
    EXPECT_EQ(client->CallerId(), "4930111222");
    auto messages = Drain(queue);
    EXPECT_TRUE(HasMessage(messages, WM_WEB_VOIP_NUMBER_RECEIVED));
    EXPECT_TRUE(HasMessage(messages, WM_WEB_CLI_RECEIVED, 0));
}

TEST_F(WebService, InboxCountRaisesNotice)
{
    LogWatch log;
    auto client = MakeClient();
    ASSERT_EQ(client->SendInboxQuery(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_INBOX, &CWebServiceClient::WaitForInboxData));
    EXPECT_EQ(client->InboxCount(), 2);
    bool found = false;
    for (const auto& m : Drain(queue)) {
        if (m.msg == WM_WEB_NEW_SMS) {
            found = true;
            EXPECT_EQ(m.wParam, 2);
            EXPECT_EQ(m.data, "You have 2 new SMS");
        }
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(log.Has("Inbox contains 2 sms"));
    // The same count again raises nothing.
    ASSERT_EQ(client->SendInboxQuery(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_INBOX, &CWebServiceClient::WaitForInboxData));
    EXPECT_FALSE(HasMessage(Drain(queue), WM_WEB_NEW_SMS));
}

TEST_F(WebService, AdsFillTickerWithHomePageForEmptyLinks)
{
    LogWatch log;
    auto client = MakeClient();
    ASSERT_EQ(client->OnAdsRequest(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_ADS, &CWebServiceClient::GetAdsData));
    auto items = client->Ticker().Items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "Cheap calls");
    EXPECT_EQ(items[0].link, "http://127.0.4.10/calls");
    EXPECT_EQ(items[1].link, "http://home.example/");
    EXPECT_TRUE(client->Ticker().IsScrolling());
    EXPECT_TRUE(log.Has("Ads Data Received Received"));
}

TEST_F(WebService, ServerErrorLeavesDataUntouched)
{
    LogWatch log;
    auto client = MakeClient();
    client->SetUserId("nobody&x=1");
    ASSERT_EQ(client->OnReqBalance(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_BALANCE, &CWebServiceClient::GetBalance));
    EXPECT_TRUE(client->Balance().empty());
    EXPECT_FALSE(HasMessage(Drain(queue), WM_WEB_BALANCE_RECEIVED));
    EXPECT_TRUE(log.Has("Error ouccured at server"));
}

TEST_F(WebService, AddressBookSyncFollowsServerChanges)
{
    auto client = MakeClient();
    client->SetUserId("2002");
    // Sign-in while the book waits for its first synchronisation: the complete book replaces
    // the local one. Balance, VoIP number and ads are left to the window, which asks for what
    // it does not show yet (asking here too sent each of them twice).
    WebContact stale;
    stale.entryNumber = "99";
    book.entries.push_back(stale);
    CWebServiceClient::AddressBookPending().store(true);
    const int initial = s_sim->Requests("_initaddbk"), lists = s_sim->Requests("_qrylist");
    ASSERT_GE(initial, 0);
    client->OnSignedIn();
    // Sent (1), or already answered (2).
    EXPECT_NE(client->State(WEB_KIND_ADDRESS_BOOK), 0);
    ASSERT_TRUE(Complete(*client, WEB_KIND_ADDRESS_BOOK, &CWebServiceClient::WaitForAddressBookList));
    ASSERT_EQ(book.entries.size(), 2u);
    EXPECT_EQ(book.empties, 1);
    EXPECT_EQ(book.entries[0].firstName, "Ann");
    EXPECT_EQ(book.entries[1].lastName, "Jones");
    EXPECT_FALSE(book.lastCheck.empty());
    EXPECT_FALSE(CWebServiceClient::AddressBookPending().load());
    EXPECT_EQ(s_sim->Requests("_initaddbk"), initial + 1);
    EXPECT_EQ(s_sim->Requests("_qrylist"), lists);
    auto messages = Drain(queue);
    EXPECT_FALSE(HasMessage(messages, WM_WEB_REQ_BALANCE));
    EXPECT_FALSE(HasMessage(messages, WM_WEB_REQ_VOIP_NUMBER));
    EXPECT_FALSE(HasMessage(messages, WM_WEB_REQ_ADS));
    WaitFor([&] { return client->State(WEB_KIND_INBOX) == 2; }, 5000);

    // The next sign-in finds the book synchronised and asks only for changes: none.
    client->OnSignedIn();
    ASSERT_TRUE(Complete(*client, WEB_KIND_ADDRESS_BOOK, &CWebServiceClient::WaitForAddressBookList));
    EXPECT_EQ(s_sim->Requests("_initaddbk"), initial + 1);
    EXPECT_EQ(s_sim->Requests("_qrylist"), lists + 1);
    EXPECT_EQ(book.adds, 2);
    EXPECT_EQ(book.empties, 1);

    // An entry added on the server side (with "&" in a field) arrives as a change.
    int status = 0;
    const std::string add = "action=_addent&transId=12344&apiUserName=global&userId=2002&data=<entry><name> </name>"
                            "<firstname>Cy & Co</firstname><lastname>Dee</lastname><comments>x</comments></entry>"
                            "&timeStamp=" +
        RequestTimeStamp();
    std::string reply = WebServiceReply(add, status);
    ASSERT_EQ(status, 200);
    EXPECT_NE(reply.find("<code>0</code>"), std::string::npos) << reply;
    EXPECT_NE(reply.find("<sno>3</sno>"), std::string::npos) << reply;
    reply = WebServiceReply(add, status);
    EXPECT_NE(reply.find("<code>-1005</code>"), std::string::npos) << reply;
    ASSERT_EQ(client->SendAddressBookQuery("_qrylist"), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_ADDRESS_BOOK, &CWebServiceClient::WaitForAddressBookList));
    ASSERT_EQ(book.entries.size(), 3u);
    EXPECT_EQ(book.entries[2].firstName, "Cy & Co");
    EXPECT_EQ(book.empties, 1);

    // A deletion cannot travel as a change: the next query sends the complete book again.
    reply = WebServiceReply("action=_delent&transId=12344&apiUserName=global&userId=2002&name= &sno=1&timeStamp=" +
                                RequestTimeStamp(),
                            status);
    EXPECT_NE(reply.find("<code>0</code>"), std::string::npos) << reply;
    ASSERT_EQ(client->SendAddressBookQuery("_qrylist"), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_ADDRESS_BOOK, &CWebServiceClient::WaitForAddressBookList));
    EXPECT_EQ(book.empties, 2);
    ASSERT_EQ(book.entries.size(), 2u);
    EXPECT_EQ(book.entries[0].firstName, "Bob");

    // The simulator kept the changes in its data file.
    const std::string data = ReadFile(s_data);
    EXPECT_NE(data.find("Cy%20&%20Co"), std::string::npos);
    EXPECT_EQ(data.find("ann@example.org"), std::string::npos);
}

TEST_F(WebService, SimulatorRefusesHostileRequests)
{
    const std::string before = ReadFile(s_data);
    CMXINet client("test_hostile");
    std::string reply;
    {
        Exchange exchange;
        EXPECT_EQ(exchange.Run(client, kSimHost, "POST", kServicePath, "msg=XYZ", reply), 200);
        EXPECT_NE(reply.find("<code>-2</code>"), std::string::npos);
    }
    {
        Exchange exchange;
        EXPECT_EQ(exchange.Run(client, kSimHost, "POST", kServicePath, "msg=" + std::string(20000, 'A'), reply), 413);
    }
    int status = 0;
    reply = WebServiceReply(MakeRequestData("_format", "1001", RequestTimeStamp()), status);
    EXPECT_NE(reply.find("<code>-4</code>"), std::string::npos);
    reply = WebServiceReply("action=_delAll&transId=12344&apiUserName=global&userId=404&timeStamp=1", status);
    EXPECT_NE(reply.find("<code>-1</code>"), std::string::npos);
    reply = WebServiceReply("action=_addent&transId=12344&apiUserName=global&userId=1001&data=<entry><name>"
                            "</entry>&timeStamp=1",
                            status);
    EXPECT_NE(reply.find("<code>-2</code>"), std::string::npos) << reply;
    EXPECT_EQ(ReadFile(s_data), before);
}

// The portal reads the link with the reader the simulator shares with the program's link builder.
TEST_F(WebService, PortalSignInChecksStampAndPage)
{
    CMXINet client("test_portal");
    auto get = [&client](const std::string& page, const std::string& user, const std::string& stamp, std::string& text,
                         const std::function<void(std::string&)>& spoil = {}) {
        std::string url;
        EXPECT_EQ(CPortalLink::Make(kSimHost, CPortalLink::Request{page, user, stamp}, url), 1);
        const std::string prefix = "http://" + kSimHost;
        EXPECT_EQ(url.rfind(prefix + kAutoLoginPath + "?msg=", 0), 0u) << url;
        std::string target = url.substr(prefix.size());
        if (spoil)
            spoil(target);
        Exchange exchange;
        return exchange.Run(client, kSimHost, "GET", target, "", text);
    };
    std::string page;
    EXPECT_EQ(get(CPortalLink::kSmsInbox, "1001", RequestTimeStamp(), page), 200);
    EXPECT_NE(page.find("<title>SMS Inbox</title>"), std::string::npos) << page;
    EXPECT_NE(page.find("4930555: Meet at eight &amp; bring &lt;cake&gt;"), std::string::npos) << page;
    EXPECT_EQ(get(CPortalLink::kMissedCalls, "1001", RequestTimeStamp(), page), 200);
    EXPECT_NE(page.find("4930777 at 2026-12-01 09:30"), std::string::npos) << page;
    EXPECT_EQ(get(CPortalLink::kNumberAssignment, "1001", RequestTimeStamp(), page), 200);
    EXPECT_NE(page.find("Your number: 4930111222"), std::string::npos) << page;
    EXPECT_EQ(get(CPortalLink::kFaxUpload, "2002", RequestTimeStamp(), page), 200);
    EXPECT_NE(page.find("type=\"file\""), std::string::npos) << page;

    // Eleven minutes old, a user the portal does not know, a page it does not have.
    const std::string stale = RequestTimeStamp(std::chrono::system_clock::now() - std::chrono::minutes(11));
    EXPECT_EQ(get(CPortalLink::kSmsInbox, "1001", stale, page), 403);
    EXPECT_NE(page.find("Portal error"), std::string::npos);
    EXPECT_NE(page.find("expired"), std::string::npos);
    EXPECT_EQ(get(CPortalLink::kSmsInbox, "1001&x", RequestTimeStamp(), page), 403);
    EXPECT_EQ(get("NoSuchBO", "1001", RequestTimeStamp(), page), 404);
    // A changed digit in the first block garbles "redirTo=": the link is not one.
    EXPECT_EQ(get(CPortalLink::kSmsInbox, "1001", RequestTimeStamp(), page,
                  [](std::string& target) {
                      char& digit = target[target.find("msg=") + 6];
                      digit = digit == '0' ? '1' : '0';
                  }),
              400);
    EXPECT_NE(page.find("The sign-in link is not valid."), std::string::npos) << page;
    // Cut short: no longer whole cipher blocks.
    EXPECT_EQ(get(CPortalLink::kSmsInbox, "1001", RequestTimeStamp(), page,
                  [](std::string& target) { target.resize(target.size() - 2); }),
              400);
}

TEST_F(WebService, ProgressNotificationsInOrder)
{
    CMXINet client("test_progress");
    Exchange exchange;
    std::string page;
    ASSERT_EQ(exchange.Run(client, kSimHost, "GET", "/", "", page), 200);
    std::vector<std::string> texts;
    for (const auto& [text, state] : exchange.notes) {
        texts.push_back(text);
        EXPECT_EQ(state, text == "Request complete" ? 2 : 1) << text;
    }
    const std::vector<std::string> expected = {"Connecting to server", "Connected to server", "Sending request",
                                               "Request sent",         "Receiving response",  "Receiving response",
                                               "Request complete"};
    EXPECT_EQ(texts, expected);
}

TEST_F(WebService, ServerThatNeverAnswersFailsItsRequestWithoutHoldingTheCaller)
{
    RawServer silent(
        "127.0.4.20", [](int) {}, true);
    ASSERT_EQ(silent.Start(), "");
    ASSERT_EQ(CMXINet::SetTimeouts(1500, 1500), 1);
    LogWatch log;
    auto client = MakeClient("127.0.4.20");
    const auto start = std::chrono::steady_clock::now();
    // The window makes its start-up request on its own thread: the connect must not hold it.
    EXPECT_EQ(client->OnReqBalance(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    ASSERT_TRUE(WaitFor([&] { return client->State(WEB_KIND_BALANCE) == 0; }, 10000));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1400));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_TRUE(log.Has("Error while getting balance"));
    EXPECT_TRUE(log.Has("The request has timed out. Try again"));
    CMXINet::SetTimeouts(30000, 30000);
}

TEST_F(WebService, NotFoundReplyEndsRequest)
{
    RawServer server("127.0.4.21", [](int fd) {
        RawServer::SendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
    });
    ASSERT_EQ(server.Start(), "");
    LogWatch log;
    auto client = MakeClient("127.0.4.21");
    ASSERT_EQ(client->OnReqBalance(), 1);
    ASSERT_TRUE(Complete(*client, WEB_KIND_BALANCE, &CWebServiceClient::GetBalance));
    EXPECT_TRUE(log.Has("Http Response code 404"));
    EXPECT_TRUE(log.Has("Requested page not found."));
    EXPECT_TRUE(client->Balance().empty());
}

TEST_F(WebService, ZeroByteReply)
{
    RawServer server("127.0.4.22", [](int fd) {
        RawServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    });
    ASSERT_EQ(server.Start(), "");
    LogWatch log;
    auto client = MakeClient("127.0.4.22");
    ASSERT_EQ(client->OnReqBalance(), 1);
    ASSERT_TRUE(WaitFor([&] { return client->State(WEB_KIND_BALANCE) == 2; }, 10000));
    CMXINet& inet = client->Client(WEB_KIND_BALANCE);
    EXPECT_EQ(inet.CheckForData(), 2);
    EXPECT_EQ(inet.GetResponseText(), "");
    int code = 0;
    EXPECT_EQ(inet.QueryStatusCode(code), 4);
    EXPECT_EQ(code, 200);
    client->GetBalance();
    EXPECT_EQ(client->State(WEB_KIND_BALANCE), 0);
    EXPECT_TRUE(log.Has("Invalid data received"));
}

TEST_F(WebService, CutConnectionsFailTheRequest)
{
    RawServer hangUp("127.0.4.23", [](int) {});
    RawServer halfBody("127.0.4.24", [](int fd) {
        RawServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n<result><transId>");
    });
    ASSERT_EQ(hangUp.Start(), "");
    ASSERT_EQ(halfBody.Start(), "");
    for (const char* address : {"127.0.4.23", "127.0.4.24"}) {
        LogWatch log;
        auto client = MakeClient(address);
        ASSERT_EQ(client->OnReqBalance(), 1);
        ASSERT_TRUE(WaitFor([&] { return client->State(WEB_KIND_BALANCE) == 0; }, 10000)) << address;
        EXPECT_TRUE(log.Has("Error while getting balance")) << address;
        EXPECT_TRUE(log.Has("The connection with the server has been terminated. Try again")) << address;
        EXPECT_EQ(client->Client(WEB_KIND_BALANCE).m_closed.load(), 1);
    }
}

TEST_F(WebService, OversizeReplyFailsTheRequest)
{
    RawServer huge("127.0.4.25", [](int fd) {
        const std::size_t size = CMXINet::kMaxReplyBytes + 1;
        RawServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n");
        const std::string chunk(1 << 20, 'x');
        for (std::size_t sent = 0; sent < size; sent += chunk.size()) {
            RawServer::SendAll(fd, chunk.substr(0, std::min(chunk.size(), size - sent)));
        }
    });
    ASSERT_EQ(huge.Start(), "");
    LogWatch log;
    auto client = MakeClient("127.0.4.25");
    ASSERT_EQ(client->OnReqBalance(), 1);
    ASSERT_TRUE(WaitFor([&] { return client->State(WEB_KIND_BALANCE) == 0; }, 20000));
    EXPECT_TRUE(log.Has("Error while getting balance"));
    EXPECT_TRUE(log.Has("An internal error has occurred. Try again"));
}

TEST_F(WebService, ProbeFourFailuresThenSuccess)
{
    auto client = MakeClient();
    auto probeOnce = [&](const std::string& site) {
        client->Probe().ClearProbeDone();
        if (client->PingSite(site) != 1) {
            return false;
        }
        return WaitFor([&] { return client->Probe().ProbeDone(); }, 10000);
    };
    // Nothing listens on port 80 there: the connection is refused at once.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(probeOnce("127.0.4.26")) << i;
    }
    EXPECT_EQ(client->Probe().Failures(), 4);
    ASSERT_TRUE(probeOnce(kSimHost));
    EXPECT_EQ(client->Probe().Failures(), 0);
    EXPECT_TRUE(client->Probe().NetworkAvailable());
    EXPECT_EQ(host.signOuts.load(), 0);
    EXPECT_FALSE(HasMessage(Drain(queue), WM_WEB_CLI_RECEIVED));
}

TEST_F(WebService, ProbeFiveFailuresDropCallAndSignOut)
{
    LogWatch log;
    auto client = MakeClient();
    host.inCall.store(true);
    for (int i = 0; i < 5; ++i) {
        client->Probe().ClearProbeDone();
        ASSERT_EQ(client->PingSite("127.0.4.26"), 1);
        ASSERT_TRUE(WaitFor([&] { return client->Probe().ProbeDone(); }, 10000));
        if (i < 4) {
            EXPECT_EQ(host.signOuts.load(), 0);
        }
    }
    EXPECT_EQ(host.hangUps.load(), 1);
    EXPECT_EQ(host.signOuts.load(), 1);
    EXPECT_FALSE(host.signedIn.load());
    EXPECT_FALSE(client->Probe().NetworkAvailable());
    EXPECT_EQ(client->Probe().Failures(), 0);
    EXPECT_TRUE(HasMessage(Drain(queue), WM_WEB_CLI_RECEIVED, 1));
    EXPECT_TRUE(log.Has("Error while pinging site"));
}

TEST_F(WebService, WorkerPassesRunTheirDuties)
{
    auto client = MakeClient();
    client->SetUserId("2002");
    host.signedIn.store(false);
    // Signed out: sixty passes send nothing.
    for (int pass = 1; pass <= 60; ++pass) {
        client->WorkerPass();
    }
    EXPECT_EQ(book.stores, 0);
    EXPECT_EQ(client->State(WEB_KIND_INBOX), 0);
    host.signedIn.store(true);
    // Passes 61..300: two address-book and inbox rounds, then the advertisements; a reply
    // is read on the passes after it became ready.
    for (int pass = 61; pass <= 320; ++pass) {
        client->WorkerPass();
        if (pass % 60 == 0 || pass == 300) {
            WaitFor(
                [&] {
                    return client->State(WEB_KIND_ADDRESS_BOOK) == 2 && client->State(WEB_KIND_INBOX) == 2 &&
                        (pass != 300 || client->State(WEB_KIND_ADS) == 2);
                },
                5000);
        }
    }
    EXPECT_GE(book.stores, 4);
    EXPECT_EQ(client->InboxCount(), 0);
    EXPECT_EQ(client->Ticker().Items().size(), 2u);
    EXPECT_EQ(client->State(WEB_KIND_ADDRESS_BOOK), 0);
    // While the address book is pending nothing is queried.
    const int stores = book.stores;
    CWebServiceClient::AddressBookPending().store(true);
    for (int pass = 321; pass <= 400; ++pass) {
        client->WorkerPass();
    }
    WaitFor([&] { return client->State(WEB_KIND_ADDRESS_BOOK) == 2; }, 500);
    EXPECT_EQ(client->State(WEB_KIND_ADDRESS_BOOK), 0);
    EXPECT_EQ(book.stores, stores);
}

TEST_F(WebService, ProbeRunsEveryTwentiethPassOutsideProxyMode)
{
    auto client = MakeClient();
    for (int pass = 1; pass <= 40; ++pass) {
        client->WorkerPass();
    }
    EXPECT_FALSE(client->Probe().ProbeDone());
    client->SetProxyMode(0);
    for (int pass = 1; pass <= 19; ++pass) {
        client->WorkerPass();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(client->Probe().ProbeDone());
    client->WorkerPass();
    ASSERT_TRUE(WaitFor([&] { return client->Probe().ProbeDone(); }, 10000));
    EXPECT_TRUE(client->Probe().NetworkAvailable());
}

// Runs the HTTP proxy of the system settings; fails loudly when it is not installed.
class ProxyProcess {
public:
    std::string Start(const fs::path& dir)
    {
        const char* binary = "/usr/bin/tinyproxy";
        if (access(binary, X_OK) != 0) {
            return "tinyproxy not found: install the Debian package tinyproxy";
        }
        m_log = dir / "tinyproxy.log";
        const fs::path conf = dir / "tinyproxy.conf";
        std::ofstream(conf) << "Port 8888\nListen 127.0.4.30\nTimeout 30\nMaxClients 10\nAllow 127.0.0.0/8\n"
                               "LogLevel Info\nLogFile \""
                            << m_log.string() << "\"\n";
        m_pid = fork();
        if (m_pid == 0) {
            execl(binary, binary, "-d", "-c", conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(8888);
            inet_pton(AF_INET, "127.0.4.30", &a.sin_addr);
            const bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
            close(fd);
            if (up) {
                return {};
            }
            usleep(50 * 1000);
        }
        return "tinyproxy did not answer on 127.0.4.30:8888";
    }
    ~ProxyProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    std::string Log() const { return ReadFile(m_log); }

private:
    pid_t m_pid = -1;
    fs::path m_log;
};

struct LayerReply {
    std::atomic<bool> done{false};
    std::atomic<zelora::inet::DWORD> error{0};
};

void LayerCallback(zelora::inet::HINTERNET, zelora::inet::DWORD_PTR context, zelora::inet::DWORD status, void* info,
                   zelora::inet::DWORD)
{
    auto* reply = reinterpret_cast<LayerReply*>(context);
    if (status == zelora::inet::INTERNET_STATUS_REQUEST_COMPLETE) {
        reply->error.store(static_cast<zelora::inet::INTERNET_ASYNC_RESULT*>(info)->dwError);
        reply->done.store(true);
    }
}

// One GET of the simulator's root through a session that takes the system proxy setting.
int GetThroughSystemProxy(const std::string& path)
{
    using namespace zelora::inet;
    HINTERNET session = InternetOpen("zeloraTALK", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    if (session == nullptr) {
        return -1;
    }
    InternetSetStatusCallback(session, &LayerCallback);
    LayerReply reply;
    const auto context = reinterpret_cast<DWORD_PTR>(&reply);
    HINTERNET connect =
        InternetConnect(session, kSimHost.c_str(), 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, context);
    HINTERNET request = HttpOpenRequest(connect, "GET", path.c_str(), nullptr, nullptr, nullptr, 0, context);
    HttpSendRequest(request, nullptr, 0, nullptr, 0);
    int code = -1;
    if (WaitFor([&] { return reply.done.load(); }, 10000) && reply.error.load() == 0) {
        char text[16];
        DWORD length = sizeof(text);
        if (HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE, text, &length, nullptr)) {
            code = std::atoi(text);
        }
    }
    InternetCloseHandle(session);
    return code;
}

TEST_F(WebService, SystemProxyCarriesRequestsUnlessBypassed)
{
    ProxyProcess proxy;
    const std::string error = proxy.Start(g_dir);
    ASSERT_TRUE(error.empty()) << error;
    setenv("http_proxy", "http://127.0.4.30:8888", 1);
    EXPECT_EQ(GetThroughSystemProxy("/via-proxy"), 404);
    setenv("no_proxy", kSimHost.c_str(), 1);
    EXPECT_EQ(GetThroughSystemProxy("/bypassing"), 404);
    unsetenv("no_proxy");
    unsetenv("http_proxy");
    ASSERT_TRUE(WaitFor([&] { return proxy.Log().find("/via-proxy") != std::string::npos; }, 3000)) << proxy.Log();
    EXPECT_EQ(proxy.Log().find("/bypassing"), std::string::npos);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::string pattern = (fs::temp_directory_path() / "zelora-web-XXXXXX").string();
    const char* dir = mkdtemp(pattern.data());
    if (dir == nullptr) {
        return 1;
    }
    g_dir = dir;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        fs::create_directories(g_dir / name);
        setenv(name, (g_dir / name).c_str(), 1);
    }
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    CLogger::SetLevel(LOG_INFO);
    if (CLogger::Open((g_dir / "web.log").string()) != 1) {
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    CLogger::Exit();
    fs::remove_all(g_dir);
    return result;
}

// Quitting while the service refuses connections: the failures of requests still in flight reach
// the client as it closes them, and must find every client in place.
TEST_F(WebService, ClientReleasedWhileItsRequestsFail)
{
    // The refusal arrives some tens of microseconds after the request: release the client at
    // every moment of that span.
    for (int round = 0; round < 300; ++round) {
        auto client = MakeClient("127.0.4.11");
        ASSERT_EQ(client->OnReqVersion(), 1);
        if (round % 100 == 0) {
            // Now and then one that is left to fail: the refusal brings the request back to idle.
            ASSERT_TRUE(WaitFor([&] { return client->State(WEB_KIND_VERSION) == 0; }, 5000)) << "round " << round;
        } else {
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(round % 150);
            while (std::chrono::steady_clock::now() < until) {
            }
        }
        client.reset();
    }
}
