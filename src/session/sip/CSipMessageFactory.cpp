#include "session/sip/CSipMessageFactory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <osipparser2/osip_parser.h>
#include <osipparser2/osip_port.h>

#include "app/CLogger.h"
#include "platform/RandomNumber.h"

namespace zelora {

namespace {

const char* UserOf(osip_from_t* header)
{
    if (header == nullptr || header->url == nullptr || header->url->username == nullptr)
        return nullptr;
    return header->url->username;
}

void SetHeaderText(osip_message_t* msg, const char* name, const std::string& value)
{
    if (!value.empty())
        osip_message_set_header(msg, name, value.c_str());
}

int AddVia(osip_message_t* msg, const SipLocal& local)
{
    std::string via = "SIP/2.0/UDP " + local.ip + ":" + std::to_string(local.port) +
        ";rport;branch=" + CSipMessageFactory::NewBranch();
    return osip_message_set_via(msg, via.c_str());
}

} // namespace

std::string CSipMessageFactory::RandomNumber()
{
    ZLOG_SCOPE();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", zelora::RandomNumber());
    return buf;
}

std::string CSipMessageFactory::NewBranch() { return "z9hG4bK" + RandomNumber(); }

std::string CSipMessageFactory::Contact(const char* user, const SipLocal& local)
{
    ZLOG_SCOPE();
    std::string c = "<sip:";
    if (user != nullptr && *user) {
        c += user;
        c += "@";
    }
    c += local.ip + ":" + std::to_string(local.port) + ">";
    return c;
}

std::string CSipMessageFactory::Tag(osip_from_t* header)
{
    ZLOG_SCOPE();
    if (header == nullptr)
        return {};
    static char kTagName[] = "tag";
    osip_generic_param_t* tag = nullptr;
    if (osip_generic_param_get_byname(&header->gen_params, kTagName, &tag) != 0 || tag == nullptr ||
        tag->gvalue == nullptr)
        return {};
    return tag->gvalue;
}

std::string CSipMessageFactory::TopBranch(const osip_message_t* msg)
{
    ZLOG_SCOPE();
    auto* via = static_cast<osip_via_t*>(osip_list_get(&msg->vias, 0));
    if (via == nullptr)
        return {};
    osip_generic_param_t* branch = nullptr;
    if (osip_via_param_get_byname(via, const_cast<char*>("branch"), &branch) != 0 || branch == nullptr ||
        branch->gvalue == nullptr)
        return {};
    return branch->gvalue;
}

std::string CSipMessageFactory::ToText(osip_message_t* msg)
{
    ZLOG_SCOPE();
    char* text = nullptr;
    size_t len = 0;
    if (msg == nullptr || osip_message_to_str(msg, &text, &len) != 0 || text == nullptr)
        return {};
    std::string out(text, len);
    osip_free(text);
    return out;
}

int CSipMessageFactory::CSeqNumber(const osip_message_t* msg)
{
    ZLOG_SCOPE();
    if (msg == nullptr || msg->cseq == nullptr || msg->cseq->number == nullptr)
        return -1;
    return std::atoi(msg->cseq->number);
}

int CSipMessageFactory::SetCSeqNumber(osip_message_t* msg, int number)
{
    ZLOG_SCOPE();
    if (msg == nullptr || msg->cseq == nullptr)
        return -1;
    osip_free(msg->cseq->number);
    msg->cseq->number = osip_strdup(std::to_string(number).c_str());
    osip_message_force_update(msg);
    return 0;
}

int CSipMessageFactory::RenewVia(osip_message_t* msg, const SipLocal& local)
{
    ZLOG_SCOPE();
    auto* old = static_cast<osip_via_t*>(osip_list_get(&msg->vias, 0));
    if (old != nullptr) {
        osip_list_remove(&msg->vias, 0);
        osip_via_free(old);
    }
    osip_via_t* via = nullptr;
    std::string text = "SIP/2.0/UDP " + local.ip + ":" + std::to_string(local.port) + ";rport;branch=" + NewBranch();
    if (osip_via_init(&via) != 0)
        return -1;
    if (osip_via_parse(via, text.c_str()) != 0) {
        osip_via_free(via);
        return -1;
    }
    osip_list_add(&msg->vias, via, 0);
    osip_message_force_update(msg);
    return 0;
}

void CSipMessageFactory::RemoveCredentials(osip_message_t* msg)
{
    ZLOG_SCOPE();
    osip_list_special_free(&msg->authorizations, reinterpret_cast<void (*)(void*)>(&osip_authorization_free));
    osip_list_special_free(&msg->proxy_authorizations,
                           reinterpret_cast<void (*)(void*)>(&osip_proxy_authorization_free));
    osip_message_force_update(msg);
}

int CSipMessageFactory::BuildRequest(const char* method, const char* requestUri, const char* to, const char* from,
                                     const char* route, int cseq, const SipLocal& local, osip_message_t** out)
{
    ZLOG_SCOPE();
    *out = nullptr;
    osip_message_t* msg = nullptr;
    if (osip_message_init(&msg) != 0)
        return -1;
    osip_message_set_method(msg, osip_strdup(method));
    osip_message_set_version(msg, osip_strdup("SIP/2.0"));
    osip_uri_t* uri = nullptr;
    osip_uri_init(&uri);
    if (osip_uri_parse(uri, requestUri) != 0) {
        ZLOG(LOG_ERROR, "invalid request URI %s", requestUri);
        osip_uri_free(uri);
        osip_message_free(msg);
        return -1;
    }
    osip_message_set_uri(msg, uri);
    if (osip_message_set_to(msg, to) != 0 || osip_message_set_from(msg, from) != 0 || msg->to == nullptr ||
        msg->from == nullptr) {
        ZLOG(LOG_ERROR, "invalid From %s or To %s", from, to);
        osip_message_free(msg);
        return -1;
    }
    osip_from_set_tag(msg->from, osip_strdup(RandomNumber().c_str()));
    if (route != nullptr && *route != '\0' && osip_message_set_route(msg, route) != 0) {
        ZLOG(LOG_ERROR, "invalid route %s", route);
        osip_message_free(msg);
        return -1;
    }
    std::string callId = RandomNumber() + "@" + local.ip;
    osip_message_set_call_id(msg, callId.c_str());
    std::string cseqText = std::to_string(cseq) + " " + method;
    osip_message_set_cseq(msg, cseqText.c_str());
    if (AddVia(msg, local) != 0) {
        osip_message_free(msg);
        return -1;
    }
    osip_message_set_max_forwards(msg, "70");
    SetHeaderText(msg, "User-Agent", local.userAgent);
    *out = msg;
    return 0;
}

int CSipMessageFactory::BuildInDialogRequest(osip_dialog_t* dialog, const char* method, int cseq, const SipLocal& local,
                                             osip_message_t** out)
{
    ZLOG_SCOPE();
    *out = nullptr;
    if (dialog == nullptr || dialog->remote_uri == nullptr || dialog->local_uri == nullptr)
        return -1;
    osip_message_t* msg = nullptr;
    if (osip_message_init(&msg) != 0)
        return -1;
    osip_message_set_method(msg, osip_strdup(method));
    osip_message_set_version(msg, osip_strdup("SIP/2.0"));

    osip_uri_t* target = nullptr;
    if (dialog->remote_contact_uri != nullptr && dialog->remote_contact_uri->url != nullptr)
        osip_uri_clone(dialog->remote_contact_uri->url, &target);
    else
        osip_uri_clone(dialog->remote_uri->url, &target);
    auto* first = static_cast<osip_route_t*>(osip_list_get(&dialog->route_set, 0));
    osip_uri_param_t* lr = nullptr;
    bool loose = first == nullptr ||
        (first->url != nullptr && osip_uri_uparam_get_byname(first->url, const_cast<char*>("lr"), &lr) == 0);
    if (loose) {
        osip_message_set_uri(msg, target);
        osip_list_clone(&dialog->route_set, &msg->routes, reinterpret_cast<int (*)(void*, void**)>(&osip_from_clone));
    } else {
        // Strict next hop: it becomes the Request-URI and the target moves to the last Route.
        osip_uri_t* uri = nullptr;
        osip_uri_clone(first->url, &uri);
        osip_message_set_uri(msg, uri);
        for (int i = 1; i < osip_list_size(&dialog->route_set); ++i) {
            osip_route_t* r = nullptr;
            osip_from_clone(static_cast<osip_from_t*>(osip_list_get(&dialog->route_set, i)), &r);
            osip_list_add(&msg->routes, r, -1);
        }
        osip_route_t* last = nullptr;
        osip_route_init(&last);
        last->url = target;
        osip_list_add(&msg->routes, last, -1);
    }
    osip_to_clone(dialog->remote_uri, &msg->to);
    osip_from_clone(dialog->local_uri, &msg->from);
    if (Tag(msg->to).empty() && dialog->remote_tag != nullptr)
        osip_to_set_tag(msg->to, osip_strdup(dialog->remote_tag));
    if (Tag(msg->from).empty() && dialog->local_tag != nullptr)
        osip_from_set_tag(msg->from, osip_strdup(dialog->local_tag));
    osip_message_set_call_id(msg, dialog->call_id);
    if (cseq <= 0)
        cseq = ++dialog->local_cseq;
    std::string cseqText = std::to_string(cseq) + " " + method;
    osip_message_set_cseq(msg, cseqText.c_str());
    if (AddVia(msg, local) != 0) {
        osip_message_free(msg);
        return -1;
    }
    osip_message_set_max_forwards(msg, "70");
    std::string contact = Contact(UserOf(dialog->local_uri), local);
    osip_message_set_contact(msg, contact.c_str());
    SetHeaderText(msg, "User-Agent", local.userAgent);
    *out = msg;
    return 0;
}

int CSipMessageFactory::BuildResponse(const osip_message_t* request, int status, const char* toTag,
                                      const char* contactUser, bool recordRoute, const SipLocal& local,
                                      osip_message_t** out)
{
    ZLOG_SCOPE();
    *out = nullptr;
    if (request == nullptr || status < 100 || status > 699)
        return -1;
    osip_message_t* msg = nullptr;
    if (osip_message_init(&msg) != 0)
        return -1;
    osip_message_set_version(msg, osip_strdup("SIP/2.0"));
    osip_message_set_status_code(msg, status);
    const char* reason = osip_message_get_reason(status);
    osip_message_set_reason_phrase(msg, osip_strdup(reason != nullptr ? reason : "Unknown"));
    osip_list_clone(&request->vias, &msg->vias, reinterpret_cast<int (*)(void*, void**)>(&osip_via_clone));
    if (request->from != nullptr)
        osip_from_clone(request->from, &msg->from);
    if (request->to != nullptr)
        osip_to_clone(request->to, &msg->to);
    if (msg->to != nullptr && toTag != nullptr && *toTag != '\0' && Tag(msg->to).empty())
        osip_to_set_tag(msg->to, osip_strdup(toTag));
    if (request->call_id != nullptr)
        osip_call_id_clone(request->call_id, &msg->call_id);
    if (request->cseq != nullptr)
        osip_cseq_clone(request->cseq, &msg->cseq);
    if (recordRoute)
        osip_list_clone(&request->record_routes, &msg->record_routes,
                        reinterpret_cast<int (*)(void*, void**)>(&osip_from_clone));
    if (contactUser != nullptr) {
        std::string contact = Contact(contactUser, local);
        osip_message_set_contact(msg, contact.c_str());
    }
    SetHeaderText(msg, "User-Agent", local.userAgent);
    *out = msg;
    return 0;
}

} // namespace zelora
