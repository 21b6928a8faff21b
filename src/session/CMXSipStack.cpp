#include "session/CMXSipStack.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "app/CLogger.h"
#include "session/sdp/CMXSdpNegotiator.h"
#include "session/sip/eXosip.h"

namespace {

constexpr int kTransportUdp = 17;
constexpr int kFamilyIpv4 = 2;
constexpr const char* kSdpContentType = "application/sdp";

// Holds the library lock for one scope; Ok() is false when it could not be taken.
class LibraryLock {
public:
    LibraryLock() : m_ok(eXosip_lock() == 0) {}
    ~LibraryLock()
    {
        if (m_ok)
            eXosip_unlock();
    }
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool m_ok;
};

// An osip message the library has not taken over yet.
struct MessageOwner {
    osip_message_t* message = nullptr;
    ~MessageOwner()
    {
        if (message != nullptr)
            osip_message_free(message);
    }
    osip_message_t* Release()
    {
        osip_message_t* m = message;
        message = nullptr;
        return m;
    }
};

std::string Text(const char* s, std::size_t limit = 255)
{
    if (s == nullptr)
        return {};
    std::string_view v(s);
    return std::string(v.substr(0, limit));
}

std::string SipAddress(const std::string& user, const std::string& host, const std::string& port)
{
    return "sip:" + user + "@" + host + ":" + port;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool IsRegistrationEvent(int type) { return type == EXOSIP_REGISTRATION_SUCCESS || type == EXOSIP_REGISTRATION_FAILURE; }

// A 2xx to a REGISTER with "Expires: 0" ends the registration instead of making one.
bool IsUnregistration(const osip_message_t* request)
{
    if (request == nullptr)
        return false;
    osip_header_t* expires = nullptr;
    if (osip_message_get_expires(request, 0, &expires) < 0 || expires == nullptr || expires->hvalue == nullptr)
        return false;
    return std::strtol(expires->hvalue, nullptr, 10) == 0;
}

const char* const kEventNames[] = {
    "EXOSIP_REGISTRATION_NEW",
    "EXOSIP_REGISTRATION_SUCCESS",
    "EXOSIP_REGISTRATION_FAILURE",
    "EXOSIP_REGISTRATION_REFRESHED",
    "EXOSIP_REGISTRATION_TERMINATED",
    "EXOSIP_CALL_INVITE",
    "EXOSIP_CALL_REINVITE",
    "EXOSIP_CALL_NOANSWER",
    "EXOSIP_CALL_PROCEEDING",
    "EXOSIP_CALL_RINGING",
    "EXOSIP_CALL_ANSWERED",
    "EXOSIP_CALL_REDIRECTED",
    "EXOSIP_CALL_REQUESTFAILURE",
    "EXOSIP_CALL_SERVERFAILURE",
    "EXOSIP_CALL_GLOBALFAILURE",
    "EXOSIP_CALL_ACK",
    "EXOSIP_CALL_CANCELLED",
    "EXOSIP_CALL_TIMEOUT",
    "EXOSIP_CALL_MESSAGE_NEW",
    "EXOSIP_CALL_MESSAGE_PROCEEDING",
    "EXOSIP_CALL_MESSAGE_ANSWERED",
    "EXOSIP_CALL_MESSAGE_REDIRECTED",
    "EXOSIP_CALL_MESSAGE_REQUESTFAILURE",
    "EXOSIP_CALL_MESSAGE_SERVERFAILURE",
    "EXOSIP_CALL_MESSAGE_GLOBALFAILURE",
    "EXOSIP_CALL_CLOSED",
    "EXOSIP_CALL_RELEASED",
    "EXOSIP_MESSAGE_NEW",
    "EXOSIP_MESSAGE_PROCEEDING",
    "EXOSIP_MESSAGE_ANSWERED",
    "EXOSIP_MESSAGE_REDIRECTED",
    "EXOSIP_MESSAGE_REQUESTFAILURE",
    "EXOSIP_MESSAGE_SERVERFAILURE",
    "EXOSIP_MESSAGE_GLOBALFAILURE",
    "EXOSIP_SUBSCRIPTION_UPDATE",
    "EXOSIP_SUBSCRIPTION_CLOSED",
    "EXOSIP_SUBSCRIPTION_NOANSWER",
    "EXOSIP_SUBSCRIPTION_PROCEEDING",
    "EXOSIP_SUBSCRIPTION_ANSWERED",
    "EXOSIP_SUBSCRIPTION_REDIRECTED",
    "EXOSIP_SUBSCRIPTION_REQUESTFAILURE",
    "EXOSIP_SUBSCRIPTION_SERVERFAILURE",
    "EXOSIP_SUBSCRIPTION_GLOBALFAILURE",
    "EXOSIP_SUBSCRIPTION_NOTIFY",
    "EXOSIP_SUBSCRIPTION_RELEASED",
    "EXOSIP_IN_SUBSCRIPTION_NEW",
    "EXOSIP_IN_SUBSCRIPTION_RELEASED",
    "EXOSIP_NOTIFICATION_NOANSWER",
    "EXOSIP_NOTIFICATION_PROCEEDING",
    "EXOSIP_NOTIFICATION_ANSWERED",
    "EXOSIP_NOTIFICATION_REDIRECTED",
    "EXOSIP_NOTIFICATION_REQUESTFAILURE",
    "EXOSIP_NOTIFICATION_SERVERFAILURE",
    "EXOSIP_NOTIFICATION_GLOBALFAILURE",
    "EXOSIP_EVENT_COUNT",
};
static_assert(sizeof kEventNames / sizeof kEventNames[0] == EXOSIP_EVENT_COUNT + 1, "one name per event type");

} // namespace

const CMXSipStack::HandlerEntry CMXSipStack::kHandlers[] = {
    {EXOSIP_REGISTRATION_SUCCESS, &CMXSipStack::OnRegistrationSuccess},
    {EXOSIP_REGISTRATION_FAILURE, &CMXSipStack::OnRegistrationFailure},
    {EXOSIP_CALL_INVITE, &CMXSipStack::OnCallInvite},
    {EXOSIP_CALL_REINVITE, &CMXSipStack::OnCallReinvite},
    {EXOSIP_CALL_NOANSWER, &CMXSipStack::OnCallNoAnswer},
    {EXOSIP_CALL_PROCEEDING, &CMXSipStack::OnCallProceeding},
    {EXOSIP_CALL_RINGING, &CMXSipStack::OnCallRinging},
    {EXOSIP_CALL_ANSWERED, &CMXSipStack::OnCallAnswered},
    {EXOSIP_CALL_REDIRECTED, &CMXSipStack::OnCallRedirected},
    {EXOSIP_CALL_REQUESTFAILURE, &CMXSipStack::OnCallRequestFailure},
    {EXOSIP_CALL_SERVERFAILURE, &CMXSipStack::OnCallServerFailure},
    {EXOSIP_CALL_GLOBALFAILURE, &CMXSipStack::OnCallGlobalFailure},
    {EXOSIP_CALL_ACK, &CMXSipStack::OnCallAck},
    {EXOSIP_CALL_CANCELLED, &CMXSipStack::OnCallCancelled},
    {EXOSIP_CALL_TIMEOUT, &CMXSipStack::OnCallTimeout},
    {EXOSIP_CALL_MESSAGE_NEW, &CMXSipStack::OnCallMessageNew},
    {EXOSIP_CALL_MESSAGE_REQUESTFAILURE, &CMXSipStack::OnCallMessageRequestFailure},
    {EXOSIP_CALL_CLOSED, &CMXSipStack::OnCallClosed},
    {EXOSIP_CALL_RELEASED, &CMXSipStack::OnCallReleased},
};

CMXSipStack::CMXSipStack() { ZLOG_SCOPE(); }

CMXSipStack::~CMXSipStack()
{
    ZLOG_SCOPE();
    m_quitting = true;
    bool unregisterFailed = false;
    if (m_registered) {
        if (UnRegister(nullptr, nullptr, nullptr, 0, nullptr, nullptr) < 0) {
            ZLOG(LOG_ERROR, "Error Occured while unregistering");
            unregisterFailed = true;
        }
    }
    if (!unregisterFailed && m_worker.joinable()) {
        // The answer to the unregistration, or a quiet second once nothing is registered, ends the worker.
        for (int waited = 0; waited < 15 && !m_workerStopped; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        if (!m_workerStopped) {
            m_registered = false;
            for (int waited = 0; waited < 2 && !m_workerStopped; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        }
    }
    // The worker must be gone before the library it reads from is released.
    StopWorker();
    if (m_libraryInitialised) {
        ZLOG(LOG_INFO, "Quitting eXosip");
        eXosip_quit();
        m_libraryInitialised = false;
        ZLOG(LOG_INFO, "eXosip successfully closed");
    }
    if (m_logFile != nullptr) {
        ZLOG(LOG_INFO, "Closing SIP Log file");
        // The library's trace must not keep writing into the file we close.
        eXosip_trace_initialize(TRACE_LEVEL3, nullptr);
        std::fclose(m_logFile);
        m_logFile = nullptr;
    }
}

void CMXSipStack::StopWorker()
{
    ZLOG_SCOPE();
    m_stopWorker = true;
    if (m_worker.joinable())
        m_worker.join();
}

const char* CMXSipStack::EventName(int type)
{
    ZLOG_SCOPE();
    if (type < 0 || type > EXOSIP_EVENT_COUNT)
        return "UNKNOWN";
    return kEventNames[type];
}

bool CMXSipStack::ParseDtmfBody(std::string_view body, int& signal, int& duration)
{
    ZLOG_SCOPE();
    signal = 0;
    duration = 0;
    bool haveSignal = false;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t end = pos;
        while (end < body.size() && static_cast<unsigned char>(body[end]) >= 0x20)
            ++end;
        std::string_view line = body.substr(pos, end - pos).substr(0, 255);
        pos = end + 1;
        std::size_t equals = line.find('=');
        if (line.empty() || equals == std::string_view::npos)
            continue;
        std::string_view value = Trim(line.substr(equals + 1));
        if (line.find("Signal") != std::string_view::npos) {
            if (value == "*") {
                signal = 10;
            } else if (value == "#") {
                signal = 11;
            } else {
                if (value.empty() || value.size() > 2)
                    continue;
                int v = 0;
                bool digits = true;
                for (char c : value) {
                    digits = digits && c >= '0' && c <= '9';
                    v = v * 10 + (c - '0');
                }
                if (!digits)
                    continue;
                signal = v;
            }
            haveSignal = true;
        } else if (line.find("Duration") != std::string_view::npos) {
            duration = std::atoi(std::string(value).c_str());
        }
    }
    return haveSignal;
}

int CMXSipStack::Init(const char* realm, const char* proxyHost, const char* proxyPort, SESSION_CALLBACK callback,
                      void* context, const char* logFilePath, CODEC_INFO* codecs, int codecCount,
                      const char* userAgent, int localSipPort)
{
    ZLOG_SCOPE();
    int rc = ValidateAndStoreInit(realm, proxyHost, proxyPort, callback, context, logFilePath, codecs, codecCount,
                                  userAgent, ZLOG_METHOD);
    if (rc < 0)
        return rc;
    if (m_libraryInitialised) {
        ZLOG(LOG_ERROR, "eXosip_init failed nRet = %d", -1);
        return -8;
    }
    int nRet = eXosip_init();
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "eXosip_init failed nRet = %d", nRet);
        return -8;
    }
    m_libraryInitialised = true;
    if (m_logFile != nullptr) {
        LibraryLock lock;
        // osip2 prefers a trace function, once set, over any file: clear it so the file gets the trace.
        osip_trace_initialize_func(END_TRACE_LEVEL, nullptr);
        eXosip_trace_initialize(END_TRACE_LEVEL, m_logFile);
    }
    if (eXosip_listen_addr(kTransportUdp, nullptr, localSipPort, kFamilyIpv4, 0) != 0) {
        ZLOG(LOG_ERROR, "eXosip_listen_addr failed on Port %d", localSipPort);
        return -9;
    }
    {
        LibraryLock lock;
        if (!lock.Ok())
            return -1;
        eXosip_set_user_agent(m_userAgent.c_str());
    }
    try {
        m_stopWorker = false;
        m_workerStopped = false;
        m_worker = std::thread(&CMXSipStack::ThreadProc, this);
    } catch (const std::system_error&) {
        m_workerStopped = true;
        eXosip_quit();
        m_libraryInitialised = false;
        ZLOG(LOG_ERROR, "CreateThread failed");
        return -11;
    }
    return 1;
}

