#pragma once
// Turns one received datagram into a checked osip event, or says why it cannot be used.
#include <sys/time.h>
#include <ctime>
#include <cstddef>
#include <string>

#include <osip2/osip.h>

namespace zelora {

enum class IntakeVerdict {
    Accepted, // event holds a message with every header the layer relies on
    KeepAlive, // tiny datagram or bare line ends: ignored silently
    Refused, // a request that can be answered: event holds it, answer `status`
    Dropped, // unusable: logged and dropped
};

struct IntakeResult {
    IntakeVerdict verdict = IntakeVerdict::Dropped;
    osip_event_t* event = nullptr; // owned by the caller when set
    // A request osip2 cannot parse, refused all the same: its method and the header lines to answer it.
    std::string method;
    std::string answerHeaders;
    int status = 0; // the refusal's status code
    std::string reason; // for the log and the refusal's reason
};

class CMessageIntake {
public:
    // Largest datagram accepted (osip2's own message limit).
    static constexpr size_t kMaxMessage = SIP_MESSAGE_MAX_LENGTH;

    static IntakeResult Parse(const char* data, size_t length);
    // True when the request carries enough to route a response (Via, From, To, Call-ID).
    static bool CanAnswer(const osip_message_t* request);
};

} // namespace zelora
