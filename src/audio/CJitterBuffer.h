#pragma once
// Adaptive playout buffer for one RTP stream, driven by a sample clock the
// caller supplies (8 kHz units), so that it runs the same under test.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "audio/CRtpPacket.h"

struct JitterBufferConfig {
    int frameSamples = 160; // expected samples per packet (concealment step)
    int minDelay = 240; // 30 ms
    int maxDelay = 2400; // 300 ms
    size_t maxPackets = 100; // stored packets, whatever arrives
    int resyncDistance = 16000; // 2 s timestamp jump = a new stream
    int maxConceal = 1600; // 200 ms without packets: stop concealing, rebuffer
};

struct JitterBufferStats {
    uint64_t accepted = 0;
    uint64_t played = 0;
    uint64_t duplicates = 0;
    uint64_t late = 0;
    uint64_t overflow = 0;
    uint64_t concealed = 0; // concealment frames handed out
    uint64_t skipped = 0; // packets dropped to shrink the delay
    uint64_t stretched = 0; // concealment frames inserted to grow the delay
    uint64_t resyncs = 0; // new SSRC or timestamp jump
    uint64_t foreign = 0; // packets of another SSRC before it took over
};

class CJitterBuffer {
public:
    enum PutResult { PUT_ACCEPTED, PUT_DUPLICATE, PUT_LATE, PUT_OVERFLOW, PUT_FOREIGN };
    enum GetResult {
        GET_BUFFERING, // nothing to play yet: silence
        GET_PACKET, // payload filled; call Advance() with the decoded sample count
        GET_MISSING, // conceal `samples` samples
    };

    explicit CJitterBuffer(const JitterBufferConfig& config = JitterBufferConfig());

    PutResult Put(const RtpHeader& header, const uint8_t* payload, size_t len, int64_t arrival);
    GetResult Get(int64_t now, std::vector<uint8_t>& payload, int& samples);
    void Advance(int samples);
    void Reset();

    void SetFrameSamples(int samples);
    int TargetDelay() const;
    double Jitter() const { return m_jitter; }
    // How long the packet handed out by the last GET_PACKET waited here, in samples.
    int64_t LastWait() const { return m_lastWait; }
    size_t Size() const { return m_packets.size(); }
    bool Playing() const { return m_started; }
    uint32_t Ssrc() const { return m_ssrc; }
    const JitterBufferStats& Stats() const { return m_stats; }

private:
    struct Entry {
        std::vector<uint8_t> payload;
        int64_t arrival = 0;
        uint16_t sequence = 0;
    };

    PutResult Store(const RtpHeader& header, const uint8_t* payload, size_t len, int64_t arrival);
    bool SeenSequence(int64_t extSeq) const;
    void MarkSequence(int64_t extSeq);
    void ResetStream();
    void EndWindow();

    JitterBufferConfig m_config;
    std::map<int64_t, Entry> m_packets; // by extended timestamp
    JitterBufferStats m_stats;

    bool m_haveStream = false;
    uint32_t m_ssrc = 0;
    int64_t m_highestTs = 0; // extended
    int64_t m_highestSeq = 0; // extended
    std::vector<bool> m_seenSeq; // window of recent sequence numbers

    uint32_t m_candidateSsrc = 0;
    std::vector<std::pair<RtpHeader, Entry>> m_candidate;

    bool m_haveTransit = false;
    int64_t m_lastTransit = 0;
    double m_jitter = 0.0;

    bool m_started = false;
    int64_t m_next = 0; // extended timestamp due next
    int m_missingRun = 0;
    int64_t m_lastWait = 0;

    int m_windowCount = 0;
    int64_t m_windowMaxWait = 0;
    int64_t m_shrink = 0; // frames still to drop
    bool m_grow = false;
};
