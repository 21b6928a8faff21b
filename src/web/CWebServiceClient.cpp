#include "web/CWebServiceClient.h"

#include "app/CLogger.h"
#include "app/Deployment.h"
#include "web/WebApi.h"
#include "web/WebMessages.h"

#include <cstdio>
#include <cstdlib>

using namespace zelora::web;

namespace {

std::mutex g_serverUserIdLock;
std::string g_serverUserId;

} // namespace

WebEndpoints WebEndpoints::FromDeployment(const DeploymentValues& values)
{
    WebEndpoints endpoints;
    endpoints.serviceHost = values.webServiceHost;
    endpoints.adsHost = values.adsHost;
    endpoints.probeSite = values.probeSite;
    endpoints.homePage = values.homePage;
    endpoints.queryPasses = static_cast<unsigned>(values.webQueryInterval);
    return endpoints;
}

CWebServiceClient::CWebServiceClient(WebEndpoints endpoints, IWebServiceHost* host, zelora::MessageQueue* mainQueue,
                                     IAddressBookStore* store)
    : m_endpoints(std::move(endpoints)), m_host(host), m_mainQueue(mainQueue), m_store(store)
{
    ZLOG_SCOPE();
    for (int kind = 0; kind < WEB_KIND_COUNT; ++kind) {
        m_client[kind] = std::make_unique<CMXINet>(EventName(static_cast<WebRequestKind>(kind)));
        m_state[kind].store(kIdle);
    }
}

CWebServiceClient::~CWebServiceClient()
{
    ZLOG_SCOPE();
    m_ticker.StopScrolling();
    // A request failing while its client closes reports to OnStatus, which needs the client still
    // in place: close them all first, release them after.
    for (auto& client : m_client) {
        client->Close();
    }
    for (auto& client : m_client) {
        client.reset();
    }
}

const char* CWebServiceClient::EventName(WebRequestKind kind)
{
    switch (kind) {
    case WEB_KIND_BALANCE:
        return "zeloraTALK_Main";
    case WEB_KIND_PING:
        return "zeloraTALK_MainPing";
    case WEB_KIND_ADDRESS_BOOK:
        return "zeloraTALK_AddressBookQuery";
    case WEB_KIND_INBOX:
        return "zeloraTALK_InboxQuery";
    case WEB_KIND_VERSION:
        return "zeloraTALK_VersionQuery";
    case WEB_KIND_VOIP_NUMBER:
        return "zeloraTALK_VoipNumberQuery";
    case WEB_KIND_ADS:
        return "zeloraTALK_AdsRequestQuery";
    case WEB_KIND_CLI:
        return "zeloraTALK_CLIQuery";
    default:
        return "zeloraTALK_Unknown";
    }
}

void CWebServiceClient::SetUserId(const std::string& userId)
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    m_userId = userId.substr(0, 255);
}

std::string CWebServiceClient::UserId() const
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    return m_userId;
}

std::string CWebServiceClient::Balance() const
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    return m_balance;
}

std::string CWebServiceClient::SmsBalance() const
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    return m_smsBalance;
}

std::string CWebServiceClient::VoipNumber() const
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    return m_voipNumber;
}

std::string CWebServiceClient::CallerId() const
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    return m_callerId;
}

std::string CWebServiceClient::LatestVersion() const
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    return m_latestVersion;
}

std::string CWebServiceClient::DownloadLink() const
{
    std::lock_guard<std::mutex> lock(m_dataLock);
    return m_downloadLink;
}

std::string CWebServiceClient::ServerUserId()
{
    std::lock_guard<std::mutex> lock(g_serverUserIdLock);
    return g_serverUserId;
}

std::atomic<bool>& CWebServiceClient::AddressBookPending()
{
    // Nothing has been synchronised before the first book is loaded or received.
    static std::atomic<bool> pending{true};
    return pending;
}

int CWebServiceClient::INetRequest(CMXINet& client, INetStatusCallback notify, const std::string& plain)
{
    ZLOG_SCOPE();
    client.m_closed.store(0);
    // A text that cannot fit the body is refused before anything goes out.
    std::string body;
    if (MakeRequestBody(plain, body) != 1) {
        ZLOG(LOG_ERROR, "Unable to encrypt data");
        return -1;
    }
    return OpenAndSend(client, notify, m_endpoints.serviceHost, m_endpoints.servicePort, kServiceVerb, kServicePath,
                       kFormsSubmitFlag, body, ZLOG_METHOD);
}

