// The console phone gets back on line by itself: the registrar restarted and forgot it, the
// process stopped for longer than its registration lasts, the tunnel server restarted.
// Addresses 127.0.8.1-127.0.8.39; the moving address lives in a network namespace.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "AudioTestSignals.h"
#include "BaresipPeer.h"
#include "KamailioPeer.h"
#include "PhoneTestPeers.h"
#include "RawSipPeer.h"

using namespace phone_it;
using zelora::test::BaresipPeer;
using zelora::test::KamailioPeer;
using zelora::test::PeerProcess;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string StartCaller(BaresipPeer& caller, const std::string& ip, const std::string& registrar)
{
    BaresipPeer::Options options;
    options.ip = ip;
    options.user = "1002";
    options.password = "pw1002";
    options.registrar = registrar;
    options.autoAnswer = true;
    return caller.Start(options);
}

// Kamailio on `sip`, baresip 1002 on `far` (who calls us), the phone started and signed in as 1001.
void StartLine(PhoneUnderTest& phone, KamailioPeer& kamailio, BaresipPeer& caller, const std::string& sip,
               const std::string& far)
{
    KamailioPeer::Options options;
    options.ip = sip;
    ASSERT_EQ(kamailio.Start(options), "");
    ASSERT_EQ(StartCaller(caller, far, sip), "");
    ASSERT_EQ(phone.Start(), "");
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
}

// Dials the phone until it rings or the time is up; the seconds it took, or -1.
double DialUntilItRings(BaresipPeer& caller, CliPhone& cli, const std::string& registrar, std::chrono::seconds limit)
{
    const Clock::time_point start = Clock::now();
    while (Clock::now() - start < limit) {
        if (!caller.Command("dial", "sip:1001@" + registrar).empty())
            return -1;
        if (!cli.WaitFor("EVENT 4 MXSS_STATUS_INCOMING_CALL", 2s).empty())
            return SecondsSince(start);
        caller.Command("hangup");
    }
    return -1;
}

// Kamailio with the shared configuration changed by `edits` (text found -> its replacement).
class DerivedRegistrar {
public:
    using Edits = std::vector<std::pair<std::string, std::string>>;

    std::string Start(const std::string& ip, const std::string& folder, const Edits& edits)
    {
        std::string program = zelora::test::FindProgram("kamailio");
        if (program.empty())
            return zelora::test::MissingProgram("kamailio", "kamailio");
        std::string config = zelora::test::ReadFile(std::string(PHONE_IT_PEERS_DIR) + "/kamailio.cfg");
        for (const auto& [from, to] : edits) {
            std::size_t at = config.find(from);
            if (at == std::string::npos)
                return "the shared Kamailio configuration has no " + from;
            config.replace(at, from.size(), to);
        }
        std::filesystem::create_directories(folder + "/run");
        if (!zelora::test::WriteFile(folder + "/kamailio.cfg", config))
            return "cannot write the Kamailio configuration";
        m_log = folder + "/kamailio.log";
        std::string error = m_process.Start({program, "-f", folder + "/kamailio.cfg", "-DD", "-E", "-Y",
                                             folder + "/run", "-P", folder + "/run/kamailio.pid", "-A",
                                             "SIP_LISTEN=udp:" + ip + ":5060", "-A", "REALM=\"" + ip + "\""},
                                            m_log);
        if (!error.empty())
            return error;
        if (!zelora::test::WaitUntil([&] { return zelora::test::SipServerAnswers(ip, 5060, 200); }, 10s))
            return "kamailio did not answer OPTIONS:\n" + zelora::test::ReadFile(m_log);
        return {};
    }
    // Registrations that last `expires` seconds.
    std::string StartShortLived(const std::string& ip, const std::string& folder, int expires)
    {
        const std::string e = std::to_string(expires);
        return Start(ip, folder,
                     {{"\"max_expires\", 3600", "\"max_expires\", " + e},
                      {"\"default_expires\", 600", "\"default_expires\", " + e}});
    }
    void Stop() { m_process.Stop(); }

private:
    PeerProcess m_process;
    std::string m_log;
};