int CMXSipStack::AddAuthentication(const char* method)
{
    ZLOG_SCOPE();
    ZLOG_AS(LOG_INFO, method, "display name %s, user id %s, password %s,Realm %s", m_displayName.c_str(),
         m_userId.c_str(), "xxxxx", m_realm.c_str());
    int nRet = eXosip_add_authentication_info(m_displayName.c_str(), m_userId.c_str(), m_password.c_str(), nullptr,
                                              m_realm.c_str());
    if (nRet != 0)
        ZLOG_AS(LOG_ERROR, method, "eXosip_add_authentication_info failed nRet = %d ", nRet);
    return nRet;
}

int CMXSipStack::Register(const char* displayName, const char* userId, const char* password, int expiry,
                          const char* proxyHost, const char* proxyPort, int /*reserved*/)
{
    ZLOG_SCOPE();
    if (userId == nullptr) {
        ZLOG(LOG_ERROR, "Empty SIP User ID");
        return -1;
    }
    if (password == nullptr) {
        ZLOG(LOG_ERROR, "Empty SIP Password");
        return -2;
    }
    if (displayName == nullptr) {
        ZLOG(LOG_ERROR, "Empty SIP Display Name");
        return -3;
    }
    StoreCredentials(displayName, userId, password);
    std::string host = m_proxyHost;
    std::string port = m_proxyPort;
    if (proxyHost != nullptr && proxyPort != nullptr) {
        host = Text(proxyHost);
        port = Text(proxyPort);
    }
    m_fromAddress = Text(SipAddress(m_userId, host, port).c_str());
    m_proxyAddress = Text(("sip:" + host + ":" + port).c_str());

    LibraryLock lock;
    if (!lock.Ok())
        return -4;
    eXosip_clear_authentication_info();
    if (AddAuthentication(ZLOG_METHOD) != 0)
        return -5;
    osip_message_t* reg = nullptr;
    int id = eXosip_register_build_initial_register(m_fromAddress.c_str(), m_proxyAddress.c_str(), nullptr, expiry,
                                                    &reg);
    if (id < 0) {
        ZLOG(LOG_ERROR, "eXosip_register_build_initial_register failed id = %d ", id);
        return -6;
    }
    m_registrationId = id;
    int nRet = eXosip_register_send_register(id, reg);
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "eXosip_register_send_register failed nRet = %d ", nRet);
        return -7;
    }
    return 1;
}

