#include "quvane/ReplyAnalysis.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace quvane {

namespace {

// 160 bytes per reply over the span the replies took; a zero span (one reply,
// or a server that does not stamp its time) gives no rate rather than an
// infinite one.
double RateOver(std::vector<double> times, unsigned matched)
{
    if (times.size() < 2)
        return 0.0;
    const auto [lo, hi] = std::minmax_element(times.begin(), times.end());
    const double span = *hi - *lo;
    if (!(span > 0.0) || !std::isfinite(span))
        return 0.0;
    return static_cast<double>(kPacketSize) * matched / span;
}

// A field that still holds the "0" characters it was sent with was not filled
// by the server; read as a number it would pass for a tiny interval and an
// enormous re-probe count.
bool Unfilled(const Packet& reply, std::size_t offset, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (reply[offset + i] != '0')
            return false;
    }
    return true;
}

} // namespace

ProbeResults AnalyseReplies(const SendTimes& sent, const std::vector<Packet>& replies, unsigned expected)
{
    ProbeResults r;
    r.expected = expected;
    std::set<std::uint32_t> seen;
    std::vector<double> arrivals;
    std::vector<double> serverTimes;
    for (const Packet& reply : replies) {
        const std::uint32_t seq = ReadLeUint32(reply.data() + kOffsetSequence);
        const auto it = sent.find(seq);
        if (it == sent.end())
            continue;
        const double arrival = ReadLeDouble(reply.data() + kOffsetSendTime);
        const double rtt = arrival - it->second;
        if (!(rtt >= 0.0) || !seen.insert(seq).second)
            continue;
        if (r.matched == 0 || rtt < r.minRtt)
            r.minRtt = rtt;
        if (rtt > r.maxRtt)
            r.maxRtt = rtt;
        r.totalRtt += rtt;
        ++r.matched;
        arrivals.push_back(arrival);
        serverTimes.push_back(ReadLeDouble(reply.data() + kOffsetServerTime));
    }
    const unsigned lost = r.matched < expected ? expected - r.matched : 0;
    r.lossPercent = static_cast<double>(lost) / expected * 100.0;
    if (r.matched != 0) {
        r.arrivalRate = RateOver(std::move(arrivals), r.matched);
        r.serverRate = RateOver(std::move(serverTimes), r.matched);
    }
    return r;
}

std::optional<ServerValues> FindServerValues(const SendTimes& sent, const std::vector<Packet>& replies)
{
    for (const Packet& reply : replies) {
        if (sent.find(ReadLeUint32(reply.data() + kOffsetSequence)) == sent.end())
            continue;
        if (Unfilled(reply, kOffsetServerValue, 8) || Unfilled(reply, kOffsetBaseInterval, 8) ||
            Unfilled(reply, kOffsetAllowedCount, 4))
            continue;
        ServerValues v;
        v.serverValue = ReadLeDouble(reply.data() + kOffsetServerValue);
        v.baseInterval = ReadLeDouble(reply.data() + kOffsetBaseInterval);
        v.allowedCount = static_cast<int>(ReadLeUint32(reply.data() + kOffsetAllowedCount));
        if (v.serverValue > 0.0 && std::isfinite(v.serverValue) && v.baseInterval > 0.0 &&
            std::isfinite(v.baseInterval) && v.allowedCount >= 0)
            return v;
    }
    return std::nullopt;
}

} // namespace quvane
