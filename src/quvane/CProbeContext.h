#pragma once
// One probe: a socket, a sender and a receiver thread, and what came back.
// Built fresh for every call and gone when the call returns.
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "quvane/MosScore.h"
#include "quvane/ProbePacket.h"
#include "quvane/ReplyAnalysis.h"

namespace quvane {

// Monotonic clock in seconds, the time base of every stamp the probe writes.
double MonotonicSeconds();

class CProbeContext {
public:
    CProbeContext();
    ~CProbeContext();
    CProbeContext(const CProbeContext&) = delete;
    CProbeContext& operator=(const CProbeContext&) = delete;

    // Probes host:port and blocks until the receiver is done. A host that
    // cannot be resolved or a socket that cannot be opened is not an error:
    // nothing comes back and the loss is 100 %.
    ProbeResults Run(const char* host, std::uint16_t port);

    // Pacing values from the first reply that carried them, after Run().
    const std::optional<ServerValues>& Values() const { return m_values; }

    // Seconds the receiver waits after the last packet when nothing came back.
    static constexpr double kNoReplyWait = 2.0;
    // Bound on the copies kept, so a flood cannot grow memory without limit.
    static constexpr std::size_t kMaxKeptReplies = 64 * kPacketCount;

private:
    void OpenSocket(const char* host, std::uint16_t port);
    void SenderLoop();
    void ReceiverLoop();
    void DrainSocket(unsigned& distinct, std::vector<bool>& answered, double deadline);
    void FinishSending();

    int m_fd = -1;
    bool m_haveServer = false;
    sockaddr_in m_server{};
    std::vector<Packet> m_packets;

    std::mutex m_lock; // guards everything below up to m_sendingEnd
    SendTimes m_sendTimes;
    std::vector<Packet> m_replies;
    double m_largestRtt = 0.0;
    double m_waitLimit = 0.0;
    double m_sendingEnd = 0.0;
    std::atomic<bool> m_sendingFinished{false};

    std::optional<ServerValues> m_values;
};

} // namespace quvane
