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
