// The recovery's decisions on a clock of the test's own, and the session core acting on them
// without holding its lock across a protocol that reconnects.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <vector>

#include "PhoneTestSupport.h"
#include "phone/CReconnectPolicy.h"
#include "phone/MXSPCore.h"

namespace {

using namespace std::chrono_literals;
using Clock = CReconnectPolicy::Clock;

std::string Status(CReconnectPolicy& policy)
{
    std::string text = "(unchanged)";
    policy.TakeStatus(text);
    return text;
}

TEST(ReconnectPolicy, LineDownBacksOffDoublingToAMinuteAndEndsOnSuccess)
{
    CReconnectPolicy policy;
    Clock::time_point t{};
    policy.SignInStarted();
    // The user's own sign-in that times out is the user's to see.
    EXPECT_FALSE(policy.OnRegistrationTimeout(t));
    policy.SignInStarted();
    policy.OnRegistered(t);
    EXPECT_FALSE(policy.Tick(t + 119s, {}));
    ASSERT_TRUE(policy.Tick(t + 120s, {})) << "no re-registration to check the binding";
    EXPECT_FALSE(policy.Tick(t + 124s, {}));
    // Unanswered for the answer time: the user is told while its retransmissions go on.
    EXPECT_FALSE(policy.Tick(t + 125s, {}));
    EXPECT_TRUE(policy.Recovering());
    EXPECT_EQ(Status(policy), "Connection lost. Reconnecting...");
    t += 152s;
    ASSERT_TRUE(policy.OnRegistrationTimeout(t));
    std::vector<long long> waits;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string text = Status(policy);
        long long wait = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "Reconnecting in %lld s...", &wait), 1) << text;
        waits.push_back(wait);
        EXPECT_FALSE(policy.Tick(t + std::chrono::seconds(wait) - 1ms, {}));
        t += std::chrono::seconds(wait);
        ASSERT_TRUE(policy.Tick(t, {}));
        EXPECT_EQ(Status(policy), "Reconnecting...");
        EXPECT_FALSE(policy.Tick(t + 1s, {})) << "a second REGISTER while one is out";
        t += 32s;
        ASSERT_TRUE(policy.OnRegistrationTimeout(t));
    }
    EXPECT_EQ(waits, (std::vector<long long>{1, 2, 4, 8, 16, 32, 60, 60}));
    policy.OnRegistered(t);
    EXPECT_FALSE(policy.Recovering());
    EXPECT_EQ(Status(policy), "");
}

TEST(ReconnectPolicy, ThirdRefusalStopsAndSleepOrLostKeepAliveRetriesAtOnce)
{
    CReconnectPolicy policy;
    Clock::time_point t{};
    policy.SignInStarted();
    policy.OnRegistered(t);
    // Woken 30 s late (suspend, SIGSTOP): at once, not at the next check.
    EXPECT_FALSE(policy.Tick(t + 2s, 4s));
    ASSERT_TRUE(policy.Tick(t + 32s, 30s));
    policy.OnRegistered(t + 33s);

    policy.OnConnectionLost(t + 40s);
    ASSERT_TRUE(policy.Tick(t + 40s, {}));
    policy.OnRegistrationFailure(t + 41s);
    ASSERT_TRUE(policy.Tick(t + 43s, {}));
    policy.OnRegistrationFailure(t + 43s);
    EXPECT_TRUE(policy.Recovering());
    ASSERT_TRUE(policy.Tick(t + 48s, {}));
    policy.OnRegistrationFailure(t + 48s);
    EXPECT_FALSE(policy.Recovering());
    EXPECT_FALSE(policy.SignedIn());
    EXPECT_FALSE(policy.Tick(t + 600s, 100s));
    // A success after the account was dropped (its unregistration's answer) starts nothing.
    policy.OnRegistered(t + 601s);
    EXPECT_FALSE(policy.SignedIn());
}

