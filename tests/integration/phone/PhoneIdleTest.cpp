// The console phone at rest: signed in with nothing sounding it sleeps. Addresses 127.0.12.2-3.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "KamailioPeer.h"
#include "PhoneTestPeers.h"

using namespace phone_it;
using zelora::test::KamailioPeer;

namespace {

// Context switches of all threads of a process so far: each one is a wake-up.
long long WakeUps(pid_t pid)
{
    long long total = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream status(task.path() / "status");
        std::string key;
        long long value = 0;
        while (status >> key)
            if (key.find("ctxt_switches:") != std::string::npos && status >> value)
                total += value;
    }
    return total;
}

TEST(PhoneIdle, SignedInPhoneWakesOnlyForItsOwnTimers)
{
    // The device rests and the SIP worker waits for the refresh; what is left are the
    // once-a-second timers of the phone core (a handful of threads).
    const std::string sip = "127.0.12.2", me = "127.0.12.3";
    PhoneUnderTest phone("idle", me, sip);
    KamailioPeer kamailio;
    KamailioPeer::Options options;
    options.ip = sip;
    ASSERT_EQ(kamailio.Start(options), "");
    ASSERT_EQ(phone.Start(), "");
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    std::this_thread::sleep_for(1s);
    const long long before = WakeUps(phone.Cli().Pid());
    std::this_thread::sleep_for(5s);
    const long long woken = WakeUps(phone.Cli().Pid()) - before;
    EXPECT_GT(before, 0) << "no thread of the phone found";
    EXPECT_LT(woken, 40) << "wake-ups in 5 s";
    EXPECT_EQ(phone.Cli().Stop(), 0);
}

} // namespace
