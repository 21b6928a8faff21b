#include "session/CMXSipStack.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "app/CLogger.h"
#include "session/CLibraryLock.h"
#include "session/sdp/CMXSdpNegotiator.h"
#include "session/sip/CUdpTransport.h"
#include "session/sip/OsipPtr.h"
#include "session/sip/eXosip.h"

namespace {

constexpr int kTransportUdp = 17;
constexpr int kFamilyIpv4 = 2;
constexpr const char* kSdpContentType = "application/sdp";

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

} // namespace

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
        // The answer to the unregistration, or a quiet second once nothing is registered, ends the
        // worker. Looked at every 50 ms within the same 15 s and 2 s: a stack replaced by the
        // automatic connection choice goes while the window waits.
        constexpr int kStepsPerSecond = 20;
        // Nothing registered, so no answer to wait for: the worker ends now, not after its quiet second.
        if (!m_registered)
            eXosip_event_interrupt();
        for (int waited = 0; waited < 15 * kStepsPerSecond && !m_workerStopped; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kStepsPerSecond));
        if (!m_workerStopped) {
            m_registered = false;
            for (int waited = 0; waited < 2 * kStepsPerSecond && !m_workerStopped; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kStepsPerSecond));
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
                      void* context, const char* logFilePath, CODEC_INFO* codecs, int codecCount, const char* userAgent,
                      int localSipPort)
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
        CLibraryLock lock;
        // osip2 prefers a trace function, once set, over any file: clear it so the file gets the trace.
        osip_trace_initialize_func(END_TRACE_LEVEL, nullptr);
        eXosip_trace_initialize(END_TRACE_LEVEL, m_logFile);
    }
    if (eXosip_listen_addr(kTransportUdp, nullptr, localSipPort, kFamilyIpv4, 0) != 0) {
        ZLOG(LOG_ERROR, "eXosip_listen_addr failed on Port %d", localSipPort);
        return -9;
    }
    {
        CLibraryLock lock;
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
    // Under the library lock: the session core re-registers from its keep-alive thread while
    // calls are answered from others, and they share these texts.
    CLibraryLock lock;
    if (!lock.Ok())
        return -4;
    StoreCredentials(displayName, userId, password);
    // A guessed media address is guessed again: the registration may follow a changed network.
    if (m_mediaIpGuessed) {
        m_localMediaIp.clear();
        m_mediaIpGuessed = false;
    }
    std::string host = m_proxyHost;
    std::string port = m_proxyPort;
    if (proxyHost != nullptr && proxyPort != nullptr) {
        host = Text(proxyHost);
        port = Text(proxyPort);
    }
    m_fromAddress = Text(SipAddress(m_userId, host, port).c_str());
    m_proxyAddress = Text(("sip:" + host + ":" + port).c_str());

    eXosip_clear_authentication_info();
    if (AddAuthentication(ZLOG_METHOD) != 0)
        return -5;
    osip_message_t* reg = nullptr;
    int id =
        eXosip_register_build_initial_register(m_fromAddress.c_str(), m_proxyAddress.c_str(), nullptr, expiry, &reg);
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
    CLibraryLock lock;
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

std::string CMXSipStack::LocalAddressTowards(const std::string& host)
{
    // A name is not resolved here (this runs every few seconds and must not wait on DNS): the
    // route of the default probe then stands for it.
    in_addr numeric{};
    const bool isNumeric = inet_pton(AF_INET, host.c_str(), &numeric) == 1;
    std::string address;
    if (zelora::CUdpTransport::LocalAddressTowards(isNumeric ? host.c_str() : nullptr, address) != 0)
        return {};
    return address;
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
    m_mediaIpGuessed = true;
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
    CLibraryLock lock;
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

    osip_message_t* built = nullptr;
    int buildResult =
        eXosip_call_build_initial_invite(&built, to.c_str(), m_fromAddress.c_str(), nullptr, m_userAgent.c_str());
    zelora::OsipMessagePtr invite(built);
    if (buildResult != 0 || invite == nullptr) {
        ZLOG(LOG_ERROR, "eXosip_call_build_initial_invite failed");
        return -2;
    }
    if (localMediaIp != nullptr) {
        m_localMediaIp = Text(localMediaIp, 254);
        m_mediaIpGuessed = false;
    } else if (!LocalMediaIp(ZLOG_METHOD))
        return -3;
    m_localMediaPort = localMediaPort != nullptr ? Text(localMediaPort, 254) : std::string(kDefaultMediaPort);

    char sdp[CMXSdpNegotiator::kSdpBufferSize];
    if (CMXSdpNegotiator::CreateSDP(sdp, sizeof sdp, m_codecs, m_codecCount, m_localMediaIp.c_str(),
                                    m_localMediaPort.c_str(), m_userAgent.c_str()) < 0) {
        ZLOG(LOG_ERROR, "Unable to build SDP offer");
        return -5;
    }
    int nRet = osip_message_set_body(invite.get(), sdp, std::strlen(sdp));
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "osip_message_set_body failed nRet = %d ", nRet);
        return -5;
    }
    nRet = osip_message_set_content_type(invite.get(), kSdpContentType);
    if (nRet != 0) {
        ZLOG(LOG_ERROR, "osip_message_set_content_type failed nRet = %d ", nRet);
        return -5;
    }
    int cid = eXosip_call_send_initial_invite(invite.release());
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
    CLibraryLock lock;
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
        ZLOG(LOG_INFO, "$$$$$$$$$$Sending Ring DID[%d] CID[%d] TID[%d]$$$$$$$$$$", record->did, record->cid,
             record->tid);
    return AnswerPlain(record, 180, "CMXSipStack::SendRinging");
}

