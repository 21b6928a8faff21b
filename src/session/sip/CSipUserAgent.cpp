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
    CLogger::Log(level <= TRACE_LEVEL2 ? LOG_ERROR : LOG_DEBUG, file != nullptr ? file : "", line, "osip", "%s",
                 text);
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
    for (int kind : {OSIP_ICT_KILL_TRANSACTION, OSIP_IST_KILL_TRANSACTION, OSIP_NICT_KILL_TRANSACTION,
                     OSIP_NIST_KILL_TRANSACTION})
        osip_set_kill_transaction_callback(m_osip, kind, &KillCallback);
    for (int kind : {OSIP_ICT_TRANSPORT_ERROR, OSIP_IST_TRANSPORT_ERROR, OSIP_NICT_TRANSPORT_ERROR,
                     OSIP_NIST_TRANSPORT_ERROR})
        osip_set_transport_error_callback(m_osip, kind, &TransportErrorCallback);
    for (int kind : {OSIP_ICT_STATUS_1XX_RECEIVED, OSIP_ICT_STATUS_2XX_RECEIVED, OSIP_ICT_STATUS_3XX_RECEIVED,
                     OSIP_ICT_STATUS_4XX_RECEIVED, OSIP_ICT_STATUS_5XX_RECEIVED, OSIP_ICT_STATUS_6XX_RECEIVED})
        osip_set_message_callback(m_osip, kind, &IctResponseCallback);
    for (int kind : {OSIP_NICT_STATUS_1XX_RECEIVED, OSIP_NICT_STATUS_2XX_RECEIVED, OSIP_NICT_STATUS_3XX_RECEIVED,
                     OSIP_NICT_STATUS_4XX_RECEIVED, OSIP_NICT_STATUS_5XX_RECEIVED, OSIP_NICT_STATUS_6XX_RECEIVED})
        osip_set_message_callback(m_osip, kind, &NictResponseCallback);
    for (int kind : {OSIP_IST_STATUS_3XX_SENT, OSIP_IST_STATUS_4XX_SENT, OSIP_IST_STATUS_5XX_SENT,
                     OSIP_IST_STATUS_6XX_SENT})
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
    for (auto& [cid, call] : m_calls)
        FreeCall(*call);
    m_calls.clear();
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
        timeval tv{};
        osip_timers_gettimeout(m_osip, &tv);
        long long next = static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
        timeoutMs = static_cast<int>(next < 0 ? 0 : (next > 100 ? 100 : next));
    }
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
    const auto now = Clock::now();
    for (auto it = m_calls.begin(); it != m_calls.end();) {
        Call& call = *it->second;
        if (call.awaitingAck && now >= call.ackDeadline) {
            ZLOG(LOG_WARNING, "no ACK for the answer of call %d, ending it", call.cid);
            call.awaitingAck = false;
            SendBye(call);
        }
        Transaction* initial = FindTransaction(call.initialTid);
        if (initial != nullptr && !initial->killed && !IsFinal(initial->tr->last_response) &&
            now - call.created >= kNoAnswerTimeout) {
            ZLOG(LOG_WARNING, "call %d unanswered for 180 s", call.cid);
            if (call.dialog != nullptr) {
                Emit(EXOSIP_CALL_NOANSWER, initial->tr->orig_request, nullptr, call.cid, call.did,
                     initial->tr->transactionid, 0);
                DropDialog(call);
            }
            osip_remove_transaction(m_osip, initial->tr);
            initial->killed = true;
        }
        bool busy = call.dialog != nullptr;
        for (auto& [tid, t] : m_transactions)
            if (t.cid == call.cid && !t.killed)
                busy = true;
        if (busy) {
            ++it;
            continue;
        }
        Emit(EXOSIP_CALL_RELEASED, nullptr, nullptr, call.cid, call.did, 0, 0);
        for (auto tit = m_transactions.begin(); tit != m_transactions.end();) {
            if (tit->second.cid == call.cid) {
                osip_transaction_free(tit->second.tr);
                tit = m_transactions.erase(tit);
            } else {
                ++tit;
            }
        }
        FreeCall(call);
        it = m_calls.erase(it);
    }
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

int CSipUserAgent::NextCallId()
{
    ZLOG_SCOPE();
    int id = m_nextCallId++;
    if (m_nextCallId > 100000)
        m_nextCallId = 1;
    return id;
}

CSipUserAgent::Call* CSipUserAgent::FindCallByCid(int cid)
{
    ZLOG_SCOPE();
    auto it = m_calls.find(cid);
    return it == m_calls.end() ? nullptr : it->second.get();
}

CSipUserAgent::Call* CSipUserAgent::FindCallByDid(int did)
{
    ZLOG_SCOPE();
    if (did <= 0)
        return nullptr;
    for (auto& [cid, call] : m_calls)
        if (call->did == did)
            return call.get();
    return nullptr;
}

CSipUserAgent::Call* CSipUserAgent::FindCallForRequest(osip_message_t* request)
{
    ZLOG_SCOPE();
    for (auto& [cid, call] : m_calls)
        if (call->dialog != nullptr && osip_dialog_match_as_uas(call->dialog, request) == 0)
            return call.get();
    return nullptr;
}

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

