#include "phone/MXSPCore.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "app/CLogger.h"
#include "phone/SessionProtocolFactory.h"
#include "session/CMXSipStack.h"

namespace {

std::string Bound(const char* text)
{
    if (text == nullptr)
        return {};
    std::string s(text);
    if (s.size() > MXSPCore::kTextLimit)
        s.resize(MXSPCore::kTextLimit);
    return s;
}

bool IsFiltered(int status)
{
    return status < MXSS_STATUS_REGISTRATION_SUCCESSFUL || status > MXSS_STATUS_LOGOUT || status == 5 ||
        status == MXSS_STATUS_DTMF || (status >= 22 && status <= MXSS_STATUS_TIMESTAMP);
}

bool IsKept(int status) { return status == MXSS_STATUS_KEEPALIVE_LOST; }

} // namespace

MXSPCore::MXSPCore(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback,
                   void* context, CODEC_INFO* codecs, int codecCount, const char* userAgent, int localSipPort)
    : MXSPCore(realm, proxyHost, proxyPort, callback, context, codecs, codecCount, userAgent, localSipPort, Options{})
{
}

MXSPCore::MXSPCore(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback,
                   void* context, CODEC_INFO* codecs, int codecCount, const char* userAgent, int localSipPort,
                   Options options)
    : m_realm(Bound(realm)), m_proxyHost(Bound(proxyHost)), m_proxyPort(Bound(proxyPort)),
      m_userAgent(Bound(userAgent)), m_callback(callback), m_context(context), m_codecs(codecs),
      m_codecCount(codecCount), m_localSipPort(localSipPort), m_factory(std::move(options.factory)),
      m_recovery(options.recovery), m_recoveryStatus(std::move(options.recoveryStatus)),
      m_localAddressTowards(std::move(options.localAddressTowards))
{
    ZLOG_SCOPE();
    ClearEventInfo(m_currentCall);
    if (!m_factory)
        m_factory = CreateSessionProtocol;
    if (!m_localAddressTowards)
        m_localAddressTowards = &CMXSipStack::LocalAddressTowards;
    if (!options.startKeepAliveThread)
        return;
    try {
        m_stopped = false;
        m_thread = std::thread(&MXSPCore::KeepAliveThreadProc, this);
    } catch (const std::exception&) {
        m_stopped = true;
        m_lastError = 400010;
        ZLOG(LOG_ERROR, "Unable to create keep alive thread");
    }
}

MXSPCore::~MXSPCore()
{
    ZLOG_SCOPE();
    // The keep-alive thread is stopped before the protocol goes away so that it can never ping
    // or re-register through a destroyed object.
    m_stop.Set();
    if (m_thread.joinable()) {
        while (!m_stopped.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_thread.join();
    }
    // Destroyed outside the lock: the protocol's worker may still deliver an event while it
    // shuts down, and that event must be able to take the lock and find no protocol.
    std::unique_ptr<CSessionProtocol> protocol;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        protocol = std::move(m_protocol);
    }
    protocol.reset();
}

bool MXSPCore::HasProtocol() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_protocol != nullptr;
}

int MXSPCore::GetCountdown() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_countdown;
}

int MXSPCore::GetExpiry() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_expiry;
}

bool MXSPCore::IsHangUpPending() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_hangUpPending;
}

bool MXSPCore::IsCallExists() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_callExists;
}

SESSION_EVENT_INFO MXSPCore::GetCurrentCall() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_currentCall;
}

