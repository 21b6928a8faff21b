#include "session/sip/CSipCalls.h"

#include <cstring>
#include <strings.h>

#include "app/CLogger.h"
#include "session/sip/CSipUserAgent.h"
#include "session/sip/OsipText.h"

namespace zelora {

CSipCalls::CSipCalls(CSipUserAgent& agent) : m_agent(agent) { }

CSipCalls::~CSipCalls() = default;

void CSipCalls::Clear()
{
    for (auto& [cid, call] : m_calls)
        FreeCall(*call);
    m_calls.clear();
}

void CSipCalls::Housekeeping(Clock::time_point now)
{
    ZLOG_SCOPE();
    for (auto it = m_calls.begin(); it != m_calls.end();) {
        CSipCalls::Call& call = *it->second;
        if (call.awaitingAck && now >= call.ackDeadline) {
            ZLOG(LOG_WARNING, "no ACK for the answer of call %d, ending it", call.cid);
            call.awaitingAck = false;
            SendBye(call);
        }
        CSipUserAgent::Transaction* initial = m_agent.FindTransaction(call.initialTid);
        if (initial != nullptr && !initial->killed && !IsFinal(initial->tr->last_response) &&
            now - call.created >= CSipUserAgent::kNoAnswerTimeout) {
            ZLOG(LOG_WARNING, "call %d unanswered for 180 s", call.cid);
            if (call.dialog != nullptr) {
                m_agent.Emit(EXOSIP_CALL_NOANSWER, initial->tr->orig_request, nullptr, call.cid, call.did,
                             initial->tr->transactionid, 0);
                DropDialog(call);
            }
            osip_remove_transaction(m_agent.m_osip, initial->tr);
            initial->killed = true;
        }
        bool busy = call.dialog != nullptr;
        for (auto& [tid, t] : m_agent.m_transactions)
            if (t.cid == call.cid && !t.killed)
                busy = true;
        if (busy) {
            ++it;
            continue;
        }
        m_agent.Emit(EXOSIP_CALL_RELEASED, nullptr, nullptr, call.cid, call.did, 0, 0);
        for (auto tit = m_agent.m_transactions.begin(); tit != m_agent.m_transactions.end();) {
            if (tit->second.cid == call.cid) {
                osip_transaction_free(tit->second.tr);
                tit = m_agent.m_transactions.erase(tit);
            } else {
                ++tit;
            }
        }
        FreeCall(call);
        it = m_calls.erase(it);
    }
}

int CSipCalls::NextCallId()
{
    ZLOG_SCOPE();
    int id = m_nextCallId++;
    if (m_nextCallId > 100000)
        m_nextCallId = 1;
    return id;
}

CSipCalls::Call* CSipCalls::FindCallByCid(int cid)
{
    ZLOG_SCOPE();
    auto it = m_calls.find(cid);
    return it == m_calls.end() ? nullptr : it->second.get();
}

CSipCalls::Call* CSipCalls::FindCallByDid(int did)
{
    ZLOG_SCOPE();
    if (did <= 0)
        return nullptr;
    for (auto& [cid, call] : m_calls)
        if (call->did == did)
            return call.get();
    return nullptr;
}

CSipCalls::Call* CSipCalls::FindCallForRequest(osip_message_t* request)
{
    ZLOG_SCOPE();
    for (auto& [cid, call] : m_calls)
        if (call->dialog != nullptr && osip_dialog_match_as_uas(call->dialog, request) == 0)
            return call.get();
    return nullptr;
}

void CSipCalls::DropDialog(Call& call)
{
    ZLOG_SCOPE();
    if (call.dialog == nullptr)
        return;
    osip_stop_retransmissions_from_dialog(m_agent.m_osip, call.dialog);
    osip_dialog_free(call.dialog);
    call.dialog = nullptr;
    call.awaitingAck = false;
}

void CSipCalls::FreeCall(Call& call)
{
    ZLOG_SCOPE();
    DropDialog(call);
    call.lastInvite.reset();
    call.remoteInvite.reset();
    call.answer2xx.reset();
    call.ack.reset();
    call.challenge.reset();
}

void CSipCalls::HandleStrayResponse(osip_message_t* msg)
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
            m_agent.SendToNextHop(call->ack.get());
            return;
        }
    }
    ZLOG(LOG_DEBUG, "response %d matches nothing, dropped", msg->status_code);
}

