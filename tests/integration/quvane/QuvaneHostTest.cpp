// A host that loads libQuvane.so by path, as any outside program would, and
// probes mos-echo on loopback.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "EchoPeer.h"
#include "Quvane.h"

namespace {

using MosHandler = double (*)(int, intptr_t, intptr_t, intptr_t);

class QuvaneHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_library = dlopen(QUVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << "cannot load " << QUVANE_LIBRARY_PATH << ": " << dlerror();
        m_handler = reinterpret_cast<MosHandler>(dlsym(m_library, "MosHandlerCallBack"));
        ASSERT_NE(m_handler, nullptr) << "MosHandlerCallBack is not exported";
    }
    void TearDown() override
    {
        if (m_peer.Running()) {
            EXPECT_EQ(m_peer.Stop(), 0) << "mos-echo did not shut down cleanly";
        }
        if (m_library != nullptr)
            dlclose(m_library);
    }

    void StartEcho(const std::string& address, const std::vector<std::string>& options)
    {
        std::string error;
        ASSERT_TRUE(m_peer.Start(address, options, error)) << error;
    }

    // Type 0 probe of host:port; the seconds it took go to `seconds`.
    double Probe(const std::string& host, int port, double* seconds = nullptr)
    {
        const auto start = std::chrono::steady_clock::now();
        const double score = m_handler(0, reinterpret_cast<intptr_t>(host.c_str()), port, 0);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("probe %s:%d -> %.1f in %.3f s\n", host.c_str(), port, score, took);
        if (seconds != nullptr)
            *seconds = took;
        return score;
    }
    double ProbeEcho(const std::string& address, double* seconds = nullptr)
    {
        return Probe(address, m_peer.Port(), seconds);
    }

    void* m_library = nullptr;
    MosHandler m_handler = nullptr;
    EchoPeer m_peer;
};

struct TimerCalls {
    int calls = 0;
    int timerId = 0;
    unsigned milliseconds = 0;
};

void RecordTimer(void* context, int timerId, unsigned milliseconds)
{
    auto* t = static_cast<TimerCalls*>(context);
    ++t->calls;
    t->timerId = timerId;
    t->milliseconds = milliseconds;
}

// Scores are multiples of 0.1 computed as n / 10.0; compare as such.
#define EXPECT_SCORE(expected, actual) EXPECT_DOUBLE_EQ(expected, actual)

TEST_F(QuvaneHost, ServerValueIsZeroBeforeAnyProbeAndTheServersAfterOne)
{
    EXPECT_EQ(m_handler(3, 0, 0, 0), 0.0);
    StartEcho("127.0.5.10", {"--value", "3.25", "--interval", "1.5", "--allowed", "2"});
    EXPECT_SCORE(4.4, ProbeEcho("127.0.5.10"));
    EXPECT_EQ(m_handler(3, 0, 0, 0), 3.25);

    // A later server that hands back no values leaves the kept ones alone.
    ASSERT_EQ(m_peer.Stop(), 0);
    StartEcho("127.0.5.10", {});
    EXPECT_SCORE(4.4, ProbeEcho("127.0.5.10"));
    EXPECT_EQ(m_handler(3, 0, 0, 0), 3.25);
}

TEST_F(QuvaneHost, CleanPathScoresTopAndTakesAboutTheSendingTime)
{
    StartEcho("127.0.5.11", {});
    double seconds = 0;
    EXPECT_SCORE(4.4, ProbeEcho("127.0.5.11", &seconds));
    // 60 packets 10 ms apart, the last reply right behind the last packet.
    EXPECT_GE(seconds, 0.59);
    EXPECT_LT(seconds, 1.2);
}

TEST_F(QuvaneHost, RequestOneProbesLikeRequestZero)
{
    StartEcho("127.0.5.12", {});
    const std::string host = "127.0.5.12";
    EXPECT_SCORE(4.4, m_handler(1, 1, reinterpret_cast<intptr_t>(host.c_str()), m_peer.Port()));
}

TEST_F(QuvaneHost, TenPercentLossScoresTwoPointFour)
{
    StartEcho("127.0.5.13", {"--drop-every", "10"});
    EXPECT_SCORE(2.4, ProbeEcho("127.0.5.13"));
}

TEST_F(QuvaneHost, LastReplySlowerThanAllBeforeIsNotLost)
{
    // Only the 60th reply is held back, by 50 ms.
    StartEcho("127.0.5.23", {"--late-every", "60", "--late-by", "50"});
    EXPECT_SCORE(4.4, ProbeEcho("127.0.5.23"));
}

TEST_F(QuvaneHost, RepeatedRepliesNeitherCountAgainNorHideLoss)
{
    StartEcho("127.0.5.14", {"--drop-every", "10", "--duplicate"});
    EXPECT_SCORE(2.4, ProbeEcho("127.0.5.14"));
}

