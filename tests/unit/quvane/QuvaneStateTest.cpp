#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <vector>

#include "quvane/CQuvaneState.h"

namespace {

using quvane::CQuvaneState;
using quvane::ServerValues;

TEST(ReprobeDelay, GrowsWithTheCountAndIsCutToWholeSeconds)
{
    // First re-probe: exactly one base interval whatever the draw.
    for (std::uint64_t draw : {0ull, 1ull, 12345ull, ~0ull})
        EXPECT_EQ(CQuvaneState::ReprobeDelayMs(2.0, 1, draw), 2000u);
    // Second: one to three intervals; third: one to seven.
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(2.0, 2, 0), 2000u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(2.0, 2, 1), 4000u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(2.0, 2, 2), 6000u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(2.0, 2, 3), 2000u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(2.0, 3, 6), 14000u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(2.0, 3, 7), 2000u);
    // Fractions of a second are dropped; "%f" rounding to six places first.
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(1.5, 1, 0), 1000u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(0.4, 1, 0), 0u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(0.9999999, 2, 2), 3000u);
}

TEST(ReprobeDelay, HugeValuesStayWithinTheTimerRange)
{
    const unsigned top = UINT_MAX / 1000u * 1000u;
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(1e300, 1, 0), top);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(5000.0, 40, (1ull << 39)), top);
    // Counts far beyond 64 bits of doubling neither overflow nor trap.
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(1.0, 1000, 41), 42000u);
    EXPECT_EQ(CQuvaneState::ReprobeDelayMs(1.0, 64, 0), 1000u);
}

struct Recorder {
    std::vector<unsigned> delays;
    std::vector<int> ids;
};

void Record(void* context, int timerId, unsigned ms)
{
    auto* r = static_cast<Recorder*>(context);
    r->ids.push_back(timerId);
    r->delays.push_back(ms);
}

TEST(ScheduleReprobe, AllowsTheServersCountThenStartsAgain)
{
    CQuvaneState state;
    Recorder rec;
    const QuvaneTimerHost host{Record, &rec};

    // Before any server value nothing is allowed.
    EXPECT_EQ(state.ScheduleReprobe(host), -2.0);
    EXPECT_EQ(state.ReprobeCounter(), 0);
    EXPECT_TRUE(rec.delays.empty());

    state.Keep(ServerValues{4.0, 3.0, 2});
    EXPECT_EQ(state.ScheduleReprobe(host), 1.0);
    EXPECT_EQ(state.ScheduleReprobe(host), 1.0);
    EXPECT_EQ(state.ScheduleReprobe(host), -2.0);
    EXPECT_EQ(state.ReprobeCounter(), 0);
    EXPECT_EQ(state.ScheduleReprobe(host), 1.0);

    ASSERT_EQ(rec.delays.size(), 3u);
    EXPECT_EQ(rec.ids, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(rec.delays[0], 3000u);
    EXPECT_TRUE(std::set<unsigned>({3000u, 6000u, 9000u}).count(rec.delays[1])) << rec.delays[1];
    EXPECT_EQ(rec.delays[2], 3000u);
}

TEST(ScheduleReprobe, ZeroAllowedRefusesAtOnce)
{
    CQuvaneState state;
    Recorder rec;
    const QuvaneTimerHost host{Record, &rec};
    state.Keep(ServerValues{1.0, 1.0, 0});
    EXPECT_EQ(state.ScheduleReprobe(host), -2.0);
    EXPECT_EQ(state.ScheduleReprobe(host), -2.0);
    EXPECT_TRUE(rec.delays.empty());
}

} // namespace
