#include <gtest/gtest.h>

#include <cstring>

#include "ScriptedPeer.h"
#include "SipMessageBuilder.h"

using namespace std::chrono_literals;
using siptest::AgentFixture;
using siptest::MakeResponse;
using siptest::Received;
using siptest::ScriptedPeer;

namespace {

const char* kAnswerSdp =
    "v=0\r\no=- 2 2 IN IP4 127.0.1.9\r\ns=-\r\nc=IN IP4 127.0.1.9\r\nt=0 0\r\nm=audio 5004 RTP/AVP 8\r\n";

int Call(const std::string& peerIp, const char* subject = "zelora-test/1.0")
{
    const std::string to = "sip:1002@" + peerIp + ":5060";
    const std::string from = "sip:1001@" + peerIp + ":5060";
    eXosip_lock();
    osip_message_t* invite = nullptr;
    int rc = eXosip_call_build_initial_invite(&invite, to.c_str(), from.c_str(), nullptr, subject);
    EXPECT_EQ(rc, 0);
    int cid = -1;
    if (rc == 0) {
        const char* offer = "v=0\r\nm=audio 4000 RTP/AVP 0\r\n";
        osip_message_set_body(invite, offer, std::strlen(offer));
        osip_message_set_content_type(invite, "application/sdp");
        cid = eXosip_call_send_initial_invite(invite);
    }
    eXosip_unlock();
    return cid;
}

} // namespace

TEST(SipUaOutgoing, ProceedingRinging183AnsweredAckAndBye)
{
    const std::string ip = "127.0.1.130";
    ScriptedPeer peer("127.0.1.131");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    const int cid = Call(peer.Ip());
    ASSERT_GT(cid, 0);
    auto invite = peer.Next(3s, "INVITE");
    ASSERT_TRUE(invite.has_value());
    EXPECT_EQ(invite->CSeq(), 20);
    EXPECT_EQ(invite->Header("Expires"), "120");
    EXPECT_EQ(invite->Header("Subject"), "zelora-test/1.0");
    EXPECT_NE(invite->Header("Contact").find("sip:1001@127.0.1.130:5060"), std::string::npos);
    EXPECT_EQ(invite->Header("Content-Type"), "application/sdp");
    EXPECT_FALSE(invite->FromTag().empty());

    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, 0), -1); // no answer yet: nothing can be sent
    eXosip_unlock();

    peer.Send(MakeResponse(*invite, 100, "Trying", ""), ip, 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_CALL_PROCEEDING, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    EXPECT_EQ(ev->did, 0);
    eXosip_event_free(ev);

    const std::string rr = "Record-Route: <sip:127.0.1.132;lr>\r\nRecord-Route: <sip:127.0.1.131;lr>\r\n";
    const std::string contact = "Contact: <sip:1002@127.0.1.133:5070>\r\n";
    peer.Send(MakeResponse(*invite, 183, "Session Progress", "callee1",
                           rr + contact + "Content-Type: application/sdp\r\n", kAnswerSdp),
              ip, 5060);
    ev = agent.WaitEvent(EXOSIP_CALL_RINGING, 3s); // a 183 is reported as ringing
    ASSERT_NE(ev, nullptr);
    EXPECT_GT(ev->did, 0);
    EXPECT_EQ(ev->response->status_code, 183);
    const int did = ev->did;
    eXosip_event_free(ev);
    eXosip_lock();
    sdp_message_t* sdp = eXosip_get_remote_sdp(did);
    eXosip_unlock();
    ASSERT_NE(sdp, nullptr);
    ASSERT_NE(eXosip_get_audio_media(sdp), nullptr);
    EXPECT_STREQ(eXosip_get_audio_media(sdp)->m_port, "5004");
    sdp_message_free(sdp);

    const std::string ok =
        MakeResponse(*invite, 200, "OK", "callee1", rr + contact + "Content-Type: application/sdp\r\n", kAnswerSdp);
    peer.Send(ok, ip, 5060);
    ev = agent.WaitEvent(EXOSIP_CALL_ANSWERED, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->did, did);
    eXosip_event_free(ev);
    eXosip_lock();
    osip_message_t* ack = nullptr;
    ASSERT_EQ(eXosip_call_build_ack(did, &ack), 0);
    ASSERT_EQ(eXosip_call_send_ack(did, ack), 0);
    eXosip_unlock();
    auto ackSeen = peer.Next(3s, "ACK");
    ASSERT_TRUE(ackSeen.has_value());
    EXPECT_EQ(ackSeen->Header("CSeq"), "20 ACK");
    EXPECT_EQ(ackSeen->ToTag(), "callee1");
    EXPECT_NE(ackSeen->text.find("ACK sip:1002@127.0.1.133:5070 SIP/2.0"), std::string::npos) << ackSeen->text;
    // Route set is the Record-Route reversed on the caller's side.
    const size_t first = ackSeen->text.find("Route: <sip:127.0.1.131;lr>");
    const size_t second = ackSeen->text.find("Route: <sip:127.0.1.132;lr>");
    ASSERT_NE(first, std::string::npos) << ackSeen->text;
    ASSERT_NE(second, std::string::npos) << ackSeen->text;
    EXPECT_LT(first, second);
    EXPECT_NE(ackSeen->Branch(), invite->Branch());

    // The 2xx again: our stored ACK answers it.
    peer.Send(ok, ip, 5060);
    auto ackAgain = peer.Next(3s, "ACK");
    ASSERT_TRUE(ackAgain.has_value());
    EXPECT_EQ(ackAgain->Header("CSeq"), "20 ACK");

    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, did), 0);
    eXosip_unlock();
    auto bye = peer.Next(3s, "BYE");
    ASSERT_TRUE(bye.has_value());
    EXPECT_EQ(bye->CSeq(), 21);
    EXPECT_EQ(bye->CallId(), invite->CallId());
    EXPECT_EQ(bye->FromTag(), invite->FromTag());
    EXPECT_EQ(bye->ToTag(), "callee1");
    peer.Send(MakeResponse(*bye, 200, "OK", ""), ip, 5060);
    // No event for the 200 of our BYE; the call is released once its transactions end (Timer K).
    ev = agent.WaitEvent(EXOSIP_CALL_RELEASED, 8s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    eXosip_event_free(ev);
}