int MXSPCore::StartProtocol(bool tunnel, const TunnelSettings& settings, const char* logFilePath, int failureCode)
{
    // A protocol already running is replaced (the automatic connection choice moves on), but
    // only by one that started: a way that cannot start leaves the current one in place.
    std::lock_guard<std::mutex> swapGuard(m_protocolSwap);
    std::unique_ptr<CSessionProtocol> protocol = m_factory ? m_factory(tunnel, settings) : nullptr;
    if (protocol == nullptr) {
        m_lastError = failureCode;
        ZLOG(LOG_ERROR, "Unable to create session protocol");
        return -1;
    }
    std::unique_ptr<CSessionProtocol> previous;
    int result = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        result = protocol->Init(m_realm.c_str(), m_proxyHost.c_str(), m_proxyPort.c_str(), &MXSPCore::ProtocolCallBack,
                                this, logFilePath, m_codecs, m_codecCount, m_userAgent.c_str(), m_localSipPort);
        if (result < 0) {
            m_lastError = failureCode;
            ZLOG(LOG_ERROR, "Init failed %d", result);
            return result;
        }
        previous = std::move(m_protocol);
        m_protocol = std::move(protocol);
        m_tunnel = tunnel;
        m_registered = false;
        m_retiring = previous != nullptr;
    }
    // Destroyed outside the lock, as in the destructor, since its worker may deliver an event.
    // What it still reports while it shuts down (a closed tunnel, a cancelled REGISTER) is about
    // a way no longer used, and the new one is not signed in yet: the window hears of neither.
    previous.reset();
    m_retiring = false;
    return result;
}

int MXSPCore::StartSipStack(const char* logFilePath)
{
    ZLOG_SCOPE();
    return StartProtocol(false, TunnelSettings{}, logFilePath, 400015);
}

int MXSPCore::StartTunnel(int proxyPort, const char* proxyAddress, int useProxy, const char* tunnelServer,
                          const char* logFilePath, const char* localAddress)
{
    ZLOG_SCOPE();
    TunnelSettings settings;
    settings.proxyPort = proxyPort;
    settings.proxyAddress = Bound(proxyAddress);
    settings.useProxy = useProxy;
    settings.tunnelServer = Bound(tunnelServer);
    settings.localAddress = Bound(localAddress);
    settings.userAgent = m_userAgent;
    return StartProtocol(true, settings, logFilePath, 400014);
}

int MXSPCore::Register(const char* displayName, const char* userId, const char* password, int expiry)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_registered = false;
    m_unregisterRequested = false;
    m_expiry = std::max(expiry, kMinExpiry);
    m_countdown = m_expiry - kMinExpiry;
    m_displayName = Bound(displayName);
    m_userId = Bound(userId);
    m_password = Bound(password);
    m_recovery.SignInStarted();
    PublishRecoveryStatus();
    if (m_protocol == nullptr) {
        m_lastError = 400016;
        ZLOG(LOG_ERROR, "Register failed: no protocol");
        return -1;
    }
    int result = m_protocol->Register(m_displayName.c_str(), m_userId.c_str(), m_password.c_str(), m_expiry, nullptr,
                                      nullptr, 0);
    if (result < 0) {
        m_lastError = 400016;
        ZLOG(LOG_ERROR, "Register failed %d", result);
    }
    return result;
}

int MXSPCore::MakeCall(const char* ownUser, const char* calledNumber, const char* proxyHost, const char* proxyPort,
                       const char* mediaIp, const char* mediaPort)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    int result = m_protocol == nullptr
        ? -1
        : m_protocol->Invite(ownUser, calledNumber, proxyHost, proxyPort, mediaIp, mediaPort);
    if (result < 0) {
        m_lastError = 400011;
        ZLOG(LOG_ERROR, "Invite failed %d", result);
        return result;
    }
    m_callExists = false;
    m_hangUpPending = false;
    m_earlyMediaStarted = false;
    ClearEventInfo(m_currentCall);
    m_currentCall.cid = result;
    if (m_endedCid == result)
        m_endedCid = 0; // an ID given out again names the new call
    m_callState = CALL_OUTGOING;
    return result;
}

int MXSPCore::AcceptCall(const char* mediaIp, const char* mediaPort)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    int result = m_protocol == nullptr ? -1 : m_protocol->AcceptIncomingCall(&m_currentCall, mediaIp, mediaPort);
    if (result < 0) {
        m_lastError = 400013;
        ZLOG(LOG_ERROR, "AcceptIncomingCall failed %d", result);
    }
    return result;
}

