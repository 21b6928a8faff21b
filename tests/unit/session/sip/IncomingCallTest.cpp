#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include "ScriptedPeer.h"
#include "SipMessageBuilder.h"

using namespace std::chrono_literals;
using siptest::AgentFixture;
using siptest::Received;
using siptest::ScriptedPeer;

namespace {

using zelora::test::SipMessageBuilder;

const char* kSdp =
    "v=0\r\no=- 1 1 IN IP4 127.0.1.1\r\ns=-\r\nc=IN IP4 127.0.1.1\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0 8\r\n"
    "a=rtpmap:0 PCMU/8000\r\n";

struct Dialog {
    std::string callId = "c" + std::to_string(::getpid()) + "@peer";
    std::string fromTag = "ft1";
    std::string branch = "z9hG4bKinv1";
    std::string toTag; // ours, learnt from the first tagged response
};

std::string Invite(const ScriptedPeer& peer, const std::string& agentIp, const Dialog& d, int cseq = 1,
                   bool withToTag = false, const std::string& branch = {})
{
    std::string to = "<sip:1001@" + agentIp + ">" + (withToTag ? ";tag=" + d.toTag : "");
    return SipMessageBuilder::Request("INVITE", "sip:1001@" + agentIp + ":5060")
        .Header("Via", "SIP/2.0/UDP " + peer.Ip() + ":5060;branch=" + (branch.empty() ? d.branch : branch) + ";rport")
        .Header("Record-Route", "<sip:" + peer.Ip() + ";lr>")
        .Header("From", "\"Caller\" <sip:2002@" + peer.Ip() + ">;tag=" + d.fromTag)
        .Header("To", to)
        .Header("Call-ID", d.callId)
        .Header("CSeq", std::to_string(cseq) + " INVITE")
        .Header("Contact", "<sip:2002@" + peer.Ip() + ":5060>")
        .Header("Max-Forwards", "70")
        .Body("application/sdp", kSdp)
        .Text();
}

std::string InDialog(const std::string& method, const ScriptedPeer& peer, const std::string& agentIp, const Dialog& d,
                     int cseq, const std::string& branch, const std::string& body = {},
                     const std::string& contentType = {})
{
    return SipMessageBuilder::Request(method, "sip:1001@" + agentIp + ":5060")
        .Header("Via", "SIP/2.0/UDP " + peer.Ip() + ":5060;branch=" + branch)
        .Header("From", "<sip:2002@" + peer.Ip() + ">;tag=" + d.fromTag)
        .Header("To", "<sip:1001@" + agentIp + ">;tag=" + d.toTag)
        .Header("Call-ID", d.callId)
        .Header("CSeq", std::to_string(cseq) + " " + method)
        .Header("Max-Forwards", "70")
        .Body(contentType, body)
        .Text();
}

std::string Cancel(const ScriptedPeer& peer, const std::string& agentIp, const Dialog& d)
{
    return SipMessageBuilder::Request("CANCEL", "sip:1001@" + agentIp + ":5060")
        .Header("Via", "SIP/2.0/UDP " + peer.Ip() + ":5060;branch=" + d.branch + ";rport")
        .Header("From", "\"Caller\" <sip:2002@" + peer.Ip() + ">;tag=" + d.fromTag)
        .Header("To", "<sip:1001@" + agentIp + ">")
        .Header("Call-ID", d.callId)
        .Header("CSeq", "1 CANCEL")
        .Header("Max-Forwards", "70")
        .Text();
}

// Delivers an INVITE and returns the CALL_INVITE event (caller frees).
eXosip_event_t* Offer(ScriptedPeer& peer, AgentFixture& agent, const std::string& agentIp, Dialog& d)
{
    peer.Send(Invite(peer, agentIp, d), agentIp, 5060);
    auto trying = peer.Next(3s, "100");
    EXPECT_TRUE(trying.has_value());
    if (trying) {
        EXPECT_TRUE(trying->ToTag().empty()) << trying->text;
        EXPECT_EQ(trying->Branch(), d.branch);
    }
    return agent.WaitEvent(EXOSIP_CALL_INVITE, 3s);
}

int Answer(int tid, int status, const char* body = nullptr)
{
    eXosip_lock();
    osip_message_t* answer = nullptr;
    int rc = eXosip_call_build_answer(tid, status, &answer);
    if (rc == 0) {
        if (body != nullptr) {
            osip_message_set_body(answer, body, std::strlen(body));
            osip_message_set_content_type(answer, "application/sdp");
        }
        rc = eXosip_call_send_answer(tid, status, answer);
    }
    eXosip_unlock();
    return rc;
}

} // namespace

