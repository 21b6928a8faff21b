// The worker: one library event at a time, each to the handler of its type, the result to the consumer.
#include "session/CMXSipStack.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "app/CLogger.h"
#include "session/CLibraryLock.h"
#include "session/sdp/CMXSdpNegotiator.h"
#include "session/sip/OsipPtr.h"
#include "session/sip/eXosip.h"

namespace {

bool IsRegistrationEvent(int type)
{
    return type == EXOSIP_REGISTRATION_SUCCESS || type == EXOSIP_REGISTRATION_FAILURE;
}

// A 2xx to a REGISTER with "Expires: 0" ends the registration instead of making one.
// A request sent without credentials, or answered by a nonce-expired challenge, has not been refused:
// the stack answers such a challenge by itself.
bool ChallengeIsRoutine(const osip_message_t* request, const osip_message_t* response)
{
    if (request == nullptr || response == nullptr)
        return false;
    if (osip_list_size(&request->authorizations) <= 0 && osip_list_size(&request->proxy_authorizations) <= 0)
        return true;
    for (const osip_list_t* list : {&response->www_authenticates, &response->proxy_authenticates}) {
        for (int i = 0; i < osip_list_size(list); ++i) {
            auto* header = static_cast<osip_www_authenticate_t*>(osip_list_get(list, i));
            const char* stale = header != nullptr ? osip_www_authenticate_get_stale(header) : nullptr;
            if (stale != nullptr && (strcasecmp(stale, "true") == 0 || strcasecmp(stale, "\"true\"") == 0))
                return true;
        }
    }
    return false;
}

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
    {EXOSIP_MESSAGE_REQUESTFAILURE, &CMXSipStack::OnMessageFailure},
    {EXOSIP_MESSAGE_SERVERFAILURE, &CMXSipStack::OnMessageFailure},
    {EXOSIP_MESSAGE_GLOBALFAILURE, &CMXSipStack::OnMessageFailure},
};

const char* CMXSipStack::EventName(int type)
{
    ZLOG_SCOPE();
    if (type < 0 || type > EXOSIP_EVENT_COUNT)
        return "UNKNOWN";
    return kEventNames[type];
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
    ZLOG(LOG_DEBUG, "Call DID =  %d, CID = %d, TID =  %d", record.did, record.cid, record.tid);
    ZLOG(LOG_DEBUG, "%s", EventName(event->type));
    return 1;
}

int CMXSipStack::DefaultAction(eXosip_event* event)
{
    ZLOG_SCOPE();
    CLibraryLock lock;
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
        CLibraryLock lock;
        if (!lock.Ok())
            return -1;
        if (eXosip_default_action(event) < 0) {
            ZLOG(LOG_ERROR, "eXosip_default_action failed for EXOSIP_REGISTRATION_SUCCESS");
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
    // Whatever becomes of the unregistration at quit, nobody is left to tell.
    if (event->response == nullptr)
        return m_quitting ? 0 : MXSS_STATUS_REGISTRATION_TIMEOUT;
    int code = osip_message_get_status_code(event->response);
    bool challenge = code == 401 || code == 407;
    // Answering a challenge is tried either way; while the retry is out, nothing has failed yet.
    bool retried = DefaultAction(event) == 0;
    if (challenge && retried && ChallengeIsRoutine(event->request, event->response))
        return 0;
    // Refused for good: nothing of ours stands at the registrar that we could still remove, so
    // the quit does not wait for the answer to an unregistration that is refused in turn.
    m_registered = false;
    if (m_quitting)
        return 0;
    return challenge ? MXSS_STATUS_REGISTRATION_FAILURE : MXSS_STATUS_REGISTRATION_TIMEOUT;
}

int CMXSipStack::ProcessSDP(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    zelora::SdpMessagePtr sdp(eXosip_get_remote_sdp(event->did));
    sdp_media_t* audio = sdp != nullptr ? eXosip_get_audio_media(sdp.get()) : nullptr;
    int result = CMXSdpNegotiator::ProcessSDP(sdp.get(), audio, m_codecs, m_codecCount, record);
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
    CLibraryLock lock;
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
    CLibraryLock lock;
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
        CLibraryLock lock;
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
    CLibraryLock lock;
    if (!lock.Ok())
        return -1;
    if (ProcessSDP(event, record) < 0)
        ZLOG(LOG_WARNING, "Some problem with remote SDP, we ignored it");
    return MXSS_STATUS_CALL_RINGING;
}

int CMXSipStack::OnCallAnswered(eXosip_event* event, SESSION_EVENT_INFO& record)
{
    ZLOG_SCOPE();
    CLibraryLock lock;
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
        CLibraryLock lock;
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
    ZLOG(LOG_DEBUG, "Message Body %.*s", static_cast<int>(text.size() > 1024 ? 1024 : text.size()), text.data());
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

int CMXSipStack::OnMessageFailure(eXosip_event* event, SESSION_EVENT_INFO& /*record*/)
{
    ZLOG_SCOPE();
    const int code = event->response != nullptr ? osip_message_get_status_code(event->response) : 0;
    if ((code == 401 || code == 407) && DefaultAction(event) == 0)
        return 0; // answered with credentials; its own answer follows
    // The keep-alive is addressed to our own account: a registrar that finds no binding for it
    // (404, 480) has forgotten us. Silence, a time-out, a server failure or a refused challenge
    // say the same; any other 4xx comes from a registrar that still knows us.
    const bool lost =
        code == 0 || code == 401 || code == 407 || code == 404 || code == 408 || code == 480 || code >= 500;
    if (!lost)
        return MXSS_STATUS_OTHER_SIP_MESSAGE;
    ZLOG(LOG_WARNING, "keep-alive failed with %d", code);
    return MXSS_STATUS_KEEPALIVE_LOST;
}

int CMXSipStack::OnOther(eXosip_event*, SESSION_EVENT_INFO&)
{
    ZLOG_SCOPE();
    return MXSS_STATUS_OTHER_SIP_MESSAGE;
}
