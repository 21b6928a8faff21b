#include <gtest/gtest.h>

#include "quvane/MosScore.h"

namespace {

using quvane::MosFromLoss;
using quvane::ProbeResults;
using quvane::ScoreProbe;

// Expected values worked out by hand from the E-model steps:
// Ie = 95L/(L+10), R = int(93.2 - Ie + 0.5), MOS = 1 + 0.035R + 7e-6 R(R-60)(100-R).
struct LossCase {
    unsigned lost; // of 60
    double mos;
};

class MosFromLossTable : public ::testing::TestWithParam<LossCase> { };

TEST_P(MosFromLossTable, MatchesTheHandWorkedScore)
{
    const LossCase c = GetParam();
    const double loss = (60.0 - (60 - c.lost)) / 60.0 * 100.0;
    EXPECT_DOUBLE_EQ(MosFromLoss(loss), c.mos) << c.lost << " of 60 lost";
}

INSTANTIATE_TEST_SUITE_P(Loss, MosFromLossTable,
                         ::testing::Values(LossCase{0, 4.4}, // R 93
                                           LossCase{1, 4.0}, // R 80
                                           LossCase{2, 3.5}, // R 69
                                           LossCase{3, 3.2}, // R 62
                                           LossCase{6, 2.4}, // R 46
                                           LossCase{12, 1.6}, // R 30
                                           LossCase{15, 1.4}, // R 25
                                           LossCase{18, 1.3}, // R 22
                                           LossCase{30, 1.1}, // R 14
                                           LossCase{59, 1.0})); // R 7

ProbeResults Clean()
{
    ProbeResults r;
    r.matched = 60;
    r.totalRtt = 60 * 0.05;
    r.minRtt = r.maxRtt = 0.05;
    r.arrivalRate = 16000.0;
    r.serverRate = 16000.0;
    return r;
}

TEST(ScoreProbe, FastPathWithoutLossScoresTop) { EXPECT_DOUBLE_EQ(ScoreProbe(Clean()), 4.4); }

TEST(ScoreProbe, EitherRateAboveTheBurstLimitScoresOne)
{
    ProbeResults r = Clean();
    r.arrivalRate = 80800.0; // at the limit is still fine
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 4.4);
    r.arrivalRate = 80800.5;
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 1.0);
    r = Clean();
    r.serverRate = 90000.0;
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 1.0);
}

TEST(ScoreProbe, MeanRoundTripAboveTwoHundredMillisecondsScoresOne)
{
    ProbeResults r = Clean();
    r.totalRtt = 0.2 * 60; // exactly 0.2 s is not "above"
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 4.4);
    r.totalRtt = 0.201 * 60;
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 1.0);
    // The slow rule wins over loss as well.
    r.matched = 54;
    r.totalRtt = 0.25 * 54;
    r.lossPercent = 10.0;
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 1.0);
}

TEST(ScoreProbe, LossGoesThroughTheModelAndTotalLossScoresZero)
{
    ProbeResults r = Clean();
    r.matched = 54;
    r.totalRtt = 54 * 0.05;
    r.lossPercent = 10.0;
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 2.4);

    ProbeResults none;
    none.lossPercent = 100.0;
    EXPECT_DOUBLE_EQ(ScoreProbe(none), 0.0);
}

} // namespace