// ---------------------------------------------------------------- sending

int CSipUserAgent::SendDirect(osip_message_t* msg, const char* host, int port)
{
    ZLOG_SCOPE();
    std::string text = CSipMessageFactory::ToText(msg);
    if (text.empty())
        return -1;
    ZLOG(LOG_DATA, "to %s:%d\n%s", host, port, text.c_str());
    return m_transport.SendTo(host, port, text.data(), text.size());
}

int CSipUserAgent::SendToNextHop(osip_message_t* request)
{
    ZLOG_SCOPE();
    static char kLr[] = "lr";
    auto* route = static_cast<osip_route_t*>(osip_list_get(&request->routes, 0));
    osip_uri_param_t* lr = nullptr;
    osip_uri_t* dest = request->req_uri;
    if (route != nullptr && route->url != nullptr && osip_uri_uparam_get_byname(route->url, kLr, &lr) == 0)
        dest = route->url;
    if (dest == nullptr || dest->host == nullptr)
        return -1;
    int port = dest->port != nullptr ? std::atoi(dest->port) : 5060;
    return SendDirect(request, dest->host, port);
}

int CSipUserAgent::SendResponseDirect(osip_message_t* response)
{
    ZLOG_SCOPE();
    char* host = nullptr;
    int port = 5060;
    osip_response_get_destination(response, &host, &port);
    if (host == nullptr)
        return -1;
    int rc = SendDirect(response, host, port);
    osip_free(host);
    return rc;
}

int CSipUserAgent::SendCallback(osip_transaction_t*, osip_message_t* msg, char* host, int port, int)
{
    ZLOG_SCOPE();
    CSipUserAgent* self = s_instance;
    if (self == nullptr || msg == nullptr || host == nullptr)
        return -1;
    return self->SendDirect(msg, host, port);
}

osip_transaction_t* CSipUserAgent::StartClient(osip_fsm_type_t kind, osip_message_t* msg, int cid, int rid)
{
    ZLOG_SCOPE();
    osip_transaction_t* tr = nullptr;
    if (osip_transaction_init(&tr, kind, m_osip, msg) != 0) {
        ZLOG(LOG_ERROR, "cannot create a transaction for %s", msg->sip_method);
        osip_message_free(msg);
        return nullptr;
    }
    osip_transaction_set_out_socket(tr, m_transport.Fd());
    m_transactions[tr->transactionid] = Transaction{tr, cid, rid, false};
    osip_event_t* evt = osip_new_outgoing_sipmessage(msg);
    evt->transactionid = tr->transactionid;
    osip_transaction_add_event(tr, evt);
    Wake();
    return tr;
}

osip_transaction_t* CSipUserAgent::StartServer(osip_fsm_type_t kind, osip_event_t* evt, int cid)
{
    ZLOG_SCOPE();
    osip_transaction_t* tr = nullptr;
    if (osip_transaction_init(&tr, kind, m_osip, evt->sip) != 0) {
        ZLOG(LOG_ERROR, "cannot create a transaction for %s", evt->sip->sip_method);
        osip_event_free(evt);
        return nullptr;
    }
    osip_transaction_set_in_socket(tr, m_transport.Fd());
    osip_transaction_set_out_socket(tr, m_transport.Fd());
    m_transactions[tr->transactionid] = Transaction{tr, cid, 0, false};
    evt->transactionid = tr->transactionid;
    osip_transaction_add_event(tr, evt);
    return tr;
}

int CSipUserAgent::RespondIn(osip_transaction_t* tr, osip_message_t* response)
{
    ZLOG_SCOPE();
    osip_event_t* evt = osip_new_outgoing_sipmessage(response);
    if (evt == nullptr) {
        osip_message_free(response);
        return -1;
    }
    evt->transactionid = tr->transactionid;
    osip_transaction_add_event(tr, evt);
    Wake();
    return 0;
}

int CSipUserAgent::Respond(osip_transaction_t* tr, int status, const char* toTag, const char* contactUser,
                           bool recordRoute, const osip_message_t* fallback)
{
    ZLOG_SCOPE();
    // Until the transaction has run once its request is only in its queue.
    const osip_message_t* request = tr->orig_request != nullptr ? tr->orig_request : fallback;
    if (request == nullptr)
        return -1;
    osip_message_t* response = nullptr;
    SipLocal local = LocalFor(nullptr);
    if (CSipMessageFactory::BuildResponse(request, status, toTag, contactUser, recordRoute, local, &response) != 0)
        return -1;
    return RespondIn(tr, response);
}

void CSipUserAgent::Emit(eXosip_event_type_t type, const osip_message_t* request, const osip_message_t* response,
                         int cid, int did, int tid, int rid, const osip_message_t* ack)
{
    ZLOG_SCOPE();
    eXosip_event_t* event = CSipEventQueue::Make(type, request, response, ack);
    if (event == nullptr)
        return;
    event->cid = cid;
    event->did = did;
    event->tid = tid;
    event->rid = rid;
    ZLOG(LOG_DEBUG, "event %d cid %d did %d tid %d rid %d", type, cid, did, tid, rid);
    m_events.Push(event);
}

