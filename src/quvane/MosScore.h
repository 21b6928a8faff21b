#pragma once
// Probe results and the score they give.
#include <cstdint>

namespace quvane {

struct ProbeResults {
    double minRtt = 0.0; // seconds
    double maxRtt = 0.0;
    double totalRtt = 0.0;
    unsigned matched = 0;
    unsigned expected = 60;
    double lossPercent = 0.0;
    double arrivalRate = 0.0; // bytes per second
    double serverRate = 0.0;
};

// Above this either rate means the replies came in a burst.
inline constexpr double kBurstRateLimit = 80800.0;
// Above this mean round-trip time (seconds) the path is too slow for voice.
inline constexpr double kSlowMeanRtt = 0.2;

// Simplified E-model: loss in percent (0..100) to MOS with one decimal.
double MosFromLoss(double lossPercent);

// The score of a whole probe: the two 1.0 rules, 0.0 for total loss,
// otherwise the E-model of the loss.
double ScoreProbe(const ProbeResults& results);

} // namespace quvane
