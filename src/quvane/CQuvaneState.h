#pragma once
// Values that outlive a probe: what the last server handed back and how many
// re-probes have been scheduled since.
#include <cstdint>
#include <mutex>

#include "quvane/Quvane.h"
#include "quvane/ReplyAnalysis.h"

namespace quvane {

class CQuvaneState {
public:
    // The one instance of the loaded library.
    static CQuvaneState& Instance();

    void Keep(const ServerValues& values);
    double ServerValue() const;
    int ReprobeCounter() const;

    // Schedules the next re-probe on the host's timer 1: returns 1 when set,
    // -2 (and starts counting afresh) when the allowed count is used up.
    // The host and its callback must be non-null.
    double ScheduleReprobe(const QuvaneTimerHost& host);

    // Timer delay for the n-th re-probe given a draw from the generator:
    // base x k seconds with k in 1 .. 2^n - 1, cut to whole seconds.
    static unsigned ReprobeDelayMs(double baseInterval, int n, std::uint64_t draw);

private:
    // Hosts are not meant to call from several threads at once; the lock only
    // keeps such a host from tearing the values.
    mutable std::mutex m_lock;
    ServerValues m_values;
    int m_counter = 0;
};

} // namespace quvane