void CSipUserAgent::DropDialog(Call& call)
{
    ZLOG_SCOPE();
    if (call.dialog == nullptr)
        return;
    osip_stop_retransmissions_from_dialog(m_osip, call.dialog);
    osip_dialog_free(call.dialog);
    call.dialog = nullptr;
    call.awaitingAck = false;
}

void CSipUserAgent::FreeCall(Call& call)
{
    ZLOG_SCOPE();
    DropDialog(call);
    call.lastInvite.reset();
    call.remoteInvite.reset();
    call.answer2xx.reset();
    call.ack.reset();
    call.challenge.reset();
}

// ---------------------------------------------------------------- intake

void CSipUserAgent::HandleDatagram(const char* data, size_t length, const std::string& sourceIp, int sourcePort)
{
    ZLOG_SCOPE();
    IntakeResult r = CMessageIntake::Parse(data, length);
    if (r.verdict == IntakeVerdict::KeepAlive || r.verdict == IntakeVerdict::Dropped)
        return;
    osip_message_t* msg = r.event->sip;
    if (MSG_IS_REQUEST(msg))
        osip_message_fix_last_via_header(msg, sourceIp.c_str(), sourcePort);
    if (r.verdict == IntakeVerdict::BadRequest) {
        if (!MSG_IS_ACK(msg))
            AnswerBadRequest(msg, r.reason);
        osip_event_free(r.event);
        return;
    }
    ZLOG(LOG_DATA, "from %s:%d %zu bytes", sourceIp.c_str(), sourcePort, length);
    if (osip_find_transaction_and_add_event(m_osip, r.event) == 0) {
        Wake();
        return;
    }
    if (MSG_IS_REQUEST(msg)) {
        HandleNewRequest(r.event);
        return;
    }
    HandleStrayResponse(msg);
    osip_event_free(r.event);
}

void CSipUserAgent::AnswerBadRequest(osip_message_t* msg, const std::string& reason)
{
    ZLOG_SCOPE();
    osip_message_t* response = nullptr;
    SipLocal local = LocalFor(nullptr);
    std::string tag = CSipMessageFactory::RandomNumber();
    if (CSipMessageFactory::BuildResponse(msg, 400, tag.c_str(), nullptr, false, local, &response) != 0)
        return;
    osip_free(response->reason_phrase);
    std::string phrase = "Bad Request (" + reason + ")";
    response->reason_phrase = osip_strdup(phrase.c_str());
    if (SendResponseDirect(response) != 0)
        ZLOG(LOG_WARNING, "could not send 400 (%s)", reason.c_str());
    osip_message_free(response);
}

void CSipUserAgent::HandleStrayResponse(osip_message_t* msg)
{
    ZLOG_SCOPE();
    // Retransmitted 2xx to our INVITE: the ICT is gone, our ACK answers it again.
    if (MSG_IS_STATUS_2XX(msg) && msg->cseq != nullptr && SameText(msg->cseq->method, "INVITE")) {
        for (auto& [cid, call] : m_calls) {
            if (!call->outgoing || call->ack == nullptr || call->lastInvite == nullptr)
                continue;
            if (!SameText(call->lastInvite->call_id->number, msg->call_id->number))
                continue;
            if (CSipMessageFactory::CSeqNumber(call->ack.get()) != CSipMessageFactory::CSeqNumber(msg))
                continue;
            SendToNextHop(call->ack.get());
            return;
        }
    }
    ZLOG(LOG_DEBUG, "response %d matches nothing, dropped", msg->status_code);
}

void CSipUserAgent::HandleNewRequest(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* msg = evt->sip;
    if (MSG_IS_ACK(msg)) {
        Call* call = FindCallForRequest(msg);
        if (call != nullptr) {
            osip_stop_200ok_retransmissions(m_osip, msg);
            call->awaitingAck = false;
            Emit(EXOSIP_CALL_ACK, nullptr, nullptr, call->cid, call->did, 0, 0, msg);
        } else {
            ZLOG(LOG_DEBUG, "ACK matches no dialog, dropped");
        }
        osip_event_free(evt);
        return;
    }
    if (MSG_IS_CANCEL(msg)) {
        HandleCancel(evt);
        return;
    }
    if (MSG_IS_INVITE(msg)) {
        HandleInvite(evt);
        return;
    }
    HandleNonInvite(evt);
}

