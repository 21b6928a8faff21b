#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "quvane/ProbePacket.h"
#include "quvane/ReplyAnalysis.h"

namespace {

using namespace quvane;

// Sent packet n left at n * 10 ms.
SendTimes SentAll(int count = kPacketCount)
{
    SendTimes sent;
    for (int seq = 1; seq <= count; ++seq)
        sent[static_cast<std::uint32_t>(seq)] = seq * 0.01;
    return sent;
}

Packet Reply(std::uint32_t seq, double arrival, double serverTime)
{
    Packet p = BuildProbePacket(seq);
    WriteLeDouble(p.data() + kOffsetSendTime, arrival);
    WriteLeDouble(p.data() + kOffsetServerTime, serverTime);
    return p;
}

Packet WithValues(Packet p, double value, double interval, std::int32_t allowed)
{
    WriteLeDouble(p.data() + kOffsetServerValue, value);
    WriteLeDouble(p.data() + kOffsetBaseInterval, interval);
    WriteLeUint32(p.data() + kOffsetAllowedCount, static_cast<std::uint32_t>(allowed));
    return p;
}

TEST(AnalyseReplies, EvenRepliesGiveRoundTripsRatesAndNoLoss)
{
    std::vector<Packet> replies;
    for (std::uint32_t seq = 1; seq <= 60; ++seq)
        replies.push_back(Reply(seq, seq * 0.01 + 0.05, 100.0 + seq * 0.01 + 0.025));
    const ProbeResults r = AnalyseReplies(SentAll(), replies);
    EXPECT_EQ(r.matched, 60u);
    EXPECT_EQ(r.expected, 60u);
    EXPECT_DOUBLE_EQ(r.lossPercent, 0.0);
    EXPECT_NEAR(r.minRtt, 0.05, 1e-9);
    EXPECT_NEAR(r.maxRtt, 0.05, 1e-9);
    EXPECT_NEAR(r.totalRtt, 3.0, 1e-9);
    // 160 x 60 bytes over the 0.59 s between first and last.
    EXPECT_NEAR(r.arrivalRate, 9600.0 / 0.59, 1e-6);
    EXPECT_NEAR(r.serverRate, 9600.0 / 0.59, 1e-6);
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 4.4);
}

TEST(AnalyseReplies, RatesUseTheSpanWhateverTheOrderOfArrival)
{
    // Reordered replies and a server clock running backwards in the list.
    std::vector<Packet> replies = {Reply(3, 0.10, 5.0), Reply(1, 0.05, 5.2), Reply(2, 0.30, 5.1)};
    const ProbeResults r = AnalyseReplies(SentAll(3), replies, 3);
    EXPECT_EQ(r.matched, 3u);
    EXPECT_NEAR(r.arrivalRate, 480.0 / 0.25, 1e-6);
    EXPECT_NEAR(r.serverRate, 480.0 / 0.2, 1e-6);
    EXPECT_NEAR(r.minRtt, 0.04, 1e-9);
    EXPECT_NEAR(r.maxRtt, 0.28, 1e-9);
}

TEST(AnalyseReplies, BunchedArrivalsExceedTheBurstLimit)
{
    std::vector<Packet> replies;
    for (std::uint32_t seq = 1; seq <= 60; ++seq)
        replies.push_back(Reply(seq, 0.61 + seq * 0.001, 100.0 + seq * 0.01));
    const ProbeResults r = AnalyseReplies(SentAll(), replies);
    EXPECT_GT(r.arrivalRate, kBurstRateLimit);
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 1.0);
}

