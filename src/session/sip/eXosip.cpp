// Entry points; each forwards to the process-wide user agent.
#include "session/sip/eXosip.h"

#include <cstdio>

#include <osipparser2/osip_port.h>

#include "session/sip/CSipEventQueue.h"
#include "session/sip/CSipMessageFactory.h"
#include "session/sip/CSipUserAgent.h"
#include "session/sip/CUdpTransport.h"

using zelora::CSipUserAgent;

namespace {

CSipUserAgent* Agent() { return CSipUserAgent::Instance(); }

} // namespace

int eXosip_init(void) { return CSipUserAgent::Create(); }

void eXosip_quit(void) { CSipUserAgent::Destroy(); }

int eXosip_listen_addr(int transport, const char* addr, int port, int family, int)
{
    return Agent() != nullptr ? Agent()->ListenAddr(transport, addr, port, family) : -1;
}

void eXosip_set_user_agent(const char* user_agent)
{
    if (Agent() != nullptr)
        Agent()->SetUserAgent(user_agent);
}

int eXosip_lock(void) { return Agent() != nullptr ? Agent()->Lock() : -1; }

int eXosip_unlock(void) { return Agent() != nullptr ? Agent()->Unlock() : -1; }

eXosip_event_t* eXosip_event_wait(int tv_s, int tv_ms)
{
    return Agent() != nullptr ? Agent()->EventWait(tv_s, tv_ms) : nullptr;
}

void eXosip_event_interrupt(void)
{
    if (Agent() != nullptr)
        Agent()->InterruptEventWait();
}

void eXosip_event_free(eXosip_event_t* je) { zelora::CSipEventQueue::Free(je); }

int eXosip_default_action(eXosip_event_t* je) { return Agent() != nullptr ? Agent()->DefaultAction(je) : -1; }

int eXosip_clear_authentication_info(void) { return Agent() != nullptr ? Agent()->ClearAuthenticationInfo() : 0; }

int eXosip_add_authentication_info(const char* username, const char* userid, const char* passwd, const char* ha1,
                                   const char* realm)
{
    return Agent() != nullptr ? Agent()->AddAuthenticationInfo(username, userid, passwd, ha1, realm) : -1;
}

int eXosip_register_build_initial_register(const char* from, const char* proxy, const char* contact, int expires,
                                           osip_message_t** reg)
{
    if (reg != nullptr)
        *reg = nullptr;
    return Agent() != nullptr ? Agent()->RegisterBuildInitialRegister(from, proxy, contact, expires, reg) : -1;
}

int eXosip_register_send_register(int rid, osip_message_t* reg)
{
    if (Agent() == nullptr) {
        if (reg != nullptr)
            osip_message_free(reg);
        return -1;
    }
    return Agent()->RegisterSendRegister(rid, reg);
}

int eXosip_call_build_initial_invite(osip_message_t** invite, const char* to, const char* from, const char* route,
                                     const char* subject)
{
    if (invite != nullptr)
        *invite = nullptr;
    return Agent() != nullptr ? Agent()->CallBuildInitialInvite(invite, to, from, route, subject) : -1;
}

int eXosip_call_send_initial_invite(osip_message_t* invite)
{
    if (Agent() == nullptr) {
        if (invite != nullptr)
            osip_message_free(invite);
        return -1;
    }
    return Agent()->CallSendInitialInvite(invite);
}

int eXosip_call_build_answer(int tid, int status, osip_message_t** answer)
{
    if (answer != nullptr)
        *answer = nullptr;
    return Agent() != nullptr ? Agent()->CallBuildAnswer(tid, status, answer) : -1;
}

int eXosip_call_send_answer(int tid, int status, osip_message_t* answer)
{
    if (Agent() == nullptr) {
        if (answer != nullptr)
            osip_message_free(answer);
        return -1;
    }
    return Agent()->CallSendAnswer(tid, status, answer);
}

int eXosip_call_build_ack(int did, osip_message_t** ack)
{
    if (ack != nullptr)
        *ack = nullptr;
    return Agent() != nullptr ? Agent()->CallBuildAck(did, ack) : -1;
}

int eXosip_call_send_ack(int did, osip_message_t* ack)
{
    if (Agent() == nullptr) {
        if (ack != nullptr)
            osip_message_free(ack);
        return -1;
    }
    return Agent()->CallSendAck(did, ack);
}

int eXosip_call_terminate(int cid, int did) { return Agent() != nullptr ? Agent()->CallTerminate(cid, did) : -1; }

int eXosip_message_build_request(osip_message_t** message, const char* method, const char* to, const char* from,
                                 const char* route)
{
    if (message != nullptr)
        *message = nullptr;
    return Agent() != nullptr ? Agent()->MessageBuildRequest(message, method, to, from, route) : -1;
}

int eXosip_message_send_request(osip_message_t* message)
{
    if (Agent() == nullptr) {
        if (message != nullptr)
            osip_message_free(message);
        return -1;
    }
    return Agent()->MessageSendRequest(message);
}

sdp_message_t* eXosip_get_remote_sdp(int did) { return Agent() != nullptr ? Agent()->GetRemoteSdp(did) : nullptr; }

sdp_media_t* eXosip_get_audio_media(sdp_message_t* sdp)
{
    if (sdp == nullptr)
        return nullptr;
    for (int i = 0; i < osip_list_size(&sdp->m_medias); ++i) {
        auto* media = static_cast<sdp_media_t*>(osip_list_get(&sdp->m_medias, i));
        if (media != nullptr && media->m_media != nullptr && osip_strcasecmp(media->m_media, "audio") == 0)
            return media;
    }
    return nullptr;
}

int eXosip_guess_localip(int family, char* address, int size)
{
    if (Agent() != nullptr)
        return Agent()->GuessLocalIp(family, address, size);
    if (address == nullptr || size <= 0)
        return -1;
    std::string ip;
    int rc = zelora::CUdpTransport::LocalAddressTowards(nullptr, ip);
    std::snprintf(address, static_cast<size_t>(size), "%s", ip.c_str());
    return rc;
}

int eXosip_generate_random(char* buf, int buf_size)
{
    if (buf == nullptr || buf_size <= 0)
        return -1;
    std::snprintf(buf, static_cast<size_t>(buf_size), "%s", zelora::CSipMessageFactory::RandomNumber().c_str());
    return 0;
}

int eXosip_trace_initialize(int level, FILE* file)
{
    if (level < 0 || level > END_TRACE_LEVEL)
        return -1;
    if (file != nullptr) {
        // osip keeps preferring an installed trace function over a file given later.
        osip_trace_initialize_func(static_cast<osip_trace_level_t>(level), nullptr);
        return osip_trace_initialize(static_cast<osip_trace_level_t>(level), file) == 0 ? 0 : -1;
    }
    CSipUserAgent::RouteTraceToLogger(level);
    return 0;
}