int CWebServiceClient::OnReqBalance()
{
    ZLOG_SCOPE();
    m_state[WEB_KIND_BALANCE].store(kSent);
    return INetRequest(*m_client[WEB_KIND_BALANCE], &CWebServiceClient::INetBalanceStatus,
                       MakeRequestData("_getbal", UserId(), RequestTimeStamp()));
}

int CWebServiceClient::OnReqVoipNumber()
{
    ZLOG_SCOPE();
    m_state[WEB_KIND_VOIP_NUMBER].store(kSent);
    return INetRequest(*m_client[WEB_KIND_VOIP_NUMBER], &CWebServiceClient::INetVoipNumberStatus,
                       MakeRequestData("_getlvl3", UserId(), RequestTimeStamp()));
}

int CWebServiceClient::OnReqCLI()
{
    ZLOG_SCOPE();
    m_state[WEB_KIND_CLI].store(kSent);
    return INetRequest(*m_client[WEB_KIND_CLI], &CWebServiceClient::INetCLIStatus,
                       MakeRequestData("_getlvl3", UserId(), RequestTimeStamp()));
}

int CWebServiceClient::OnReqVersion()
{
    ZLOG_SCOPE();
    m_state[WEB_KIND_VERSION].store(kSent);
    return INetRequest(*m_client[WEB_KIND_VERSION], &CWebServiceClient::INetVersionStatus,
                       MakeRequestData("_getver", UserId(), RequestTimeStamp()));
}

int CWebServiceClient::OnAdsRequest()
{
    ZLOG_SCOPE();
    m_state[WEB_KIND_ADS].store(kSent);
    int result = INetAdsRequest();
    if (result != 1) {
        m_state[WEB_KIND_ADS].store(kIdle);
    }
    return result;
}

int CWebServiceClient::SendAddressBookQuery(const std::string& action)
{
    ZLOG_SCOPE();
    const std::string lastCheck = m_store != nullptr ? m_store->LastCheckTimestamp() : std::string();
    int result = INetRequest(*m_client[WEB_KIND_ADDRESS_BOOK], &CWebServiceClient::INetAddressBookQueryStatus,
                             MakeRequestData(action, UserId(), RequestTimeStamp(), lastCheck));
    if (result != 1) {
        m_state[WEB_KIND_ADDRESS_BOOK].store(kIdle);
    }
    return result;
}

int CWebServiceClient::SendInboxQuery()
{
    ZLOG_SCOPE();
    int result = INetRequest(*m_client[WEB_KIND_INBOX], &CWebServiceClient::INetInboxQueryStatus,
                             MakeRequestData("_qrysms", UserId(), RequestTimeStamp()));
    if (result != 1) {
        m_state[WEB_KIND_INBOX].store(kIdle);
    }
    return result;
}

void CWebServiceClient::OnSignedIn()
{
    ZLOG_SCOPE();
    // An empty local book asks for the whole book once; a book that has been synchronised
    // only asks for what changed since. Balance, VoIP number and ads are the window's to ask:
    // it knows which of them it already shows.
    if (m_state[WEB_KIND_ADDRESS_BOOK].load() == kIdle) {
        m_state[WEB_KIND_ADDRESS_BOOK].store(kSent);
        SendAddressBookQuery(AddressBookPending().load() ? "_initaddbk" : "_qrylist");
    }
    if (m_state[WEB_KIND_INBOX].load() == kIdle) {
        SendInboxQuery();
    }
}