TEST_F(QuvaneHost, NoServerScoresZeroAfterTheNoReplyWait)
{
    // A bound socket that never reads: the datagrams go nowhere and nothing
    // (not even an ICMP error) comes back.
    const int sink = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(sink, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.5.15", &addr.sin_addr);
    ASSERT_EQ(bind(sink, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    getsockname(sink, reinterpret_cast<sockaddr*>(&addr), &len);

    double seconds = 0;
    EXPECT_SCORE(0.0, Probe("127.0.5.15", ntohs(addr.sin_port), &seconds));
    EXPECT_GE(seconds, 2.4);
    EXPECT_LE(seconds, 3.5);
    close(sink);
}

TEST_F(QuvaneHost, OversizedRepliesAreIgnored)
{
    StartEcho("127.0.5.16", {"--pad", "1"});
    double seconds = 0;
    EXPECT_SCORE(0.0, ProbeEcho("127.0.5.16", &seconds));
    EXPECT_GE(seconds, 2.4);
}

TEST_F(QuvaneHost, SlowPathScoresOne)
{
    StartEcho("127.0.5.17", {"--delay", "250"});
    double seconds = 0;
    EXPECT_SCORE(1.0, ProbeEcho("127.0.5.17", &seconds));
    // The receiver waits as long as the slowest reply so far, not 2 s.
    EXPECT_LT(seconds, 1.5);
}

TEST_F(QuvaneHost, RepliesDeliveredInOneBurstScoreOne)
{
    StartEcho("127.0.5.18", {"--burst", "60"});
    EXPECT_SCORE(1.0, ProbeEcho("127.0.5.18"));
}

TEST_F(QuvaneHost, ReprobeTimerFollowsTheAllowedCount)
{
    TimerCalls timer;
    QuvaneTimerHost host{RecordTimer, &timer};
    const auto handle = reinterpret_cast<intptr_t>(&host);

    // Nothing allowed before a server said so.
    EXPECT_EQ(m_handler(2, handle, 0, 0), -2.0);
    EXPECT_EQ(timer.calls, 0);

    StartEcho("127.0.5.19", {"--interval", "2", "--allowed", "2", "--value", "7"});
    EXPECT_SCORE(4.4, ProbeEcho("127.0.5.19"));

    EXPECT_EQ(m_handler(2, handle, 0, 0), 1.0);
    EXPECT_EQ(timer.calls, 1);
    EXPECT_EQ(timer.timerId, 1);
    EXPECT_EQ(timer.milliseconds, 2000u);

    // A null handle neither sets a timer nor advances the count.
    EXPECT_EQ(m_handler(2, 0, 0, 0), 0.0);
    QuvaneTimerHost noCallback{nullptr, &timer};
    EXPECT_EQ(m_handler(2, reinterpret_cast<intptr_t>(&noCallback), 0, 0), 0.0);
    EXPECT_EQ(timer.calls, 1);

    EXPECT_EQ(m_handler(2, handle, 0, 0), 1.0);
    EXPECT_EQ(timer.calls, 2);
    EXPECT_TRUE(timer.milliseconds == 2000u || timer.milliseconds == 4000u || timer.milliseconds == 6000u)
        << timer.milliseconds;

    EXPECT_EQ(m_handler(2, handle, 0, 0), -2.0);
    EXPECT_EQ(timer.calls, 2);

    EXPECT_EQ(m_handler(2, handle, 0, 0), 1.0);
    EXPECT_EQ(timer.calls, 3);
    EXPECT_EQ(timer.milliseconds, 2000u);
}

TEST_F(QuvaneHost, MissingArgumentsGiveZeroWithoutProbing)
{
    const std::string host = "127.0.5.20";
    const auto text = reinterpret_cast<intptr_t>(host.c_str());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_handler(0, 0, 5000, 0), 0.0);
    EXPECT_EQ(m_handler(0, text, 0, 0), 0.0);
    EXPECT_EQ(m_handler(1, 0, text, 5000), 0.0);
    EXPECT_EQ(m_handler(1, 1, 0, 5000), 0.0);
    EXPECT_EQ(m_handler(1, 1, text, 0), 0.0);
    EXPECT_EQ(m_handler(0, text, 70000, 0), 0.0);
    EXPECT_EQ(m_handler(0, text, -1, 0), 0.0);
    EXPECT_EQ(m_handler(4, text, 5000, 0), 0.0);
    EXPECT_EQ(m_handler(-1, text, 5000, 0), 0.0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.1);
}

TEST_F(QuvaneHost, UnresolvableNameScoresZero)
{
    double seconds = 0;
    EXPECT_SCORE(0.0, Probe("no-such-host.invalid", 5000, &seconds));
    EXPECT_GE(seconds, 2.4);
}

TEST_F(QuvaneHost, OnlyTheCallbackIsExported)
{
    EXPECT_EQ(dlsym(m_library, "_ZN6quvane11MosFromLossEd"), nullptr);
    EXPECT_EQ(dlsym(m_library, "_ZN6quvane12CQuvaneState8InstanceEv"), nullptr);
}

} // namespace