void CSipUserAgent::HandleCancel(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* cancel = evt->sip;
    const std::string branch = CSipMessageFactory::TopBranch(cancel);
    Call* target = nullptr;
    Transaction* invite = nullptr;
    for (auto& [cid, call] : m_calls) {
        if (call->outgoing)
            continue;
        Transaction* t = FindTransaction(call->lastInviteTid);
        if (t != nullptr && t->tr->orig_request != nullptr &&
            CSipMessageFactory::TopBranch(t->tr->orig_request) == branch &&
            SameText(t->tr->orig_request->call_id->number, cancel->call_id->number)) {
            target = call.get();
            invite = t;
            break;
        }
    }
    osip_transaction_t* tr = StartServer(NIST, evt, target != nullptr ? target->cid : 0);
    if (tr == nullptr)
        return;
    // The NIST has not run yet: answers are built from the request we still point at.
    osip_message_t* response = nullptr;
    SipLocal local = LocalFor(nullptr);
    bool pending = invite != nullptr && !invite->killed && !IsFinal(invite->tr->last_response);
    int status = pending ? 200 : 481;
    const char* tag = target != nullptr ? target->localTag.c_str() : nullptr;
    std::string fresh = CSipMessageFactory::RandomNumber();
    if (CSipMessageFactory::BuildResponse(cancel, status, tag != nullptr ? tag : fresh.c_str(), nullptr, false, local,
                                          &response) == 0)
        RespondIn(tr, response);
    if (pending)
        Respond(invite->tr, 487, target->localTag.c_str(), nullptr, false, target->remoteInvite.get());
}

void CSipUserAgent::HandleInvite(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* invite = evt->sip;
    const bool hasToTag = !CSipMessageFactory::Tag(invite->to).empty();
    Call* call = FindCallForRequest(invite);
    if (call != nullptr && call->remoteInvite != nullptr) {
        osip_message_t* first = call->remoteInvite.get();
        if (!hasToTag && SameText(first->call_id->number, invite->call_id->number) &&
            CSipMessageFactory::CSeqNumber(first) == CSipMessageFactory::CSeqNumber(invite)) {
            // The caller has not seen our final answer yet.
            if (call->answer2xx != nullptr)
                SendResponseDirect(call->answer2xx.get());
            osip_event_free(evt);
            return;
        }
    }
    if (call != nullptr && hasToTag) {
        osip_transaction_t* tr = StartServer(IST, evt, call->cid);
        if (tr == nullptr)
            return;
        osip_dialog_update_osip_cseq_as_uas(call->dialog, invite);
        osip_message_t* trying = nullptr;
        SipLocal local = LocalFor(nullptr);
        if (CSipMessageFactory::BuildResponse(invite, 100, call->localTag.c_str(), nullptr, false, local, &trying) == 0)
            RespondIn(tr, trying);
        call->lastInviteTid = tr->transactionid;
        Emit(EXOSIP_CALL_REINVITE, invite, nullptr, call->cid, call->did, tr->transactionid, 0);
        return;
    }
    if (hasToTag) {
        osip_transaction_t* tr = StartServer(IST, evt, 0);
        if (tr != nullptr) {
            osip_message_t* response = nullptr;
            SipLocal local = LocalFor(nullptr);
            if (CSipMessageFactory::BuildResponse(invite, 481, nullptr, nullptr, false, local, &response) == 0)
                RespondIn(tr, response);
        }
        return;
    }
    auto created = std::make_unique<Call>();
    created->cid = NextCallId();
    created->outgoing = false;
    created->localTag = CSipMessageFactory::RandomNumber();
    created->remoteInvite = CloneMessage(invite);
    SipLocal local = LocalFor(nullptr);
    osip_message_t* provisional = nullptr;
    if (CSipMessageFactory::BuildResponse(invite, 101, created->localTag.c_str(), UserOf(invite->to), true, local,
                                          &provisional) != 0 ||
        osip_dialog_init_as_uas(&created->dialog, invite, provisional) != 0) {
        ZLOG(LOG_ERROR, "cannot create a dialog for the INVITE");
        if (provisional != nullptr)
            osip_message_free(provisional);
        created->dialog = nullptr;
        AnswerBadRequest(invite, "no dialog");
        FreeCall(*created);
        osip_event_free(evt);
        return;
    }
    osip_message_free(provisional);
    created->did = NextCallId();
    osip_transaction_t* tr = StartServer(IST, evt, created->cid);
    if (tr == nullptr) {
        FreeCall(*created);
        return;
    }
    created->initialTid = created->lastInviteTid = tr->transactionid;
    osip_message_t* trying = nullptr;
    if (CSipMessageFactory::BuildResponse(invite, 100, nullptr, nullptr, false, local, &trying) == 0) {
        Emit(EXOSIP_CALL_INVITE, invite, trying, created->cid, created->did, tr->transactionid, 0);
        RespondIn(tr, trying);
    }
    int cid = created->cid;
    m_calls[cid] = std::move(created);
}

