#include "session/sip/CSipUserAgent.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <osipparser2/osip_port.h>

#include "app/CLogger.h"
#include "session/sip/CMessageIntake.h"
#include "session/sip/OsipText.h"

namespace zelora {

CSipUserAgent* CSipUserAgent::s_instance = nullptr;

namespace {

void TraceToLogger(const char* file, int line, osip_trace_level_t level, const char* format, va_list ap)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format, ap);
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r'))
        text[--n] = '\0';
    CLogger::Log(level <= TRACE_LEVEL2 ? LOG_ERROR : LOG_DEBUG, file != nullptr ? file : "", line, "osip", "%s", text);
}

} // namespace

// ---------------------------------------------------------------- lifetime

CSipUserAgent* CSipUserAgent::Instance() { return s_instance; }

void CSipUserAgent::RouteTraceToLogger(int level)
{
    ZLOG_SCOPE();
    osip_trace_initialize_func(static_cast<osip_trace_level_t>(level), &TraceToLogger);
}

int CSipUserAgent::Create()
{
    ZLOG_SCOPE();
    if (s_instance != nullptr)
        return 0;
    auto agent = std::make_unique<CSipUserAgent>();
    if (agent->m_osip == nullptr || agent->m_wakeFd < 0) {
        ZLOG(LOG_ERROR, "osip initialisation failed");
        return -1;
    }
    s_instance = agent.release();
    return 0;
}

void CSipUserAgent::Destroy()
{
    ZLOG_SCOPE();
    delete s_instance;
    s_instance = nullptr;
}