void CWebServiceClient::WorkerPass()
{
    ZLOG_SCOPE();
    const char* method = ZLOG_METHOD;
    if (m_state[WEB_KIND_BALANCE].load() == kReplyReady) {
        GetBalance();
    }
    if (m_state[WEB_KIND_VERSION].load() == kReplyReady) {
        GetVersion();
    }
    if (m_state[WEB_KIND_VOIP_NUMBER].load() == kReplyReady) {
        GetVoipNumber();
    }
    if (m_state[WEB_KIND_ADS].load() == kReplyReady) {
        GetAdsData();
    }
    if (m_state[WEB_KIND_CLI].load() == kReplyReady) {
        GetCLI();
    }
    if (m_proxyMode.load() == 0 && ++m_probePass % 20 == 0) {
        PingSite(m_endpoints.probeSite);
    }
    ++m_pass;
    const bool signedIn = m_host != nullptr && m_host->IsSignedIn();
    if (m_pass % m_endpoints.queryPasses == 0) {
        ZLOG_AS(LOG_INFO, method, "Address Book Query time");
        if (signedIn && m_state[WEB_KIND_ADDRESS_BOOK].load() == kIdle && !AddressBookPending().load()) {
            SendAddressBookQuery("_qrylist");
        }
        ZLOG_AS(LOG_INFO, method, "Query finished");
        if (signedIn && m_state[WEB_KIND_INBOX].load() == kIdle) {
            SendInboxQuery();
        }
    }
    if (m_pass % 300 == 0) {
        ZLOG_AS(LOG_INFO, method, "Ads Check Timer");
        if (signedIn && m_state[WEB_KIND_ADS].load() == kIdle) {
            OnAdsRequest();
        }
    }
    if (m_state[WEB_KIND_INBOX].load() == kReplyReady) {
        WaitForInboxData();
    }
    if (m_state[WEB_KIND_ADDRESS_BOOK].load() == kReplyReady) {
        ZLOG_AS(LOG_INFO, method, "WaitForAddressBookList");
        WaitForAddressBookList();
        ZLOG_AS(LOG_INFO, method, "WaitForAddressBookList finished");
    }
}

void CWebServiceClient::OnStatus(WebRequestKind kind, const char* method, const char* failure, const std::string& text,
                                 int state, void* context)
{
    auto* self = static_cast<CWebServiceClient*>(context);
    if (self == nullptr) {
        return;
    }
    if (state == INET_STATE_FAILED) {
        ZLOG_AS(LOG_ERROR, method, "%s", failure);
        ZLOG_AS(LOG_INFO, method, "%s", text.c_str());
        self->m_client[kind]->ClosedByINet();
        self->m_state[kind].store(kIdle);
    } else if (state == INET_STATE_COMPLETE) {
        self->m_state[kind].store(kReplyReady);
    }
}

void CWebServiceClient::INetBalanceStatus(std::string text, int state, void* context)
{
    OnStatus(WEB_KIND_BALANCE, "INetBalanceStatus", "Error while getting balance", text, state, context);
}

void CWebServiceClient::INetVersionStatus(std::string text, int state, void* context)
{
    OnStatus(WEB_KIND_VERSION, "INetVersionStatus", "Error while getting version", text, state, context);
}

void CWebServiceClient::INetVoipNumberStatus(std::string text, int state, void* context)
{
    OnStatus(WEB_KIND_VOIP_NUMBER, "INetVoipNumberStatus", "Error while getting voip number", text, state, context);
}

void CWebServiceClient::INetCLIStatus(std::string text, int state, void* context)
{
    OnStatus(WEB_KIND_CLI, "INetCLIStatus", "Error while getting voip number", text, state, context);
}

void CWebServiceClient::INetAddressBookQueryStatus(std::string text, int state, void* context)
{
    OnStatus(WEB_KIND_ADDRESS_BOOK, "INetAddressBookQueryStatus", "Error while getting address book", text, state,
             context);
}

void CWebServiceClient::INetInboxQueryStatus(std::string text, int state, void* context)
{
    OnStatus(WEB_KIND_INBOX, "INetInboxQueryStatus", "Error while getting inbox", text, state, context);
}

void CWebServiceClient::INetAdsRequestStatus(std::string text, int state, void* context)
{
    OnStatus(WEB_KIND_ADS, "INetAdsRequestStatus", "Error while getting ads", text, state, context);
}

void CWebServiceClient::Finish(WebRequestKind kind)
{
    m_client[kind]->Close();
    m_state[kind].store(kIdle);
}

int CWebServiceClient::ReadReply(WebRequestKind kind, CMXXMLParser& parser, const char* method, const char* serverError)
{
    CMXINet& client = *m_client[kind];
    if (client.CheckForData() == 1) {
        return 0;
    }
    int code = 0;
    if (client.QueryStatusCode(code) != 4 || code != 200) {
        ZLOG_AS(LOG_ERROR, method, "Http Response code %d", code);
        ZLOG_AS(LOG_ERROR, method, "%s", code == 404 ? "Requested page not found." : "Internet request error.");
        Finish(kind);
        return -1;
    }
    if (parser.ParseXMLData(client.GetResponseText()) < 0) {
        ZLOG_AS(LOG_ERROR, method, "Invalid data received");
        Finish(kind);
        return -1;
    }
    if (parser.CodeValue() < 0) {
        ZLOG_AS(LOG_ERROR, method, "%s", serverError);
        Finish(kind);
        return -1;
    }
    return 1;
}

