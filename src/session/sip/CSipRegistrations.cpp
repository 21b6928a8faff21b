#include "session/sip/CSipRegistrations.h"

#include <algorithm>

#include <cstdlib>

#include "app/CLogger.h"
#include "session/sip/CSipUserAgent.h"
#include "session/sip/OsipText.h"

namespace zelora {

CSipRegistrations::CSipRegistrations(CSipUserAgent& agent) : m_agent(agent) { }

CSipRegistrations::~CSipRegistrations() = default;

void CSipRegistrations::Clear() { m_registrations.clear(); }

CSipRegistrations::Registration* CSipRegistrations::Find(int rid)
{
    ZLOG_SCOPE();
    auto it = m_registrations.find(rid);
    return it == m_registrations.end() ? nullptr : it->second.get();
}

int CSipRegistrations::Retry(int rid)
{
    Registration* reg = Find(rid);
    return reg != nullptr ? Retry(*reg) : -1;
}

bool CSipRegistrations::IsCurrent(int rid, int tid)
{
    Registration* reg = Find(rid);
    return reg != nullptr && reg->tid == tid;
}

int CSipRegistrations::BuildInitial(const char* from, const char* proxy, const char* contact, int expires,
                                    osip_message_t** out)
{
    ZLOG_SCOPE();
    if (out == nullptr)
        return -1;
    *out = nullptr;
    if (!m_agent.m_transport.IsOpen() || from == nullptr || proxy == nullptr || *from == '\0' || *proxy == '\0')
        return -1;
    Registration* reg = nullptr;
    for (auto& [rid, r] : m_registrations)
        if (r->from == from && r->proxy == proxy)
            reg = r.get();
    std::string expiresText = std::to_string(expires);
    if (reg != nullptr && reg->last != nullptr) {
        if (m_agent.InProgress(reg->tid)) {
            ZLOG(LOG_ERROR, "registration %d still in progress", reg->rid);
            return -1;
        }
        OsipMessagePtr msg = m_agent.NextAttempt(reg->last.get());
        if (msg == nullptr)
            return -1;
        osip_header_t* header = nullptr;
        int pos;
        while ((pos = osip_message_header_get_byname(msg.get(), "expires", 0, &header)) >= 0 && header != nullptr) {
            osip_list_remove(&msg->headers, pos);
            osip_header_free(header);
            header = nullptr;
        }
        osip_message_set_expires(msg.get(), expiresText.c_str());
        FollowLocalAddress(msg.get(), expires);
        if (reg->lastStatus == 401 || reg->lastStatus == 407)
            m_agent.AddCredentials(msg.get(), reg->challenge.get());
        reg->expires = expires;
        osip_message_force_update(msg.get());
        *out = msg.release();
        return reg->rid;
    }
    const std::string host = HostOfUri(proxy);
    SipLocal local = m_agent.LocalFor(host.c_str());
    osip_message_t* msg = nullptr;
    if (CSipMessageFactory::BuildRequest("REGISTER", proxy, from, from, nullptr, 1, local, &msg) != 0)
        return -1;
    std::string contactText =
        (contact != nullptr && *contact) ? std::string(contact) : CSipMessageFactory::Contact(UserOf(msg->from), local);
    osip_message_set_contact(msg, contactText.c_str());
    osip_message_set_expires(msg, expiresText.c_str());
    osip_message_set_content_length(msg, "0");
    auto created = std::make_unique<Registration>();
    created->rid = m_nextRid++;
    created->from = from;
    created->proxy = proxy;
    created->expires = expires;
    int rid = created->rid;
    m_registrations[rid] = std::move(created);
    *out = msg;
    return rid;
}

void CSipRegistrations::FollowLocalAddress(osip_message_t* msg, int expires)
{
    ZLOG_SCOPE();
    auto* old = static_cast<osip_contact_t*>(osip_list_get(&msg->contacts, 0));
    if (old == nullptr || old->url == nullptr || msg->req_uri == nullptr)
        return;
    const SipLocal local = m_agent.LocalFor(msg->req_uri->host);
    const std::string now = CSipMessageFactory::Contact(UserOf(msg->from), local);
    char* oldText = nullptr;
    if (osip_contact_to_str(old, &oldText) != 0 || oldText == nullptr)
        return;
    const std::string before = oldText;
    osip_free(oldText);
    if (before.find(local.ip + ":" + std::to_string(local.port) + ">") != std::string::npos)
        return;
    // The address towards the registrar changed: the new binding replaces the old one, which
    // is released in the same request so that calls stop forking to an address that is gone.
    ZLOG(LOG_INFO, "contact moves from %s to %s", before.c_str(), now.c_str());
    osip_list_special_free(&msg->contacts, reinterpret_cast<void (*)(void*)>(&osip_contact_free));
    osip_message_set_contact(msg, now.c_str());
    if (expires > 0)
        osip_message_set_contact(msg, (before + ";expires=0").c_str());
}

int CSipRegistrations::Send(int rid, osip_message_t* msg)
{
    ZLOG_SCOPE();
    Registration* reg = Find(rid);
    if (reg == nullptr) {
        if (msg != nullptr)
            osip_message_free(msg);
        return -1;
    }
    if (msg == nullptr) {
        int again = BuildInitial(reg->from.c_str(), reg->proxy.c_str(), nullptr, reg->expires, &msg);
        if (again != rid || msg == nullptr)
            return -1;
    }
    const bool wasRefreshing = reg->refreshing;
    reg->refreshing = false;
    int rc = SendRegister(*reg, msg);
    if (rc != 0)
        reg->refreshing = wasRefreshing;
    else
        reg->refreshAt = {};
    return rc;
}

int CSipRegistrations::SendRegister(Registration& registration, osip_message_t* msg)
{
    ZLOG_SCOPE();
    Registration* reg = &registration;
    if (m_agent.InProgress(reg->tid)) {
        osip_message_free(msg);
        return -1;
    }
    reg->last = CloneMessage(msg);
    osip_transaction_t* tr = m_agent.StartClient(NICT, msg, 0, reg->rid);
    if (tr == nullptr)
        return -1;
    int old = reg->tid;
    reg->tid = tr->transactionid;
    CSipUserAgent::Transaction* previous = m_agent.FindTransaction(old);
    if (previous != nullptr && previous->killed) {
        osip_transaction_free(previous->tr);
        m_agent.m_transactions.erase(old);
    }
    return 0;
}

void CSipRegistrations::ScheduleRefresh(Registration& reg, const osip_message_t* ok)
{
    ZLOG_SCOPE();
    reg.refreshAt = {};
    if (reg.expires <= 0)
        return;
    // The registrar may grant less than asked: its Expires header or our Contact's expires.
    long granted = reg.expires;
    osip_header_t* header = nullptr;
    if (osip_message_get_expires(ok, 0, &header) >= 0 && header != nullptr && header->hvalue != nullptr)
        granted = std::strtol(header->hvalue, nullptr, 10);
    auto* contact = static_cast<osip_contact_t*>(osip_list_get(&ok->contacts, 0));
    osip_generic_param_t* param = nullptr;
    static char kExpires[] = "expires";
    if (contact != nullptr && osip_generic_param_get_byname(&contact->gen_params, kExpires, &param) == 0 &&
        param != nullptr && param->gvalue != nullptr)
        granted = std::strtol(param->gvalue, nullptr, 10);
    if (granted <= 0 || granted > reg.expires)
        granted = reg.expires;
    const long lead = granted > 120 ? granted - 60 : (granted + 1) / 2;
    reg.refreshAt = Clock::now() + std::chrono::seconds(lead);
}

void CSipRegistrations::RefreshDue()
{
    const auto now = Clock::now();
    for (auto& [rid, reg] : m_registrations) {
        if (reg->refreshAt == Clock::time_point{} || now < reg->refreshAt)
            continue;
        reg->refreshAt = {};
        osip_message_t* msg = nullptr;
        if (BuildInitial(reg->from.c_str(), reg->proxy.c_str(), nullptr, reg->expires, &msg) != rid || msg == nullptr)
            continue;
        ZLOG(LOG_DEBUG, "refreshing registration %d", rid);
        reg->retries = 0;
        reg->refreshing = true;
        if (SendRegister(*reg, msg) != 0)
            reg->refreshing = false;
    }
}

CSipRegistrations::Clock::time_point CSipRegistrations::NextRefresh() const
{
    auto next = Clock::time_point::max();
    for (const auto& [rid, reg] : m_registrations)
        if (reg->refreshAt != Clock::time_point{})
            next = std::min(next, reg->refreshAt);
    return next;
}

int CSipRegistrations::Retry(Registration& reg)
{
    ZLOG_SCOPE();
    if (reg.retries >= CSipUserAgent::kMaxAuthRetries) {
        ZLOG(LOG_ERROR, "registration %d: challenge retry limit reached", reg.rid);
        return -1;
    }
    if (reg.last == nullptr || reg.challenge == nullptr || m_agent.InProgress(reg.tid))
        return -1;
    OsipMessagePtr msg = m_agent.NextAttempt(reg.last.get());
    if (msg == nullptr || m_agent.AddCredentials(msg.get(), reg.challenge.get()) == 0)
        return -1;
    ++reg.retries;
    return SendRegister(reg, msg.release()) == 0 ? 0 : -1;
}

void CSipRegistrations::OnResponse(int rid, osip_transaction_t* tr, osip_message_t* msg)
{
    ZLOG_SCOPE();
    const int status = msg->status_code;
    Registration* reg = Find(rid);
    if (reg == nullptr || status < 200)
        return;
    reg->lastStatus = status;
    const bool refresh = reg->refreshing;
    if (status < 300) {
        reg->retries = 0;
        reg->refreshing = false;
        ScheduleRefresh(*reg, msg);
        m_agent.Emit(refresh ? EXOSIP_REGISTRATION_REFRESHED : EXOSIP_REGISTRATION_SUCCESS, tr->orig_request, msg, 0, 0,
                     0, reg->rid);
        return;
    }
    if (status == 401 || status == 407) {
        reg->challenge = CloneMessage(msg);
        // Our own refresh answers its challenge itself; only a final failure is reported.
        if (refresh && Retry(*reg) == 0)
            return;
    }
    reg->refreshing = false;
    m_agent.Emit(EXOSIP_REGISTRATION_FAILURE, tr->orig_request, msg, 0, 0, 0, reg->rid);
}

void CSipRegistrations::OnNoFinalAnswer(int rid, osip_transaction_t* tr)
{
    ZLOG_SCOPE();
    Registration* reg = Find(rid);
    if (reg == nullptr || reg->tid != tr->transactionid)
        return;
    ZLOG(LOG_WARNING, "REGISTER %d got no final answer", reg->rid);
    reg->lastStatus = 0;
    reg->refreshing = false;
    m_agent.Emit(EXOSIP_REGISTRATION_FAILURE, tr->orig_request, nullptr, 0, 0, 0, reg->rid);
}

} // namespace zelora