TEST(SipUaOutgoing, ProxyChallengeIsAcknowledgedAndRetried)
{
    const std::string ip = "127.0.1.134";
    ScriptedPeer peer("127.0.1.135");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    eXosip_lock();
    eXosip_add_authentication_info("Me", "1001", "pw1001", nullptr, "127.0.1.135");
    eXosip_unlock();
    const int cid = Call(peer.Ip());
    ASSERT_GT(cid, 0);
    auto invite = peer.Next(3s, "INVITE");
    ASSERT_TRUE(invite.has_value());
    peer.Send(MakeResponse(*invite, 407, "Proxy Authentication Required", "px",
                           "Proxy-Authenticate: Digest realm=\"127.0.1.135\", nonce=\"pn\", qop=\"auth\"\r\n"),
              ip, 5060);
    // The transaction acknowledges a failure itself, on the INVITE's branch.
    auto ack = peer.Next(3s, "ACK");
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->Branch(), invite->Branch());
    EXPECT_EQ(ack->Header("CSeq"), "20 ACK");
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_CALL_REQUESTFAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), 0);
    eXosip_unlock();
    eXosip_event_free(ev);
    auto retry = peer.Next(3s, "INVITE");
    ASSERT_TRUE(retry.has_value());
    EXPECT_EQ(retry->CSeq(), 21);
    EXPECT_EQ(retry->CallId(), invite->CallId());
    EXPECT_EQ(retry->FromTag(), invite->FromTag());
    EXPECT_NE(retry->Branch(), invite->Branch());
    const std::string pa = retry->Header("Proxy-Authorization");
    EXPECT_NE(pa.find("qop=auth"), std::string::npos) << pa;
    EXPECT_NE(pa.find("uri=\"sip:1002@127.0.1.135:5060\""), std::string::npos) << pa;
    EXPECT_NE(pa.find("username=\"1001\""), std::string::npos) << pa;

    // Ringing, then our hang-up cancels on the INVITE's branch.
    peer.Send(MakeResponse(*retry, 180, "Ringing", "r1"), ip, 5060);
    ev = agent.WaitEvent(EXOSIP_CALL_RINGING, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_event_free(ev);
    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, 0), 0);
    eXosip_unlock();
    auto cancel = peer.Next(3s, "CANCEL");
    ASSERT_TRUE(cancel.has_value());
    EXPECT_EQ(cancel->Branch(), retry->Branch());
    EXPECT_EQ(cancel->Header("CSeq"), "21 CANCEL");
    EXPECT_TRUE(cancel->ToTag().empty());
    peer.Send(MakeResponse(*cancel, 200, "OK", "r1"), ip, 5060);
    peer.Send(MakeResponse(*retry, 487, "Request Terminated", "r1"), ip, 5060);
    ev = agent.WaitEvent(EXOSIP_CALL_REQUESTFAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->response->status_code, 487);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), 1);
    eXosip_unlock();
    eXosip_event_free(ev);
    EXPECT_TRUE(peer.Next(3s, "ACK").has_value());
}