void CSipCalls::HandleCancel(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* cancel = evt->sip;
    const std::string branch = CSipMessageFactory::TopBranch(cancel);
    Call* target = nullptr;
    CSipUserAgent::Transaction* invite = nullptr;
    for (auto& [cid, call] : m_calls) {
        if (call->outgoing)
            continue;
        CSipUserAgent::Transaction* t = m_agent.FindTransaction(call->lastInviteTid);
        if (t != nullptr && t->tr->orig_request != nullptr &&
            CSipMessageFactory::TopBranch(t->tr->orig_request) == branch &&
            SameText(t->tr->orig_request->call_id->number, cancel->call_id->number)) {
            target = call.get();
            invite = t;
            break;
        }
    }
    osip_transaction_t* tr = m_agent.StartServer(NIST, evt, target != nullptr ? target->cid : 0);
    if (tr == nullptr)
        return;
    // The NIST has not run yet: answers are built from the request we still point at.
    osip_message_t* response = nullptr;
    SipLocal local = m_agent.LocalFor(nullptr);
    bool pending = invite != nullptr && !invite->killed && !IsFinal(invite->tr->last_response);
    int status = pending ? 200 : 481;
    const char* tag = target != nullptr ? target->localTag.c_str() : nullptr;
    std::string fresh = CSipMessageFactory::RandomNumber();
    if (CSipMessageFactory::BuildResponse(cancel, status, tag != nullptr ? tag : fresh.c_str(), nullptr, false, local,
                                          &response) == 0)
        m_agent.RespondIn(tr, response);
    if (pending)
        m_agent.Respond(invite->tr, 487, target->localTag.c_str(), nullptr, false, target->remoteInvite.get());
}

void CSipCalls::HandleInvite(osip_event_t* evt)
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
                m_agent.SendResponseDirect(call->answer2xx.get());
            osip_event_free(evt);
            return;
        }
    }
    if (call != nullptr && hasToTag) {
        osip_transaction_t* tr = m_agent.StartServer(IST, evt, call->cid);
        if (tr == nullptr)
            return;
        osip_dialog_update_osip_cseq_as_uas(call->dialog, invite);
        osip_message_t* trying = nullptr;
        SipLocal local = m_agent.LocalFor(nullptr);
        if (CSipMessageFactory::BuildResponse(invite, 100, call->localTag.c_str(), nullptr, false, local, &trying) == 0)
            m_agent.RespondIn(tr, trying);
        call->lastInviteTid = tr->transactionid;
        m_agent.Emit(EXOSIP_CALL_REINVITE, invite, nullptr, call->cid, call->did, tr->transactionid, 0);
        return;
    }
    if (hasToTag) {
        osip_transaction_t* tr = m_agent.StartServer(IST, evt, 0);
        if (tr != nullptr) {
            osip_message_t* response = nullptr;
            SipLocal local = m_agent.LocalFor(nullptr);
            if (CSipMessageFactory::BuildResponse(invite, 481, nullptr, nullptr, false, local, &response) == 0)
                m_agent.RespondIn(tr, response);
        }
        return;
    }
    auto created = std::make_unique<Call>();
    created->cid = NextCallId();
    created->outgoing = false;
    created->localTag = CSipMessageFactory::RandomNumber();
    created->remoteInvite = CloneMessage(invite);
    SipLocal local = m_agent.LocalFor(nullptr);
    osip_message_t* built = nullptr;
    const int builtResult = CSipMessageFactory::BuildResponse(invite, 101, created->localTag.c_str(),
                                                              UserOf(invite->to), true, local, &built);
    OsipMessagePtr provisional(built); // only a model for the dialog
    if (builtResult != 0 || osip_dialog_init_as_uas(&created->dialog, invite, provisional.get()) != 0) {
        ZLOG(LOG_ERROR, "cannot create a dialog for the INVITE");
        created->dialog = nullptr;
        m_agent.AnswerBadRequest(invite, "no dialog");
        FreeCall(*created);
        osip_event_free(evt);
        return;
    }
    created->did = NextCallId();
    osip_transaction_t* tr = m_agent.StartServer(IST, evt, created->cid);
    if (tr == nullptr) {
        FreeCall(*created);
        return;
    }
    created->initialTid = created->lastInviteTid = tr->transactionid;
    osip_message_t* trying = nullptr;
    if (CSipMessageFactory::BuildResponse(invite, 100, nullptr, nullptr, false, local, &trying) == 0) {
        m_agent.Emit(EXOSIP_CALL_INVITE, invite, trying, created->cid, created->did, tr->transactionid, 0);
        m_agent.RespondIn(tr, trying);
    }
    int cid = created->cid;
    m_calls[cid] = std::move(created);
}