TEST(PhoneRecovery, RegistrarRestartedWithoutBindingsRingsAgain)
{
    const std::string sip = "127.0.8.1", far = "127.0.8.2", me = "127.0.8.3";
    PhoneUnderTest phone("recover-registrar", me, sip);
    KamailioPeer kamailio;
    BaresipPeer caller;
    ASSERT_NO_FATAL_FAILURE(StartLine(phone, kamailio, caller, sip, far));
    CliPhone& cli = phone.Cli();

    kamailio.Stop();
    KamailioPeer::Options options;
    options.ip = sip;
    ASSERT_EQ(kamailio.Start(options), "");
    const Clock::time_point back = Clock::now();
    // The keep-alive passes the registrar's challenge and finds no binding for us.
    ASSERT_NE(cli.WaitFor("MESSAGE \"Connection lost. Reconnecting...\"", 40s), "") << cli.Transcript();
    EXPECT_NE(cli.WaitFor("DISPLAY \"\" \"\" \"Reconnecting...\"", 5s), "") << cli.Transcript();
    ASSERT_NE(cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 10s), "") << cli.Transcript();
    double registered = SecondsSince(back);
    EXPECT_NE(phone.LogLines("keep-alive failed with 404"), "");
    EXPECT_FALSE(cli.Seen("EVENT 3 ")) << cli.Transcript();

    double rang = DialUntilItRings(caller, cli, sip, 10s);
    ASSERT_GE(rang, 0) << cli.Transcript() << caller.Log();
    std::printf("registrar back -> registered %.1f s, -> rings %.1f s\n", registered, registered + rang);
    EXPECT_LT(registered + rang, 40.0);
    cli.Send("hangup");
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1", 5s), "") << cli.Transcript();
    EXPECT_EQ(cli.Stop(), 0);
}