TEST(SipUaOutgoing, FarEndHangsUpAnAnsweredCall)
{
    const std::string ip = "127.0.1.140";
    ScriptedPeer peer("127.0.1.141");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    const int cid = Call(peer.Ip());
    ASSERT_GT(cid, 0);
    auto invite = peer.Next(3s, "INVITE");
    ASSERT_TRUE(invite.has_value());
    peer.Send(MakeResponse(*invite, 200, "OK", "far", "Contact: <sip:1002@127.0.1.141:5060>\r\n"), ip, 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_CALL_ANSWERED, 3s);
    ASSERT_NE(ev, nullptr);
    const int did = ev->did;
    eXosip_event_free(ev);
    eXosip_lock();
    osip_message_t* ack = nullptr;
    ASSERT_EQ(eXosip_call_build_ack(did, &ack), 0);
    ASSERT_EQ(eXosip_call_send_ack(did, ack), 0);
    eXosip_unlock();
    auto ackSeen = peer.Next(3s, "ACK");
    ASSERT_TRUE(ackSeen.has_value());
    EXPECT_TRUE(ackSeen->Header("Route").empty()); // no Record-Route: straight to the Contact

    // The callee's BYE: From carries its tag, To ours.
    const std::string bye = zelora::test::SipMessageBuilder::Request("BYE", "sip:1001@" + ip + ":5060")
                                .Header("Via", "SIP/2.0/UDP 127.0.1.141:5060;branch=z9hG4bKfarbye")
                                .Header("From", "<sip:1002@127.0.1.141:5060>;tag=far")
                                .Header("To", invite->Header("From"))
                                .Header("Call-ID", invite->CallId())
                                .Header("CSeq", "1 BYE")
                                .Text();
    peer.Send(bye, ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "200/BYE").has_value());
    ev = agent.WaitEvent(EXOSIP_CALL_CLOSED, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    EXPECT_EQ(ev->did, did);
    eXosip_event_free(ev);
    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, did), -1); // already over
    eXosip_unlock();
}

TEST(SipUaOutgoing, AnswerCrossingOurCancelIsAcknowledgedAndEnded)
{
    const std::string ip = "127.0.1.142";
    ScriptedPeer peer("127.0.1.143");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    const int cid = Call(peer.Ip());
    ASSERT_GT(cid, 0);
    auto invite = peer.Next(3s, "INVITE");
    ASSERT_TRUE(invite.has_value());
    peer.Send(MakeResponse(*invite, 180, "Ringing", "x1"), ip, 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_CALL_RINGING, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_event_free(ev);
    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, 0), 0);
    EXPECT_EQ(eXosip_call_terminate(cid, 0), -1); // one CANCEL is enough
    eXosip_unlock();
    auto cancel = peer.Next(3s, "CANCEL");
    ASSERT_TRUE(cancel.has_value());
    peer.Send(MakeResponse(*cancel, 200, "OK", "x1"), ip, 5060);
    // The callee had already answered.
    peer.Send(MakeResponse(*invite, 200, "OK", "x1", "Contact: <sip:1002@127.0.1.143:5060>\r\n"), ip, 5060);
    auto ack = peer.Next(3s, "ACK");
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->Header("CSeq"), "20 ACK");
    EXPECT_EQ(ack->ToTag(), "x1");
    auto bye = peer.Next(3s, "BYE");
    ASSERT_TRUE(bye.has_value());
    EXPECT_EQ(bye->CallId(), invite->CallId());
    EXPECT_EQ(bye->ToTag(), "x1");
    EXPECT_EQ(bye->CSeq(), 21);
}

TEST(SipUaOutgoing, MessageOutsideACall)
{
    const std::string ip = "127.0.1.136";
    ScriptedPeer peer("127.0.1.137");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    const std::string uri = "sip:1001@" + peer.Ip() + ":5060";
    eXosip_lock();
    osip_message_t* msg = nullptr;
    EXPECT_EQ(eXosip_message_build_request(&msg, "", uri.c_str(), uri.c_str(), nullptr), -1);
    ASSERT_EQ(eXosip_message_build_request(&msg, "MESSAGE", uri.c_str(), uri.c_str(), nullptr), 0);
    EXPECT_EQ(eXosip_message_send_request(msg), 0);
    eXosip_unlock();
    auto seen = peer.Next(3s, "MESSAGE");
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->CSeq(), 20);
    EXPECT_TRUE(seen->Header("Contact").empty());
    EXPECT_EQ(seen->Header("Content-Length"), "0");
    EXPECT_NE(seen->text.find("MESSAGE " + uri + " SIP/2.0"), std::string::npos);
    peer.Send(MakeResponse(*seen, 404, "Not Found", "m"), ip, 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_MESSAGE_REQUESTFAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_GT(ev->tid, 0);
    eXosip_event_free(ev);
}

TEST(SipUaOutgoing, BuildRefusals)
{
    const std::string ip = "127.0.1.138";
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    eXosip_lock();
    osip_message_t* msg = nullptr;
    EXPECT_EQ(eXosip_call_build_initial_invite(&msg, "", "sip:a@b", nullptr, nullptr), -1);
    EXPECT_EQ(eXosip_call_build_initial_invite(&msg, "not a uri", "sip:a@b", nullptr, nullptr), -1);
    EXPECT_EQ(msg, nullptr);
    EXPECT_EQ(eXosip_call_build_ack(12345, &msg), -1);
    EXPECT_EQ(eXosip_call_build_answer(12345, 200, &msg), -1);
    EXPECT_EQ(eXosip_call_send_answer(12345, 200, nullptr), -1);
    EXPECT_EQ(eXosip_call_terminate(12345, 0), -1);
    EXPECT_EQ(eXosip_get_remote_sdp(12345), nullptr);
    EXPECT_EQ(eXosip_call_send_initial_invite(nullptr), -1);
    eXosip_unlock();
}