void CWebServiceClient::RunReader(WebRequestKind kind, const char* method, const char* serverError, const char* success,
                                  const std::function<void(const CMXXMLParser&)>& apply)
{
    CMXXMLParser parser(m_store);
    if (ReadReply(kind, parser, method, serverError) != 1) {
        return;
    }
    // The parser holds everything now; the connection is released before acting, since
    // acting may wait for the user.
    Finish(kind);
    apply(parser);
    if (success != nullptr) {
        ZLOG_AS(LOG_INFO, method, "%s", success);
    }
}

void CWebServiceClient::GetBalance()
{
    ZLOG_SCOPE();
    RunReader(WEB_KIND_BALANCE, "CzeloraTALKDlg::GetBalance", "Error ouccured at server", "Balance Received",
              [this](const CMXXMLParser& parser) {
                  {
                      std::lock_guard<std::mutex> lock(m_dataLock);
                      m_balance = parser.Balance();
                      m_smsBalance = parser.SmsBalance();
                  }
                  zelora::PostMessage(m_mainQueue, WM_WEB_BALANCE_RECEIVED, 0, 0);
              });
}

void CWebServiceClient::GetVersion()
{
    ZLOG_SCOPE();
    RunReader(WEB_KIND_VERSION, "CzeloraTALKDlg::GetVersion", "Error ouccured at server", "Version Received",
              [this](const CMXXMLParser& parser) {
                  {
                      std::lock_guard<std::mutex> lock(m_dataLock);
                      m_latestVersion = parser.VersionNumber();
                      m_downloadLink = parser.DownloadLink();
                  }
                  if (IsNewerVersion(parser.VersionNumber()) && m_host != nullptr &&
                      m_host->AskYesNo(kNewVersionQuestion)) {
                      m_host->OpenUrl(parser.DownloadLink());
                  }
              });
}

void CWebServiceClient::GetVoipNumber()
{
    ZLOG_SCOPE();
    RunReader(WEB_KIND_VOIP_NUMBER, "CzeloraTALKDlg::GetVoipNumber", "Error occured at server", "Voip Number Received",
              [this](const CMXXMLParser& parser) {
                  {
                      std::lock_guard<std::mutex> lock(m_dataLock);
                      m_voipNumber = parser.VoipNumber();
                  }
                  {
                      std::lock_guard<std::mutex> lock(g_serverUserIdLock);
                      g_serverUserId = parser.UserId();
                  }
                  zelora::PostMessage(m_mainQueue, WM_WEB_VOIP_NUMBER_RECEIVED, 0, 0);
              });
}

void CWebServiceClient::GetCLI()
{
    ZLOG_SCOPE();
    RunReader(WEB_KIND_CLI, "CzeloraTALKDlg::GetCLI", "Error occured at server", "CLI Received",
              [this](const CMXXMLParser& parser) {
                  {
                      std::lock_guard<std::mutex> lock(m_dataLock);
                      m_callerId = parser.VoipNumber();
                  }
                  zelora::PostMessage(m_mainQueue, WM_WEB_CLI_RECEIVED, 0, 0);
              });
}

void CWebServiceClient::WaitForAddressBookList()
{
    ZLOG_SCOPE();
    // The changes were applied by the parser while it read the reply.
    RunReader(WEB_KIND_ADDRESS_BOOK, "CzeloraTALKDlg::WaitForAddressBookList", "Error ouccured at server",
              "Address book received", [](const CMXXMLParser&) { AddressBookPending().store(false); });
}

void CWebServiceClient::WaitForInboxData()
{
    ZLOG_SCOPE();
    RunReader(WEB_KIND_INBOX, "CzeloraTALKDlg::WaitForInboxData", "Error ouccured at server", nullptr,
              [this](const CMXXMLParser& parser) {
                  const int count = std::atoi(parser.Balance().c_str());
                  if (count != m_inboxCount.load()) {
                      m_inboxCount.store(count);
                      if (count > 0 && m_mainQueue != nullptr) {
                          char notice[64];
                          std::snprintf(notice, sizeof(notice), "You have %d new SMS", count);
                          m_mainQueue->Post(WM_WEB_NEW_SMS, count, 0, notice);
                      }
                  }
                  ZLOG(LOG_INFO, "Inbox contains %d sms", count);
              });
}

