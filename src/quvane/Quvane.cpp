// The library's one export.
#include "quvane/Quvane.h"

#include "quvane/CProbeContext.h"
#include "quvane/CQuvaneState.h"
#include "quvane/MosScore.h"

namespace {

using quvane::CProbeContext;
using quvane::CQuvaneState;

double Probe(intptr_t host, intptr_t port)
{
    // A port outside the UDP range would wrap to some other port; no probe.
    if (port < 1 || port > 65535)
        return 0.0;
    CProbeContext probe;
    const quvane::ProbeResults results =
        probe.Run(reinterpret_cast<const char*>(host), static_cast<std::uint16_t>(port));
    if (probe.Values())
        CQuvaneState::Instance().Keep(*probe.Values());
    return quvane::ScoreProbe(results);
}

double Reprobe(intptr_t handle)
{
    const auto* host = reinterpret_cast<const QuvaneTimerHost*>(handle);
    if (host == nullptr || host->setTimer == nullptr)
        return 0.0;
    return CQuvaneState::Instance().ScheduleReprobe(*host);
}

} // namespace

extern "C" double MosHandlerCallBack(int requestType, intptr_t first, intptr_t second, intptr_t third)
{
    // Nothing may escape into a host that knows no C++.
    try {
        switch (requestType) {
        case 0:
            return first == 0 || second == 0 ? 0.0 : Probe(first, second);
        case 1:
            return first == 0 || second == 0 || third == 0 ? 0.0 : Probe(second, third);
        case 2:
            return Reprobe(first);
        case 3:
            return CQuvaneState::Instance().ServerValue();
        default:
            return 0.0;
        }
    } catch (...) {
        return 0.0;
    }
}
