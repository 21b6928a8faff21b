// Calls the peer starts: its INVITE and CANCEL, our answers, and the end of our final answer.
#include "session/sip/CSipCalls.h"

#include <cstring>
#include <strings.h>

#include "app/CLogger.h"
#include "session/sip/CSipUserAgent.h"
#include "session/sip/OsipText.h"

namespace zelora {

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
    StartIncomingCall(evt);
}

void CSipCalls::StartIncomingCall(osip_event_t* evt)
{
    ZLOG_SCOPE();
    osip_message_t* invite = evt->sip;
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
        m_agent.AnswerRefused(invite, 400, "no dialog");
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

} // namespace zelora