int CWebServiceClient::OpenAndSend(CMXINet& client, INetStatusCallback notify, const std::string& host, unsigned port,
                                   const char* verb, const char* path, unsigned flags, const std::string& body,
                                   const char* method)
{
    client.m_closed.store(0);
    if (client.MakeHttpConnection(notify, this, host, port, verb, path, "*/*", flags) != 1) {
        ZLOG_AS(LOG_ERROR, method, "Unable to make http connection");
        return -1;
    }
    if (client.AddRequestHeaders(kAcceptHeader, zelora::inet::HTTP_ADDREQ_FLAG_REPLACE) != 1 ||
        client.AddRequestHeaders(kContentTypeHeader, zelora::inet::HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 1) {
        ZLOG_AS(LOG_ERROR, method, "Unable to add request headers");
        return -1;
    }
    if (client.SendRequest(body.data(), body.size()) != 1) {
        ZLOG_AS(LOG_ERROR, method, "Unable to send request");
        return -1;
    }
    return 1;
}

int CWebServiceClient::PingSite(const std::string& host)
{
    ZLOG_SCOPE();
    return OpenAndSend(*m_client[WEB_KIND_PING], &CWebServiceClient::INetPingStatus, host, m_endpoints.probePort, "GET",
                       "", 0, std::string(), "CzeloraTALKDlg::PingSite");
}

void CWebServiceClient::INetPingStatus(std::string text, int state, void* context)
{
    auto* self = static_cast<CWebServiceClient*>(context);
    if (self == nullptr || state == INET_STATE_PROGRESS) {
        return;
    }
    ZLOG_SCOPE();
    CMXINet& client = *self->m_client[WEB_KIND_PING];
    bool success = false;
    if (state == INET_STATE_FAILED) {
        ZLOG(LOG_ERROR, "Error while pinging site");
        ZLOG(LOG_INFO, "%s", text.c_str());
    } else {
        int code = 0;
        if (client.QueryStatusCode(code) == 4 && code == 200) {
            success = true;
        } else {
            ZLOG(LOG_ERROR, "%s", code == 404 ? "Requested page not found." : "Internet request error.");
        }
    }
    // The probe needs nothing more from this connection.
    client.ClosedByINet();
    if (self->m_probe.RecordResult(success)) {
        self->OnProbeFailure();
    }
}

void CWebServiceClient::OnProbeFailure()
{
    ZLOG_SCOPE();
    if (m_host != nullptr) {
        if (m_host->IsCallInProgress() && m_host->IsSignedIn()) {
            m_host->HangUpCall();
        }
        m_host->SetSignedOut();
    }
    zelora::PostMessage(m_mainQueue, WM_WEB_CLI_RECEIVED, 1, 0);
}

int CWebServiceClient::INetAdsRequest()
{
    ZLOG_SCOPE();
    return OpenAndSend(*m_client[WEB_KIND_ADS], &CWebServiceClient::INetAdsRequestStatus, m_endpoints.adsHost,
                       m_endpoints.adsPort, "POST", kAdsPath, 0, std::string(), "CzeloraTALKDlg::INetAdsRequest");
}

void CWebServiceClient::GetAdsData()
{
    ZLOG_SCOPE();
    CMXINet& client = *m_client[WEB_KIND_ADS];
    if (client.CheckForData() == 1) {
        return;
    }
    int code = 0;
    if (client.QueryStatusCode(code) != 4 || code != 200) {
        ZLOG(LOG_ERROR, "Http Response code %d", code);
        ZLOG(LOG_ERROR, "%s", code == 404 ? "Requested page not found." : "Internet request error.");
        Finish(WEB_KIND_ADS);
        return;
    }
    CMXXMLParser parser;
    parser.ParseXMLAdsData(client.GetResponseText());
    if (!parser.AdsItems().empty()) {
        m_ticker.ClearScrollText();
    }
    for (const auto& [text, link] : parser.AdsItems()) {
        m_ticker.AddScrollText(text, link.empty() ? m_endpoints.homePage : link);
    }
    parser.ClearAdsItems();
    m_ticker.StartScrolling();
    ZLOG(LOG_INFO, "Ads Data Received Received");
    Finish(WEB_KIND_ADS);
}
