// The console phone over the tunnel: tools/tunnel-server directly and through tinyproxy, its echo
// number, two phones on one machine, and the server going away. Addresses 127.0.6.100-127.0.6.149.
#include <gtest/gtest.h>

#include <thread>

#include "AudioTestSignals.h"
#include "PhoneTestPeers.h"

using namespace phone_it;
using zelora::test::PeerProcess;

namespace {

TEST(PhoneTunnel, EchoCallDirect)
{
    const std::string server = "127.0.6.100", me = "127.0.6.102";
    PhoneUnderTest phone("tunnel-echo", me, "127.0.6.254", server);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=1 proxy=0"));
    ASSERT_NO_FATAL_FAILURE(EchoCall(phone));
}

TEST(PhoneTunnel, EchoCallThroughTinyproxy)
{
    const std::string server = "127.0.6.110", proxyIp = "127.0.6.111", me = "127.0.6.112";
    PhoneUnderTest phone("tunnel-proxy", me, "127.0.6.254", server);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    std::string d = phone.Home();
    PeerProcess proxy;
    ASSERT_EQ(StartTinyproxy(proxy, proxyIp, d), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=1 proxy=1 host=" + proxyIp + " port=8888"));
    ASSERT_NO_FATAL_FAILURE(EchoCall(phone));
    EXPECT_NE(zelora::test::ReadFile(d + "/tinyproxy.log").find("CONNECT " + server + ":443"), std::string::npos);
}

TEST(PhoneTunnel, TwoPhonesOnOneMachineHearEachOther)
{
    const std::string server = "127.0.6.120", a = "127.0.6.122", b = "127.0.6.123";
    PhoneUnderTest alice("tunnel-a", a, "127.0.6.254", server, 1000);
    PhoneUnderTest bob("tunnel-b", b, "127.0.6.254", server, 600);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, alice.Home()), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(alice, "tunnel=1 proxy=0"));
    ASSERT_NO_FATAL_FAILURE(UseTunnel(bob, "tunnel=1 proxy=0"));
    ASSERT_EQ(alice.SignIn("1001", "pw1001"), "");
    ASSERT_EQ(bob.SignIn("1002", "pw1002"), "");

    alice.Cli().Send("dial 1002");
    ASSERT_NE(bob.Cli().WaitFor("EVENT 4 MXSS_STATUS_INCOMING_CALL", 10s), "") << bob.Cli().Transcript();
    bob.Cli().Send("answer");
    ASSERT_NE(bob.Cli().WaitFor("EVENT 14 MXSS_STATUS_CALL_ACK", 10s), "") << bob.Cli().Transcript();
    ASSERT_NE(alice.Cli().WaitFor("EVENT 9 MXSS_STATUS_OUTGOING_CALL_ANSWERED", 10s), "") << alice.Cli().Transcript();
    std::this_thread::sleep_for(3s);
    alice.Cli().Send("hangup");
    EXPECT_NE(bob.Cli().WaitFor("EVENT 17 MXSS_STATUS_CALL_CLOSED", 10s), "") << bob.Cli().Transcript();
    EXPECT_EQ(alice.Stop(), 0);
    EXPECT_EQ(bob.Stop(), 0);
    EXPECT_TRUE(ToneIn(audiotest::ReadWav(alice.Recording()), 600, 1500)) << "alice did not hear bob";
    EXPECT_TRUE(ToneIn(audiotest::ReadWav(bob.Recording()), 1000, 1500)) << "bob did not hear alice";
}

// Started with two callto numbers, the phone dials the first once signed in; after our own
// hang-up the next call is followed through to its end as the first one was.
TEST(PhoneTunnel, FirstCalltoIsDialledAndCallsAfterOurHangUpWorkAsTheFirst)
{
    const std::string server = "127.0.6.140", me = "127.0.6.142";
    PhoneUnderTest phone("tunnel-redial", me, "127.0.6.254", server);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=1 proxy=0"));
    ASSERT_EQ(phone.Stop(), 0);
    ASSERT_EQ(phone.Start({"callto:echo", "callto:9999"}), "");
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    ASSERT_NE(cli.WaitFor("EVENT 9 MXSS_STATUS_OUTGOING_CALL_ANSWERED", 10s), "") << cli.Transcript();
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1 call_state=3 dial=\"echo\"", 5s), "") << cli.Transcript();
    for (int call = 0; call < 2; ++call) {
        cli.Send("hangup");
        cli.Send("status");
        ASSERT_NE(cli.WaitFor("STATE signed_in=1 call_state=0", 5s), "") << cli.Transcript();
        cli.Send("dial echo");
        ASSERT_NE(cli.WaitFor("EVENT 9 MXSS_STATUS_OUTGOING_CALL_ANSWERED", 10s), "") << cli.Transcript();
        cli.Send("status");
        ASSERT_NE(cli.WaitFor("STATE signed_in=1 call_state=3", 5s), "") << cli.Transcript();
    }
    cli.Send("hangup");
    EXPECT_EQ(phone.Stop(), 0);
}

TEST(PhoneTunnel, ServerClosingTheConnectionSignsOut)
{
    const std::string server = "127.0.6.130", me = "127.0.6.132";
    PhoneUnderTest phone("tunnel-close", me, "127.0.6.254", server);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=1 proxy=0"));
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    tunnel.Stop();
    EXPECT_NE(phone.Cli().WaitFor("EVENT 102 MXSS_STATUS_LOGOUT", 10s), "") << phone.Cli().Transcript();
    phone.Cli().Send("status");
    EXPECT_NE(phone.Cli().WaitFor("STATE signed_in=0", 5s), "") << phone.Cli().Transcript();
    EXPECT_EQ(phone.Stop(), 0);
}

} // namespace