TEST(SipUaIncoming, InviteRingAnswerRetransmitUntilAck)
{
    const std::string ip = "127.0.1.110";
    ScriptedPeer peer("127.0.1.111");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    Dialog d;
    eXosip_event_t* ev = Offer(peer, agent, ip, d);
    ASSERT_NE(ev, nullptr);
    EXPECT_GT(ev->cid, 0);
    EXPECT_GT(ev->did, 0);
    EXPECT_GT(ev->tid, 0);
    ASSERT_NE(ev->request, nullptr);
    ASSERT_NE(ev->response, nullptr);
    EXPECT_EQ(ev->response->status_code, 100);
    const int tid = ev->tid, cid = ev->cid, did = ev->did;
    eXosip_lock();
    sdp_message_t* sdp = eXosip_get_remote_sdp(did);
    eXosip_unlock();
    ASSERT_NE(sdp, nullptr);
    sdp_media_t* audio = eXosip_get_audio_media(sdp);
    ASSERT_NE(audio, nullptr);
    EXPECT_STREQ(audio->m_port, "4000");
    sdp_message_free(sdp);
    eXosip_event_free(ev);

    ASSERT_EQ(Answer(tid, 180), 0);
    auto ringing = peer.Next(3s, "180");
    ASSERT_TRUE(ringing.has_value());
    d.toTag = ringing->ToTag();
    EXPECT_FALSE(d.toTag.empty());
    EXPECT_NE(ringing->Header("Contact").find("127.0.1.110:5060"), std::string::npos);
    EXPECT_NE(ringing->Header("Record-Route").find(peer.Ip()), std::string::npos);
    EXPECT_EQ(ringing->Header("User-Agent"), "zelora-test/1.0");

    ASSERT_EQ(Answer(tid, 200, "v=0\r\n"), 0);
    auto ok = peer.Next(3s, "200");
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(ok->ToTag(), d.toTag);
    EXPECT_EQ(ok->Header("Content-Length"), "5");
    // A final answer cannot be given twice.
    EXPECT_EQ(Answer(tid, 486), -1);
    // Unacknowledged: resent after 0.5 s and 1.5 s (T1 doubling).
    EXPECT_GE(peer.CountFor(1800ms, "200"), 2);

    // A retransmitted INVITE is absorbed: the 200 comes again, never a second call.
    peer.Send(Invite(peer, ip, d), ip, 5060);
    EXPECT_TRUE(peer.Next(2s, "200").has_value());

    peer.Send(InDialog("ACK", peer, ip, d, 1, "z9hG4bKack1"), ip, 5060);
    ev = agent.WaitEvent(EXOSIP_CALL_ACK, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    EXPECT_EQ(ev->did, did);
    EXPECT_NE(ev->ack, nullptr);
    eXosip_event_free(ev);
    EXPECT_EQ(peer.CountFor(2500ms, "200"), 0);
    for (int type : agent.DrainEvents(200ms))
        EXPECT_NE(type, EXOSIP_CALL_INVITE);
}

TEST(SipUaIncoming, CancelGets200AndInvite487)
{
    const std::string ip = "127.0.1.112";
    ScriptedPeer peer("127.0.1.113");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    Dialog d;
    eXosip_event_t* ev = Offer(peer, agent, ip, d);
    ASSERT_NE(ev, nullptr);
    const int tid = ev->tid, cid = ev->cid;
    eXosip_event_free(ev);
    ASSERT_EQ(Answer(tid, 180), 0);
    auto ringing = peer.Next(3s, "180");
    ASSERT_TRUE(ringing.has_value());

    peer.Send(Cancel(peer, ip, d), ip, 5060);
    auto cancelOk = peer.Next(3s, "200/CANCEL");
    ASSERT_TRUE(cancelOk.has_value());
    auto terminated = peer.Next(3s, "487");
    ASSERT_TRUE(terminated.has_value());
    EXPECT_EQ(terminated->ToTag(), ringing->ToTag());
    EXPECT_EQ(terminated->Header("CSeq"), "1 INVITE");
    ev = agent.WaitEvent(EXOSIP_CALL_CLOSED, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    ASSERT_NE(ev->response, nullptr);
    EXPECT_EQ(ev->response->status_code, 487);
    eXosip_event_free(ev);
    // Too late to answer now.
    EXPECT_EQ(Answer(tid, 200, "v=0\r\n"), -1);

    // A CANCEL for nothing we know.
    Dialog other;
    other.callId = "unknown@peer";
    other.branch = "z9hG4bKnothing";
    peer.Send(Cancel(peer, ip, other), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "481").has_value());
}

TEST(SipUaIncoming, ByeInfoReinviteAndOptionsInDialog)
{
    const std::string ip = "127.0.1.114";
    ScriptedPeer peer("127.0.1.115");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    Dialog d;
    eXosip_event_t* ev = Offer(peer, agent, ip, d);
    ASSERT_NE(ev, nullptr);
    const int tid = ev->tid, cid = ev->cid, did = ev->did;
    eXosip_event_free(ev);
    ASSERT_EQ(Answer(tid, 200, "v=0\r\n"), 0);
    auto ok = peer.Next(3s, "200");
    ASSERT_TRUE(ok.has_value());
    d.toTag = ok->ToTag();
    peer.Send(InDialog("ACK", peer, ip, d, 1, "z9hG4bKa"), ip, 5060);
    ev = agent.WaitEvent(EXOSIP_CALL_ACK, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_event_free(ev);

    // INFO is handed to the application, which answers it.
    peer.Send(InDialog("INFO", peer, ip, d, 2, "z9hG4bKinfo", "Signal=5\r\nDuration=160\r\n", "application/dtmf-relay"),
              ip, 5060);
    ev = agent.WaitEvent(EXOSIP_CALL_MESSAGE_NEW, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    EXPECT_EQ(ev->did, did);
    ASSERT_NE(ev->request, nullptr);
    EXPECT_STREQ(ev->request->sip_method, "INFO");
    osip_body_t* body = nullptr;
    osip_message_get_body(ev->request, 0, &body);
    ASSERT_NE(body, nullptr);
    EXPECT_NE(std::string(body->body).find("Signal=5"), std::string::npos);
    ASSERT_EQ(Answer(ev->tid, 200), 0);
    eXosip_event_free(ev);
    auto infoOk = peer.Next(3s, "200/INFO");
    ASSERT_TRUE(infoOk.has_value());
    EXPECT_EQ(infoOk->ToTag(), d.toTag);

    // OPTIONS inside the call is answered by the layer.
    peer.Send(InDialog("OPTIONS", peer, ip, d, 3, "z9hG4bKopt"), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "200/OPTIONS").has_value());

    // re-INVITE: 100 and an event; the application refuses it.
    peer.Send(Invite(peer, ip, d, 4, true, "z9hG4bKre"), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "100").has_value());
    ev = agent.WaitEvent(EXOSIP_CALL_REINVITE, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    ASSERT_EQ(Answer(ev->tid, 488), 0);
    eXosip_event_free(ev);
    auto refused = peer.Next(3s, "488");
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->ToTag(), d.toTag);

    // BYE: 200, then the request and the close are reported.
    peer.Send(InDialog("BYE", peer, ip, d, 5, "z9hG4bKbye"), ip, 5060);
    auto byeOk = peer.Next(3s, "200/BYE");
    ASSERT_TRUE(byeOk.has_value());
    EXPECT_EQ(byeOk->ToTag(), d.toTag);
    ev = agent.WaitEvent(EXOSIP_CALL_CLOSED, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->cid, cid);
    eXosip_event_free(ev);
    // The retransmitted BYE gets the same 200 from its transaction.
    peer.Send(InDialog("BYE", peer, ip, d, 5, "z9hG4bKbye"), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "200/BYE").has_value());
    // The dialog is gone: another in-dialog request finds nothing.
    peer.Send(InDialog("INFO", peer, ip, d, 6, "z9hG4bKlate"), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "481").has_value());
}

