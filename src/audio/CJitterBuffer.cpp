#include "audio/CJitterBuffer.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr size_t kSeqWindow = 512;
constexpr int kWindowPackets = 25; // half a second of G.711
constexpr int kSsrcTakeOver = 3; // consecutive packets before a new SSRC is followed
} // namespace

// No logging in this class: it runs for every packet and every device frame.

CJitterBuffer::CJitterBuffer(const JitterBufferConfig& config) : m_config(config), m_seenSeq(kSeqWindow, false) { }

void CJitterBuffer::SetFrameSamples(int samples)
{
    if (samples > 0)
        m_config.frameSamples = samples;
}

int CJitterBuffer::TargetDelay() const
{
    const double wanted = m_config.frameSamples + 3.0 * m_jitter;
    return std::clamp(static_cast<int>(wanted), m_config.minDelay, m_config.maxDelay);
}

void CJitterBuffer::Reset()
{
    ResetStream();
    m_haveStream = false;
    m_candidate.clear();
    m_haveTransit = false;
    m_jitter = 0.0;
}

void CJitterBuffer::ResetStream()
{
    m_packets.clear();
    std::fill(m_seenSeq.begin(), m_seenSeq.end(), false);
    m_started = false;
    m_missingRun = 0;
    m_windowCount = 0;
    m_windowMaxWait = 0;
    m_shrink = 0;
    m_grow = false;
    m_haveTransit = false;
}

bool CJitterBuffer::SeenSequence(int64_t extSeq) const
{
    // Beyond the highest number the slots still hold the previous lap.
    if (extSeq > m_highestSeq)
        return false;
    return m_seenSeq[static_cast<size_t>(extSeq) % kSeqWindow];
}

void CJitterBuffer::MarkSequence(int64_t extSeq)
{
    // Clear the slots passed over so that the window only holds recent numbers.
    if (extSeq > m_highestSeq) {
        const int64_t from = std::max(m_highestSeq + 1, extSeq - int64_t(kSeqWindow) + 1);
        for (int64_t s = from; s <= extSeq; ++s)
            m_seenSeq[static_cast<size_t>(s) % kSeqWindow] = false;
        m_highestSeq = extSeq;
    }
    m_seenSeq[static_cast<size_t>(extSeq) % kSeqWindow] = true;
}

CJitterBuffer::PutResult CJitterBuffer::Put(const RtpHeader& header, const uint8_t* payload, size_t len,
                                            int64_t arrival)
{
    if (m_haveStream && header.ssrc != m_ssrc) {
        // A stray packet of another source must not tear down a running stream;
        // a few in a row mean the far end restarted.
        if (header.ssrc != m_candidateSsrc) {
            m_candidate.clear();
            m_candidateSsrc = header.ssrc;
        }
        Entry e;
        e.payload.assign(payload, payload + len);
        e.arrival = arrival;
        e.sequence = header.sequence;
        m_candidate.emplace_back(header, std::move(e));
        if (m_candidate.size() < kSsrcTakeOver) {
            ++m_stats.foreign;
            return PUT_FOREIGN;
        }
        auto pending = std::move(m_candidate);
        m_candidate.clear();
        m_haveStream = false;
        ResetStream();
        ++m_stats.resyncs;
        PutResult last = PUT_ACCEPTED;
        for (auto& [h, entry] : pending)
            last = Store(h, entry.payload.data(), entry.payload.size(), entry.arrival);
        return last;
    }
    m_candidate.clear();
    return Store(header, payload, len, arrival);
}