int MXSPCore::RejectCall()
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    int result = m_protocol == nullptr ? -1 : m_protocol->RejectIncomingCall(&m_currentCall);
    if (result < 0) {
        m_lastError = 400012;
        ZLOG(LOG_ERROR, "RejectIncomingCall failed %d", result);
        return result;
    }
    // A rejected call is over: without this the phone would wait in "ringing" for an event
    // that a rejected call never brings. Its release still reaches the window.
    ResetCall();
    return result;
}

int MXSPCore::HangUpCall()
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!m_callExists) {
        m_hangUpPending = true;
        return 0;
    }
    int result = m_protocol == nullptr ? -1 : m_protocol->HangUp(&m_currentCall);
    if (m_protocol != nullptr)
        m_protocol->StopListen();
    // Our hang-up ends the call here and now: whatever the far end still sends about it must
    // not carry over into the next call.
    ResetCall();
    return result;
}

int MXSPCore::UnRegister(const char* displayName, const char* userId, const char* password, int expiry)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    int result =
        m_protocol == nullptr ? -1 : m_protocol->UnRegister(displayName, userId, password, expiry, nullptr, nullptr);
    if (result < 0) {
        m_lastError = 400018;
        ZLOG(LOG_ERROR, "UnRegister failed %d", result);
        return result;
    }
    m_recovery.SignedOut();
    PublishRecoveryStatus();
    m_unregisterRequested = true;
    return result;
}

void MXSPCore::ResetCall()
{
    if (m_currentCall.cid != 0)
        m_endedCid = m_currentCall.cid;
    m_callExists = false;
    m_hangUpPending = false;
    m_earlyMediaStarted = false;
    m_callState = CALL_IDLE;
    ClearEventInfo(m_currentCall);
}

void MXSPCore::Forward(int status, SESSION_EVENT_INFO* record)
{
    if (m_callback != nullptr)
        m_callback(status, m_context, record);
}

bool MXSPCore::SameCall(const SESSION_EVENT_INFO* record) const
{
    return record != nullptr && record->cid != 0 && record->cid == m_currentCall.cid;
}

int MXSPCore::ProtocolCallBack(int status, void* context, SESSION_EVENT_INFO* record)
{
    if (context == nullptr)
        return -1;
    return static_cast<MXSPCore*>(context)->MXSPC_HandleCallBack(status, record);
}

const MXSPCore::HandlerEntry MXSPCore::kHandlers[] = {
    {MXSS_STATUS_REGISTRATION_SUCCESSFUL, &MXSPCore::OnRegistrationSuccessful, false},
    {MXSS_STATUS_REGISTRATION_FAILURE, &MXSPCore::OnRegistrationFailure, false},
    {MXSS_STATUS_KEEPALIVE_LOST, &MXSPCore::OnKeepAliveLost, false},
    {MXSS_STATUS_REGISTRATION_TIMEOUT, &MXSPCore::OnRegistrationTimeout, false},
    {MXSS_STATUS_LOGOUT, &MXSPCore::OnLogout, false},
    {MXSS_STATUS_OTHER_SIP_MESSAGE, &MXSPCore::OnForwardWithRecord, false},
    {MXSS_STATUS_INCOMING_CALL, &MXSPCore::OnIncomingCall, false},
    {MXSS_STATUS_INVITE_RESULT, &MXSPCore::OnInviteResult, false},
    {MXSS_STATUS_CALL_NOANSWER, &MXSPCore::OnNoAnswer, true},
    {MXSS_STATUS_CALL_PROCEEDING, &MXSPCore::OnProceeding, true},
    {MXSS_STATUS_CALL_RINGING, &MXSPCore::OnRinging, true},
    {MXSS_STATUS_OUTGOING_CALL_ANSWERED, &MXSPCore::OnAnswered, true},
    {MXSS_STATUS_CALL_ACK, &MXSPCore::OnAck, true},
    {MXSS_STATUS_CALL_REQUESTFAILURE, &MXSPCore::OnRequestFailure, true},
    {MXSS_STATUS_CALL_CLOSED, &MXSPCore::OnClosed, true},
    {MXSS_STATUS_CALL_REDIRECTED, &MXSPCore::OnCallEnded, true},
    {MXSS_STATUS_CALL_SERVERFAILURE, &MXSPCore::OnCallEnded, true},
    {MXSS_STATUS_CALL_GLOBALFAILURE, &MXSPCore::OnCallEnded, true},
    {MXSS_STATUS_CALL_CANCELLED, &MXSPCore::OnCallEnded, true},
    {MXSS_STATUS_CALL_TIMEOUT, &MXSPCore::OnCallEnded, true},
    {MXSS_STATUS_CALL_RELEASED, &MXSPCore::OnCallEnded, true},
    {MXSS_STATUS_CALL_MESSAGE_REQUESTFAILURE, &MXSPCore::OnCallEnded, true},
};

