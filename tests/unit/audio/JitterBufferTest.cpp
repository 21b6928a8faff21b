#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "audio/CJitterBuffer.h"

namespace {

constexpr int kFrame = 160;

// Drives a jitter buffer like the call does: packets put at their arrival
// time, pulls while the 10 ms tick's playout FIFO is short.
struct Harness {
    CJitterBuffer jb;
    std::vector<uint8_t> out;
    std::vector<int> played; // first payload byte of each played packet, -1 for concealment
    int64_t fifo = 0;

    explicit Harness(JitterBufferConfig c = JitterBufferConfig()) : jb(c) { }

    CJitterBuffer::PutResult Put(uint16_t seq, uint32_t ts, int64_t arrival, uint32_t ssrc = 1, uint8_t tag = 0)
    {
        RtpHeader h;
        h.sequence = seq;
        h.timestamp = ts;
        h.ssrc = ssrc;
        const uint8_t payload[2] = {tag, 0};
        return jb.Put(h, payload, sizeof payload, arrival);
    }

    void Tick(int64_t now)
    {
        while (fifo < 80) {
            int samples = 0;
            const auto r = jb.Get(now, out, samples);
            if (r == CJitterBuffer::GET_BUFFERING)
                return;
            if (r == CJitterBuffer::GET_PACKET) {
                played.push_back(out[0]);
                jb.Advance(kFrame);
                fifo += kFrame;
            } else {
                played.push_back(-1);
                fifo += samples;
            }
        }
        fifo -= 80;
    }

    std::vector<int> Real() const
    {
        std::vector<int> r;
        for (int v : played)
            if (v >= 0)
                r.push_back(v);
        return r;
    }
};

} // namespace

TEST(JitterBuffer, WaitsForTargetDelayThenPlaysInOrder)
{
    Harness h;
    h.Put(10, 1000, 0, 1, 0);
    h.Tick(0);
    EXPECT_TRUE(h.played.empty());
    EXPECT_FALSE(h.jb.Playing());
    for (int i = 1; i < 10; ++i)
        h.Put(uint16_t(10 + i), uint32_t(1000 + i * kFrame), i * kFrame, 1, uint8_t(i));
    for (int64_t t = 80; t <= 10 * kFrame; t += 80)
        h.Tick(t);
    EXPECT_TRUE(h.jb.Playing());
    ASSERT_GE(h.played.size(), 5u);
    for (size_t i = 0; i < h.played.size(); ++i)
        EXPECT_EQ(h.played[i], int(i));
    EXPECT_GE(h.jb.LastWait(), JitterBufferConfig().minDelay);
}