int CMXSipStack::UnRegister(const char* /*displayName*/, const char* /*userId*/, const char* /*password*/,
                            int /*expiry*/, const char* /*proxyHost*/, const char* /*proxyPort*/)
{
    ZLOG_SCOPE();
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    if (AddAuthentication(ZLOG_METHOD) != 0)
        return -2;
    osip_message_t* reg = nullptr;
    int id = eXosip_register_build_initial_register(m_fromAddress.c_str(), m_proxyAddress.c_str(), nullptr, 0, &reg);
    if (id < 0) {
        ZLOG(LOG_ERROR, "eXosip_register_build_initial_register failed id = %d ", id);
        return -3;
    }
    m_registrationId = id;
    int nRet = eXosip_register_send_register(id, reg);
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "eXosip_register_send_register failed nRet = %d ", nRet);
        return -4;
    }
    return 1;
}

bool CMXSipStack::LocalMediaIp(const char* method)
{
    ZLOG_SCOPE();
    if (!m_localMediaIp.empty())
        return true;
    const char* configured = std::getenv(kLocalAddressVariable);
    if (configured != nullptr && *configured != '\0') {
        m_localMediaIp = Text(configured, 254);
        return true;
    }
    char address[64] = "";
    int nRet = eXosip_guess_localip(kFamilyIpv4, address, sizeof address);
    if (nRet < 0) {
        ZLOG_AS(LOG_ERROR, method, "eXosip_guess_localip failed nRet = %d ", nRet);
        return false;
    }
    m_localMediaIp = Text(address, 254);
    return true;
}

