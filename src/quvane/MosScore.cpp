#include "quvane/MosScore.h"

namespace quvane {

double MosFromLoss(double lossPercent)
{
    const double ie = 95.0 * lossPercent / (lossPercent + 10.0);
    const int r = static_cast<int>(93.2 - ie + 0.5);
    const double mos = 1.0 + 0.035 * r + 0.000007 * r * (r - 60) * (100 - r);
    return static_cast<int>(mos * 10.0 + 0.5) / 10.0;
}

double ScoreProbe(const ProbeResults& results)
{
    if (results.serverRate > kBurstRateLimit || results.arrivalRate > kBurstRateLimit)
        return 1.0;
    if (results.matched != 0 && results.totalRtt / results.matched > kSlowMeanRtt)
        return 1.0;
    if (results.lossPercent == 100.0)
        return 0.0;
    return MosFromLoss(results.lossPercent);
}

} // namespace quvane
