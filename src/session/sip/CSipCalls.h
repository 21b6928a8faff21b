#pragma once
// The user agent's calls and their dialogs: INVITEs out and in, answers, ACKs, CANCEL and BYE, the
// challenges and redirects of our INVITEs, and calls that are over. Runs under the user agent's lock.
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "session/sip/OsipPtr.h"
#include "session/sip/eXosip.h"

namespace zelora {

class CSipUserAgent;

class CSipCalls {
public:
    using Clock = std::chrono::steady_clock;
    struct Call {
        int cid = 0;
        int did = 0;
        bool outgoing = false;
        osip_dialog_t* dialog = nullptr;
        int initialTid = 0; // the INVITE that created the call (latest retry for ours)
        int lastInviteTid = 0; // latest INVITE transaction either way
        std::string localTag; // our To tag as callee
        OsipMessagePtr lastInvite; // our latest INVITE
        OsipMessagePtr remoteInvite; // the peer's initial INVITE
        OsipMessagePtr answer2xx; // our 2xx, re-sent to retransmitted INVITEs
        OsipMessagePtr ack; // our ACK, re-sent to retransmitted 2xx
        OsipMessagePtr challenge; // last 401/407 to our INVITE
        int authRetries = 0;
        bool cancelSent = false;
        bool awaitingAck = false;
        Clock::time_point created = Clock::now();
        Clock::time_point ackDeadline{};
    };

    explicit CSipCalls(CSipUserAgent& agent);
    ~CSipCalls();
    CSipCalls(const CSipCalls&) = delete;
    CSipCalls& operator=(const CSipCalls&) = delete;

    int CallBuildInitialInvite(osip_message_t** invite, const char* to, const char* from, const char* route,
                               const char* subject);
    int CallSendInitialInvite(osip_message_t* invite);
    int CallBuildAnswer(int tid, int status, osip_message_t** answer);
    int CallSendAnswer(int tid, int status, osip_message_t* answer);
    int CallBuildAck(int did, osip_message_t** ack);
    int CallSendAck(int did, osip_message_t* ack);
    int CallTerminate(int cid, int did);
    sdp_message_t* GetRemoteSdp(int did);

    void HandleCancel(osip_event_t* evt);
    void HandleInvite(osip_event_t* evt);
    // A response no transaction took: a retransmitted 2xx to our INVITE gets our ACK again.
    void HandleStrayResponse(osip_message_t* msg);
    void OnIctResponse(osip_transaction_t* tr, osip_message_t* msg);
    void OnIstFinalSent(osip_transaction_t* tr, osip_message_t* msg);
    int RetryInvite(Call& call, osip_message_t* response);
    int Redirect(Call& call, osip_message_t* response);
    int SendBye(Call& call);
    void DropDialog(Call& call);

    int NextCallId();
    Call* FindCallByCid(int cid);
    Call* FindCallByDid(int did);
    Call* FindCallForRequest(osip_message_t* request);

    // Missing ACKs, unanswered INVITEs, and calls with nothing left in flight (released).
    void Housekeeping(Clock::time_point now);
    void Clear();

    bool Empty() const { return m_calls.empty(); }

private:
    void FreeCall(Call& call);
    // A new INVITE out of any dialog: the call, its dialog, 100 Trying and CALL_INVITE.
    void StartIncomingCall(osip_event_t* evt);
    // Our INVITE again (after a challenge or a redirect) in a new client transaction: 0 or -1.
    int SendNewInvite(Call& call, OsipMessagePtr invite);

    CSipUserAgent& m_agent;
    int m_nextCallId = 1;
    std::map<int, std::unique_ptr<Call>> m_calls;
};

} // namespace zelora
