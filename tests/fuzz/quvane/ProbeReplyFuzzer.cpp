// Any bytes as the datagrams a probe server sends back, cut into 160-byte replies: the
// results stay within their ranges, the score within 0..5 and the re-probe delay within
// the timer, whatever the server writes into its fields.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "quvane/CQuvaneState.h"
#include "quvane/MosScore.h"
#include "quvane/ProbePacket.h"
#include "quvane/ReplyAnalysis.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quvane;
    // Sent as the probe sends them: sequence 1..60, 20 ms apart.
    static const SendTimes sent = [] {
        SendTimes s;
        for (int i = 1; i <= kPacketCount; ++i)
            s[static_cast<std::uint32_t>(i)] = 1000.0 + 0.02 * i;
        return s;
    }();
    std::vector<Packet> replies;
    for (std::size_t at = 0; at + kPacketSize <= size && replies.size() < 4 * kPacketCount; at += kPacketSize) {
        Packet p;
        std::memcpy(p.data(), data + at, kPacketSize);
        replies.push_back(p);
    }

    const ProbeResults r = AnalyseReplies(sent, replies);
    Check(r.matched <= r.expected && r.matched <= replies.size());
    Check(r.lossPercent >= 0.0 && r.lossPercent <= 100.0);
    Check(r.matched == 0 || (r.minRtt >= 0.0 && r.minRtt <= r.maxRtt));
    Check(r.arrivalRate >= 0.0 && r.serverRate >= 0.0);
    const double score = ScoreProbe(r);
    Check(score >= 0.0 && score <= 5.0);

    if (auto values = FindServerValues(sent, replies)) {
        Check(values->serverValue > 0.0 && values->baseInterval > 0.0 && values->allowedCount >= 0);
        const std::uint64_t draw = size >= 8 ? ReadLeDouble(data) != 0.0 : 0;
        for (int n = 1; n <= 70 && n <= values->allowedCount; n += 7) {
            unsigned ms = CQuvaneState::ReprobeDelayMs(values->baseInterval, n, draw * 0x9E3779B97F4A7C15ull);
            Check(ms % 1000 == 0);
        }
    }
    return 0;
}