void CSipUserAgent::HandleNonInvite(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* request = evt->sip;
    const std::string method = request->sip_method;
    Call* call = FindCallForRequest(request);
    if (call != nullptr && CSipMessageFactory::Tag(request->to).empty())
        call = nullptr;
    osip_transaction_t* tr = StartServer(NIST, evt, call != nullptr ? call->cid : 0);
    if (tr == nullptr)
        return;
    SipLocal local = LocalFor(nullptr);
    auto answer = [&](int status, const char* tag) {
        osip_message_t* response = nullptr;
        std::string fresh = CSipMessageFactory::RandomNumber();
        if (CSipMessageFactory::BuildResponse(request, status, tag != nullptr ? tag : fresh.c_str(), nullptr, false,
                                              local, &response) == 0)
            RespondIn(tr, response);
    };
    const int tid = tr->transactionid;
    if (call != nullptr) {
        const char* tag = call->dialog->local_tag;
        osip_dialog_update_osip_cseq_as_uas(call->dialog, request);
        if (method == "BYE") {
            osip_message_t* ok = nullptr;
            CSipMessageFactory::BuildResponse(request, 200, tag, nullptr, false, local, &ok);
            Emit(EXOSIP_CALL_MESSAGE_NEW, request, nullptr, call->cid, call->did, tid, 0);
            Emit(EXOSIP_CALL_CLOSED, request, ok, call->cid, call->did, tid, 0);
            if (ok != nullptr)
                RespondIn(tr, ok);
            DropDialog(*call);
            return;
        }
        if (method == "INFO") {
            // The application answers through eXosip_call_build_answer/send_answer.
            Emit(EXOSIP_CALL_MESSAGE_NEW, request, nullptr, call->cid, call->did, tid, 0);
            return;
        }
        Emit(EXOSIP_CALL_MESSAGE_NEW, request, nullptr, call->cid, call->did, tid, 0);
        if (method == "OPTIONS" || method == "MESSAGE" || method == "PRACK" || method == "NOTIFY")
            answer(200, tag);
        else if (method == "SUBSCRIBE")
            answer(489, tag);
        else
            answer(501, tag);
        return;
    }
    if (method == "OPTIONS") {
        answer(200, nullptr);
    } else if (method == "MESSAGE") {
        Emit(EXOSIP_MESSAGE_NEW, request, nullptr, 0, 0, tid, 0);
        answer(200, nullptr);
    } else if (method == "BYE" || method == "INFO" || method == "NOTIFY" || method == "PRACK" || method == "UPDATE") {
        answer(481, nullptr);
    } else {
        answer(501, nullptr);
    }
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
    ZLOG(LOG_ERROR, "transport error %d on transaction %d (kind %d)", error,
         tr != nullptr ? tr->transactionid : -1, type);
}

void CSipUserAgent::IctResponseCallback(int, osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    if (s_instance != nullptr && tr != nullptr && msg != nullptr)
        s_instance->OnIctResponse(tr, msg);
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
        s_instance->OnIstFinalSent(tr, msg);
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
    if (t->rid != 0 && !IsFinal(tr->last_response))
        m_registrations.OnNoFinalAnswer(t->rid, tr);
}

void CSipUserAgent::OnIctResponse(osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    Transaction* t = FindTransaction(tr->transactionid);
    Call* call = t != nullptr ? FindCallByCid(t->cid) : nullptr;
    if (call == nullptr)
        return;
    const int status = msg->status_code;
    const bool hasTag = !CSipMessageFactory::Tag(msg->to).empty();
    if (status >= 200 && status < 300 && call->cancelSent) {
        // The answer crossed our CANCEL: the far end now has a call; acknowledge and end it.
        ZLOG(LOG_WARNING, "call %d answered after CANCEL, sending BYE", call->cid);
        osip_dialog_t* dialog = nullptr;
        if (osip_dialog_init_as_uac(&dialog, msg) == 0) {
            DropDialog(*call);
            call->dialog = dialog;
            osip_dialog_set_state(dialog, DIALOG_CONFIRMED);
            osip_message_t* ack = nullptr;
            SipLocal local = LocalFor(tr->orig_request != nullptr ? tr->orig_request->req_uri->host : nullptr);
            if (CSipMessageFactory::BuildInDialogRequest(dialog, "ACK", CSipMessageFactory::CSeqNumber(msg), local,
                                                         &ack) == 0) {
                SendToNextHop(ack);
                call->ack.reset();
                call->ack.reset(ack);
            }
            SendBye(*call);
        }
        return;
    }
    if (status > 100 && status < 300 && hasTag && !call->cancelSent) {
        if (call->dialog == nullptr) {
            if (osip_dialog_init_as_uac(&call->dialog, msg) == 0) {
                call->did = NextCallId();
            } else {
                call->dialog = nullptr;
                ZLOG(LOG_ERROR, "cannot create a dialog from %d", status);
            }
        } else if (call->dialog->state == DIALOG_EARLY) {
            osip_dialog_update_tag_as_uac(call->dialog, msg);
            osip_dialog_update_route_set_as_uac(call->dialog, msg);
        }
        if (call->dialog != nullptr && status >= 200)
            osip_dialog_set_state(call->dialog, DIALOG_CONFIRMED);
    }
    const int did = call->dialog != nullptr ? call->did : 0;
    if (status < 200) {
        Emit(status < 180 ? EXOSIP_CALL_PROCEEDING : EXOSIP_CALL_RINGING, tr->orig_request, msg, call->cid, did,
             tr->transactionid, 0);
        return;
    }
    if (status < 300) {
        call->authRetries = 0;
        Emit(EXOSIP_CALL_ANSWERED, tr->orig_request, msg, call->cid, did, tr->transactionid, 0);
        return;
    }
    if (status == 401 || status == 407) {
        call->challenge = CloneMessage(msg);
    }
    const int reportedDid = call->dialog != nullptr ? call->did : 0;
    if (call->dialog != nullptr && call->dialog->state == DIALOG_EARLY)
        DropDialog(*call);
    Emit(FailureType(status, EXOSIP_CALL_REDIRECTED), tr->orig_request, msg, call->cid, reportedDid,
         tr->transactionid, 0);
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
        Call* call = FindCallByCid(t->cid);
        int did = call != nullptr ? call->did : 0;
        if (status < 300) {
            if (!SameText(method, "BYE") && !SameText(method, "CANCEL"))
                Emit(EXOSIP_CALL_MESSAGE_ANSWERED, tr->orig_request, msg, t->cid, did, tr->transactionid, 0);
            return;
        }
        Emit(FailureType(status, EXOSIP_CALL_MESSAGE_REDIRECTED), tr->orig_request, msg, t->cid, did,
             tr->transactionid, 0);
        return;
    }
    Emit(status < 300 ? EXOSIP_MESSAGE_ANSWERED : FailureType(status, EXOSIP_MESSAGE_REDIRECTED), tr->orig_request, msg,
         0, 0, tr->transactionid, 0);
}

