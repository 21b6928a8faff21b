#include "platform/Event.h"
#include "platform/MessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(Event, ManualResetStaysSetUntilReset)
{
    zelora::Event ev;
    EXPECT_FALSE(ev.IsSet());
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ev.Wait(30));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
    ev.Set();
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_TRUE(ev.Wait(10)); // still set: manual reset
    ev.Reset();
    EXPECT_FALSE(ev.Wait(0));
    zelora::Event initially(true);
    EXPECT_TRUE(initially.Wait(0));
}

TEST(Event, SetFromAnotherThreadWakesEveryWaiter)
{
    zelora::Event ev;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (ev.Wait(10000))
                ++woken;
        });
    std::this_thread::sleep_for(20ms);
    ev.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(3, woken.load());
}

TEST(MessageQueue, PostsFromManyThreadsArriveInOrderPerThread)
{
    zelora::MessageQueue queue;
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&queue, t] {
            for (int i = 0; i < kEach; ++i)
                ASSERT_TRUE(zelora::PostMessage(&queue, zelora::WM_USER + 1, t, i));
        });
    std::vector<int> next(kThreads, 0);
    int received = 0;
    zelora::Message m;
    while (received < kThreads * kEach && queue.Get(m, 5000)) {
        ASSERT_EQ(zelora::WM_USER + 1, m.msg);
        ASSERT_EQ(next[m.wParam], m.lParam) << "out of order from thread " << m.wParam;
        ++next[m.wParam];
        ++received;
    }
    for (auto& t : posters)
        t.join();
    EXPECT_EQ(kThreads * kEach, received);
    EXPECT_EQ(0u, queue.Pending());
}

TEST(MessageQueue, DrainHandlesWhatIsPendingAndCloseWakesTheOwner)
{
    zelora::MessageQueue queue;
    int notified = 0;
    queue.SetNotifier([&] { ++notified; });
    queue.Post(zelora::WM_COPYDATA, 0, 0, "callto:123");
    queue.Post(zelora::WM_USER + 5, 1, 2);
    std::vector<zelora::Message> seen;
    EXPECT_EQ(2u, queue.Drain([&](const zelora::Message& msg) { seen.push_back(msg); }));
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ("callto:123", seen[0].data);
    EXPECT_EQ(2, notified);
    zelora::Message m;
    EXPECT_FALSE(queue.TryGet(m));
    EXPECT_FALSE(queue.Get(m, 20));

    std::thread owner([&] { EXPECT_FALSE(queue.Get(m, -1)); });
    std::this_thread::sleep_for(20ms);
    queue.Close();
    owner.join();
    EXPECT_TRUE(queue.IsClosed());
    EXPECT_FALSE(queue.Post(zelora::WM_USER));
    EXPECT_FALSE(zelora::PostMessage(nullptr, zelora::WM_USER, 0, 0));
}

TEST(MessageQueue, RefusesPostsBeyondTheLimit)
{
    zelora::MessageQueue queue;
    for (std::size_t i = 0; i < zelora::MessageQueue::kMaxPending; ++i)
        ASSERT_TRUE(queue.Post(zelora::WM_USER));
    EXPECT_FALSE(queue.Post(zelora::WM_USER));
    zelora::Message m;
    ASSERT_TRUE(queue.TryGet(m));
    EXPECT_TRUE(queue.Post(zelora::WM_USER));
}
