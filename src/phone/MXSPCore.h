#pragma once
// The session core: owns the one protocol object, serialises every operation and event on it,
// keeps the single current call, re-registers before expiry and filters events for the window.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "phone/CReconnectPolicy.h"
#include "platform/Event.h"
#include "session/CSessionProtocol.h"
#include "session/SessionTypes.h"

// Connection settings handed to the tunnel protocol (HttpProxy group order).
struct TunnelSettings {
    int proxyPort = 0;
    std::string proxyAddress;
    int useProxy = 0;
    std::string tunnelServer;
    std::string localAddress; // empty: found by the protocol
    std::string userAgent; // filled in by the core
};

class MXSPCore {
public:
    static constexpr int kCountdownOff = -1000;
    static constexpr int kMinExpiry = 600;
    static constexpr std::size_t kTextLimit = 260;

    enum CallState { CALL_IDLE = 0, CALL_INCOMING = 1, CALL_OUTGOING = 2, CALL_CONNECTED = 3 };

    // Builds the protocol object; `tunnel` chooses the tunnel protocol over the SIP stack.
    using ProtocolFactory =
        std::function<std::unique_ptr<CSessionProtocol>(bool tunnel, const TunnelSettings& settings)>;

    struct Options {
        ProtocolFactory factory; // empty: the built-in SIP stack and tunnel
        bool startKeepAliveThread = true; // tests drive KeepAliveTick() by hand
        CReconnectPolicy::Settings recovery;
        // The recovery's short status while it works ("" when done); may be called with the
        // core's lock held, so it only records or posts.
        std::function<void(const std::string& text)> recoveryStatus;
        // The local address towards a host (a routing lookup); empty: the SIP stack's own.
        std::function<std::string(const std::string& host)> localAddressTowards;
    };

    MXSPCore(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback, void* context,
             CODEC_INFO* codecs, int codecCount, const char* userAgent, int localSipPort);
    MXSPCore(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback, void* context,
             CODEC_INFO* codecs, int codecCount, const char* userAgent, int localSipPort, Options options);
    ~MXSPCore();
    MXSPCore(const MXSPCore&) = delete;
    MXSPCore& operator=(const MXSPCore&) = delete;

    // Either start replaces a protocol already running (the old one signs nothing out); one
    // that fails to start leaves the running one in place.
    int StartSipStack(const char* logFilePath);
    int StartTunnel(int proxyPort, const char* proxyAddress, int useProxy, const char* tunnelServer,
                    const char* logFilePath, const char* localAddress = nullptr);
    int Register(const char* displayName, const char* userId, const char* password, int expiry);
    int MakeCall(const char* ownUser, const char* calledNumber, const char* proxyHost, const char* proxyPort,
                 const char* mediaIp, const char* mediaPort);
    int AcceptCall(const char* mediaIp = nullptr, const char* mediaPort = nullptr);
    int RejectCall();
    int HangUpCall();
    int UnRegister(const char* displayName, const char* userId, const char* password, int expiry);

    // The event filter; the protocol's callback forwards here.
    int MXSPC_HandleCallBack(int status, SESSION_EVENT_INFO* record);
    // Plain-function entry handed to the protocol as its callback (context = the core).
    static int ProtocolCallBack(int status, void* context, SESSION_EVENT_INFO* record);

    // One second of the keep-alive thread's work (countdown, recovery, ping); `late` is how much
    // later than planned the tick came (the process or machine slept).
    void KeepAliveTick(std::chrono::milliseconds late = {});
    bool IsRecovering() const;

    int GetCallState() const { return m_callState.load(); }
    int GetLastError() const { return m_lastError.load(); }
    bool IsRegistered() const { return m_registered.load(); }
    bool HasProtocol() const;
    int GetCountdown() const;
    int GetExpiry() const;
    bool IsHangUpPending() const;
    bool IsCallExists() const;
    SESSION_EVENT_INFO GetCurrentCall() const;
    std::recursive_mutex& Lock() { return m_lock; }

private:
    // One handler per status; `callEvent` ones only see events of the current call.
    using Handler = int (MXSPCore::*)(int status, SESSION_EVENT_INFO* record);
    struct HandlerEntry {
        int status;
        Handler handler;
        bool callEvent;
    };
    static const HandlerEntry kHandlers[];

