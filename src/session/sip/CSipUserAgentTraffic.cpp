// The user agent's way out (sending, transactions, answers) and in (datagrams handed to
// the transactions or answered at once): the class's traffic, apart from its bookkeeping.
#include "session/sip/CSipUserAgent.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include <osipparser2/osip_port.h>

#include "app/CLogger.h"
#include "session/sip/CMessageIntake.h"
#include "session/sip/CRequestScreen.h"
#include "session/sip/OsipText.h"

namespace zelora {

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

// ---------------------------------------------------------------- intake

void CSipUserAgent::HandleDatagram(const char* data, size_t length, const std::string& sourceIp, int sourcePort)
{
    ZLOG_SCOPE();
    IntakeResult r = CMessageIntake::Parse(data, length);
    if (r.verdict == IntakeVerdict::KeepAlive || r.verdict == IntakeVerdict::Dropped)
        return;
    if (r.event == nullptr) {
        if (r.method != "ACK")
            AnswerUnparsable(r, sourceIp, sourcePort);
        return;
    }
    osip_message_t* msg = r.event->sip;
    if (MSG_IS_REQUEST(msg))
        osip_message_fix_last_via_header(msg, sourceIp.c_str(), sourcePort);
    if (r.verdict == IntakeVerdict::Refused) {
        if (!MSG_IS_ACK(msg))
            AnswerRefused(msg, r.status, r.reason);
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
    m_calls.HandleStrayResponse(msg);
    osip_event_free(r.event);
}

void CSipUserAgent::AnswerRefused(osip_message_t* msg, int status, const std::string& reason)
{
    ZLOG_SCOPE();
    osip_message_t* response = nullptr;
    SipLocal local = LocalFor(nullptr);
    std::string tag = CSipMessageFactory::RandomNumber();
    if (CSipMessageFactory::BuildResponse(msg, status, tag.c_str(), nullptr, false, local, &response) != 0)
        return;
    if (status == 400) {
        osip_free(response->reason_phrase);
        std::string phrase = "Bad Request (" + reason + ")";
        response->reason_phrase = osip_strdup(phrase.c_str());
    }
    if (status == 405 || status == 501)
        osip_message_set_header(response, "Allow", CRequestScreen::kAllow);
    if (status == 415)
        osip_message_set_header(response, "Accept", CRequestScreen::AcceptFor(msg->sip_method));
    if (SendResponseDirect(response) != 0)
        ZLOG(LOG_WARNING, "could not send %d (%s)", status, reason.c_str());
    osip_message_free(response);
}

namespace {

// Where an answer to a request goes by its top Via (RFC 3261 18.2.2, RFC 3581): maddr, else the
// source address; the source port when rport is asked for, else the Via port.
bool AnswerDestination(const std::string& headers, const std::string& sourceIp, int sourcePort, std::string& host,
                       int& port)
{
    static constexpr char kVia[] = "Via: ";
    if (headers.rfind(kVia, 0) != 0)
        return false;
    std::string top = headers.substr(sizeof kVia - 1, headers.find("\r\n") - (sizeof kVia - 1));
    top = top.substr(0, top.find(','));
    osip_via_t* via = nullptr;
    if (osip_via_init(&via) != 0)
        return false;
    bool ok = osip_via_parse(via, top.c_str()) == 0 && via->host != nullptr;
    if (!ok) {
        // Broken parameters: the sent-by part still says where to answer.
        osip_via_free(via);
        if (osip_via_init(&via) != 0)
            return false;
        const bool rport = top.find(";rport") != std::string::npos;
        ok = osip_via_parse(via, top.substr(0, top.find(';')).c_str()) == 0 && via->host != nullptr;
        host = sourceIp;
        port = rport ? sourcePort : via->port != nullptr ? std::atoi(via->port) : 5060;
        osip_via_free(via);
        return ok && port > 0 && port < 65536;
    }
    if (ok) {
        osip_generic_param_t* param = nullptr;
        host = osip_via_param_get_byname(via, const_cast<char*>("maddr"), &param) == 0 && param != nullptr &&
                param->gvalue != nullptr
            ? param->gvalue
            : sourceIp;
        param = nullptr;
        port = osip_via_param_get_byname(via, const_cast<char*>("rport"), &param) == 0 && param != nullptr ? sourcePort
            : via->port != nullptr ? std::atoi(via->port)
                                   : 5060;
        ok = port > 0 && port < 65536;
    }
    osip_via_free(via);
    return ok;
}

} // namespace

void CSipUserAgent::AnswerUnparsable(const IntakeResult& refused, const std::string& sourceIp, int sourcePort)
{
    ZLOG_SCOPE();
    // Only the copied header lines are known to be sound, so the answer is written as text.
    std::string host;
    int port = 0;
    if (!AnswerDestination(refused.answerHeaders, sourceIp, sourcePort, host, port)) {
        ZLOG(LOG_WARNING, "cannot answer %d (%s): no usable Via", refused.status, refused.reason.c_str());
        return;
    }
    std::string headers = refused.answerHeaders;
    const std::size_t to = headers.find("\r\nTo: ");
    const std::size_t toEnd = headers.find("\r\n", to + 2);
    std::string toLine = headers.substr(to + 2, toEnd - to - 2);
    for (char& c : toLine)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (toLine.find(";tag=") == std::string::npos)
        headers.insert(toEnd, ";tag=" + CSipMessageFactory::RandomNumber());
    const char* phrase = osip_message_get_reason(refused.status);
    std::string text = "SIP/2.0 " + std::to_string(refused.status) + " " + (phrase != nullptr ? phrase : "Error");
    if (refused.status == 400)
        text += " (" + refused.reason + ")";
    text += "\r\n" + headers;
    if (refused.status == 405 || refused.status == 501)
        text += std::string("Allow: ") + CRequestScreen::kAllow + "\r\n";
    text += "User-Agent: " + m_userAgent + "\r\nContent-Length: 0\r\n\r\n";
    ZLOG(LOG_DATA, "to %s:%d\n%s", host.c_str(), port, text.c_str());
    if (m_transport.SendTo(host.c_str(), port, text.data(), text.size()) != 0)
        ZLOG(LOG_WARNING, "could not send %d (%s)", refused.status, refused.reason.c_str());
}

void CSipUserAgent::RefuseInTransaction(osip_event_t* evt, const ScreenAnswer& refusal)
{
    ZLOG_SCOPE();
    osip_message_t* request = evt->sip;
    ZLOG(LOG_WARNING, "refused %s with %d", request->sip_method, refusal.status);
    // In a transaction, so that retransmissions get the same answer and an INVITE's ACK is taken.
    osip_transaction_t* tr = StartServer(MSG_IS_INVITE(request) ? IST : NIST, evt, 0);
    if (tr == nullptr)
        return;
    osip_message_t* response = nullptr;
    const std::string tag = CSipMessageFactory::RandomNumber();
    if (CSipMessageFactory::BuildResponse(request, refusal.status, tag.c_str(), nullptr, false, LocalFor(nullptr),
                                          &response) != 0)
        return;
    osip_message_set_header(response, refusal.header.c_str(), refusal.value.c_str());
    RespondIn(tr, response);
}

void CSipUserAgent::HandleNewRequest(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* msg = evt->sip;
    if (MSG_IS_ACK(msg)) {
        CSipCalls::Call* call = m_calls.FindCallForRequest(msg);
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
        m_calls.HandleCancel(evt);
        return;
    }
    const bool inDialog = !CSipMessageFactory::Tag(msg->to).empty() && m_calls.FindCallForRequest(msg) != nullptr;
    const ScreenAnswer refusal = CRequestScreen::Check(msg, inDialog);
    if (refusal.status != 0) {
        RefuseInTransaction(evt, refusal);
        return;
    }
    if (MSG_IS_INVITE(msg)) {
        m_calls.HandleInvite(evt);
        return;
    }
    HandleNonInvite(evt);
}

void CSipUserAgent::HandleNonInvite(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* request = evt->sip;
    const std::string method = request->sip_method;
    CSipCalls::Call* call = m_calls.FindCallForRequest(request);
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
                                              local, &response) != 0)
            return;
        if (method == "OPTIONS")
            CRequestScreen::AddCapabilities(response);
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
            m_calls.DropDialog(*call);
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
        else
            answer(489, tag); // SUBSCRIBE: the screen refused every other method
        return;
    }
    if (method == "OPTIONS") {
        answer(200, nullptr);
    } else if (method == "MESSAGE") {
        Emit(EXOSIP_MESSAGE_NEW, request, nullptr, 0, 0, tid, 0);
        answer(200, nullptr);
    } else {
        answer(481, nullptr); // BYE, INFO, NOTIFY, PRACK: no such call
    }
}

} // namespace zelora