int CMXSipStack::Invite(const char* ownUser, const char* calledUser, const char* proxyHost, const char* proxyPort,
                        const char* localMediaIp, const char* localMediaPort)
{
    ZLOG_SCOPE();
    if (ownUser == nullptr || calledUser == nullptr || proxyHost == nullptr || proxyPort == nullptr) {
        ZLOG(LOG_ERROR, "eXosip_call_build_initial_invite failed");
        return -2;
    }
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    std::string own = Text(ownUser);
    std::string host = Text(proxyHost);
    std::string port = Text(proxyPort);
    std::string called = Text(calledUser);
    std::string to = Text(SipAddress(called, host, port).c_str());
    m_fromAddress = Text((own.find('@') != std::string::npos ? "sip:" + own : SipAddress(own, host, port)).c_str());
    ZLOG(LOG_INFO, "To SIP ID %s", called.c_str());
    ZLOG(LOG_INFO, "From SIP ID %s", own.c_str());
    ZLOG(LOG_INFO, "ProxyServer IP %s", host.c_str());
    ZLOG(LOG_INFO, "ProxyServer Port %s", port.c_str());
    ZLOG(LOG_INFO, "To URL %s", to.c_str());
    ZLOG(LOG_INFO, "Caller URL %s", m_fromAddress.c_str());

    MessageOwner invite;
    if (eXosip_call_build_initial_invite(&invite.message, to.c_str(), m_fromAddress.c_str(), nullptr,
                                         m_userAgent.c_str()) != 0 ||
        invite.message == nullptr) {
        ZLOG(LOG_ERROR, "eXosip_call_build_initial_invite failed");
        return -2;
    }
    if (localMediaIp != nullptr)
        m_localMediaIp = Text(localMediaIp, 254);
    else if (!LocalMediaIp(ZLOG_METHOD))
        return -3;
    m_localMediaPort = localMediaPort != nullptr ? Text(localMediaPort, 254) : std::string(kDefaultMediaPort);

    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    if (CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, m_codecs, m_codecCount, m_localMediaIp.c_str(),
                                    m_localMediaPort.c_str(), m_userAgent.c_str()) < 0) {
        ZLOG(LOG_ERROR, "Unable to build SDP offer");
        return -5;
    }
    int nRet = osip_message_set_body(invite.message, sdp, std::strlen(sdp));
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "osip_message_set_body failed nRet = %d ", nRet);
        return -5;
    }
    nRet = osip_message_set_content_type(invite.message, kSdpContentType);
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "osip_message_set_content_type failed nRet = %d ", nRet);
        return -5;
    }
    int cid = eXosip_call_send_initial_invite(invite.Release());
    if (cid < 0) {
        ZLOG(LOG_ERROR, "eXosip_call_send_initial_invite failed nRet = %d", cid);
        return -4;
    }
    ZLOG(LOG_INFO, "eXosip_call_send_initial_invite returned %d ", cid);
    return cid;
}