void CSipUserAgent::OnIstFinalSent(osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    Transaction* t = FindTransaction(tr->transactionid);
    Call* call = t != nullptr ? FindCallByCid(t->cid) : nullptr;
    if (call == nullptr || call->initialTid != tr->transactionid)
        return;
    Emit(EXOSIP_CALL_CLOSED, tr->orig_request, msg, call->cid, call->did, tr->transactionid, 0);
    DropDialog(*call);
}

// ---------------------------------------------------------------- credentials

int CSipUserAgent::ClearAuthenticationInfo()
{
    ZLOG_SCOPE();
    m_credentials.Clear();
    return 0;
}

int CSipUserAgent::AddAuthenticationInfo(const char* username, const char* userid, const char* passwd,
                                         const char* ha1, const char* realm)
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
            Call* call = FindCallByCid(event->cid);
            return call != nullptr ? RetryInvite(*call, event->response) : -1;
        }
        return 1;
    }
    if (status >= 300 && status < 400 && event->type == EXOSIP_CALL_REDIRECTED) {
        Call* call = FindCallByCid(event->cid);
        return call != nullptr ? Redirect(*call, event->response) : -1;
    }
    return 1;
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

int CSipUserAgent::RetryInvite(Call& call, osip_message_t* response)
{
    ZLOG_SCOPE();
    if (call.authRetries >= kMaxAuthRetries) {
        ZLOG(LOG_ERROR, "call %d: challenge retry limit reached", call.cid);
        return -1;
    }
    if (call.lastInvite == nullptr || !call.outgoing)
        return -1;
    OsipMessagePtr msg = NextAttempt(call.lastInvite.get());
    if (msg == nullptr || AddCredentials(msg.get(), response) == 0)
        return -1;
    call.challenge = CloneMessage(response);
    DropDialog(call);
    ++call.authRetries;
    call.lastInvite = CloneMessage(msg.get());
    osip_transaction_t* tr = StartClient(ICT, msg.release(), call.cid, 0);
    if (tr == nullptr)
        return -1;
    call.initialTid = call.lastInviteTid = tr->transactionid;
    return 0;
}

int CSipUserAgent::Redirect(Call& call, osip_message_t* response)
{
    ZLOG_SCOPE();
    auto* contact = static_cast<osip_contact_t*>(osip_list_get(&response->contacts, 0));
    if (contact == nullptr || contact->url == nullptr || call.lastInvite == nullptr)
        return -1;
    OsipMessagePtr msg = CloneMessage(call.lastInvite.get());
    osip_uri_t* uri = nullptr;
    if (msg == nullptr || osip_uri_clone(contact->url, &uri) != 0)
        return -1;
    osip_uri_free(msg->req_uri);
    msg->req_uri = uri;
    CSipMessageFactory::SetCSeqNumber(msg.get(), CSipMessageFactory::CSeqNumber(msg.get()) + 1);
    CSipMessageFactory::RenewVia(msg.get(), LocalFor(uri->host));
    DropDialog(call);
    call.lastInvite = CloneMessage(msg.get());
    osip_transaction_t* tr = StartClient(ICT, msg.release(), call.cid, 0);
    if (tr == nullptr)
        return -1;
    call.initialTid = call.lastInviteTid = tr->transactionid;
    return 0;
}

// ---------------------------------------------------------------- registration

int CSipUserAgent::RegisterBuildInitialRegister(const char* from, const char* proxy, const char* contact,
                                                int expires, osip_message_t** out)
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

