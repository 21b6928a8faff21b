// The console phone at rest: signed in with nothing sounding it sleeps, and it got there without
// rewriting its settings file for every default or loading the sound libraries a call needs.
// Addresses 127.0.12.2-3 and 127.0.20.1-2.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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

// Replaces of `name` (an atomic write ends in a rename onto it) that `fd` has seen so far.
int ReplacesOf(int fd, const std::string& name)
{
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if ((event->mask & IN_MOVED_TO) != 0 && event->len > 0 && name == event->name)
                ++count;
            p += sizeof(inotify_event) + event->len;
        }
    }
    return count;
}

TEST(PhoneIdle, StartAndSignInWriteTheSettingsOncePerStepAndLeaveCallLibrariesUnloaded)
{
    const std::string sip = "127.0.20.1", me = "127.0.20.2";
    PhoneUnderTest phone("fresh", me, sip);
    KamailioPeer kamailio;
    KamailioPeer::Options options;
    options.ip = sip;
    ASSERT_EQ(kamailio.Start(options), "");
    const std::string folder = phone.Home() + "/config/zeloraTALK";
    std::filesystem::create_directories(folder);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO), 0);
    ASSERT_EQ(phone.Start(), "");
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    std::this_thread::sleep_for(300ms);
    // The defaults of a fresh profile at start, the account at sign-in, the first-start mark and
    // the address book's stamp at registration: one write for each step, not one per value.
    const int writes = ReplacesOf(watch, "registry.ini");
    close(watch);
    EXPECT_GE(writes, 1);
    EXPECT_LE(writes, 3);
    std::ifstream registry(folder + "/registry.ini");
    std::stringstream stored;
    stored << registry.rdbuf();
    EXPECT_NE(stored.str().find("HttpUseTunnel=dword:"), std::string::npos) << "defaults not on disk:\n"
                                                                            << stored.str();
    std::ifstream maps("/proc/" + std::to_string(phone.Cli().Pid()) + "/maps");
    std::stringstream mapped;
    mapped << maps.rdbuf();
    ASSERT_NE(mapped.str().find("zeloratalk-cli"), std::string::npos);
    // PortAudio (with ALSA and JACK) serves only a sound card, spandsp only a call or a key tone,
    // libsndfile only a sound: the file device opens its files at the first one. The web requests
    // of start-up and sign-in are plain HTTP and bring no TLS stack.
    for (const char* library :
         {"libportaudio", "libasound", "libjack", "libspandsp", "libsndfile", "libcurl", "libssl", "libcrypto"})
        EXPECT_EQ(mapped.str().find(library), std::string::npos) << library << " loaded by an idle phone";
    EXPECT_EQ(phone.Cli().Stop(), 0);
}

} // namespace