int CMXSipStack::AnswerPlain(SESSION_EVENT_INFO* record, int status, const char* method)
{
    ZLOG_SCOPE();
    if (record == nullptr) {
        ZLOG_AS(LOG_ERROR, method, "eXosip_call_build_answer failed");
        return -2;
    }
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    osip_message_t* answer = nullptr;
    int nRet = eXosip_call_build_answer(record->tid, status, &answer);
    if (nRet != 0) {
        ZLOG_AS(LOG_ERROR, method, "eXosip_call_build_answer failed");
        return -2;
    }
    nRet = eXosip_call_send_answer(record->tid, status, answer);
    if (nRet != 0) {
        ZLOG_AS(LOG_ERROR, method, "eXosip_call_send_answer failed");
        return -3;
    }
    return 1;
}

int CMXSipStack::SendRinging(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record != nullptr)
        ZLOG(LOG_INFO, "$$$$$$$$$$Sending Ring DID[%d] CID[%d] TID[%d]$$$$$$$$$$",
             record->did, record->cid, record->tid);
    return AnswerPlain(record, 180, "CMXSipStack::SendRinging");
}

int CMXSipStack::RejectIncomingCall(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record != nullptr)
        ZLOG(LOG_INFO, 
             "$$$$$$$$$$Rejecting Incoming Call DID[%d] CID[%d] TID[%d]$$$$$$$$$$", record->did, record->cid,
             record->tid);
    return AnswerPlain(record, 486, "CMXSipStack::RejectIncomingCall");
}

int CMXSipStack::AnswerWithSdp(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort,
                               int status, const char* method)
{
    ZLOG_SCOPE();
    if (record == nullptr) {
        ZLOG_AS(LOG_ERROR, method, "Invalid Incoming call to be accepted = %d ", -1);
        return -2;
    }
    ZLOG_AS(LOG_INFO, method, "$$$$$$$$$$Accepting Incoming DID[%d] CID[%d] TID[%d]$$$$$$$$$$", record->did,
         record->cid, record->tid);
    if (record->tid < 0) {
        ZLOG_AS(LOG_ERROR, method, "Invalid Incoming call to be accepted = %d ", record->tid);
        return -2;
    }
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    if (localMediaIp != nullptr) {
        m_localMediaIp = Text(localMediaIp, 254);
        m_localMediaPort = localMediaPort != nullptr ? Text(localMediaPort, 254) : std::string(kDefaultMediaPort);
    } else {
        if (!LocalMediaIp(method))
            return -3;
        m_localMediaPort = kDefaultMediaPort;
    }
    MessageOwner answer;
    if (eXosip_call_build_answer(record->tid, status, &answer.message) != 0 || answer.message == nullptr) {
        ZLOG_AS(LOG_ERROR, method, "eXosip_call_build_answer failed");
        return -4;
    }
    int index = record->selectedCodecIndex;
    if (m_codecs == nullptr || index < 0 || index >= m_codecCount) {
        ZLOG_AS(LOG_ERROR, method, "Invalid selected codec index %d", index);
        return -8;
    }
    const CODEC_INFO& codec = m_codecs[index];
    ZLOG_AS(LOG_DATA, method, "Selected Pay Load = [%d]", codec.payload);
    ZLOG_AS(LOG_DATA, method, "Selected Frequency = [%d]", codec.frequency);
    ZLOG_AS(LOG_DATA, method, "Selected Mode = [%d]", codec.mode);
    ZLOG_AS(LOG_DATA, method, "Selected Codec Name = [%s]", codec.name);
    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    if (CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, &codec, 1, m_localMediaIp.c_str(), m_localMediaPort.c_str(),
                                    m_userAgent.c_str()) < 0) {
        ZLOG_AS(LOG_ERROR, method, "Unable to build SDP answer");
        return -8;
    }
    int nRet = osip_message_set_body(answer.message, sdp, std::strlen(sdp));
    if (nRet != 0) {
        ZLOG_AS(LOG_ERROR, method, "osip_message_set_body failed nRet = %d ", nRet);
        return -5;
    }
    nRet = osip_message_set_content_type(answer.message, kSdpContentType);
    if (nRet != 0) {
        ZLOG_AS(LOG_ERROR, method, "osip_message_set_content_type failed nRet = %d ", nRet);
        return -6;
    }
    nRet = eXosip_call_send_answer(record->tid, status, answer.Release());
    if (nRet != 0) {
        ZLOG_AS(LOG_ERROR, method, "eXosip_call_send_answer failed");
        return -7;
    }
    return 1;
}

