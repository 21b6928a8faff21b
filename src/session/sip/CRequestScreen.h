#pragma once
// What the user agent checks in a new request before acting on it (RFC 3261 8.2): the method, the
// extensions it requires, the type and encoding of its body, and the answers it accepts.
#include <sys/time.h>
#include <ctime>
#include <string>

#include <osip2/osip.h>

namespace zelora {

struct ScreenAnswer {
    int status = 0; // 0: act on the request
    std::string header; // one header the refusal carries (Allow, Unsupported, Accept, ...)
    std::string value;
};

class CRequestScreen {
public:
    // Methods we act on, in every 405, 501 and OPTIONS answer.
    static constexpr const char* kAllow = "INVITE, ACK, CANCEL, BYE, OPTIONS, INFO, MESSAGE, NOTIFY, PRACK";
    static constexpr const char* kAcceptEncoding = "identity";
    static constexpr const char* kAcceptLanguage = "en";

    // The refusal for a request that matched no transaction (not ACK or CANCEL); `inDialog` when
    // it belongs to one of our calls.
    static ScreenAnswer Check(const osip_message_t* request, bool inDialog);
    // What we can do, as an OPTIONS answer tells it (RFC 3261 11.2).
    static void AddCapabilities(osip_message_t* response);
    // Body types a method's request may carry, as an Accept value.
    static const char* AcceptFor(const char* method);
};

} // namespace zelora