TEST(PhoneRecovery, PausedLongerThanTheRegistrationRegistersOnResume)
{
    const std::string sip = "127.0.8.10", far = "127.0.8.11", me = "127.0.8.12";
    PhoneUnderTest phone("recover-pause", me, sip);
    DerivedRegistrar registrar;
    ASSERT_EQ(registrar.StartShortLived(sip, phone.Home() + "/registrar", 12), "");
    BaresipPeer caller;
    ASSERT_EQ(StartCaller(caller, far, sip), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");

    ASSERT_EQ(kill(cli.Pid(), SIGSTOP), 0);
    // Well past the registration's 12 s and the registrar's clean-up of it.
    std::this_thread::sleep_for(25s);
    // Nobody rings a phone the registrar has forgotten.
    ASSERT_EQ(caller.Command("dial", "sip:1001@" + sip), "");
    std::string closed = caller.WaitEvent("CALL_CLOSED", 5s);
    EXPECT_NE(closed.find("404"), std::string::npos) << closed;
    cli.Mark();
    ASSERT_EQ(kill(cli.Pid(), SIGCONT), 0);
    double rang = DialUntilItRings(caller, cli, sip, 10s);
    ASSERT_GE(rang, 0) << cli.Transcript() << phone.LogLines("late");
    std::printf("resumed -> rings %.1f s\n", rang);
    EXPECT_LT(rang, 5.0);
    EXPECT_NE(phone.LogLines("late: signing in again"), "");
    cli.Send("hangup");
    EXPECT_EQ(cli.Stop(), 0);
}

// The registrar away for a while: the attempts back off 1, 2, 4 s (each also waits 2 s for an
// answer), the phone is back soon after the registrar; a password it no longer takes still ends,
// after the third refusal, at the sign-in panel. Addresses 127.0.14.30-127.0.14.39.
TEST(PhoneRecovery, RegistrarAwayRetriesWithGrowingWaitsAndARefusedPasswordStops)
{
    const std::string sip = "127.0.14.30", me = "127.0.14.31";
    PhoneUnderTest phone("recover-away", me, sip);
    // Checked every 2 s rather than 120 s, so that the loss shows at once.
    std::string deployment = DeploymentText(sip, "127.0.14.39");
    deployment.replace(deployment.find("[sip]\n"), 6, "[sip]\nregistrar_check = 2\n");
    ASSERT_TRUE(zelora::test::WriteFile(phone.Home() + "/deployment.ini", deployment));
    DerivedRegistrar registrar;
    const std::string folder = phone.Home() + "/registrar";
    ASSERT_EQ(registrar.Start(sip, folder, {}), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");

    registrar.Stop();
    ASSERT_NE(cli.WaitFor("MESSAGE \"Connection lost. Reconnecting...\"", 10s), "") << cli.Transcript();
    std::vector<double> told;
    const Clock::time_point lost = Clock::now();
    for (int wait : {1, 2, 4}) {
        ASSERT_NE(cli.WaitFor("MESSAGE \"Reconnecting in " + std::to_string(wait) + " s...\"", 10s), "")
            << cli.Transcript();
        told.push_back(SecondsSince(lost));
    }
    const double first = told[1] - told[0], second = told[2] - told[1];
    std::printf("registrar away: attempts %.1f s and %.1f s apart\n", first, second);
    // The backoff, and at most the answer wait when nothing refuses the datagram at once.
    EXPECT_GE(first, 0.9);
    EXPECT_LE(first, 1 + 2 + 0.8);
    EXPECT_GE(second, 1.9);
    EXPECT_LE(second, 2 + 2 + 0.8);
    EXPECT_GT(second, first + 0.5);
    EXPECT_FALSE(cli.Seen("EVENT 3 ")) << cli.Transcript();

    ASSERT_EQ(registrar.Start(sip, folder, {}), "");
    const Clock::time_point back = Clock::now();
    ASSERT_NE(cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 10s), "") << cli.Transcript();
    const double registered = SecondsSince(back);
    std::printf("registrar back -> registered %.1f s\n", registered);
    EXPECT_LT(registered, 4 + 2 + 1.0);
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1", 5s), "") << cli.Transcript();

    registrar.Stop();
    ASSERT_NE(cli.WaitFor("MESSAGE \"Connection lost. Reconnecting...\"", 10s), "") << cli.Transcript();
    ASSERT_EQ(registrar.Start(sip, folder, {{"$sht(users=>1001) = \"pw1001\"", "$sht(users=>1001) = \"other\""}}), "");
    ASSERT_NE(cli.WaitFor("MESSAGE \"Invalid Username/Password\"", 20s), "") << cli.Transcript();
    // The third refusal's event line may follow the box's.
    std::this_thread::sleep_for(1s);
    cli.Mark();
    std::this_thread::sleep_for(5s);
    EXPECT_FALSE(cli.Seen("MESSAGE \"Reconnecting")) << cli.Transcript();
    EXPECT_FALSE(cli.Seen("EVENT 2 ")) << cli.Transcript();
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=0", 5s), "") << cli.Transcript();
    // Quitting does not wait for an unregistration the registrar would refuse as well.
    const Clock::time_point quit = Clock::now();
    EXPECT_EQ(cli.Stop(), 0);
    EXPECT_LT(SecondsSince(quit), 5.0);
}

// Runs `argv` and waits for it; "" or what it said.
std::string Run(const std::vector<std::string>& argv)
{
    std::string command;
    for (const std::string& a : argv)
        command += a + " ";
    command += "2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "cannot run " + command;
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    int status = pclose(pipe);
    return status == 0 ? std::string() : command + ": " + output;
}

// A network namespace joined to this one by a veth pair: 10.77.N.1 here, the phone's
// address there, which the test moves. Removed with its links on destruction.
class MovableNetwork {
public:
    std::string Create()
    {
        m_ip = zelora::test::FindProgram("ip");
        if (m_ip.empty())
            return zelora::test::MissingProgram("ip", "iproute2");
        const int n = 1 + static_cast<int>(getpid() % 250);
        m_name = "zt-move-" + std::to_string(getpid());
        m_host = "ztmh" + std::to_string(getpid());
        m_prefix = "10.77." + std::to_string(n) + ".";
        const std::string peer = "ztmp" + std::to_string(getpid());
        for (const std::vector<std::string>& step : std::vector<std::vector<std::string>>{
                 {m_ip, "netns", "add", m_name},
                 {m_ip, "link", "add", m_host, "type", "veth", "peer", "name", peer},
                 {m_ip, "link", "set", peer, "netns", m_name},
                 {m_ip, "addr", "add", Here() + "/24", "dev", m_host},
                 {m_ip, "link", "set", m_host, "up"},
                 {m_ip, "-n", m_name, "link", "set", "lo", "up"},
                 // The moved-to address, added beside the first, must survive the first's removal.
                 {m_ip, "netns", "exec", m_name, "sysctl", "-qw", "net.ipv4.conf.all.promote_secondaries=1"},
                 {m_ip, "-n", m_name, "addr", "add", m_prefix + "2/24", "dev", peer},
                 {m_ip, "-n", m_name, "link", "set", peer, "up"},
                 {m_ip, "-n", m_name, "route", "add", "default", "via", Here()}}) {
            std::string error = Run(step);
            if (!error.empty())
                return "network namespaces need root: " + error;
        }
        m_peer = peer;
        return {};
    }
    ~MovableNetwork()
    {
        if (!m_name.empty()) {
            Run({m_ip, "link", "del", m_host});
            Run({m_ip, "netns", "del", m_name});
        }
    }
    std::string Here() const { return m_prefix + "1"; }
    std::string There(int host) const { return m_prefix + std::to_string(host); }
    std::vector<std::string> Wrapper() const { return {m_ip, "netns", "exec", m_name}; }
    // The phone's address becomes .3: the old one is removed.
    std::string Move()
    {
        std::string error = Run({m_ip, "-n", m_name, "addr", "add", There(3) + "/24", "dev", m_peer});
        if (error.empty())
            error = Run({m_ip, "-n", m_name, "addr", "del", There(2) + "/24", "dev", m_peer});
        if (error.empty())
            error = Run({m_ip, "-n", m_name, "route", "replace", "default", "via", Here()});
        return error;
    }

private:
    std::string m_ip, m_name, m_host, m_peer, m_prefix;
};

TEST(PhoneRecovery, MovedAddressIsFollowedByContactAndMedia)
{
    const std::string far = "127.0.8.31";
    MovableNetwork network;
    ASSERT_EQ(network.Create(), "");
    const std::string sip = network.Here();
    PhoneUnderTest phone("recover-move", "", sip);
    phone.RunThrough(network.Wrapper());
    KamailioPeer kamailio;
    BaresipPeer caller;
    ASSERT_NO_FATAL_FAILURE(StartLine(phone, kamailio, caller, sip, far));
    CliPhone& cli = phone.Cli();

    ASSERT_EQ(network.Move(), "");
    const Clock::time_point moved = Clock::now();
    ASSERT_NE(cli.WaitFor("MESSAGE \"Network changed. Signing in again...\"", 15s), "") << cli.Transcript();
    ASSERT_NE(cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 10s), "") << cli.Transcript();
    double followed = SecondsSince(moved);
    EXPECT_NE(phone.LogLines("contact moves from <sip:1001@" + network.There(2)), "") << phone.LogLines("contact");

    double rang = DialUntilItRings(caller, cli, sip, 10s);
    ASSERT_GE(rang, 0) << cli.Transcript() << caller.Log();
    std::printf("address moved -> registered %.1f s, -> rings %.1f s\n", followed, followed + rang);
    EXPECT_LT(followed + rang, 40.0);
    cli.Send("answer");
    ASSERT_NE(cli.WaitFor("EVENT 14 MXSS_STATUS_CALL_ACK", 10s), "") << cli.Transcript();
    std::string established = caller.WaitEvent("CALL_ESTABLISHED", 5s);
    EXPECT_NE(established, "") << caller.Log();
    // The far end's tone reaches us only if our answer's SDP names the address we now have.
    std::this_thread::sleep_for(2s);
    cli.Send("hangup");
    EXPECT_EQ(cli.Stop(), 0);
    EXPECT_TRUE(ToneIn(audiotest::ReadWav(phone.Recording()), 600, 1500)) << "no far-end audio: " << phone.Recording();
}