TEST(SipUaIncoming, OutOfDialogRequests)
{
    const std::string ip = "127.0.1.116";
    ScriptedPeer peer("127.0.1.117");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    auto request = [&](const std::string& method, const std::string& branch) {
        return SipMessageBuilder::Request(method, "sip:1001@" + ip)
            .Header("Via", "SIP/2.0/UDP " + peer.Ip() + ":5060;branch=" + branch)
            .Header("From", "<sip:2002@" + peer.Ip() + ">;tag=x")
            .Header("To", "<sip:1001@" + ip + ">")
            .Header("Call-ID", branch + "@peer")
            .Header("CSeq", "7 " + method)
            .Header("Max-Forwards", "70")
            .Text();
    };
    peer.Send(request("OPTIONS", "z9hG4bKo1"), ip, 5060);
    auto options = peer.Next(3s, "200/OPTIONS");
    ASSERT_TRUE(options.has_value());
    EXPECT_FALSE(options->ToTag().empty());
    EXPECT_EQ(options->Header("CSeq"), "7 OPTIONS");
    peer.Send(request("MESSAGE", "z9hG4bKm1"), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "200/MESSAGE").has_value());
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_MESSAGE_NEW, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_event_free(ev);
    peer.Send(request("BYE", "z9hG4bKb1"), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "481").has_value());
    peer.Send(request("FROBNICATE", "z9hG4bKf1"), ip, 5060);
    EXPECT_TRUE(peer.Next(3s, "501").has_value());
    // An ACK that matches nothing is dropped silently.
    peer.Send(request("ACK", "z9hG4bKa1"), ip, 5060);
    EXPECT_FALSE(peer.Next(500ms).has_value());
}