TEST(JitterBuffer, ReordersAndDropsDuplicates)
{
    Harness h;
    const int order[] = {0, 2, 1, 3, 3, 5, 4};
    int dup = 0;
    for (int k : order)
        if (h.Put(uint16_t(100 + k), uint32_t(5000 + k * kFrame), 0, 1, uint8_t(k)) == CJitterBuffer::PUT_DUPLICATE)
            ++dup;
    EXPECT_EQ(dup, 1);
    for (int64_t t = 0; t <= 2000; t += 80)
        h.Tick(t);
    EXPECT_EQ(h.Real(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    // A copy of a packet that already played is a duplicate, not something to play again.
    EXPECT_EQ(h.Put(102, 5000 + 2 * kFrame, 2000), CJitterBuffer::PUT_DUPLICATE);
    EXPECT_EQ(h.jb.Stats().duplicates, 2u);
}

TEST(JitterBuffer, LatePacketIsDroppedAndMissingOneConcealed)
{
    Harness h;
    for (int i = 0; i < 3; ++i)
        h.Put(uint16_t(i), uint32_t(i * kFrame), i * kFrame, 1, uint8_t(i));
    h.Put(4, 4 * kFrame, 4 * kFrame, 1, 4);
    h.Put(5, 5 * kFrame, 5 * kFrame, 1, 5);
    for (int64_t t = 0; t <= 1200; t += 80)
        h.Tick(t);
    EXPECT_EQ(h.Put(3, 3 * kFrame, 1300, 1, 3), CJitterBuffer::PUT_LATE);
    for (int64_t t = 1280; t <= 2000; t += 80)
        h.Tick(t);
    ASSERT_GE(h.played.size(), 6u);
    EXPECT_EQ(std::vector<int>(h.played.begin(), h.played.begin() + 6), (std::vector<int>{0, 1, 2, -1, 4, 5}));
    EXPECT_EQ(h.jb.Stats().late, 1u);
    EXPECT_GE(h.jb.Stats().concealed, 1u);
}

TEST(JitterBuffer, SequenceAndTimestampWrapKeepOrder)
{
    Harness h;
    const uint16_t seq0 = 65533;
    const uint32_t ts0 = 0xFFFFFFFFu - 2 * kFrame + 1;
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(h.Put(uint16_t(seq0 + i), uint32_t(ts0 + uint32_t(i * kFrame)), i * 10, 1, uint8_t(i)),
                  CJitterBuffer::PUT_ACCEPTED);
    for (int64_t t = 0; t <= 3000; t += 80)
        h.Tick(t);
    EXPECT_EQ(h.Real(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(JitterBuffer, FollowsNewSsrcButIgnoresAStrayPacket)
{
    Harness h;
    int64_t t = 0;
    uint16_t seq = 0;
    for (int i = 0; i < 10; ++i, t += kFrame) {
        h.Put(seq++, uint32_t(i * kFrame), t, 0x1111, 1);
        h.Tick(t);
        h.Tick(t + 80);
    }
    EXPECT_EQ(h.Put(999, 777777, t, 0x2222, 9), CJitterBuffer::PUT_FOREIGN);
    EXPECT_EQ(h.jb.Ssrc(), 0x1111u);
    for (int i = 10; i < 15; ++i, t += kFrame) {
        h.Put(seq++, uint32_t(i * kFrame), t, 0x1111, 1);
        h.Tick(t);
        h.Tick(t + 80);
    }
    EXPECT_EQ(h.jb.Stats().resyncs, 0u);
    // The far end restarts: new SSRC, sequence and timestamp from elsewhere.
    for (int i = 0; i < 20; ++i, t += kFrame) {
        h.Put(uint16_t(40000 + i), uint32_t(900000 + i * kFrame), t, 0x3333, 2);
        h.Tick(t);
        h.Tick(t + 80);
    }
    EXPECT_EQ(h.jb.Ssrc(), 0x3333u);
    EXPECT_EQ(h.jb.Stats().resyncs, 1u);
    EXPECT_EQ(h.played.back(), 2);
    const auto real = h.Real();
    EXPECT_EQ(std::count(real.begin(), real.end(), 9), 0); // the stray packet never played
    EXPECT_GE(std::count(real.begin(), real.end(), 2), 15); // the new source's first packets were kept
}

TEST(JitterBuffer, TimestampJumpOnSameSsrcResynchronises)
{
    Harness h;
    int64_t t = 0;
    for (int i = 0; i < 10; ++i, t += kFrame) {
        h.Put(uint16_t(i), uint32_t(i * kFrame), t, 5, 1);
        h.Tick(t);
        h.Tick(t + 80);
    }
    for (int i = 0; i < 10; ++i, t += kFrame) {
        EXPECT_NE(h.Put(uint16_t(10 + i), uint32_t(80000000 + i * kFrame), t, 5, 2), CJitterBuffer::PUT_LATE);
        h.Tick(t);
        h.Tick(t + 80);
    }
    EXPECT_EQ(h.jb.Stats().resyncs, 1u);
    EXPECT_EQ(h.played.back(), 2);
}

TEST(JitterBuffer, StopsConcealingAfterLongGapThenRebuffers)
{
    Harness h;
    int64_t t = 0;
    for (int i = 0; i < 5; ++i, t += kFrame) {
        h.Put(uint16_t(i), uint32_t(i * kFrame), t);
        h.Tick(t);
        h.Tick(t + 80);
    }
    for (int i = 0; i < 100; ++i, t += 80)
        h.Tick(t);
    EXPECT_LE(h.jb.Stats().concealed * kFrame, uint64_t(JitterBufferConfig().maxConceal + 2 * kFrame));
    EXPECT_FALSE(h.jb.Playing());
    // The stream resumes where real time has got to: it plays again.
    const size_t before = h.Real().size();
    for (int i = 0; i < 20; ++i, t += kFrame) {
        h.Put(uint16_t(100 + i), uint32_t(t + 5 * kFrame), t);
        h.Tick(t);
        h.Tick(t + 80);
    }
    EXPECT_GT(h.Real().size(), before + 10);
}

TEST(JitterBuffer, TargetDelayGrowsWithJitterAndStaysBounded)
{
    JitterBufferConfig c;
    Harness clean(c), noisy(c), wild(c);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> delay(0, 480); // 0..60 ms
    std::uniform_int_distribution<int> huge(0, 40000); // 0..5 s
    for (int i = 0; i < 500; ++i) {
        clean.Put(uint16_t(i), uint32_t(i * kFrame), i * kFrame);
        noisy.Put(uint16_t(i), uint32_t(i * kFrame), i * kFrame + delay(rng));
        wild.Put(uint16_t(i), uint32_t(i * kFrame), i * kFrame + huge(rng));
    }
    EXPECT_EQ(clean.jb.TargetDelay(), c.minDelay);
    EXPECT_GT(noisy.jb.TargetDelay(), c.minDelay + 160);
    EXPECT_LT(noisy.jb.TargetDelay(), c.maxDelay);
    EXPECT_EQ(wild.jb.TargetDelay(), c.maxDelay);
}

TEST(JitterBuffer, JitteryStreamPlaysWithFewLateOnesAfterAdapting)
{
    Harness h;
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> delay(0, 480);
    struct Arrival {
        int64_t at;
        int index;
    };
    std::vector<Arrival> arrivals;
    for (int i = 0; i < 1000; ++i)
        arrivals.push_back({int64_t(i) * kFrame + delay(rng), i});
    std::sort(arrivals.begin(), arrivals.end(), [](const Arrival& a, const Arrival& b) { return a.at < b.at; });
    size_t next = 0;
    for (int64_t t = 0; t < 1000 * kFrame + 4000; t += 80) {
        while (next < arrivals.size() && arrivals[next].at <= t) {
            const int i = arrivals[next].index;
            h.Put(uint16_t(i), uint32_t(i * kFrame), arrivals[next].at, 1, uint8_t(i & 0x7F));
            ++next;
        }
        h.Tick(t);
    }
    const auto& s = h.jb.Stats();
    EXPECT_LT(s.late, 40u);
    EXPECT_GE(s.played, 950u);
    // Played in order: each packet's tag follows the previous one.
    const auto real = h.Real();
    int outOfOrder = 0;
    for (size_t i = 1; i < real.size(); ++i)
        if (real[i] != ((real[i - 1] + 1) & 0x7F) && real[i] <= real[i - 1] && real[i - 1] - real[i] < 64)
            ++outOfOrder;
    EXPECT_EQ(outOfOrder, 0);
}

TEST(JitterBuffer, ShrinksWhenDelayIsFarAboveTarget)
{
    Harness h;
    // A stalled path flushes 20 packets at once, then the stream runs clean.
    for (int i = 0; i < 20; ++i)
        h.Put(uint16_t(i), uint32_t(i * kFrame), 0, 1, 1);
    int64_t t = 0;
    for (int i = 20; i < 400; ++i, t += kFrame) {
        h.Put(uint16_t(i), uint32_t(i * kFrame), t);
        h.Tick(t);
        h.Tick(t + 80);
    }
    EXPECT_GT(h.jb.Stats().skipped, 0u);
    EXPECT_LE(h.jb.LastWait(), h.jb.TargetDelay() + 2 * kFrame);
}

TEST(JitterBuffer, OverflowIsBounded)
{
    JitterBufferConfig c;
    c.maxPackets = 10;
    Harness h(c);
    int overflow = 0;
    for (int i = 0; i < 30; ++i)
        if (h.Put(uint16_t(i), uint32_t(i * kFrame), 0) == CJitterBuffer::PUT_OVERFLOW)
            ++overflow;
    EXPECT_EQ(overflow, 20);
    EXPECT_EQ(h.jb.Size(), 10u);
}