CJitterBuffer::PutResult CJitterBuffer::Store(const RtpHeader& header, const uint8_t* payload, size_t len,
                                              int64_t arrival)
{
    if (!m_haveStream) {
        m_haveStream = true;
        m_ssrc = header.ssrc;
        m_highestTs = header.timestamp;
        m_highestSeq = header.sequence;
        std::fill(m_seenSeq.begin(), m_seenSeq.end(), false);
    }
    const int64_t extTs = m_highestTs + static_cast<int32_t>(header.timestamp - static_cast<uint32_t>(m_highestTs));
    const int64_t extSeq = m_highestSeq + static_cast<int16_t>(header.sequence - static_cast<uint16_t>(m_highestSeq));

    const int64_t reference = m_started ? m_next : m_highestTs;
    if (extTs - reference > m_config.resyncDistance || reference - extTs > m_config.resyncDistance) {
        // Same source, new timeline (restart or long hold): start over from this packet.
        ResetStream();
        m_highestTs = header.timestamp;
        m_highestSeq = header.sequence;
        ++m_stats.resyncs;
        return Store(header, payload, len, arrival);
    }

    if (extSeq <= m_highestSeq - int64_t(kSeqWindow) || SeenSequence(extSeq) || m_packets.count(extTs) != 0) {
        ++m_stats.duplicates;
        return PUT_DUPLICATE;
    }
    MarkSequence(extSeq);
    if (extTs > m_highestTs)
        m_highestTs = extTs;

    // RFC 3550 interarrival jitter, in timestamp units.
    const int64_t transit = arrival - extTs;
    if (m_haveTransit) {
        const double d = std::fabs(static_cast<double>(transit - m_lastTransit));
        m_jitter += (d - m_jitter) / 16.0;
    }
    m_haveTransit = true;
    m_lastTransit = transit;

    if (m_started && extTs < m_next) {
        ++m_stats.late;
        m_grow = true;
        return PUT_LATE;
    }
    if (m_packets.size() >= m_config.maxPackets) {
        ++m_stats.overflow;
        return PUT_OVERFLOW;
    }
    Entry& e = m_packets[extTs];
    e.payload.assign(payload, payload + len);
    e.arrival = arrival;
    e.sequence = header.sequence;
    ++m_stats.accepted;
    return PUT_ACCEPTED;
}

void CJitterBuffer::EndWindow()
{
    // The packet that waited longest came fastest through the network; its
    // wait is the margin the buffer keeps for the slow ones.
    const int target = TargetDelay();
    // Far too deep (a stalled path flushed a burst): shed half the excess now, the rest later.
    if (m_windowMaxWait > target + m_config.frameSamples)
        m_shrink = std::max<int64_t>(1, (m_windowMaxWait - target) / m_config.frameSamples / 2);
    else if (m_windowMaxWait + m_config.frameSamples / 2 < target)
        m_grow = true;
    m_windowCount = 0;
    m_windowMaxWait = 0;
}

CJitterBuffer::GetResult CJitterBuffer::Get(int64_t now, std::vector<uint8_t>& payload, int& samples)
{
    samples = 0;
    if (!m_started) {
        if (m_packets.empty())
            return GET_BUFFERING;
        const auto head = m_packets.begin();
        if (now - head->second.arrival < TargetDelay())
            return GET_BUFFERING;
        m_started = true;
        m_next = head->first;
        m_missingRun = 0;
        m_grow = false;
        m_shrink = 0;
    }
    // Anything older than the playout point is useless now.
    while (!m_packets.empty() && m_packets.begin()->first < m_next) {
        m_packets.erase(m_packets.begin());
        ++m_stats.late;
    }

    auto head = m_packets.begin();
    if (head != m_packets.end() && head->first == m_next) {
        if (m_grow) {
            // Play a concealed frame before this packet: everything after waits one frame more.
            m_grow = false;
            ++m_stats.stretched;
            ++m_stats.concealed;
            samples = m_config.frameSamples;
            return GET_MISSING;
        }
        if (m_shrink > 0) {
            --m_shrink;
            auto following = std::next(head);
            if (following != m_packets.end() && following->first - head->first <= 4 * m_config.frameSamples) {
                m_next = following->first;
                m_packets.erase(head);
                ++m_stats.skipped;
                head = m_packets.begin();
            }
        }
        m_lastWait = now - head->second.arrival;
        m_windowMaxWait = std::max(m_windowMaxWait, m_lastWait);
        if (++m_windowCount >= kWindowPackets)
            EndWindow();
        payload.swap(head->second.payload);
        m_packets.erase(head);
        m_missingRun = 0;
        ++m_stats.played;
        return GET_PACKET;
    }

    if (m_packets.empty() && m_missingRun >= m_config.maxConceal) {
        // The far end went quiet: play silence and buffer afresh when it resumes.
        m_started = false;
        return GET_BUFFERING;
    }
    int step = m_config.frameSamples;
    if (head != m_packets.end())
        step = static_cast<int>(std::min<int64_t>(step, head->first - m_next));
    samples = step;
    m_next += step;
    m_missingRun += step;
    ++m_stats.concealed;
    return GET_MISSING;
}

void CJitterBuffer::Advance(int samples)
{
    if (samples > 0)
        m_next += samples;
}