int CSipUserAgent::CallBuildInitialInvite(osip_message_t** out, const char* to, const char* from, const char* route,
                                          const char* subject)
{
    ZLOG_SCOPE();
    if (out == nullptr)
        return -1;
    *out = nullptr;
    if (to == nullptr || *to == '\0' || from == nullptr || *from == '\0')
        return -1;
    const std::string uri = UriOfAddress(to);
    if (uri.empty())
        return -1;
    const std::string host = HostOfUri(uri.c_str());
    SipLocal local = LocalFor(host.c_str());
    osip_message_t* msg = nullptr;
    if (CSipMessageFactory::BuildRequest("INVITE", uri.c_str(), to, from, route, 20, local, &msg) != 0)
        return -1;
    osip_message_set_contact(msg, CSipMessageFactory::Contact(UserOf(msg->from), local).c_str());
    if (subject != nullptr && *subject != '\0')
        osip_message_set_subject(msg, Bounded(subject, kMaxCredentialText).c_str());
    osip_message_set_expires(msg, "120");
    *out = msg;
    return 0;
}

int CSipUserAgent::CallSendInitialInvite(osip_message_t* invite)
{
    ZLOG_SCOPE();
    if (invite == nullptr)
        return -1;
    if (!m_transport.IsOpen() || !MSG_IS_INVITE(invite)) {
        osip_message_free(invite);
        return -1;
    }
    auto call = std::make_unique<Call>();
    call->cid = NextCallId();
    call->outgoing = true;
    call->lastInvite = CloneMessage(invite);
    int cid = call->cid;
    m_calls[cid] = std::move(call);
    osip_transaction_t* tr = StartClient(ICT, invite, cid, 0);
    if (tr == nullptr) {
        FreeCall(*m_calls[cid]);
        m_calls.erase(cid);
        return -1;
    }
    m_calls[cid]->initialTid = m_calls[cid]->lastInviteTid = tr->transactionid;
    return cid;
}

int CSipUserAgent::CallBuildAnswer(int tid, int status, osip_message_t** out)
{
    ZLOG_SCOPE();
    if (out == nullptr)
        return -1;
    *out = nullptr;
    Transaction* t = FindTransaction(tid);
    if (t == nullptr || t->killed || t->tr->ctx_type == ICT || t->tr->ctx_type == NICT)
        return -1;
    osip_transaction_t* tr = t->tr;
    osip_message_t* request = tr->orig_request;
    if (request == nullptr || IsFinal(tr->last_response))
        return -1;
    Call* call = FindCallByCid(t->cid);
    const bool invite = tr->ctx_type == IST;
    if (invite && (status <= 100 || status == 300 || status > 699))
        return -1;
    if (!invite && (status < 100 || status > 699))
        return -1;
    std::string fresh = CSipMessageFactory::RandomNumber();
    const char* tag = call != nullptr ? (call->dialog != nullptr && call->dialog->local_tag != nullptr
                                             ? call->dialog->local_tag
                                             : call->localTag.c_str())
                                      : fresh.c_str();
    if (tag != nullptr && *tag == '\0')
        tag = fresh.c_str();
    const bool dialogForming = status > 100 && status < 300;
    SipLocal local = LocalFor(nullptr);
    return CSipMessageFactory::BuildResponse(request, status, tag, dialogForming ? UserOf(request->to) : nullptr,
                                             dialogForming, local, out);
}

int CSipUserAgent::CallSendAnswer(int tid, int status, osip_message_t* answer)
{
    ZLOG_SCOPE();
    Transaction* t = FindTransaction(tid);
    if (t == nullptr || t->killed || IsFinal(t->tr->last_response) ||
        (t->tr->ctx_type != IST && t->tr->ctx_type != NIST)) {
        if (answer != nullptr)
            osip_message_free(answer);
        return -1;
    }
    if (answer == nullptr) {
        if (t->tr->ctx_type == IST && status >= 200 && status < 300)
            return -1;
        if (CallBuildAnswer(tid, status, &answer) != 0)
            return -1;
    }
    const int code = answer->status_code;
    Call* call = FindCallByCid(t->cid);
    if (t->tr->ctx_type == IST && code >= 200 && code < 300 && call != nullptr && call->dialog != nullptr) {
        osip_dialog_set_state(call->dialog, DIALOG_CONFIRMED);
        call->answer2xx = CloneMessage(answer);
        osip_start_200ok_retransmissions(m_osip, call->dialog, answer, m_transport.Fd());
        call->awaitingAck = true;
        call->ackDeadline = Clock::now() + kAckTimeout;
    }
    return RespondIn(t->tr, answer);
}

int CSipUserAgent::CallBuildAck(int did, osip_message_t** out)
{
    ZLOG_SCOPE();
    if (out == nullptr)
        return -1;
    *out = nullptr;
    Call* call = FindCallByDid(did);
    if (call == nullptr || call->dialog == nullptr || call->dialog->state != DIALOG_CONFIRMED ||
        call->lastInvite == nullptr || !call->outgoing)
        return -1;
    SipLocal local = LocalFor(call->lastInvite->req_uri->host);
    osip_message_t* ack = nullptr;
    if (CSipMessageFactory::BuildInDialogRequest(call->dialog, "ACK", CSipMessageFactory::CSeqNumber(call->lastInvite.get()),
                                                 local, &ack) != 0)
        return -1;
    osip_list_clone(&call->lastInvite->proxy_authorizations, &ack->proxy_authorizations,
                    reinterpret_cast<int (*)(void*, void**)>(&osip_authorization_clone));
    osip_list_clone(&call->lastInvite->authorizations, &ack->authorizations,
                    reinterpret_cast<int (*)(void*, void**)>(&osip_authorization_clone));
    *out = ack;
    return 0;
}

