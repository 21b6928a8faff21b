#pragma once
// Turning the replies of one probe into results and server values.
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "quvane/MosScore.h"
#include "quvane/ProbePacket.h"

namespace quvane {

// Sequence number -> send time (seconds) of every packet that went out.
using SendTimes = std::map<std::uint32_t, double>;

// What the probe server hands back for pacing later probes.
struct ServerValues {
    double serverValue = 0.0; // returned by request type 3
    double baseInterval = 0.0; // seconds
    int allowedCount = 0; // re-probes allowed
};

// Replies are 160-byte copies, in order of arrival, with the arrival time in
// place of the send time. Only the first reply to each sent packet counts;
// replies to nothing we sent, repeats and replies that claim to precede
// their packet are ignored.
ProbeResults AnalyseReplies(const SendTimes& sent, const std::vector<Packet>& replies,
                            unsigned expected = kPacketCount);

// The first reply to a sent packet that carries usable pacing values, if any.
std::optional<ServerValues> FindServerValues(const SendTimes& sent, const std::vector<Packet>& replies);

} // namespace quvane
