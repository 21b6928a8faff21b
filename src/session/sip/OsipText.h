#pragma once
// Small readings and copies of osip messages shared by the user agent's parts.
#include <cstddef>
#include <string>

#include "session/sip/OsipPtr.h"
#include "session/sip/eXosip.h"

namespace zelora {

// At most `limit` characters of `text` ("" for null).
std::string Bounded(const char* text, size_t limit);
const char* UserOf(osip_from_t* header);
std::string UriText(osip_uri_t* uri);
// The URI inside an address text such as "Name <sip:u@h>" or "sip:u@h".
std::string UriOfAddress(const char* address);
std::string HostOfUri(const char* uri);
// The event kind of a final failure `status` in the group whose redirect kind is `redirected`.
eXosip_event_type_t FailureType(int status, eXosip_event_type_t redirected);
bool IsFinal(const osip_message_t* response);
bool SameText(const char* a, const char* b);
OsipMessagePtr CloneMessage(const osip_message_t* msg);

} // namespace zelora