TEST(AnalyseReplies, RepeatsStrangersAndImpossibleRepliesAreIgnored)
{
    std::vector<Packet> replies;
    for (std::uint32_t seq = 1; seq <= 54; ++seq) {
        replies.push_back(Reply(seq, seq * 0.01 + 0.001, seq * 0.01));
        replies.push_back(Reply(seq, seq * 0.01 + 0.002, seq * 0.01)); // repeat
    }
    replies.push_back(Reply(0, 0.7, 0.7)); // never sent
    replies.push_back(Reply(61, 0.7, 0.7)); // never sent
    replies.push_back(Reply(55, 0.10, 0.1)); // "arrived" before packet 55 left at 0.55
    const ProbeResults r = AnalyseReplies(SentAll(), replies);
    EXPECT_EQ(r.matched, 54u);
    EXPECT_DOUBLE_EQ(r.lossPercent, 10.0);
    EXPECT_NEAR(r.maxRtt, 0.001, 1e-9); // the first copy of each counted, not the repeat
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 2.4);
}

TEST(AnalyseReplies, SingleReplyOrUnstampedServerTimeGivesNoRate)
{
    const ProbeResults one = AnalyseReplies(SentAll(), {Reply(1, 0.02, 1.0)});
    EXPECT_EQ(one.matched, 1u);
    EXPECT_EQ(one.arrivalRate, 0.0);
    EXPECT_EQ(one.serverRate, 0.0);
    EXPECT_DOUBLE_EQ(ScoreProbe(one), 1.0); // 59 of 60 lost

    // A server that leaves its time field alone: every copy has the same one.
    std::vector<Packet> replies;
    for (std::uint32_t seq = 1; seq <= 60; ++seq) {
        Packet p = BuildProbePacket(seq);
        WriteLeDouble(p.data() + kOffsetSendTime, seq * 0.01 + 0.001);
        replies.push_back(p);
    }
    const ProbeResults r = AnalyseReplies(SentAll(), replies);
    EXPECT_EQ(r.serverRate, 0.0);
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 4.4);
}

TEST(AnalyseReplies, NothingBackIsTotalLoss)
{
    const ProbeResults r = AnalyseReplies(SentAll(), {});
    EXPECT_EQ(r.matched, 0u);
    EXPECT_DOUBLE_EQ(r.lossPercent, 100.0);
    EXPECT_EQ(r.arrivalRate, 0.0);
    EXPECT_DOUBLE_EQ(ScoreProbe(r), 0.0);
}

TEST(FindServerValues, FirstReplyWithUsableValuesInOrderOfArrival)
{
    const SendTimes sent = SentAll();
    const std::vector<Packet> replies = {
        WithValues(Reply(1, 0.1, 0), 0.0, 5.0, 3), // value not above 0
        WithValues(Reply(2, 0.1, 0), 2.0, 0.0, 3), // interval not above 0
        WithValues(Reply(3, 0.1, 0), 2.0, 5.0, -1), // negative count
        WithValues(Reply(99, 0.1, 0), 9.0, 9.0, 9), // not a reply to us
        WithValues(Reply(5, 0.1, 0), 2.5, 30.0, 0), // first usable
        WithValues(Reply(6, 0.1, 0), 7.0, 60.0, 4),
    };
    const auto v = FindServerValues(sent, replies);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->serverValue, 2.5);
    EXPECT_EQ(v->baseInterval, 30.0);
    EXPECT_EQ(v->allowedCount, 0);
}

TEST(FindServerValues, UnfilledOrUnusableFieldsYieldNothing)
{
    const SendTimes sent = SentAll();
    // A plain echo returns the "0" characters it was sent; read as numbers they
    // would look positive.
    EXPECT_FALSE(FindServerValues(sent, {Reply(1, 0.1, 0)}).has_value());
    Packet partly = WithValues(Reply(2, 0.1, 0), 1.0, 1.0, 1);
    for (int i = 0; i < 4; ++i)
        partly[kOffsetAllowedCount + i] = '0';
    EXPECT_FALSE(FindServerValues(sent, {partly}).has_value());
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(FindServerValues(sent, {WithValues(Reply(3, 0.1, 0), inf, 1.0, 1)}).has_value());
    EXPECT_FALSE(FindServerValues(sent, {WithValues(Reply(3, 0.1, 0), 1.0, nan, 1)}).has_value());
    EXPECT_FALSE(FindServerValues(sent, {}).has_value());
}

} // namespace
