#include "web/CConnectivityProbe.h"
#include "web/CScrollLink.h"

#include <gtest/gtest.h>

TEST(WebProbe, FourFailuresThenSuccessResetsCounter)
{
    CConnectivityProbe probe;
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(probe.RecordResult(false));
    }
    EXPECT_EQ(probe.Failures(), 4);
    EXPECT_TRUE(probe.ProbeDone());
    EXPECT_FALSE(probe.RecordResult(true));
    EXPECT_EQ(probe.Failures(), 0);
    EXPECT_TRUE(probe.NetworkAvailable());
    // Four more after the success do not add up to five.
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(probe.RecordResult(false));
    }
    EXPECT_TRUE(probe.NetworkAvailable());
}

TEST(WebProbe, FiveInARowSignsOutOnceAndStartsAgain)
{
    CConnectivityProbe probe;
    probe.RecordResult(true);
    int fired = 0;
    for (int i = 0; i < 10; ++i) {
        fired += probe.RecordResult(false) ? 1 : 0;
        if (i == 4) {
            EXPECT_EQ(fired, 1);
            EXPECT_FALSE(probe.NetworkAvailable());
            EXPECT_EQ(probe.Failures(), 0);
        }
    }
    EXPECT_EQ(fired, 2);
    probe.ClearProbeDone();
    EXPECT_FALSE(probe.ProbeDone());
}

TEST(WebTicker, QueuedItemsBecomeFramesThatMoveAndWrap)
{
    CScrollLink ticker;
    ticker.SetArea(100);
    ticker.SetMeasure([](const std::string& text) { return static_cast<int>(text.size()) * 10; });
    ticker.AddScrollText("abc", "http://a");
    ticker.AddScrollText("defg", "");
    EXPECT_EQ(ticker.Items().size(), 2u);
    EXPECT_TRUE(ticker.Frames().empty());
    ticker.Step();
    auto frames = ticker.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].text, "abc");
    EXPECT_EQ(frames[0].x, 99);
    EXPECT_EQ(frames[0].width, 30);
    // Once "abc" and the gap are inside, the next item enters behind it.
    for (int i = 0; i < 70; ++i) {
        ticker.Step();
    }
    frames = ticker.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].text, "defg");
    EXPECT_EQ(frames[1].x, frames[0].x + 30 + CScrollLink::kGap);
    // Frames that leave on the left are dropped; the list wraps to its first item.
    for (int i = 0; i < 200; ++i) {
        ticker.Step();
    }
    frames = ticker.Frames();
    ASSERT_FALSE(frames.empty());
    for (const auto& f : frames) {
        EXPECT_GE(f.x + f.width, 0);
    }
}

TEST(WebTicker, MouseOverHoldsAndClickOpensOnlyLinks)
{
    CScrollLink ticker;
    ticker.SetArea(50);
    ticker.SetMeasure([](const std::string&) { return 20; });
    std::vector<std::string> opened;
    ticker.SetOpener([&](const std::string& link) { opened.push_back(link); });
    ticker.AddScrollText("linked", "http://x");
    ticker.Step();
    ticker.SetMouseOver(true);
    const int x = ticker.Frames()[0].x;
    ticker.Step();
    EXPECT_EQ(ticker.Frames()[0].x, x);
    EXPECT_TRUE(ticker.OnClicked(x + 5));
    EXPECT_FALSE(ticker.OnClicked(x - 5));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "http://x");
    ticker.ClearScrollText();
    ticker.AddScrollText("plain", "");
    ticker.SetMouseOver(false);
    ticker.Step();
    EXPECT_FALSE(ticker.OnClicked(ticker.Frames()[0].x + 1));
    EXPECT_EQ(opened.size(), 1u);
}

TEST(WebTicker, ScrollingThreadStepsAndStops)
{
    CScrollLink ticker;
    std::atomic<int> repaints{0};
    ticker.SetRepaint([&] { ++repaints; });
    ticker.AddScrollText("x", "");
    EXPECT_EQ(ticker.StartScrolling(), 1);
    EXPECT_EQ(ticker.StartScrolling(), 1);
    for (int i = 0; i < 100 && repaints.load() < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(repaints.load(), 3);
    ticker.StopScrolling();
    EXPECT_FALSE(ticker.IsScrolling());
}