    bool TakeCallEvent(int status, SESSION_EVENT_INFO* record);
    // The common start of the three answers; false when a pending hang-up ended the call.
    bool TakeAnswer(const SESSION_EVENT_INFO* record);
    int StartMedia(int status, SESSION_EVENT_INFO* record, int failureCode);
    int OnRegistrationSuccessful(int status, SESSION_EVENT_INFO* record);
    int OnRegistrationFailure(int status, SESSION_EVENT_INFO* record);
    int OnKeepAliveLost(int status, SESSION_EVENT_INFO* record);
    int OnForwardWithRecord(int status, SESSION_EVENT_INFO* record);
    int OnRegistrationTimeout(int status, SESSION_EVENT_INFO* record);
    int OnLogout(int status, SESSION_EVENT_INFO* record);
    int OnIncomingCall(int status, SESSION_EVENT_INFO* record);
    int OnInviteResult(int status, SESSION_EVENT_INFO* record);
    int OnNoAnswer(int status, SESSION_EVENT_INFO* record);
    int OnProceeding(int status, SESSION_EVENT_INFO* record);
    int OnRinging(int status, SESSION_EVENT_INFO* record);
    int OnAnswered(int status, SESSION_EVENT_INFO* record);
    int OnAck(int status, SESSION_EVENT_INFO* record);
    int OnRequestFailure(int status, SESSION_EVENT_INFO* record);
    int OnClosed(int status, SESSION_EVENT_INFO* record);
    int OnCallEnded(int status, SESSION_EVENT_INFO* record);

    // Resets the current call; its ID is kept as the last ended call's.
    void ResetCall();
    void Forward(int status, SESSION_EVENT_INFO* record);
    bool SameCall(const SESSION_EVENT_INFO* record) const;
    void KeepAliveThreadProc();
    // Registers again with the kept account, without the core's lock: a tunnel reconnects
    // inside Register, and its reader may be waiting for that lock.
    void ReRegister();
    void PublishRecoveryStatus();
    int StartProtocol(bool tunnel, const TunnelSettings& settings, const char* logFilePath, int failureCode);

    std::string m_realm;
    std::string m_proxyHost;
    std::string m_proxyPort;
    std::string m_userAgent;
    SESSION_CALLBACK m_callback = nullptr;
    void* m_context = nullptr;
    CODEC_INFO* m_codecs = nullptr;
    int m_codecCount = 0;
    int m_localSipPort = 0;
    ProtocolFactory m_factory;

    std::unique_ptr<CSessionProtocol> m_protocol;
    bool m_tunnel = false;
    SESSION_EVENT_INFO m_currentCall{};
    std::atomic<int> m_callState{CALL_IDLE};
    bool m_callExists = false;
    bool m_hangUpPending = false;
    bool m_earlyMediaStarted = false;
    int m_endedCid = 0; // the last call ended here, whose release may still arrive
    std::atomic<bool> m_registered{false};
    bool m_unregisterRequested = false;
    int m_countdown = kCountdownOff;
    int m_expiry = kMinExpiry;
    std::string m_displayName;
    std::string m_userId;
    std::string m_password;
    std::atomic<int> m_lastError{0};
    CReconnectPolicy m_recovery;
    std::function<void(const std::string&)> m_recoveryStatus;
    std::function<std::string(const std::string&)> m_localAddressTowards;
    int m_ticks = 0; // keep-alive thread only

    mutable std::recursive_mutex m_lock;
    // Taken before m_lock, never while holding it: a re-registration that uses the protocol
    // without m_lock holds it, and so does the replacement of the protocol.
    std::mutex m_protocolSwap;
    std::atomic<bool> m_retiring{false}; // the replaced protocol is being destroyed
    zelora::Event m_stop;
    std::atomic<bool> m_stopped{true};
    std::thread m_thread;
};
