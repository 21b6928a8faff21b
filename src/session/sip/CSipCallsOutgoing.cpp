// Calls we start: the INVITE, its answers, challenges and redirects, and the ACK of its 2xx.
#include "session/sip/CSipCalls.h"

#include <cstring>
#include <strings.h>

#include "app/CLogger.h"
#include "session/sip/CSipUserAgent.h"
#include "session/sip/OsipText.h"

namespace zelora {

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
    ++call.authRetries;
    return SendNewInvite(call, std::move(msg));
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
    return SendNewInvite(call, std::move(msg));
}

int CSipCalls::SendNewInvite(Call& call, OsipMessagePtr invite)
{
    ZLOG_SCOPE();
    // The early dialogs of the last attempt are gone; the call goes on in the new INVITE.
    DropDialog(call);
    call.lastInvite = CloneMessage(invite.get());
    osip_transaction_t* tr = m_agent.StartClient(ICT, invite.release(), call.cid, 0);
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

} // namespace zelora