int MXSPCore::MXSPC_HandleCallBack(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (IsFiltered(status) && !IsKept(status))
        return 1;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_retiring) {
        ZLOG(LOG_DEBUG, "status %d of the replaced protocol dropped", status);
        return 1;
    }
    ZLOG(LOG_DEBUG, "status %d (%s)", status, MXSSStatusName(status));
    for (const HandlerEntry& entry : kHandlers) {
        if (entry.status != status)
            continue;
        if (entry.callEvent && !TakeCallEvent(status, record))
            return 1;
        return (this->*entry.handler)(status, record);
    }
    return 1;
}

bool MXSPCore::TakeCallEvent(int status, SESSION_EVENT_INFO* record)
{
    if (record == nullptr)
        return false;
    if (record->cid != 0 && record->cid == m_endedCid) {
        // The end of a call we already ended ourselves: its release still closes a window that
        // waits for it, but it must never touch a call placed since.
        bool last = status == MXSS_STATUS_CALL_RELEASED || status == MXSS_STATUS_CALL_MESSAGE_REQUESTFAILURE;
        if (last)
            m_endedCid = 0;
        if (m_callState == CALL_IDLE && (last || status == MXSS_STATUS_CALL_CLOSED))
            Forward(status, record);
        return false;
    }
    // The tunnel's Invite gives no call ID: the server names the call in its first answer.
    if (m_tunnel && m_callState == CALL_OUTGOING && !m_callExists && record->cid != 0)
        m_currentCall.cid = record->cid;
    return SameCall(record);
}

int MXSPCore::OnRegistrationSuccessful(int status, SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    if (!m_unregisterRequested) {
        m_registered = true;
        if (!m_tunnel && m_localAddressTowards)
            m_recovery.NoteLocalAddress(m_localAddressTowards(m_proxyHost));
        m_recovery.OnRegistered(CReconnectPolicy::Clock::now());
        PublishRecoveryStatus();
        Forward(status, nullptr);
        return 1;
    }
    // Signed out: the old account must neither be pinged nor re-registered later.
    ResetCall();
    m_unregisterRequested = false;
    m_registered = false;
    m_countdown = kCountdownOff;
    Forward(MXSS_STATUS_LOGOUT, nullptr);
    return 1;
}

int MXSPCore::OnForwardWithRecord(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    Forward(status, record);
    return 1;
}

int MXSPCore::OnRegistrationTimeout(int status, SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    m_registered = false;
    // While the phone recovers by itself the window keeps its signed-in look and its status line.
    bool absorbed = m_recovery.OnRegistrationTimeout(CReconnectPolicy::Clock::now());
    PublishRecoveryStatus();
    if (!absorbed)
        Forward(status, nullptr);
    return 1;
}

int MXSPCore::OnRegistrationFailure(int status, SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    m_recovery.OnRegistrationFailure(CReconnectPolicy::Clock::now());
    PublishRecoveryStatus();
    Forward(status, nullptr);
    return 1;
}

