#pragma once
// The user agent: osip2 state machines, dialogs, registrations, credentials and the worker
// that drives them. The eXosip_* entry points forward to the one process-wide instance.
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/sip/CMessageIntake.h"
#include "session/sip/CRequestScreen.h"
#include "session/sip/CSipCalls.h"
#include "session/sip/CSipCredentials.h"
#include "session/sip/CSipEventQueue.h"
#include "session/sip/CSipMessageFactory.h"
#include "session/sip/CSipRegistrations.h"
#include "session/sip/CUdpTransport.h"
#include "session/sip/OsipPtr.h"
#include "session/sip/eXosip.h"

namespace zelora {

class CSipUserAgent {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kMaxAuthRetries = 3;
    static constexpr size_t kMaxCredentialText = 255;
    static constexpr std::chrono::seconds kNoAnswerTimeout{180};
    static constexpr std::chrono::milliseconds kAckTimeout{64 * DEFAULT_T1};
    // Housekeeping's pace during a call, and the longest idle wait.
    static constexpr long long kBusyHousekeepingMs = 100;
    static constexpr long long kIdleWaitMs = 60000;

    CSipUserAgent();
    ~CSipUserAgent();
    CSipUserAgent(const CSipUserAgent&) = delete;
    CSipUserAgent& operator=(const CSipUserAgent&) = delete;

    // Process-wide instance (null before eXosip_init and after eXosip_quit).
    static CSipUserAgent* Instance();
    static int Create();
    static void Destroy();
    // osip2's trace (levels below `level`) into the process logger.
    static void RouteTraceToLogger(int level);

    int ListenAddr(int transport, const char* addr, int port, int family);
    void SetUserAgent(const char* text);
    int Lock();
    int Unlock();
    eXosip_event_t* EventWait(int seconds, int milliseconds);
    void InterruptEventWait() { m_events.Interrupt(); }
    int DefaultAction(eXosip_event_t* event);

    int ClearAuthenticationInfo();
    int AddAuthenticationInfo(const char* username, const char* userid, const char* passwd, const char* ha1,
                              const char* realm);

    int RegisterBuildInitialRegister(const char* from, const char* proxy, const char* contact, int expires,
                                     osip_message_t** reg);
    int RegisterSendRegister(int rid, osip_message_t* reg);

    int CallBuildInitialInvite(osip_message_t** invite, const char* to, const char* from, const char* route,
                               const char* subject);
    int CallSendInitialInvite(osip_message_t* invite);
    int CallBuildAnswer(int tid, int status, osip_message_t** answer);
    int CallSendAnswer(int tid, int status, osip_message_t* answer);
    int CallBuildAck(int did, osip_message_t** ack);
    int CallSendAck(int did, osip_message_t* ack);
    int CallTerminate(int cid, int did);

    int MessageBuildRequest(osip_message_t** message, const char* method, const char* to, const char* from,
                            const char* route);
    int MessageSendRequest(osip_message_t* message);

    sdp_message_t* GetRemoteSdp(int did);
    int GuessLocalIp(int family, char* address, int size);

    // Datagram intake as the worker does it (also the fuzzing entry; needs the lock).
    void HandleDatagram(const char* data, size_t length, const std::string& sourceIp, int sourcePort);
    // One round of timers and state machines without waiting (needs the lock).
    void RunRound();
    int ListeningPort() const { return m_transport.Port(); }

private:
    friend class CSipCalls;
    friend class CSipRegistrations;

    struct Transaction {
        osip_transaction_t* tr = nullptr;
        int cid = 0;
        int rid = 0;
        bool killed = false;
    };

    // osip2 callbacks
    static int SendCallback(osip_transaction_t* tr, osip_message_t* msg, char* host, int port, int sock);
    static void KillCallback(int type, osip_transaction_t* tr);
    static void TransportErrorCallback(int type, osip_transaction_t* tr, int error);
    static void IctResponseCallback(int type, osip_transaction_t* tr, osip_message_t* msg);
    static void NictResponseCallback(int type, osip_transaction_t* tr, osip_message_t* msg);
    static void IstFinalSentCallback(int type, osip_transaction_t* tr, osip_message_t* msg);

    void OnNictResponse(osip_transaction_t* tr, osip_message_t* msg);
    void OnKilled(osip_transaction_t* tr);

    void WorkerLoop();
    void Wake();
    // How long the worker may block: until the next timer of the stack or of housekeeping.
    int NextTimeoutMs();
    void Housekeeping();

    void HandleNewRequest(osip_event_t* evt);
    void HandleNonInvite(osip_event_t* evt);
    // Stateless answers to what the intake refused; a transaction's answer to what the screen refused.
    void AnswerRefused(osip_message_t* msg, int status, const std::string& reason);
    void AnswerUnparsable(const IntakeResult& refused, const std::string& sourceIp, int sourcePort);
    void RefuseInTransaction(osip_event_t* evt, const ScreenAnswer& refusal);

    Transaction* FindTransaction(int tid);
    // A client transaction still waiting for its final answer.
    bool InProgress(int tid);

    osip_transaction_t* StartClient(osip_fsm_type_t kind, osip_message_t* msg, int cid, int rid);
    osip_transaction_t* StartServer(osip_fsm_type_t kind, osip_event_t* evt, int cid);
    int RespondIn(osip_transaction_t* tr, osip_message_t* response);
    int Respond(osip_transaction_t* tr, int status, const char* toTag, const char* contactUser, bool recordRoute,
                const osip_message_t* fallback = nullptr);
    int SendDirect(osip_message_t* msg, const char* host, int port);
    int SendResponseDirect(osip_message_t* response);
    // Out of any transaction: to the first loose Route, else to the Request-URI.
    int SendToNextHop(osip_message_t* request);
    void Emit(eXosip_event_type_t type, const osip_message_t* request, const osip_message_t* response, int cid, int did,
              int tid, int rid, const osip_message_t* ack = nullptr);

    SipLocal LocalFor(const char* nextHop);
    int AddCredentials(osip_message_t* request, const osip_message_t* challenge);
    // An out-of-dialog request answered 401/407 sent again with credentials: 0, or -1.
    int RetryMessage(const osip_message_t* request, const osip_message_t* challenge);
    // A copy of `previous` to send again: no credentials, the next CSeq, a new branch.
    OsipMessagePtr NextAttempt(const osip_message_t* previous);

    std::mutex m_lock; // the eXosip lock
    osip_t* m_osip = nullptr;
    CUdpTransport m_transport;
    CSipEventQueue m_events;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    int m_wakeFd = -1;
    std::string m_userAgent = "zeloraTALK";

    std::map<int, Transaction> m_transactions;
    CSipCalls m_calls{*this};
    CSipRegistrations m_registrations{*this};
    CSipCredentials m_credentials;

    static CSipUserAgent* s_instance;
};

} // namespace zelora
