#pragma once
// The XMPP side of the presence subsystem: one gloox client, three threads (connection
// and receive, command execution, keep-alive). The client is built by CXMPPClientBuilder;
// the commands are carried out by CXMPPRosterCommands, CXMPPMessageCommands and
// CXMPPServiceCommands. gloox is not thread-safe, so every call into the client is made
// under m_clientLock; the connection thread waits for data on the socket without it and
// holds it only around a recv() that does not wait. Callbacks run under it and only queue
// records.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "presence/xmpp/CXMPPClientBuilder.h"
#include "presence/xmpp/CXMPPMessageCommands.h"
#include "presence/xmpp/CXMPPServiceCommands.h"

class CFifo;
class CPresenceData;
class CChatMessage;
class CRosterItem;
class CRosterPresenceData;
class CVCard;
class CSearchContact;
class CIMDetails;
class CXMPPListener;
class CXMPPMUCRoomHandler;

namespace gloox {
class Client;
class ConnectionBase;
class VCardManager;
class Search;
class JID;
class Tag;
} // namespace gloox

class CXMPPHandler final : public IXmppSide {
public:
    static constexpr int kRecvTimeoutUs = 100000;
    static constexpr int kCommandPollMs = 100;
    static constexpr int kDisconnectedPollMs = 2000;
    static constexpr int kReconnectDelayMs = 10000;
    static constexpr int kPingEveryTicks = 60;

    CXMPPHandler(CFifo& xmppFifo, CFifo& guiFifo);
    ~CXMPPHandler() override;
    CXMPPHandler(const CXMPPHandler&) = delete;
    CXMPPHandler& operator=(const CXMPPHandler&) = delete;

    void SetEndpoint(const XmppEndpoint& endpoint) override { m_endpoint = endpoint; }
    void SetReconnectDelay(int milliseconds) override { m_reconnectDelayMs = milliseconds; }

    int Init(const std::string& userId, const std::string& password, const std::string& domain,
             const std::string& resource, int useProxy, const std::string& proxyHost, int proxyPort) override;
    int InitGlooxConnection();
    int ResetGlooxConnection();
    void WriteToGuiFIFO(std::int32_t command, CPresenceData* data);
    void Disconnect() override;
    bool IsSignedIn() const override { return m_signedIn.load() == 1; }
    int ReconnectCount() const override { return m_reconnects.load(); }

    // Callbacks (connection thread, client lock held).
    void HandleLoginSuccessfull();
    void HandleConnectionError(int error);
    void HandleRoster();
    void HandleRosterPresence(CRosterPresenceData* data);
    void HandleRosterItemEvent(std::int32_t command, const gloox::JID& jid);
    void HandleSubscriptionRequest(std::int32_t command, const gloox::JID& jid, const std::string& text);
    void HandleMessage(CChatMessage* message);
    void HandleNonRosterPresence(CPresenceData* data);
    void HandleVCardResults(const gloox::JID& jid, CVCard* card);
    void HandleVCardStoreResults(int failed);
    void HandleSearchResults(CPresenceData* result);
    void HandleSearchError();
    void HandleDiscoItemsResult(const gloox::Tag* query);
    void HandleMUCInvitation(CPresenceData* detail);

    // A gateway registration's answer (context: CXMPPServiceCommands::kRegisterContext + IM type).
    void HandleIMRegistration(int context, bool registered);

    std::string GetSearchServer() const { return m_serviceCommands.GetSearchServer(); }
    std::string GetIMServer(const std::string& name) const { return m_serviceCommands.GetIMServer(name); }

private:
    void ThreadProc1();
    void ThreadProc2();
    void ThreadProc3();
    bool SleepUnlessStopped(int milliseconds, const std::atomic<int>& stop);
    // The client lock for threads other than the connection thread, which steps aside for
    // them between two receive calls (a plain mutex would let it take the lock straight back).
    std::unique_lock<std::mutex> LockClient();
    void Dispatch(std::int32_t command, CPresenceData*& data);

    void DispatchRecord(std::int32_t command, CPresenceData& data);
    void RequestDiscoItems();

    CFifo& m_xmppFifo;
    CFifo& m_guiFifo;
    XmppEndpoint m_endpoint;
    int m_reconnectDelayMs = kReconnectDelayMs;

    std::mutex m_clientLock;
    std::atomic<int> m_lockWaiters{0};
    std::unique_ptr<gloox::Client> m_client;
    gloox::ConnectionBase* m_transport = nullptr; // the TCP connection under the proxy (the client's)
    std::unique_ptr<CXMPPListener> m_listener;
    std::unique_ptr<CXMPPMUCRoomHandler> m_mucHandler;
    std::unique_ptr<gloox::Search> m_search;
    std::unique_ptr<gloox::VCardManager> m_vcardManager;
    CXMPPServiceCommands m_serviceCommands;
    // Its slots are emptied when the client (which owns the sessions) goes.
    CXMPPMessageCommands m_messageCommands;

    std::thread m_threads[3];
    std::atomic<int> m_stop[3] = {0, 0, 0};
    std::atomic<int> m_done[3] = {1, 1, 1};
    std::atomic<int> m_signedIn{0};
    std::atomic<int> m_reconnect{0};
    std::atomic<int> m_reconnects{0};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;

    std::string m_userId, m_domain, m_ownJid;
    XmppLogin m_login;
};
