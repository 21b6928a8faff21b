#include "session/sip/OsipText.h"

#include <cstring>

namespace zelora {

std::string Bounded(const char* text, size_t limit)
{
    if (text == nullptr)
        return {};
    return std::string(text, strnlen(text, limit));
}

const char* UserOf(osip_from_t* header)
{
    if (header == nullptr || header->url == nullptr)
        return nullptr;
    return header->url->username;
}

std::string UriText(osip_uri_t* uri)
{
    char* text = nullptr;
    if (uri == nullptr || osip_uri_to_str(uri, &text) != 0 || text == nullptr)
        return {};
    std::string out = text;
    osip_free(text);
    return out;
}

std::string UriOfAddress(const char* address)
{
    osip_to_t* raw = nullptr;
    if (address == nullptr || osip_to_init(&raw) != 0)
        return {};
    OsipToPtr to(raw);
    std::string out;
    if (osip_to_parse(to.get(), address) == 0)
        out = UriText(to->url);
    return out;
}

std::string HostOfUri(const char* uri)
{
    osip_uri_t* raw = nullptr;
    if (uri == nullptr || osip_uri_init(&raw) != 0)
        return {};
    OsipUriPtr parsed(raw);
    std::string host;
    if (osip_uri_parse(parsed.get(), uri) == 0 && parsed->host != nullptr)
        host = parsed->host;
    return host;
}

eXosip_event_type_t FailureType(int status, eXosip_event_type_t redirected)
{
    // The four failure kinds follow the redirect kind in every group of the enum.
    if (status < 400)
        return redirected;
    if (status < 500)
        return static_cast<eXosip_event_type_t>(redirected + 1);
    if (status < 600)
        return static_cast<eXosip_event_type_t>(redirected + 2);
    return static_cast<eXosip_event_type_t>(redirected + 3);
}

bool IsFinal(const osip_message_t* response) { return response != nullptr && response->status_code >= 200; }

bool SameText(const char* a, const char* b) { return a != nullptr && b != nullptr && std::strcmp(a, b) == 0; }

OsipMessagePtr CloneMessage(const osip_message_t* msg)
{
    osip_message_t* copy = nullptr;
    if (msg == nullptr || osip_message_clone(msg, &copy) != 0)
        return nullptr;
    return OsipMessagePtr(copy);
}

} // namespace zelora
