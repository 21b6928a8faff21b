// The automatic connection choice end to end: SIP over UDP first, the tunnel when the registrar
// does not answer, and the way that worked tried first at the next start.
// Addresses 127.0.14.1-127.0.14.29; tinyproxy where the direct tunnel is refused.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "KamailioPeer.h"
#include "PhoneTestPeers.h"

using namespace phone_it;
using zelora::test::KamailioPeer;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Whether the phone stores `way` as the one that signed in last (it does so just after the
// registration's event).
bool Remembers(const PhoneUnderTest& phone, int way)
{
    const std::string line = "LastConnection=dword:0000000" + std::to_string(way);
    return zelora::test::WaitUntil(
        [&] {
            return zelora::test::ReadFile(phone.Home() + "/config/zeloraTALK/registry.ini").find(line) !=
                std::string::npos;
        },
        2s);
}

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(PhoneAutoConnection, NothingOnTheSipAddressSignsInThroughTheTunnelAndEchoes)
{
    const std::string sip = "127.0.14.1", server = "127.0.14.2", me = "127.0.14.3";
    PhoneUnderTest phone("auto-tunnel", me, sip, server);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=auto proxy=0"));
    CliPhone& cli = phone.Cli();

    const Clock::time_point login = Clock::now();
    cli.Send("login 1001 pw1001");
    ASSERT_NE(cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 5s), "") << cli.Transcript();
    const double took = SecondsSince(login);
    std::printf("automatic: login -> registered through the tunnel %.2f s\n", took);
    // SIP over UDP had its two seconds first; nothing of its failure reached the user.
    EXPECT_GE(took, 1.9);
    EXPECT_NE(phone.LogLines("Connecting by SIP over UDP"), "");
    EXPECT_NE(phone.LogLines("Connecting by the tunnel"), "");
    EXPECT_FALSE(cli.Seen("MESSAGE \"Unable to sign in")) << cli.Transcript();
    EXPECT_NE(tunnel.Log().find("1001"), std::string::npos) << tunnel.Log();
    ASSERT_NO_FATAL_FAILURE(EchoCall(phone, false));
    EXPECT_TRUE(Remembers(phone, 2));
}

TEST(PhoneAutoConnection, RemembersTheWayThatSignedInAndTriesItFirstAtTheNextStart)
{
    const std::string sip = "127.0.14.10", server = "127.0.14.11", me = "127.0.14.12";
    PhoneUnderTest phone("auto-remember", me, sip, server);
    KamailioPeer kamailio;
    KamailioPeer::Options options;
    options.ip = sip;
    ASSERT_EQ(kamailio.Start(options), "");
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home()), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=auto proxy=0"));
    CliPhone& cli = phone.Cli();

    // The registrar answers: SIP over UDP signs in, and is remembered.
    const Clock::time_point login = Clock::now();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    const double overSip = SecondsSince(login);
    EXPECT_LT(overSip, 1.5);
    EXPECT_EQ(phone.LogLines("Connecting by the tunnel"), "");
    EXPECT_TRUE(Remembers(phone, 1));
    EXPECT_EQ(tunnel.Log().find("1001"), std::string::npos) << tunnel.Log();
    ASSERT_EQ(phone.Stop(), 0);

    // The registrar is gone at the next start: the remembered way first, then the tunnel.
    kamailio.Stop();
    ASSERT_EQ(phone.Start(), "");
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    EXPECT_NE(phone.LogLines("Connection order starts with SIP over UDP (remembered 1)"), "");
    EXPECT_TRUE(Remembers(phone, 2));
    ASSERT_EQ(phone.Stop(), 0);

    // Back again, the registrar is not asked: the tunnel that worked last signs in at once.
    ASSERT_EQ(kamailio.Start(options), "");
    ASSERT_EQ(phone.Start(), "");
    const Clock::time_point again = Clock::now();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    const double byTunnel = SecondsSince(again);
    std::printf("automatic: login -> registered over SIP %.0f ms, by the remembered tunnel %.0f ms\n", overSip * 1000,
                byTunnel * 1000);
    EXPECT_LT(byTunnel, 1.5);
    EXPECT_NE(phone.LogLines("Connection order starts with the tunnel (remembered 2)"), "");
    EXPECT_EQ(Count(phone.LogLines("Connecting by SIP over UDP"), "\n"), 2u) << phone.LogLines("Connecting by");
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1", 5s), "") << cli.Transcript();
    EXPECT_EQ(phone.Stop(), 0);
}

// The tunnel server shuts the door on the address the phone's connections leave from (the
// loopback's own, 127.0.0.1); the HTTP proxy, whose connections leave from another, gets through.
TEST(PhoneAutoConnection, DirectTunnelRefusedSignsInThroughTheProxy)
{
    const std::string sip = "127.0.14.20", server = "127.0.14.21", me = "127.0.14.22", proxyIp = "127.0.14.23",
                      proxyOut = "127.0.14.24";
    PhoneUnderTest phone("auto-proxy", me, sip, server);
    TunnelServer tunnel;
    ASSERT_EQ(tunnel.Start(server, phone.Home(), "127.0.0.1"), "");
    zelora::test::PeerProcess proxy;
    ASSERT_EQ(StartTinyproxy(proxy, proxyIp, phone.Home(), proxyOut), "");
    ASSERT_NO_FATAL_FAILURE(UseTunnel(phone, "tunnel=auto proxy=1 host=" + proxyIp + " port=8888"));
    CliPhone& cli = phone.Cli();

    cli.Send("login 1001 pw1001");
    ASSERT_NE(cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 20s), "") << cli.Transcript();
    EXPECT_NE(phone.LogLines("Connecting by the tunnel through the HTTP proxy"), "");
    EXPECT_NE(tunnel.Log().find("its address is blocked"), std::string::npos) << tunnel.Log();
    EXPECT_NE(tunnel.Log().find("connected from " + proxyOut), std::string::npos) << tunnel.Log();
    EXPECT_NE(zelora::test::ReadFile(phone.Home() + "/tinyproxy.log").find("CONNECT " + server + ":443"),
              std::string::npos);
    EXPECT_TRUE(Remembers(phone, 3));
    EXPECT_EQ(phone.Stop(), 0);
}

} // namespace