void CSipCalls::OnIctResponse(osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    CSipUserAgent::Transaction* t = m_agent.FindTransaction(tr->transactionid);
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
            SipLocal local = m_agent.LocalFor(tr->orig_request != nullptr ? tr->orig_request->req_uri->host : nullptr);
            if (CSipMessageFactory::BuildInDialogRequest(dialog, "ACK", CSipMessageFactory::CSeqNumber(msg), local,
                                                         &ack) == 0) {
                m_agent.SendToNextHop(ack);
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
        m_agent.Emit(status < 180 ? EXOSIP_CALL_PROCEEDING : EXOSIP_CALL_RINGING, tr->orig_request, msg, call->cid, did,
                     tr->transactionid, 0);
        return;
    }
    if (status < 300) {
        call->authRetries = 0;
        m_agent.Emit(EXOSIP_CALL_ANSWERED, tr->orig_request, msg, call->cid, did, tr->transactionid, 0);
        return;
    }
    if (status == 401 || status == 407) {
        call->challenge = CloneMessage(msg);
    }
    const int reportedDid = call->dialog != nullptr ? call->did : 0;
    if (call->dialog != nullptr && call->dialog->state == DIALOG_EARLY)
        DropDialog(*call);
    m_agent.Emit(FailureType(status, EXOSIP_CALL_REDIRECTED), tr->orig_request, msg, call->cid, reportedDid,
                 tr->transactionid, 0);
}

void CSipCalls::OnIstFinalSent(osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    CSipUserAgent::Transaction* t = m_agent.FindTransaction(tr->transactionid);
    Call* call = t != nullptr ? FindCallByCid(t->cid) : nullptr;
    if (call == nullptr || call->initialTid != tr->transactionid)
        return;
    m_agent.Emit(EXOSIP_CALL_CLOSED, tr->orig_request, msg, call->cid, call->did, tr->transactionid, 0);
    DropDialog(*call);
}

int CSipCalls::RetryInvite(Call& call, osip_message_t* response)
{
    ZLOG_SCOPE();
    if (call.authRetries >= CSipUserAgent::kMaxAuthRetries) {
        ZLOG(LOG_ERROR, "call %d: challenge retry limit reached", call.cid);
        return -1;
    }
    if (call.lastInvite == nullptr || !call.outgoing)
        return -1;
    OsipMessagePtr msg = m_agent.NextAttempt(call.lastInvite.get());
    if (msg == nullptr || m_agent.AddCredentials(msg.get(), response) == 0)
        return -1;
    call.challenge = CloneMessage(response);
    DropDialog(call);
    ++call.authRetries;
    call.lastInvite = CloneMessage(msg.get());
    osip_transaction_t* tr = m_agent.StartClient(ICT, msg.release(), call.cid, 0);
    if (tr == nullptr)
        return -1;
    call.initialTid = call.lastInviteTid = tr->transactionid;
    return 0;
}