TEST(SipUaIncoming, RejectAndTerminateBeforeAnswer)
{
    const std::string ip = "127.0.1.118";
    ScriptedPeer peer("127.0.1.119");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    Dialog d;
    eXosip_event_t* ev = Offer(peer, agent, ip, d);
    ASSERT_NE(ev, nullptr);
    const int cid = ev->cid, did = ev->did;
    eXosip_event_free(ev);
    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, did), 0);
    eXosip_unlock();
    auto declined = peer.Next(3s, "603");
    ASSERT_TRUE(declined.has_value());
    EXPECT_FALSE(declined->ToTag().empty());
    ev = agent.WaitEvent(EXOSIP_CALL_CLOSED, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_event_free(ev);
    // The transaction resends the 603 until it is acknowledged.
    EXPECT_TRUE(peer.Next(2s, "603").has_value());
    Received& r = *declined;
    std::string ack = SipMessageBuilder::Request("ACK", "sip:1001@" + ip + ":5060")
                          .Header("Via", "SIP/2.0/UDP " + peer.Ip() + ":5060;branch=" + d.branch)
                          .Header("From", r.Header("From"))
                          .Header("To", r.Header("To"))
                          .Header("Call-ID", d.callId)
                          .Header("CSeq", "1 ACK")
                          .Text();
    peer.Send(ack, ip, 5060);
    EXPECT_EQ(peer.CountFor(2500ms, "603"), 0);
    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, did), -1); // nothing left to end
    eXosip_unlock();
}
