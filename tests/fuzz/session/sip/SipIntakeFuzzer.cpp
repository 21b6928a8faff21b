// Feeds one datagram through the intake checks and then through a whole user agent round
// (transactions, dialogs, automatic answers), with a fresh agent per input.
#include <cstddef>
#include <cstdint>

#include "session/sip/CMessageIntake.h"
#include "session/sip/CSipUserAgent.h"
#include "session/sip/eXosip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    zelora::IntakeResult checked = zelora::CMessageIntake::Parse(text, size);
    if (checked.event != nullptr)
        osip_event_free(checked.event);

    if (eXosip_init() != 0)
        return 0;
    zelora::CSipUserAgent* agent = zelora::CSipUserAgent::Instance();
    agent->Lock();
    agent->HandleDatagram(text, size, "127.0.1.190", 5060);
    agent->RunRound();
    // The same datagram again exercises retransmission matching.
    agent->HandleDatagram(text, size, "127.0.1.190", 5060);
    agent->RunRound();
    agent->Unlock();
    eXosip_quit();
    return 0;
}