int CMXSipStack::SendRingWithSDP(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort)
{
    ZLOG_SCOPE();
    return AnswerWithSdp(record, localMediaIp, localMediaPort, 183, "CMXSipStack::SendRingWithSDP");
}

int CMXSipStack::AcceptIncomingCall(SESSION_EVENT_INFO* record, const char* localMediaIp,
                                    const char* localMediaPort)
{
    ZLOG_SCOPE();
    return AnswerWithSdp(record, localMediaIp, localMediaPort, 200, "CMXSipStack::AcceptIncomingCall");
}

int CMXSipStack::HangUp(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record == nullptr) {
        ZLOG(LOG_ERROR, "eXosip_call_terminate failed nRet = %d ", -1);
        return -2;
    }
    ZLOG(LOG_INFO, "$$$$$$$$$$Dropping Call DID[%d] CID[%d] TID[%d]$$$$$$$$$$", record->did, record->cid,
         record->tid);
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    int nRet = eXosip_call_terminate(record->cid, record->did);
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "eXosip_call_terminate failed nRet = %d ", nRet);
        return -2;
    }
    return 1;
}

int CMXSipStack::SendPing()
{
    ZLOG_SCOPE();
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    std::string address = SipAddress(m_userId, m_proxyHost, m_proxyPort);
    osip_message_t* message = nullptr;
    int nRet = eXosip_message_build_request(&message, "MESSAGE", address.c_str(), address.c_str(), nullptr);
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "eXosip_message_build_request failed nRet = %d ", nRet);
        return -1;
    }
    nRet = eXosip_message_send_request(message);
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "eXosip_message_send_request failed nRet = %d ", nRet);
        return -2;
    }
    return 1;
}

void CMXSipStack::ThreadProc()
{
    ZLOG_SCOPE();
    while (!m_stopWorker) {
        eXosip_event_t* event = eXosip_event_wait(1, 0);
        if (event == nullptr) {
            if (m_quitting && !m_registered) {
                ZLOG(LOG_DEBUG, "exiting, Unregister successfull quitting");
                ZLOG(LOG_DEBUG, "***********************exiting, No registration");
                break;
            }
            continue;
        }
        ZLOG(LOG_DEBUG, "***********************SIP Event = %d", event->type);
        SESSION_EVENT_INFO record;
        ClearEventInfo(record);
        GetSipDialog(event, record);

        const HandlerEntry* entry = nullptr;
        for (const HandlerEntry& h : kHandlers)
            if (h.type == event->type)
                entry = &h;
        int status = entry != nullptr ? (this->*(entry->handler))(event, record) : OnOther(event, record);

        if (event->type == EXOSIP_REGISTRATION_SUCCESS && m_quitting && status == MXSS_STATUS_REGISTRATION_SUCCESSFUL) {
            ZLOG(LOG_DEBUG, "exiting, Unregister successfull quitting");
            eXosip_event_free(event);
            break;
        }
        // An in-call request other than a DTMF INFO reaches nobody.
        bool deliver = status != 0;
        if (event->type == EXOSIP_CALL_INVITE) {
            ZLOG(LOG_DATA, "Selected Pay Load = [%s]", record.codecPayload);
            ZLOG(LOG_DATA, "Selected Frequency = [%s]", record.codecFreq);
            ZLOG(LOG_DATA, "Selected Mode = [%s]", record.codecMode);
            ZLOG(LOG_DATA, "Selected Codec Name = [%s]", record.codecName);
        }
        // Every handler has released the library lock by now, so the consumer may call us back.
        if (deliver && m_callback != nullptr)
            m_callback(status, m_context, IsRegistrationEvent(event->type) ? nullptr : &record);
        eXosip_event_free(event);
    }
    m_workerStopped = true;
}

