#pragma once
// The main window's web traffic: one HTTP client object and one request state per kind,
// the notification functions (background thread), the reply readers (worker thread), the
// connectivity probe and the advertisement ticker.
//
// How the main window drives it:
//  - OnSignedIn() once per sign-in, after loading the local address book (not at a
//    re-registration): "_initaddbk" while the address book is pending, else "_qrylist";
//  - WorkerPass() once per pass of its 1 s worker thread: replies of every kind, the probe
//    every 20th pass (not while SetProxyMode(non-zero)), address-book and inbox queries every
//    60th, advertisements every 300th;
//  - OnReqVersion() once when the window is created;
//  - its own messages (WebMessages.h) 0x419, 0x41E, 0x41F and 0x420, posted at sign-in for
//    what it does not show yet, call OnReqBalance, OnReqVoipNumber, OnAdsRequest and OnReqCLI;
//    the client posts 0x421, 0x422, 0x423 and 0x424 to the main queue to have the window show
//    VoipNumber/UserId, Balance/SmsBalance, CallerId (or the signed-out look) and the new-SMS
//    notice.
#include "web/CConnectivityProbe.h"
#include "web/CMXINet.h"
#include "web/CMXXMLParser.h"
#include "web/CScrollLink.h"
#include "web/IAddressBookStore.h"
#include "web/IWebServiceHost.h"

#include "platform/MessageQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct DeploymentValues;

struct WebEndpoints {
    std::string serviceHost;
    unsigned servicePort = 80;
    std::string adsHost;
    unsigned adsPort = 80;
    std::string probeSite;
    unsigned probePort = 80;
    std::string homePage;
    // Worker passes (one a second) between the address-book and inbox queries.
    unsigned queryPasses = 60;

    // Web-service, advertisement and probe hosts and the home page of the deployment.
    static WebEndpoints FromDeployment(const DeploymentValues& values);
};

enum WebRequestKind {
    WEB_KIND_BALANCE,
    WEB_KIND_PING,
    WEB_KIND_ADDRESS_BOOK,
    WEB_KIND_INBOX,
    WEB_KIND_VERSION,
    WEB_KIND_VOIP_NUMBER,
    WEB_KIND_ADS,
    WEB_KIND_CLI,
    WEB_KIND_COUNT
};

class CWebServiceClient {
public:
    // Request states.
    static constexpr int kIdle = 0;
    static constexpr int kSent = 1;
    static constexpr int kReplyReady = 2;

    CWebServiceClient(WebEndpoints endpoints, IWebServiceHost* host, zelora::MessageQueue* mainQueue,
                      IAddressBookStore* store);
    ~CWebServiceClient();
    CWebServiceClient(const CWebServiceClient&) = delete;
    CWebServiceClient& operator=(const CWebServiceClient&) = delete;

    static const char* EventName(WebRequestKind kind);

    void SetUserId(const std::string& userId);
    void SetProxyMode(int proxyMode) { m_proxyMode.store(proxyMode); }

    // One enciphered request of the web API on `client`; 1 handed over, -1 otherwise.
    int INetRequest(CMXINet& client, INetStatusCallback notify, const std::string& plain);

    // On-demand requests; each sets its state to 1 first. 1 sent, -1 not.
    int OnReqBalance();
    int OnReqVoipNumber();
    int OnReqCLI();
    int OnReqVersion();
    int OnAdsRequest();
    // "_initaddbk" or "_qrylist"; "_qrysms". The state is left as it is; 0 again on failure.
    int SendAddressBookQuery(const std::string& action);
    int SendInboxQuery();

    void OnSignedIn();
    void WorkerPass();

    // Connectivity probe and advertisements.
    int PingSite(const std::string& host);
    int INetAdsRequest();

    // Notification functions (context: the CWebServiceClient).
    static void INetBalanceStatus(std::string text, int state, void* context);
    static void INetVersionStatus(std::string text, int state, void* context);
    static void INetVoipNumberStatus(std::string text, int state, void* context);
    static void INetCLIStatus(std::string text, int state, void* context);
    static void INetAddressBookQueryStatus(std::string text, int state, void* context);
    static void INetInboxQueryStatus(std::string text, int state, void* context);
    static void INetAdsRequestStatus(std::string text, int state, void* context);
    static void INetPingStatus(std::string text, int state, void* context);

    // Reply readers (worker thread), each run while its state is 2.
    void GetBalance();
    void GetVersion();
    void GetVoipNumber();
    void GetCLI();
    void WaitForAddressBookList();
    void WaitForInboxData();
    void GetAdsData();

    int State(WebRequestKind kind) const { return m_state[kind].load(); }
    void SetState(WebRequestKind kind, int state) { m_state[kind].store(state); }
    CMXINet& Client(WebRequestKind kind) { return *m_client[kind]; }

    std::string Balance() const;
    std::string SmsBalance() const;
    std::string VoipNumber() const;
    std::string CallerId() const;
    std::string LatestVersion() const;
    std::string DownloadLink() const;
    int InboxCount() const { return m_inboxCount.load(); }

    // Process-wide: the user ID known to the server, and the address-book-pending flag
    // (set at start and by loading when the local book has no live entry; a processed reply
    // clears it).
    static std::string ServerUserId();
    static std::atomic<bool>& AddressBookPending();

    CScrollLink& Ticker() { return m_ticker; }
    CConnectivityProbe& Probe() { return m_probe; }

private:
    // 0 not complete yet; 1 a valid reply with a code >= 0 is in `parser`; -1 failed (finished).
    int ReadReply(WebRequestKind kind, CMXXMLParser& parser, const char* method, const char* serverError);
    void Finish(WebRequestKind kind);
    void RunReader(WebRequestKind kind, const char* method, const char* serverError, const char* success,
                   const std::function<void(const CMXXMLParser&)>& apply);
    // Connection, the two headers, the send; each failing step logged with its text. 1 or -1.
    int OpenAndSend(CMXINet& client, INetStatusCallback notify, const std::string& host, unsigned port,
                    const char* verb, const char* path, unsigned flags, const std::string& body, const char* method);
    static void OnStatus(WebRequestKind kind, const char* method, const char* failure, const std::string& text,
                         int state, void* context);
    void OnProbeFailure();
    std::string UserId() const;

    WebEndpoints m_endpoints;
    IWebServiceHost* m_host;
    zelora::MessageQueue* m_mainQueue;
    IAddressBookStore* m_store;
    std::unique_ptr<CMXINet> m_client[WEB_KIND_COUNT];
    std::atomic<int> m_state[WEB_KIND_COUNT];
    std::atomic<int> m_proxyMode{0};
    std::atomic<int> m_inboxCount{0};
    unsigned m_pass = 0;
    unsigned m_probePass = 0;

    mutable std::mutex m_dataLock;
    std::string m_userId;
    std::string m_balance;
    std::string m_smsBalance;
    std::string m_voipNumber;
    std::string m_callerId;
    std::string m_latestVersion;
    std::string m_downloadLink;

    CScrollLink m_ticker;
    CConnectivityProbe m_probe;
};