int CMXSipStack::RejectIncomingCall(SESSION_EVENT_INFO* record)
{
    ZLOG_SCOPE();
    if (record != nullptr)
        ZLOG(LOG_INFO, "$$$$$$$$$$Rejecting Incoming Call DID[%d] CID[%d] TID[%d]$$$$$$$$$$", record->did, record->cid,
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
    CLibraryLock lock;
    if (!lock.Ok())
        return -1;
    if (localMediaIp != nullptr) {
        m_localMediaIp = Text(localMediaIp, 254);
        m_mediaIpGuessed = false;
        m_localMediaPort = localMediaPort != nullptr ? Text(localMediaPort, 254) : std::string(kDefaultMediaPort);
    } else {
        if (!LocalMediaIp(method))
            return -3;
        m_localMediaPort = kDefaultMediaPort;
    }
    osip_message_t* built = nullptr;
    int buildResult = eXosip_call_build_answer(record->tid, status, &built);
    zelora::OsipMessagePtr answer(built);
    if (buildResult != 0 || answer == nullptr) {
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
    int nRet = osip_message_set_body(answer.get(), sdp, std::strlen(sdp));
    if (nRet != 0) {
        ZLOG_AS(LOG_ERROR, method, "osip_message_set_body failed nRet = %d ", nRet);
        return -5;
    }
    nRet = osip_message_set_content_type(answer.get(), kSdpContentType);
    if (nRet != 0) {
        ZLOG_AS(LOG_ERROR, method, "osip_message_set_content_type failed nRet = %d ", nRet);
        return -6;
    }
    nRet = eXosip_call_send_answer(record->tid, status, answer.release());
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

int CMXSipStack::AcceptIncomingCall(SESSION_EVENT_INFO* record, const char* localMediaIp, const char* localMediaPort)
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
    ZLOG(LOG_INFO, "$$$$$$$$$$Dropping Call DID[%d] CID[%d] TID[%d]$$$$$$$$$$", record->did, record->cid, record->tid);
    CLibraryLock lock;
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
    CLibraryLock lock;
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