int CMXSipStack::GetSipDialog(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    record.cid = event->cid;
    record.did = event->did;
    record.tid = event->tid;
    if (event->response != nullptr) {
        record.statusCode = osip_message_get_status_code(event->response);
        const char* reason = osip_message_get_reason_phrase(event->response);
        CopyText(record.responseMessage, reason);
    }
    ZLOG(LOG_DEBUG, "Call DID =  %d, CID = %d, TID =  %d", record.did, record.cid,
         record.tid);
    ZLOG(LOG_DEBUG, "%s", EventName(event->type));
    return 1;
}

int CMXSipStack::DefaultAction(eXosip_event* event)
{
    ZLOG_SCOPE();
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    int nRet = eXosip_default_action(event);
    if (nRet < 0)
        ZLOG(LOG_ERROR, "eXosip_default_action failed for CID %d", event->cid);
    return nRet;
}

int CMXSipStack::OnRegistrationSuccess(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    {
        LibraryLock lock;
        if (!lock.Ok())
            return -1;
        if (eXosip_default_action(event) < 0) {
            ZLOG(LOG_ERROR, 
                 "eXosip_default_action failed for EXOSIP_REGISTRATION_SUCCESS");
            return -1;
        }
    }
    if (m_quitting) {
        ZLOG(LOG_DEBUG, "exiting, Unregister successfull quitting");
        return MXSS_STATUS_REGISTRATION_SUCCESSFUL;
    }
    // An accepted unregistration leaves nothing registered.
    m_registered = !IsUnregistration(event->request);
    return MXSS_STATUS_REGISTRATION_SUCCESSFUL;
}

int CMXSipStack::OnRegistrationFailure(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    if (event->response == nullptr)
        return MXSS_STATUS_REGISTRATION_TIMEOUT;
    // A challenge is answered with the credentials; the status tells the consumer either way.
    DefaultAction(event);
    int code = osip_message_get_status_code(event->response);
    return code == 401 || code == 407 ? MXSS_STATUS_REGISTRATION_FAILURE : MXSS_STATUS_REGISTRATION_TIMEOUT;
}

int CMXSipStack::ProcessSDP(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    sdp_message_t* sdp = eXosip_get_remote_sdp(event->did);
    sdp_media_t* audio = sdp != nullptr ? eXosip_get_audio_media(sdp) : nullptr;
    int result = CMXSdpNegotiator::ProcessSDP(sdp, audio, m_codecs, m_codecCount, record);
    if (sdp != nullptr)
        sdp_message_free(sdp);
    if (result >= 0) {
        CMXSdpNegotiator::CopyAddresses(event->request, record);
        return result;
    }
    // Only an offer we received has a transaction of ours to refuse.
    if (event->type != EXOSIP_CALL_INVITE)
        return result;
    osip_message_t* answer = nullptr;
    if (eXosip_call_build_answer(event->tid, 488, &answer) != 0) {
        ZLOG(LOG_ERROR, "eXosip_call_build_answer failed");
        return CMXSdpNegotiator::AnswerFailureCode(result, CMXSdpNegotiator::AnswerResult::BuildFailed);
    }
    if (eXosip_call_send_answer(event->tid, 488, answer) != 0) {
        ZLOG(LOG_ERROR, "eXosip_call_send_answer failed");
        return CMXSdpNegotiator::AnswerFailureCode(result, CMXSdpNegotiator::AnswerResult::SendFailed);
    }
    return result;
}

int CMXSipStack::OnCallInvite(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    if (ProcessSDP(event, record) < 0) {
        ZLOG(LOG_ERROR, "Unable to parse remote SDP");
        return -1;
    }
    return MXSS_STATUS_INCOMING_CALL;
}

int CMXSipStack::OnCallReinvite(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    osip_message_t* answer = nullptr;
    if (eXosip_call_build_answer(event->tid, 488, &answer) != 0) {
        ZLOG(LOG_ERROR, "eXosip_call_build_answer failed");
        return -1;
    }
    if (eXosip_call_send_answer(event->tid, 488, answer) != 0) {
        ZLOG(LOG_ERROR, "eXosip_call_send_answer failed");
        return -2;
    }
    return -1;
}

int CMXSipStack::OnCallNoAnswer(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    // Without a response there is nothing for the default action to act on.
    if (event->response != nullptr && DefaultAction(event) < 0)
        return -1;
    return MXSS_STATUS_CALL_NOANSWER;
}