int CSipUserAgent::CallSendAck(int did, osip_message_t* ack)
{
    ZLOG_SCOPE();
    Call* call = FindCallByDid(did);
    if (call == nullptr || ack == nullptr || call->dialog == nullptr) {
        if (ack != nullptr)
            osip_message_free(ack);
        return -1;
    }
    int rc = SendToNextHop(ack);
    call->ack.reset();
    call->ack.reset(ack);
    return rc;
}

int CSipUserAgent::SendBye(Call& call)
{
    ZLOG_SCOPE();
    if (call.dialog == nullptr)
        return -1;
    const char* hop = nullptr;
    if (call.dialog->remote_contact_uri != nullptr && call.dialog->remote_contact_uri->url != nullptr)
        hop = call.dialog->remote_contact_uri->url->host;
    SipLocal local = LocalFor(hop);
    osip_message_t* bye = nullptr;
    if (CSipMessageFactory::BuildInDialogRequest(call.dialog, "BYE", 0, local, &bye) != 0)
        return -2;
    if (call.challenge != nullptr)
        AddCredentials(bye, call.challenge.get());
    DropDialog(call);
    return StartClient(NICT, bye, call.cid, 0) != nullptr ? 0 : -2;
}

int CSipUserAgent::CallTerminate(int cid, int did)
{
    ZLOG_SCOPE();
    Call* call = did > 0 ? FindCallByDid(did) : FindCallByCid(cid);
    if (call == nullptr)
        return -1;
    Transaction* t = FindTransaction(call->lastInviteTid);
    if (call->outgoing && t != nullptr && !t->killed && !IsFinal(t->tr->last_response)) {
        if (t->tr->last_response == nullptr || call->cancelSent)
            return -1;
        osip_message_t* invite = t->tr->orig_request;
        osip_message_t* cancel = nullptr;
        if (invite == nullptr || osip_message_init(&cancel) != 0)
            return -2;
        osip_message_set_method(cancel, osip_strdup("CANCEL"));
        osip_message_set_version(cancel, osip_strdup("SIP/2.0"));
        osip_uri_t* uri = nullptr;
        osip_uri_clone(invite->req_uri, &uri);
        osip_message_set_uri(cancel, uri);
        osip_via_t* via = nullptr;
        osip_via_clone(static_cast<osip_via_t*>(osip_list_get(&invite->vias, 0)), &via);
        osip_list_add(&cancel->vias, via, 0);
        osip_call_id_clone(invite->call_id, &cancel->call_id);
        osip_from_clone(invite->from, &cancel->from);
        osip_to_clone(invite->to, &cancel->to);
        std::string cseq = std::string(invite->cseq->number) + " CANCEL";
        osip_message_set_cseq(cancel, cseq.c_str());
        osip_list_clone(&invite->routes, &cancel->routes, reinterpret_cast<int (*)(void*, void**)>(&osip_from_clone));
        osip_message_set_max_forwards(cancel, "70");
        if (!m_userAgent.empty())
            osip_message_set_user_agent(cancel, m_userAgent.c_str());
        call->cancelSent = true;
        DropDialog(*call);
        return StartClient(NICT, cancel, call->cid, 0) != nullptr ? 0 : -2;
    }
    if (!call->outgoing && t != nullptr && !t->killed && t->tr->ctx_type == IST &&
        !IsFinal(t->tr->last_response) && call->lastInviteTid == call->initialTid) {
        return Respond(t->tr, 603, call->localTag.c_str(), nullptr, false, call->remoteInvite.get()) == 0 ? 0 : -2;
    }
    if (call->dialog != nullptr)
        return SendBye(*call);
    return -1;
}

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

sdp_message_t* CSipUserAgent::GetRemoteSdp(int did)
{
    ZLOG_SCOPE();
    Call* call = FindCallByDid(did);
    if (call == nullptr)
        return nullptr;
    Transaction* t = FindTransaction(call->lastInviteTid);
    if (t == nullptr)
        return nullptr;
    osip_message_t* msg = call->outgoing ? t->tr->last_response : t->tr->orig_request;
    if (msg == nullptr && !call->outgoing)
        msg = call->remoteInvite.get();
    if (msg == nullptr || msg->content_type == nullptr || msg->content_type->type == nullptr ||
        msg->content_type->subtype == nullptr || strcasecmp(msg->content_type->type, "application") != 0 ||
        strcasecmp(msg->content_type->subtype, "sdp") != 0)
        return nullptr;
    for (int i = 0; i < osip_list_size(&msg->bodies); ++i) {
        auto* body = static_cast<osip_body_t*>(osip_list_get(&msg->bodies, i));
        if (body == nullptr || body->body == nullptr)
            continue;
        sdp_message_t* sdp = nullptr;
        if (sdp_message_init(&sdp) != 0)
            return nullptr;
        if (sdp_message_parse(sdp, body->body) == 0)
            return sdp;
        sdp_message_free(sdp);
    }
    return nullptr;
}

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
