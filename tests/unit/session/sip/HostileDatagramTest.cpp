#include <gtest/gtest.h>

#include <thread>

#include "ScriptedPeer.h"

using namespace std::chrono_literals;
using siptest::AgentFixture;
using siptest::ScriptedPeer;

namespace {

std::string Headers(const std::string& peerIp, const std::string& agentIp, const std::string& branch)
{
    return "Via: SIP/2.0/UDP " + peerIp + ":5060;branch=" + branch + "\r\nFrom: <sip:2002@" + peerIp +
        ">;tag=h\r\nTo: <sip:1001@" + agentIp + ">\r\nCall-ID: " + branch + "@peer\r\n";
}

} // namespace

TEST(SipUaHostile, MalformedRequestsGet400AndNothingElse)
{
    const std::string ip = "127.0.1.150";
    ScriptedPeer peer("127.0.1.151");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    const std::string line = "INVITE sip:1001@" + ip + " SIP/2.0\r\n";

    // No CSeq.
    peer.Send(line + Headers(peer.Ip(), ip, "z9hG4bKh1") + "Content-Length: 0\r\n\r\n", ip, 5060);
    auto r = peer.Next(3s, "400");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->CallId(), "z9hG4bKh1@peer");

    // Content-Length far beyond the datagram.
    peer.Send(line + Headers(peer.Ip(), ip, "z9hG4bKh2") + "CSeq: 1 INVITE\r\nContent-Length: 1000000\r\n\r\nv=0\r\n",
              ip, 5060);
    r = peer.Next(3s, "400");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->CallId(), "z9hG4bKh2@peer");

    // CSeq naming another method.
    peer.Send(line + Headers(peer.Ip(), ip, "z9hG4bKh3") + "CSeq: 1 BYE\r\nContent-Length: 0\r\n\r\n", ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "400").has_value());

    // Truncated: the blank line never came.
    peer.Send(line + Headers(peer.Ip(), ip, "z9hG4bKh4") + "CSeq: 1 INVITE\r\nContent-Le", ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "400").has_value());

    // Unanswerable ones are dropped.
    peer.Send("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03garbage", ip, 5060);
    peer.Send("\r\n\r\n", ip, 5060);
    peer.Send(line + "CSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n", ip, 5060);
    peer.Send("SIP/2.0 200 OK\r\nCSeq: 1 INVITE\r\n\r\n", ip, 5060);
    peer.Send(std::string(9000, 'A'), ip, 5060);
    peer.Send(line + Headers(peer.Ip(), ip, "z9hG4bKh5") + "CSeq: 99999999999999999999 INVITE\r\n\r\n", ip, 5060);
    auto extra = peer.Next(1500ms);
    if (extra.has_value()) {
        EXPECT_EQ(extra->Status(), 400) << extra->text; // only the absurd CSeq may be answered
    }

    // Still alive and nothing reached the application.
    peer.Send("OPTIONS sip:1001@" + ip + " SIP/2.0\r\n" + Headers(peer.Ip(), ip, "z9hG4bKalive") +
                  "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n",
              ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "200/OPTIONS").has_value());
    EXPECT_TRUE(agent.DrainEvents(300ms).empty());
}

TEST(SipUaHostile, FloodOfMutatedInvitesLeavesTheAgentWorking)
{
    const std::string ip = "127.0.1.152";
    ScriptedPeer peer("127.0.1.153");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    unsigned seed = 12345;
    const std::string base = "INVITE sip:1001@" + ip + " SIP/2.0\r\n" + Headers(peer.Ip(), ip, "z9hG4bKf") +
        "CSeq: 1 INVITE\r\nContent-Type: application/sdp\r\nContent-Length: 10\r\n\r\nv=0\r\nm=au";
    for (int i = 0; i < 300; ++i) {
        std::string mutated = base;
        for (int k = 0; k < 6; ++k) {
            seed = seed * 1103515245u + 12345u;
            mutated[(seed >> 8) % mutated.size()] = static_cast<char>(seed >> 24);
        }
        peer.Send(mutated, ip, 5060);
    }
    std::this_thread::sleep_for(500ms);
    peer.CountFor(500ms, "");
    peer.Send("OPTIONS sip:1001@" + ip + " SIP/2.0\r\n" + Headers(peer.Ip(), ip, "z9hG4bKalive2") +
                  "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n",
              ip, 5060);
    EXPECT_TRUE(peer.Next(5s, "200/OPTIONS").has_value());
}