int CSipCalls::Redirect(Call& call, osip_message_t* response)
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
    CSipMessageFactory::RenewVia(msg.get(), m_agent.LocalFor(uri->host));
    DropDialog(call);
    call.lastInvite = CloneMessage(msg.get());
    osip_transaction_t* tr = m_agent.StartClient(ICT, msg.release(), call.cid, 0);
    if (tr == nullptr)
        return -1;
    call.initialTid = call.lastInviteTid = tr->transactionid;
    return 0;
}

int CSipCalls::CallBuildInitialInvite(osip_message_t** out, const char* to, const char* from, const char* route,
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
    SipLocal local = m_agent.LocalFor(host.c_str());
    osip_message_t* msg = nullptr;
    if (CSipMessageFactory::BuildRequest("INVITE", uri.c_str(), to, from, route, 20, local, &msg) != 0)
        return -1;
    osip_message_set_contact(msg, CSipMessageFactory::Contact(UserOf(msg->from), local).c_str());
    if (subject != nullptr && *subject != '\0')
        osip_message_set_subject(msg, Bounded(subject, CSipUserAgent::kMaxCredentialText).c_str());
    osip_message_set_expires(msg, "120");
    *out = msg;
    return 0;
}

int CSipCalls::CallSendInitialInvite(osip_message_t* invite)
{
    ZLOG_SCOPE();
    OsipMessagePtr owned(invite); // ours to free on every refusal
    if (owned == nullptr || !m_agent.m_transport.IsOpen() || !MSG_IS_INVITE(invite))
        return -1;
    auto call = std::make_unique<Call>();
    call->cid = NextCallId();
    call->outgoing = true;
    call->lastInvite = CloneMessage(invite);
    int cid = call->cid;
    m_calls[cid] = std::move(call);
    osip_transaction_t* tr = m_agent.StartClient(ICT, owned.release(), cid, 0);
    if (tr == nullptr) {
        FreeCall(*m_calls[cid]);
        m_calls.erase(cid);
        return -1;
    }
    m_calls[cid]->initialTid = m_calls[cid]->lastInviteTid = tr->transactionid;
    return cid;
}

int CSipCalls::CallBuildAnswer(int tid, int status, osip_message_t** out)
{
    ZLOG_SCOPE();
    if (out == nullptr)
        return -1;
    *out = nullptr;
    CSipUserAgent::Transaction* t = m_agent.FindTransaction(tid);
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
    const char* tag = call != nullptr
        ? (call->dialog != nullptr && call->dialog->local_tag != nullptr ? call->dialog->local_tag
                                                                         : call->localTag.c_str())
        : fresh.c_str();
    if (tag != nullptr && *tag == '\0')
        tag = fresh.c_str();
    const bool dialogForming = status > 100 && status < 300;
    SipLocal local = m_agent.LocalFor(nullptr);
    return CSipMessageFactory::BuildResponse(request, status, tag, dialogForming ? UserOf(request->to) : nullptr,
                                             dialogForming, local, out);
}

int CSipCalls::CallSendAnswer(int tid, int status, osip_message_t* answer)
{
    ZLOG_SCOPE();
    CSipUserAgent::Transaction* t = m_agent.FindTransaction(tid);
    if (t == nullptr || t->killed || IsFinal(t->tr->last_response) ||
        (t->tr->ctx_type != IST && t->tr->ctx_type != NIST)) {
        OsipMessagePtr refused(answer);
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
        osip_start_200ok_retransmissions(m_agent.m_osip, call->dialog, answer, m_agent.m_transport.Fd());
        call->awaitingAck = true;
        call->ackDeadline = Clock::now() + CSipUserAgent::kAckTimeout;
    }
    return m_agent.RespondIn(t->tr, answer);
}

