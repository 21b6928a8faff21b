#pragma once
// The session protocol over SIP/UDP: registration, calls, DTMF in INFO and the keep-alive
// MESSAGE, with one worker thread turning user-agent events into MXSS_STATUS_ codes.
#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "session/CSessionProtocol.h"

struct eXosip_event;

class CMXSipStack : public CSessionProtocol {
public:
    static constexpr const char* kDefaultMediaPort = "37644";
    // Local media IP used instead of the guessed one when set (tests, multi-homed hosts).
    static constexpr const char* kLocalAddressVariable = "ZELORA_LOCAL_ADDRESS";

    CMXSipStack();
    ~CMXSipStack() override;

    int Init(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback, void* context,
             const char* logFilePath, CODEC_INFO* codecs, int codecCount, const char* userAgent,
             int localSipPort) override;
    int Register(const char* displayName, const char* userId, const char* password, int expiry, const char* proxyHost,
                 const char* proxyPort, int reserved) override;
    int Invite(const char* ownUser, const char* calledUser, const char* proxyHost, const char* proxyPort,
               const char* localMediaIp, const char* localMediaPort) override;
    int SendRinging(SESSION_EVENT_INFO* record) override;
    int SendRingWithSDP(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort) override;
    int AcceptIncomingCall(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort) override;
    int RejectIncomingCall(SESSION_EVENT_INFO* record) override;
    int HangUp(SESSION_EVENT_INFO* record) override;
    int UnRegister(const char* displayName, const char* userId, const char* password, int expiry, const char* proxyHost,
                   const char* proxyPort) override;
    int SendPing() override;

    // The local IPv4 address that datagrams to `host` leave from (a routing lookup, nothing
    // sent); "" when there is no route.
    static std::string LocalAddressTowards(const std::string& host);

    // "EXOSIP_CALL_INVITE" for 5 ... "EXOSIP_EVENT_COUNT" for 54; "UNKNOWN" otherwise.
    static const char* EventName(int type);

    // DTMF of an INFO body ("Signal=5" / "Duration=160" lines). True when a signal was found;
    // signal 10 is "*", 11 is "#".
    static bool ParseDtmfBody(std::string_view body, int& signal, int& duration);

    // The From address of the last Register or Invite (for diagnostics and tests).
    std::string FromAddress() const { return m_fromAddress; }

private:
    using Handler = int (CMXSipStack::*)(eXosip_event* event, SESSION_EVENT_INFO& record);
    struct HandlerEntry {
        int type;
        Handler handler;
    };
    static const HandlerEntry kHandlers[];

    void ThreadProc();
    int GetSipDialog(eXosip_event* event, SESSION_EVENT_INFO& record);
    int DefaultAction(eXosip_event* event);

    int OnRegistrationSuccess(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnRegistrationFailure(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallInvite(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallReinvite(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallNoAnswer(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallProceeding(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallRinging(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallAnswered(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallRedirected(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallRequestFailure(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallServerFailure(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallGlobalFailure(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallAck(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallCancelled(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallTimeout(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallMessageNew(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallMessageRequestFailure(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallClosed(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnCallReleased(eXosip_event* event, SESSION_EVENT_INFO& record);
    int OnOther(eXosip_event* event, SESSION_EVENT_INFO& record);
    // The keep-alive's final failure: its challenge answered, else reported as a lost binding.
    int OnMessageFailure(eXosip_event* event, SESSION_EVENT_INFO& record);

    // Negotiates the event's remote SDP (caller holds the library lock). An incoming INVITE
    // that fails is answered 488.
    int ProcessSDP(eXosip_event* event, SESSION_EVENT_INFO& record);
    int ProcessEXOSIP_INFO_Message(eXosip_event* event, SESSION_EVENT_INFO& record);
    // Answers the record's transaction with `status` and no body (SendRinging, RejectIncomingCall).
    int AnswerPlain(SESSION_EVENT_INFO* record, int status, const char* method);
    // Answers with our one-codec SDP (AcceptIncomingCall 200, SendRingWithSDP 183).
    int AnswerWithSdp(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort, int status,
                      const char* method);
    // Stored local media IP, or ZELORA_LOCAL_ADDRESS, or the guessed one; false when no guess.
    bool LocalMediaIp(const char* method);
    int AddAuthentication(const char* method);
    void StopWorker();

    std::string m_fromAddress;
    std::string m_proxyAddress;
    std::string m_localMediaIp;
    bool m_mediaIpGuessed = false; // found by the stack, not given
    std::string m_localMediaPort;
    int m_registrationId = -1;
    std::thread m_worker;
    std::atomic<bool> m_workerStopped{true};
    std::atomic<bool> m_stopWorker{false};
    bool m_libraryInitialised = false;
};