int MXSPCore::OnKeepAliveLost(int, SESSION_EVENT_INFO*)
{
    ZLOG_SCOPE();
    m_recovery.OnConnectionLost(CReconnectPolicy::Clock::now());
    PublishRecoveryStatus();
    return 1;
}

int MXSPCore::OnLogout(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    ResetCall();
    m_unregisterRequested = false;
    m_registered = false;
    m_countdown = kCountdownOff;
    // The window signs out as before; the recovery then signs in again by itself.
    m_recovery.OnConnectionLost(CReconnectPolicy::Clock::now());
    PublishRecoveryStatus();
    Forward(status, record);
    return 1;
}

int MXSPCore::OnIncomingCall(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record == nullptr)
        return 1;
    if (m_callState != CALL_IDLE) {
        if (m_protocol != nullptr)
            m_protocol->RejectIncomingCall(record);
        m_lastError = 400019;
        ZLOG(LOG_WARNING, "Call exists, incoming call rejected");
        return 1;
    }
    m_callExists = true;
    m_callState = CALL_INCOMING;
    if (m_endedCid == record->cid)
        m_endedCid = 0;
    if (m_protocol != nullptr)
        m_protocol->SendRinging(record);
    m_currentCall = *record;
    Forward(status, record);
    return 1;
}

int MXSPCore::OnInviteResult(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record == nullptr || m_callState != CALL_OUTGOING)
        return 1;
    m_currentCall = *record;
    Forward(status, record);
    return 1;
}

int MXSPCore::OnNoAnswer(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    ResetCall();
    if (m_protocol != nullptr && m_protocol->HangUp(record) < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        if (m_protocol != nullptr)
            m_protocol->HangUp(record);
    }
    Forward(status, record);
    return 1;
}

bool MXSPCore::TakeAnswer(const SESSION_EVENT_INFO* record)
{
    m_currentCall = *record;
    // The user hung up before the far end answered at all: the first answer ends the call.
    if (m_hangUpPending && record->statusCode >= 100) {
        if (m_protocol != nullptr)
            m_protocol->HangUp(&m_currentCall);
        ResetCall();
        return false;
    }
    if (record->statusCode >= 100)
        m_callExists = true;
    return true;
}

int MXSPCore::OnProceeding(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (!TakeAnswer(record))
        return -1;
    if (record->statusCode >= 100)
        Forward(status, record);
    return 1;
}

int MXSPCore::OnRinging(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (!TakeAnswer(record))
        return -1;
    if (record->statusCode == 183 && record->codecName[0] != '\0' && !m_earlyMediaStarted) {
        if (m_protocol != nullptr)
            m_protocol->StartListen(&m_currentCall);
        m_earlyMediaStarted = true;
    }
    Forward(status, record);
    return 1;
}

int MXSPCore::OnAnswered(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (!TakeAnswer(record))
        return -1;
    return StartMedia(status, record, 400020);
}

int MXSPCore::OnAck(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    // The ACK carries no media description: the window needs the one of the call.
    *record = m_currentCall;
    return StartMedia(status, record, 400019);
}

int MXSPCore::StartMedia(int status, SESSION_EVENT_INFO* record, int failureCode)
{
    m_callState = CALL_CONNECTED;
    if (m_protocol == nullptr || m_protocol->StartListen(&m_currentCall) != 1) {
        m_lastError = failureCode;
        ZLOG(LOG_ERROR, "Unable to start media");
        return -1;
    }
    Forward(status, record);
    return 1;
}

int MXSPCore::OnRequestFailure(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    // Proxy authentication: the stack answers the challenge itself and the call goes on.
    if (record->statusCode == 407)
        return 1;
    return OnCallEnded(status, record);
}

int MXSPCore::OnClosed(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (m_protocol != nullptr)
        m_protocol->StopListen();
    return OnCallEnded(status, record);
}

int MXSPCore::OnCallEnded(int status, SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    ResetCall();
    Forward(status, record);
    return 1;
}
