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

// A session core over the fake protocol, recording what it forwards and the recovery's texts.
struct RecoveringCore {
    RecoveringCore()
    {
        MXSPCore::Options options;
        options.startKeepAliveThread = false;
        options.factory = [this](bool, const TunnelSettings&) {
            auto p = std::make_unique<phonetest::FakeProtocol>();
            protocol = p.get();
            return std::unique_ptr<CSessionProtocol>(std::move(p));
        };
        options.recoveryStatus = [this](const std::string& text) { statuses.push_back(text); };
        options.localAddressTowards = [](const std::string&) { return std::string("192.0.2.10"); };
        std::memset(codecs, 0, sizeof codecs);
        auto record = [](int status, void* context, SESSION_EVENT_INFO*) {
            static_cast<std::vector<int>*>(context)->push_back(status);
            return 1;
        };
        core =
            std::make_unique<MXSPCore>("r", "registrar.test", "5060", record, &forwarded, codecs, 1, "ua", 0, options);
    }
    std::vector<std::string> statuses;
    std::vector<int> forwarded;
    phonetest::FakeProtocol* protocol = nullptr;
    CODEC_INFO codecs[1];
    std::unique_ptr<MXSPCore> core;
};

TEST(ReconnectPolicy, CoreSignsTheTunnelInAgainOutsideItsLockAndTellsTheWindow)
{
    RecoveringCore r;
    MXSPCore& core = *r.core;
    std::vector<std::string>& statuses = r.statuses;
    ASSERT_GE(core.StartTunnel(0, "", 0, "tunnel", nullptr), 0);
    phonetest::FakeProtocol* protocol = r.protocol;
    core.Register("1001", "1001", "pw1001", 3600);
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    protocol->Raise(MXSS_STATUS_LOGOUT, nullptr);
    EXPECT_EQ(r.forwarded, (std::vector<int>{1, 102}));
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
    EXPECT_EQ(r.forwarded.back(), 1);
}

} // namespace

namespace {

// A registrar that is simply gone answers nothing: each attempt counts as failed after the
// answer time rather than after the transaction's own half minute, so the waits still double.
TEST(ReconnectPolicy, UnansweredAttemptsFailAfterTheAnswerTimeAndTheWaitsStillDouble)
{
    CReconnectPolicy::Settings settings;
    settings.answerTimeout = 2s;
    CReconnectPolicy policy(settings);
    Clock::time_point t{};
    policy.SignInStarted();
    policy.OnRegistered(t);
    policy.OnConnectionLost(t);
    Status(policy);
    std::vector<std::string> told;
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_TRUE(policy.Tick(t, {})) << "attempt " << attempt;
        EXPECT_FALSE(policy.Tick(t + 2s - 1ms, {}));
        Status(policy);
        t += 2s;
        EXPECT_FALSE(policy.Tick(t, {}));
        told.push_back(Status(policy));
        const long long wait = 1LL << attempt;
        EXPECT_FALSE(policy.Tick(t + std::chrono::seconds(wait) - 1ms, {}));
        t += std::chrono::seconds(wait);
    }
    EXPECT_EQ(told,
              (std::vector<std::string>{"Reconnecting in 1 s...", "Reconnecting in 2 s...", "Reconnecting in 4 s..."}));
    EXPECT_TRUE(policy.Recovering());
}

} // namespace