int CSipCalls::CallBuildAck(int did, osip_message_t** out)
{
    ZLOG_SCOPE();
    if (out == nullptr)
        return -1;
    *out = nullptr;
    Call* call = FindCallByDid(did);
    if (call == nullptr || call->dialog == nullptr || call->dialog->state != DIALOG_CONFIRMED ||
        call->lastInvite == nullptr || !call->outgoing)
        return -1;
    SipLocal local = m_agent.LocalFor(call->lastInvite->req_uri->host);
    osip_message_t* ack = nullptr;
    if (CSipMessageFactory::BuildInDialogRequest(
            call->dialog, "ACK", CSipMessageFactory::CSeqNumber(call->lastInvite.get()), local, &ack) != 0)
        return -1;
    osip_list_clone(&call->lastInvite->proxy_authorizations, &ack->proxy_authorizations,
                    reinterpret_cast<int (*)(void*, void**)>(&osip_authorization_clone));
    osip_list_clone(&call->lastInvite->authorizations, &ack->authorizations,
                    reinterpret_cast<int (*)(void*, void**)>(&osip_authorization_clone));
    *out = ack;
    return 0;
}

int CSipCalls::CallSendAck(int did, osip_message_t* ack)
{
    ZLOG_SCOPE();
    OsipMessagePtr owned(ack); // kept for retransmitted 2xx, or freed on refusal
    Call* call = FindCallByDid(did);
    if (call == nullptr || owned == nullptr || call->dialog == nullptr)
        return -1;
    int rc = m_agent.SendToNextHop(owned.get());
    call->ack = std::move(owned);
    return rc;
}

int CSipCalls::SendBye(Call& call)
{
    ZLOG_SCOPE();
    if (call.dialog == nullptr)
        return -1;
    const char* hop = nullptr;
    if (call.dialog->remote_contact_uri != nullptr && call.dialog->remote_contact_uri->url != nullptr)
        hop = call.dialog->remote_contact_uri->url->host;
    SipLocal local = m_agent.LocalFor(hop);
    osip_message_t* bye = nullptr;
    if (CSipMessageFactory::BuildInDialogRequest(call.dialog, "BYE", 0, local, &bye) != 0)
        return -2;
    if (call.challenge != nullptr)
        m_agent.AddCredentials(bye, call.challenge.get());
    DropDialog(call);
    return m_agent.StartClient(NICT, bye, call.cid, 0) != nullptr ? 0 : -2;
}

int CSipCalls::CallTerminate(int cid, int did)
{
    ZLOG_SCOPE();
    Call* call = did > 0 ? FindCallByDid(did) : FindCallByCid(cid);
    if (call == nullptr)
        return -1;
    CSipUserAgent::Transaction* t = m_agent.FindTransaction(call->lastInviteTid);
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
        if (!m_agent.m_userAgent.empty())
            osip_message_set_user_agent(cancel, m_agent.m_userAgent.c_str());
        call->cancelSent = true;
        DropDialog(*call);
        return m_agent.StartClient(NICT, cancel, call->cid, 0) != nullptr ? 0 : -2;
    }
    if (!call->outgoing && t != nullptr && !t->killed && t->tr->ctx_type == IST && !IsFinal(t->tr->last_response) &&
        call->lastInviteTid == call->initialTid) {
        return m_agent.Respond(t->tr, 603, call->localTag.c_str(), nullptr, false, call->remoteInvite.get()) == 0 ? 0
                                                                                                                  : -2;
    }
    if (call->dialog != nullptr)
        return SendBye(*call);
    return -1;
}

sdp_message_t* CSipCalls::GetRemoteSdp(int did)
{
    ZLOG_SCOPE();
    Call* call = FindCallByDid(did);
    if (call == nullptr)
        return nullptr;
    CSipUserAgent::Transaction* t = m_agent.FindTransaction(call->lastInviteTid);
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
        sdp_message_t* raw = nullptr;
        if (sdp_message_init(&raw) != 0)
            return nullptr;
        SdpMessagePtr sdp(raw);
        if (sdp_message_parse(sdp.get(), body->body) == 0)
            return sdp.release();
    }
    return nullptr;
}

} // namespace zelora