int CMXSipStack::OnCallProceeding(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    if (event->response != nullptr && DefaultAction(event) < 0)
        return -1;
    if (record.statusCode == 183) {
        LibraryLock lock;
        if (!lock.Ok())
            return -1;
        if (ProcessSDP(event, record) < 0) {
            ZLOG(LOG_ERROR, "Unable to parse remote SDP");
            return -1;
        }
    }
    return MXSS_STATUS_CALL_PROCEEDING;
}

int CMXSipStack::OnCallRinging(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    if (ProcessSDP(event, record) < 0)
        ZLOG(LOG_WARNING, "Some problem with remote SDP, we ignored it");
    return MXSS_STATUS_CALL_RINGING;
}

int CMXSipStack::OnCallAnswered(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    LibraryLock lock;
    if (!lock.Ok())
        return -1;
    int negotiated = ProcessSDP(event, record);
    osip_message_t* ack = nullptr;
    if (eXosip_call_build_ack(event->did, &ack) != 0) {
        ZLOG(LOG_ERROR, "eXosip_call_build_ack failed");
        return -1;
    }
    if (eXosip_call_send_ack(event->did, ack) != 0) {
        ZLOG(LOG_ERROR, "eXosip_call_send_ack failed");
        return -1;
    }
    if (negotiated < 0) {
        // The far end answered with nothing we can speak: confirm its 2xx, then end the call.
        ZLOG(LOG_ERROR, "Unable to parse remote SDP");
        eXosip_call_terminate(event->cid, event->did);
        return -1;
    }
    return MXSS_STATUS_OUTGOING_CALL_ANSWERED;
}

int CMXSipStack::OnCallRedirected(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_CALL_REDIRECTED;
}

int CMXSipStack::OnCallRequestFailure(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    if (event->response == nullptr || DefaultAction(event) < 0)
        return -1;
    return MXSS_STATUS_CALL_REQUESTFAILURE;
}

int CMXSipStack::OnCallServerFailure(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_CALL_SERVERFAILURE;
}

int CMXSipStack::OnCallGlobalFailure(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    if (event->response != nullptr && DefaultAction(event) < 0)
        return -1;
    return MXSS_STATUS_CALL_GLOBALFAILURE;
}

int CMXSipStack::OnCallAck(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_CALL_ACK;
}

int CMXSipStack::OnCallCancelled(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_CALL_CANCELLED;
}

int CMXSipStack::OnCallTimeout(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_CALL_TIMEOUT;
}

int CMXSipStack::OnCallMessageNew(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    if (event->request == nullptr || event->request->sip_method == nullptr ||
        std::strcmp(event->request->sip_method, "INFO") != 0)
        return 0;
    return ProcessEXOSIP_INFO_Message(event, record);
}

int CMXSipStack::ProcessEXOSIP_INFO_Message(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    if (event->cid != 0) {
        LibraryLock lock;
        if (!lock.Ok())
            return -1;
        osip_message_t* answer = nullptr;
        if (eXosip_call_build_answer(event->tid, 200, &answer) != 0) {
            ZLOG(LOG_ERROR, "eXosip_call_build_answer failed");
            return -2;
        }
        if (eXosip_call_send_answer(event->tid, 200, answer) != 0) {
            ZLOG(LOG_ERROR, "eXosip_call_send_answer failed");
            return -2;
        }
    }
    osip_body_t* body = nullptr;
    if (osip_message_get_body(event->request, 0, &body) < 0 || body == nullptr || body->body == nullptr) {
        ZLOG(LOG_DEBUG, "INFO without body");
        return 0;
    }
    std::string_view text(body->body, body->length);
    ZLOG(LOG_DEBUG, "Message Body %.*s", static_cast<int>(text.size() > 1024 ? 1024 : text.size()),
         text.data());
    int signal = 0;
    int duration = 0;
    if (!ParseDtmfBody(text, signal, duration)) {
        ZLOG(LOG_WARNING, "INFO without a DTMF signal");
        return 0;
    }
    record.dtmfSignal = signal;
    record.dtmfDuration = duration;
    return MXSS_STATUS_DTMF;
}

int CMXSipStack::OnCallMessageRequestFailure(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_CALL_MESSAGE_REQUESTFAILURE;
}

int CMXSipStack::OnCallClosed(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    if (event->response != nullptr && DefaultAction(event) < 0)
        return -1;
    return MXSS_STATUS_CALL_CLOSED;
}

int CMXSipStack::OnCallReleased(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_CALL_RELEASED;
}

int CMXSipStack::OnOther(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_OTHER_SIP_MESSAGE;
}