CSipUserAgent::CSipUserAgent()
{
    ZLOG_SCOPE();
    RouteTraceToLogger(TRACE_LEVEL3);
    if (osip_init(&m_osip) != 0) {
        m_osip = nullptr;
        return;
    }
    osip_set_application_context(m_osip, this);
    osip_set_cb_send_message(m_osip, &SendCallback);
    for (int kind :
         {OSIP_ICT_KILL_TRANSACTION, OSIP_IST_KILL_TRANSACTION, OSIP_NICT_KILL_TRANSACTION, OSIP_NIST_KILL_TRANSACTION})
        osip_set_kill_transaction_callback(m_osip, kind, &KillCallback);
    for (int kind :
         {OSIP_ICT_TRANSPORT_ERROR, OSIP_IST_TRANSPORT_ERROR, OSIP_NICT_TRANSPORT_ERROR, OSIP_NIST_TRANSPORT_ERROR})
        osip_set_transport_error_callback(m_osip, kind, &TransportErrorCallback);
    for (int kind : {OSIP_ICT_STATUS_1XX_RECEIVED, OSIP_ICT_STATUS_2XX_RECEIVED, OSIP_ICT_STATUS_3XX_RECEIVED,
                     OSIP_ICT_STATUS_4XX_RECEIVED, OSIP_ICT_STATUS_5XX_RECEIVED, OSIP_ICT_STATUS_6XX_RECEIVED})
        osip_set_message_callback(m_osip, kind, &IctResponseCallback);
    for (int kind : {OSIP_NICT_STATUS_1XX_RECEIVED, OSIP_NICT_STATUS_2XX_RECEIVED, OSIP_NICT_STATUS_3XX_RECEIVED,
                     OSIP_NICT_STATUS_4XX_RECEIVED, OSIP_NICT_STATUS_5XX_RECEIVED, OSIP_NICT_STATUS_6XX_RECEIVED})
        osip_set_message_callback(m_osip, kind, &NictResponseCallback);
    for (int kind :
         {OSIP_IST_STATUS_3XX_SENT, OSIP_IST_STATUS_4XX_SENT, OSIP_IST_STATUS_5XX_SENT, OSIP_IST_STATUS_6XX_SENT})
        osip_set_message_callback(m_osip, kind, &IstFinalSentCallback);
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CSipUserAgent::~CSipUserAgent()
{
    ZLOG_SCOPE();
    m_stop = true;
    m_events.Stop();
    Wake();
    if (m_worker.joinable())
        m_worker.join();
    m_calls.Clear();
    m_registrations.Clear();
    for (auto& [tid, t] : m_transactions) {
        if (!t.killed)
            osip_remove_transaction(m_osip, t.tr);
        osip_transaction_free(t.tr);
    }
    m_transactions.clear();
    if (m_osip != nullptr)
        osip_release(m_osip);
    m_transport.Close();
    m_events.Clear();
    m_credentials.Clear();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    // Any trace file the application passed may be closed after we are gone.
    RouteTraceToLogger(TRACE_LEVEL3);
}

int CSipUserAgent::ListenAddr(int transport, const char* addr, int port, int family)
{
    ZLOG_SCOPE();
    if (transport != IPPROTO_UDP || family != AF_INET) {
        ZLOG(LOG_ERROR, "only UDP over IPv4 is supported (%d, %d)", transport, family);
        return -1;
    }
    if (m_worker.joinable()) {
        ZLOG(LOG_ERROR, "already listening on port %d", m_transport.Port());
        return -1;
    }
    if (m_transport.Open(addr, port) != 0)
        return -1;
    m_stop = false;
    m_worker = std::thread([this] { WorkerLoop(); });
    return 0;
}

void CSipUserAgent::SetUserAgent(const char* text) { m_userAgent = Bounded(text, kMaxCredentialText); }

int CSipUserAgent::Lock()
{
    ZLOG_SCOPE();
    m_lock.lock();
    return 0;
}

int CSipUserAgent::Unlock()
{
    ZLOG_SCOPE();
    m_lock.unlock();
    return 0;
}

eXosip_event_t* CSipUserAgent::EventWait(int seconds, int milliseconds)
{
    ZLOG_SCOPE();
    long long ms = static_cast<long long>(seconds < 0 ? 0 : seconds) * 1000 + (milliseconds < 0 ? 0 : milliseconds);
    return m_events.Pop(std::chrono::milliseconds(ms));
}

// ---------------------------------------------------------------- worker

void CSipUserAgent::Wake()
{
    ZLOG_SCOPE();
    if (m_wakeFd >= 0) {
        uint64_t one = 1;
        ssize_t n = ::write(m_wakeFd, &one, sizeof one);
        (void)n;
    }
}

void CSipUserAgent::WorkerLoop()
{
    ZLOG_SCOPE();
    std::vector<char> buffer(CUdpTransport::kMaxDatagram + 1);
    struct Datagram {
        std::string data;
        std::string ip;
        int port;
    };
    std::vector<Datagram> batch;
    int timeoutMs = 100;
    while (!m_stop) {
        pollfd fds[2] = {{m_transport.Fd(), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        int rc = poll(fds, 2, timeoutMs);
        if (rc < 0 && errno != EINTR) {
            ZLOG(LOG_ERROR, "poll failed errno %d", errno);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (m_stop)
            break;
        if (fds[1].revents & POLLIN) {
            uint64_t value = 0;
            ssize_t n = ::read(m_wakeFd, &value, sizeof value);
            (void)n;
        }
        batch.clear();
        // Bounded per round so a flood cannot starve the timers.
        for (int i = 0; i < 256; ++i) {
            std::string ip;
            int port = 0;
            long n = m_transport.Receive(buffer.data(), CUdpTransport::kMaxDatagram, ip, port);
            if (n <= 0)
                break;
            batch.push_back({std::string(buffer.data(), static_cast<size_t>(n)), ip, port});
        }
        std::lock_guard<std::mutex> guard(m_lock);
        for (const Datagram& d : batch)
            HandleDatagram(d.data.data(), d.data.size(), d.ip, d.port);
        RunRound();
        timeoutMs = NextTimeoutMs();
    }
}

int CSipUserAgent::NextTimeoutMs()
{
    ZLOG_SCOPE();
    timeval tv{};
    osip_timers_gettimeout(m_osip, &tv);
    long long next = static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
    // Calls have deadlines of their own (ACK, no answer) that housekeeping checks; transactions
    // end inside a round, which housekeeping follows. Without a call only the next registration
    // refresh is due.
    long long housekeeping = kBusyHousekeepingMs;
    if (m_calls.Empty()) {
        using std::chrono::milliseconds;
        const auto untilRefresh = m_registrations.NextRefresh() - Clock::now();
        // One millisecond more, so that the refresh is due when the worker wakes.
        housekeeping =
            std::chrono::duration_cast<milliseconds>(std::min<Clock::duration>(untilRefresh, milliseconds(kIdleWaitMs)))
                .count() +
            1;
    }
    next = std::min(next, housekeeping);
    return static_cast<int>(next < 0 ? 0 : next);
}

void CSipUserAgent::RunRound()
{
    ZLOG_SCOPE();
    osip_timers_ict_execute(m_osip);
    osip_timers_ist_execute(m_osip);
    osip_timers_nict_execute(m_osip);
    osip_timers_nist_execute(m_osip);
    osip_ict_execute(m_osip);
    osip_ist_execute(m_osip);
    osip_nict_execute(m_osip);
    osip_nist_execute(m_osip);
    osip_retransmissions_execute(m_osip);
    Housekeeping();
}

void CSipUserAgent::Housekeeping()
{
    ZLOG_SCOPE();
    m_registrations.RefreshDue();
    m_calls.Housekeeping(Clock::now());
    for (auto tit = m_transactions.begin(); tit != m_transactions.end();) {
        Transaction& t = tit->second;
        bool keep = !t.killed || t.cid != 0;
        if (!keep && t.rid != 0)
            keep = m_registrations.IsCurrent(t.rid, tit->first);
        if (keep) {
            ++tit;
            continue;
        }
        osip_transaction_free(t.tr);
        tit = m_transactions.erase(tit);
    }
}

// ---------------------------------------------------------------- lookups

CSipUserAgent::Transaction* CSipUserAgent::FindTransaction(int tid)
{
    ZLOG_SCOPE();
    auto it = m_transactions.find(tid);
    return it == m_transactions.end() ? nullptr : &it->second;
}

SipLocal CSipUserAgent::LocalFor(const char* nextHop)
{
    ZLOG_SCOPE();
    SipLocal local;
    local.port = m_transport.Port();
    local.userAgent = m_userAgent;
    const std::string& bound = m_transport.BoundAddress();
    if (!bound.empty() && bound != "0.0.0.0")
        local.ip = bound;
    else
        CUdpTransport::LocalAddressTowards(nextHop, local.ip);
    return local;
}

// ---------------------------------------------------------------- osip callbacks

void CSipUserAgent::KillCallback(int, osip_transaction_t* tr)
{
    ZLOG_SCOPE();
    if (s_instance != nullptr && tr != nullptr)
        s_instance->OnKilled(tr);
}

void CSipUserAgent::TransportErrorCallback(int type, osip_transaction_t* tr, int error)
{
    ZLOG_SCOPE();
    ZLOG(LOG_ERROR, "transport error %d on transaction %d (kind %d)", error, tr != nullptr ? tr->transactionid : -1,
         type);
}

void CSipUserAgent::IctResponseCallback(int, osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    if (s_instance != nullptr && tr != nullptr && msg != nullptr)
        s_instance->m_calls.OnIctResponse(tr, msg);
}

void CSipUserAgent::NictResponseCallback(int, osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    if (s_instance != nullptr && tr != nullptr && msg != nullptr)
        s_instance->OnNictResponse(tr, msg);
}

void CSipUserAgent::IstFinalSentCallback(int, osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    if (s_instance != nullptr && tr != nullptr && msg != nullptr)
        s_instance->m_calls.OnIstFinalSent(tr, msg);
}

void CSipUserAgent::OnKilled(osip_transaction_t* tr)
{
    ZLOG_SCOPE();
    osip_remove_transaction(m_osip, tr);
    Transaction* t = FindTransaction(tr->transactionid);
    if (t == nullptr) {
        // Not ours to track (should not happen): leave it to osip_release.
        return;
    }
    t->killed = true;
    if (IsFinal(tr->last_response))
        return;
    if (t->rid != 0)
        m_registrations.OnNoFinalAnswer(t->rid, tr);
    else if (t->cid == 0 && tr->orig_request != nullptr && MSG_IS_MESSAGE(tr->orig_request))
        // Out of dialog a MESSAGE that nobody answered is reported, so that a keep-alive can
        // tell a silent server from a slow one.
        Emit(EXOSIP_MESSAGE_REQUESTFAILURE, tr->orig_request, nullptr, 0, 0, tr->transactionid, 0);
}

void CSipUserAgent::OnNictResponse(osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    Transaction* t = FindTransaction(tr->transactionid);
    if (t == nullptr)
        return;
    const int status = msg->status_code;
    if (t->rid != 0) {
        m_registrations.OnResponse(t->rid, tr, msg);
        return;
    }
    if (status < 200)
        return;
    const char* method = tr->orig_request != nullptr ? tr->orig_request->sip_method : "";
    if (t->cid != 0) {
        CSipCalls::Call* call = m_calls.FindCallByCid(t->cid);
        int did = call != nullptr ? call->did : 0;
        if (status < 300) {
            if (!SameText(method, "BYE") && !SameText(method, "CANCEL"))
                Emit(EXOSIP_CALL_MESSAGE_ANSWERED, tr->orig_request, msg, t->cid, did, tr->transactionid, 0);
            return;
        }
        Emit(FailureType(status, EXOSIP_CALL_MESSAGE_REDIRECTED), tr->orig_request, msg, t->cid, did, tr->transactionid,
             0);
        return;
    }
    Emit(status < 300 ? EXOSIP_MESSAGE_ANSWERED : FailureType(status, EXOSIP_MESSAGE_REDIRECTED), tr->orig_request, msg,
         0, 0, tr->transactionid, 0);
}

// ---------------------------------------------------------------- credentials

int CSipUserAgent::ClearAuthenticationInfo()
{
    ZLOG_SCOPE();
    m_credentials.Clear();
    return 0;
}

int CSipUserAgent::AddAuthenticationInfo(const char* username, const char* userid, const char* passwd, const char* ha1,
                                         const char* realm)
{
    ZLOG_SCOPE();
    return m_credentials.Add(username, userid, passwd, ha1, realm);
}

int CSipUserAgent::AddCredentials(osip_message_t* request, const osip_message_t* challenge)
{
    return m_credentials.Answer(request, challenge);
}

// ---------------------------------------------------------------- default action

int CSipUserAgent::DefaultAction(eXosip_event_t* event)
{
    ZLOG_SCOPE();
    if (event == nullptr || event->response == nullptr)
        return -1;
    const int status = event->response->status_code;
    if (status == 401 || status == 407) {
        if (event->rid > 0)
            return m_registrations.Retry(event->rid);
        if (event->cid > 0 && event->type == EXOSIP_CALL_REQUESTFAILURE) {
            CSipCalls::Call* call = m_calls.FindCallByCid(event->cid);
            return call != nullptr ? m_calls.RetryInvite(*call, event->response) : -1;
        }
        if (event->type == EXOSIP_MESSAGE_REQUESTFAILURE)
            return RetryMessage(event->request, event->response);
        return 1;
    }
    if (status >= 300 && status < 400 && event->type == EXOSIP_CALL_REDIRECTED) {
        CSipCalls::Call* call = m_calls.FindCallByCid(event->cid);
        return call != nullptr ? m_calls.Redirect(*call, event->response) : -1;
    }
    return 1;
}

int CSipUserAgent::RetryMessage(const osip_message_t* request, const osip_message_t* challenge)
{
    ZLOG_SCOPE();
    if (request == nullptr || challenge == nullptr)
        return -1;
    // A request that carried credentials and was challenged again has a wrong password or a
    // stale nonce the next challenge would not cure: one retry per request.
    if (osip_list_size(&request->authorizations) > 0 || osip_list_size(&request->proxy_authorizations) > 0)
        return -1;
    OsipMessagePtr msg = NextAttempt(request);
    if (msg == nullptr || AddCredentials(msg.get(), challenge) == 0)
        return -1;
    return MessageSendRequest(msg.release());
}

OsipMessagePtr CSipUserAgent::NextAttempt(const osip_message_t* previous)
{
    ZLOG_SCOPE();
    OsipMessagePtr msg = CloneMessage(previous);
    if (msg == nullptr)
        return nullptr;
    CSipMessageFactory::RemoveCredentials(msg.get());
    CSipMessageFactory::SetCSeqNumber(msg.get(), CSipMessageFactory::CSeqNumber(msg.get()) + 1);
    CSipMessageFactory::RenewVia(msg.get(), LocalFor(msg->req_uri->host));
    return msg;
}

// ---------------------------------------------------------------- registration

int CSipUserAgent::RegisterBuildInitialRegister(const char* from, const char* proxy, const char* contact, int expires,
                                                osip_message_t** out)
{
    ZLOG_SCOPE();
    return m_registrations.BuildInitial(from, proxy, contact, expires, out);
}

int CSipUserAgent::RegisterSendRegister(int rid, osip_message_t* msg)
{
    ZLOG_SCOPE();
    return m_registrations.Send(rid, msg);
}

bool CSipUserAgent::InProgress(int tid)
{
    Transaction* t = FindTransaction(tid);
    return t != nullptr && !t->killed && !IsFinal(t->tr->last_response);
}

// ---------------------------------------------------------------- calls

int CSipUserAgent::CallBuildInitialInvite(osip_message_t** invite, const char* to, const char* from, const char* route,
                                          const char* subject)
{
    return m_calls.CallBuildInitialInvite(invite, to, from, route, subject);
}

int CSipUserAgent::CallSendInitialInvite(osip_message_t* invite) { return m_calls.CallSendInitialInvite(invite); }

int CSipUserAgent::CallBuildAnswer(int tid, int status, osip_message_t** answer)
{
    return m_calls.CallBuildAnswer(tid, status, answer);
}

int CSipUserAgent::CallSendAnswer(int tid, int status, osip_message_t* answer)
{
    return m_calls.CallSendAnswer(tid, status, answer);
}

int CSipUserAgent::CallBuildAck(int did, osip_message_t** ack) { return m_calls.CallBuildAck(did, ack); }

int CSipUserAgent::CallSendAck(int did, osip_message_t* ack) { return m_calls.CallSendAck(did, ack); }

int CSipUserAgent::CallTerminate(int cid, int did) { return m_calls.CallTerminate(cid, did); }

sdp_message_t* CSipUserAgent::GetRemoteSdp(int did) { return m_calls.GetRemoteSdp(did); }

// ---------------------------------------------------------------- out-of-dialog requests

int CSipUserAgent::MessageBuildRequest(osip_message_t** out, const char* method, const char* to, const char* from,
                                       const char* route)
{
    ZLOG_SCOPE();
    if (out == nullptr)
        return -1;
    *out = nullptr;
    if (method == nullptr || *method == '\0' || to == nullptr || *to == '\0' || from == nullptr || *from == '\0')
        return -1;
    const std::string uri = UriOfAddress(to);
    if (uri.empty())
        return -1;
    const std::string host = HostOfUri(uri.c_str());
    SipLocal local = LocalFor(host.c_str());
    return CSipMessageFactory::BuildRequest(method, uri.c_str(), to, from, route, 20, local, out);
}

int CSipUserAgent::MessageSendRequest(osip_message_t* message)
{
    ZLOG_SCOPE();
    if (message == nullptr)
        return -1;
    if (!m_transport.IsOpen() || MSG_IS_INVITE(message) || MSG_IS_ACK(message)) {
        osip_message_free(message);
        return -1;
    }
    return StartClient(NICT, message, 0, 0) != nullptr ? 0 : -1;
}

// ---------------------------------------------------------------- SDP and helpers

int CSipUserAgent::GuessLocalIp(int family, char* address, int size)
{
    ZLOG_SCOPE();
    if (address == nullptr || size <= 0)
        return -1;
    std::string ip;
    int rc = -1;
    if (family == AF_INET) {
        const std::string& bound = m_transport.BoundAddress();
        if (!bound.empty() && bound != "0.0.0.0") {
            ip = bound;
            rc = 0;
        } else {
            rc = CUdpTransport::LocalAddressTowards(nullptr, ip);
        }
    } else {
        ip = "127.0.0.1";
    }
    std::snprintf(address, static_cast<size_t>(size), "%s", ip.c_str());
    return rc;
}

} // namespace zelora