TEST(ReconnectPolicy, CoreSignsTheTunnelInAgainOutsideItsLockAndTellsTheWindow)
{
    std::vector<std::string> statuses;
    std::vector<int> forwarded;
    phonetest::FakeProtocol* protocol = nullptr;
    MXSPCore::Options options;
    options.startKeepAliveThread = false;
    options.factory = [&](bool, const TunnelSettings&) {
        auto p = std::make_unique<phonetest::FakeProtocol>();
        protocol = p.get();
        return std::unique_ptr<CSessionProtocol>(std::move(p));
    };
    options.recoveryStatus = [&](const std::string& text) { statuses.push_back(text); };
    CODEC_INFO codecs[1];
    std::memset(codecs, 0, sizeof codecs);
    auto record = [](int status, void* context, SESSION_EVENT_INFO*) {
        static_cast<std::vector<int>*>(context)->push_back(status);
        return 1;
    };
    MXSPCore core("r", "h", "5060", record, &forwarded, codecs, 1, "ua", 0, options);
    ASSERT_GE(core.StartTunnel(0, "", 0, "tunnel", nullptr), 0);
    core.Register("1001", "1001", "pw1001", 3600);
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    protocol->Raise(MXSS_STATUS_LOGOUT, nullptr);
    EXPECT_EQ(forwarded, (std::vector<int>{1, 102}));
    ASSERT_EQ(statuses, (std::vector<std::string>{"Connection lost. Reconnecting..."}));

    // The tunnel's reader may wait for the core's lock while Register connects.
    bool lockFree = false;
    protocol->registerResult = -1;
    protocol->onRegister = [&] {
        lockFree = std::async(std::launch::async, [&] {
                       bool got = core.Lock().try_lock();
                       if (got)
                           core.Lock().unlock();
                       return got;
                   }).get();
    };
    core.KeepAliveTick();
    EXPECT_EQ(protocol->Count("Register"), 2);
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(statuses.back(), "Reconnecting in 1 s...");
    EXPECT_TRUE(core.IsRecovering());
    protocol->registerResult = 1;
    protocol->onRegister = nullptr;
    core.KeepAliveTick(6s); // woke late: the backoff is not waited out
    EXPECT_EQ(protocol->Count("Register"), 3);
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    EXPECT_FALSE(core.IsRecovering());
    EXPECT_EQ(statuses.back(), "");
    EXPECT_EQ(forwarded.back(), 1);
}

// The routing lookup stands in for a network that moves: the core registers again at once,
// the first address seen and a lost route starting nothing.
TEST(ReconnectPolicy, CoreRegistersAgainWhenTheAddressTowardsTheRegistrarChanges)
{
    std::string route = "192.0.2.10";
    std::vector<std::string> statuses;
    phonetest::FakeProtocol* protocol = nullptr;
    MXSPCore::Options options;
    options.startKeepAliveThread = false;
    options.factory = [&](bool, const TunnelSettings&) {
        auto p = std::make_unique<phonetest::FakeProtocol>();
        protocol = p.get();
        return std::unique_ptr<CSessionProtocol>(std::move(p));
    };
    options.recoveryStatus = [&](const std::string& text) { statuses.push_back(text); };
    std::vector<std::string> asked;
    options.localAddressTowards = [&](const std::string& host) {
        asked.push_back(host);
        return route;
    };
    CODEC_INFO codecs[1];
    std::memset(codecs, 0, sizeof codecs);
    auto ignore = [](int, void*, SESSION_EVENT_INFO*) { return 1; };
    int context = 0;
    MXSPCore core("r", "registrar.test", "5060", ignore, &context, codecs, 1, "ua", 0, options);
    ASSERT_GE(core.StartSipStack(nullptr), 0);
    core.Register("1001", "1001", "pw1001", 3600);
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i)
            core.KeepAliveTick();
    };
    ticks(10);
    EXPECT_EQ(protocol->Count("Register"), 1);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), "registrar.test");
    route = "";
    ticks(5);
    EXPECT_EQ(protocol->Count("Register"), 1) << "no route is no new address";
    route = "198.51.100.7";
    ticks(5);
    EXPECT_EQ(protocol->Count("Register"), 2);
    EXPECT_EQ(statuses.back(), "Network changed. Signing in again...");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    ticks(5);
    EXPECT_EQ(protocol->Count("Register"), 2);
    EXPECT_EQ(statuses.back(), "");
}

} // namespace