TEST(PhoneRecovery, TunnelServerRestartedSignsInAgainWithBackoff)
{
    const std::string server = "127.0.8.20", me = "127.0.8.22";
    PhoneUnderTest phone("recover-tunnel", me, "127.0.8.254", server);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=1 proxy=0"));
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");

    tunnel.Stop();
    ASSERT_NE(cli.WaitFor("EVENT 102 MXSS_STATUS_LOGOUT", 10s), "") << cli.Transcript();
    // Each attempt finds nobody listening; the waits between them double.
    ASSERT_NE(cli.WaitFor("MESSAGE \"Reconnecting in 1 s...\"", 5s), "") << cli.Transcript();
    ASSERT_NE(cli.WaitFor("MESSAGE \"Reconnecting in 2 s...\"", 5s), "") << cli.Transcript();
    ASSERT_NE(cli.WaitFor("MESSAGE \"Reconnecting in 4 s...\"", 8s), "") << cli.Transcript();
    EXPECT_EQ(cli.WaitFor("MESSAGE \"Invalid Username/Password\"", 1ms), "");

    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    const Clock::time_point back = Clock::now();
    ASSERT_NE(cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 15s), "") << cli.Transcript();
    std::printf("tunnel server back -> signed in %.1f s\n", SecondsSince(back));
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1", 5s), "") << cli.Transcript();
    ASSERT_NO_FATAL_FAILURE(EchoCall(phone, false));
}

} // namespace
