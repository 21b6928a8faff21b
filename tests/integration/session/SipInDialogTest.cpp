// Hand-written SIP against the stack: an incoming call, then in-dialog INFO (DTMF), a
// re-INVITE and BYE; offers the stack cannot accept.
#include <gtest/gtest.h>

#include "RawSipPeer.h"
#include "SipMessageBuilder.h"
#include "SipStackHarness.h"

using namespace std::chrono_literals;
using namespace zelora::test;

namespace {

// One dialog as the caller sees it.
struct RawCaller {
    RawSipPeer socket;
    std::string stackIp;
    std::string callId = "raw-call-1";
    std::string fromTag = "caller1";
    std::string toTag;
    std::string target; // request URI for in-dialog requests
    int branch = 0;

    std::string Self() const { return socket.Ip() + ":" + std::to_string(socket.Port()); }

    std::string Request(const std::string& method, int cseq, const std::string& contentType = "",
                        const std::string& body = "", const std::string& viaBranch = "")
    {
        std::string uri = target.empty() ? "sip:1001@" + stackIp + ":5060" : target;
        std::string b = viaBranch.empty() ? "z9hG4bKraw" + std::to_string(++branch) : viaBranch;
        return SipMessageBuilder::Request(method, uri)
            .Header("Via", "SIP/2.0/UDP " + Self() + ";branch=" + b + ";rport")
            .Header("Max-Forwards", "70")
            .Header("From", "<sip:2001@" + socket.Ip() + ">;tag=" + fromTag)
            .Header("To", "<sip:1001@" + stackIp + ">" + (toTag.empty() ? "" : ";tag=" + toTag))
            .Header("Call-ID", callId)
            .Header("CSeq", std::to_string(cseq) + " " + method)
            .Header("Contact", "<sip:2001@" + Self() + ">")
            .Body(contentType, body)
            .Text();
    }

    bool Send(const std::string& message) { return socket.Send(message, stackIp, 5060); }

    // The final (or given) response to the request with this CSeq.
    std::string Response(int status, const std::string& cseq, int timeoutMs = 5000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            std::string m = socket.ReceiveStartingWith("SIP/2.0 ", 200);
            if (!m.empty() && RawSipPeer::Status(m) == status && RawSipPeer::Header(m, "CSeq") == cseq)
                return m;
        }
        return {};
    }
};

std::string Offer(const std::string& ip, const std::string& mediaLines)
{
    return "v=0\r\no=- 7 7 IN IP4 " + ip + "\r\ns=raw\r\n" + (ip.empty() ? "" : "c=IN IP4 " + ip + "\r\n") +
        "t=0 0\r\n" + mediaLines;
}

class SipInDialog : public ::testing::Test {
protected:
    void Start(int slot)
    {
        m_caller.stackIp = SlotAddress(slot, 2);
        ASSERT_EQ(m_caller.socket.Open(SlotAddress(slot, 4), 5060), "");
        m_stack = std::make_unique<StackHarness>(m_caller.stackIp, SlotAddress(slot, 4));
        ASSERT_EQ(m_stack->Init(), 1);
    }

    void TearDown() override
    {
        if (HasFailure() && m_stack != nullptr)
            std::cerr << m_stack->Events().Describe() << "\n";
        m_stack.reset();
    }

    RawCaller m_caller;
    std::unique_ptr<StackHarness> m_stack;
};

TEST_F(SipInDialog, DtmfInfoReinviteAndByeInsideAnAcceptedCall)
{
    Start(11);
    std::string offer = Offer(m_caller.socket.Ip(),
                              "m=audio 30500 RTP/AVP 0 101\r\n"
                              "a=rtpmap:0 PCMU/8000\r\n"
                              "a=rtpmap:101 telephone-event/8000\r\n"
                              "a=fmtp:101 0-15\r\n");
    ASSERT_TRUE(m_caller.Send(m_caller.Request("INVITE", 1, "application/sdp", offer)));
    auto incoming = m_stack->Events().Wait(MXSS_STATUS_INCOMING_CALL, 5s);
    ASSERT_TRUE(incoming.has_value());
    SESSION_EVENT_INFO call = incoming->record;
    EXPECT_STREQ(call.fromUserName, "2001");
    EXPECT_STREQ(call.fromHost, m_caller.socket.Ip().c_str());
    EXPECT_STREQ(call.codecName, "PCMU");
    EXPECT_STREQ(call.rtpPort, "30500");
    EXPECT_EQ(call.telephoneEventIndex, -1) << "our list has no telephone-event";

    ASSERT_EQ(m_stack->Stack().SendRinging(&call), 1);
    EXPECT_FALSE(m_caller.Response(180, "1 INVITE").empty());
    ASSERT_EQ(m_stack->Stack().AcceptIncomingCall(&call, m_caller.stackIp.c_str(), "40000"), 1);
    std::string ok = m_caller.Response(200, "1 INVITE");
    ASSERT_FALSE(ok.empty());
    EXPECT_EQ(RawSipPeer::Header(ok, "Content-Type"), "application/sdp");
    std::string answer = RawSipPeer::Body(ok);
    EXPECT_NE(answer.find("\r\nm=audio 40000 RTP/AVP 0\r\n"), std::string::npos) << "not one payload:\n" << answer;
    EXPECT_NE(answer.find("\r\nc=IN IP4 " + m_caller.stackIp + "\r\n"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("telephone-event"), std::string::npos) << answer;
    m_caller.toTag = RawSipPeer::Tag(RawSipPeer::Header(ok, "To"));
    ASSERT_FALSE(m_caller.toTag.empty());
    std::string contact = RawSipPeer::Header(ok, "Contact");
    m_caller.target = contact.substr(contact.find('<') + 1, contact.find('>') - contact.find('<') - 1);

    ASSERT_TRUE(m_caller.Send(m_caller.Request("ACK", 1)));
    EXPECT_TRUE(m_stack->Events().Wait(MXSS_STATUS_CALL_ACK, 5s).has_value());

    ASSERT_TRUE(m_caller.Send(m_caller.Request("INFO", 2, "application/dtmf-relay", "Signal=#\r\nDuration=160\r\n")));
    EXPECT_FALSE(m_caller.Response(200, "2 INFO").empty());
    auto dtmf = m_stack->Events().Wait(MXSS_STATUS_DTMF, 5s);
    ASSERT_TRUE(dtmf.has_value());
    EXPECT_EQ(dtmf->record.dtmfSignal, 11);
    EXPECT_EQ(dtmf->record.dtmfDuration, 160);
    EXPECT_EQ(dtmf->record.cid, call.cid);

    ASSERT_TRUE(m_caller.Send(m_caller.Request("INFO", 3)));
    EXPECT_FALSE(m_caller.Response(200, "3 INFO").empty()) << "an INFO without body must be answered";
    ASSERT_TRUE(m_caller.Send(m_caller.Request("INFO", 4, "application/dtmf-relay", "Signal=5\r\nDuration=90\r\n")));
    EXPECT_FALSE(m_caller.Response(200, "4 INFO").empty());
    dtmf = m_stack->Events().Wait(MXSS_STATUS_DTMF, 5s);
    ASSERT_TRUE(dtmf.has_value());
    EXPECT_EQ(dtmf->record.dtmfSignal, 5) << "the body-less INFO produced a DTMF";

    std::string reinviteBranch = "z9hG4bKreinvite";
    ASSERT_TRUE(m_caller.Send(m_caller.Request("INVITE", 5, "application/sdp", offer, reinviteBranch)));
    std::string refused = m_caller.Response(488, "5 INVITE");
    EXPECT_FALSE(refused.empty()) << "re-INVITE not refused with 488";
    m_caller.Send(m_caller.Request("ACK", 5, "", "", reinviteBranch));

    ASSERT_TRUE(m_caller.Send(m_caller.Request("BYE", 6)));
    EXPECT_FALSE(m_caller.Response(200, "6 BYE").empty());
    auto closed = m_stack->Events().Wait(MXSS_STATUS_CALL_CLOSED, 5s);
    ASSERT_TRUE(closed.has_value());
    EXPECT_EQ(closed->record.cid, call.cid);
    for (const StackEvent& e : m_stack->Events().All())
        EXPECT_TRUE(e.status < 0 || e.hasRecord) << "call status " << e.status << " without record";
}

TEST_F(SipInDialog, OffersWithoutCommonCodecOrAddressAreRefusedWith488)
{
    Start(12);
    ASSERT_TRUE(m_caller.Send(m_caller.Request("INVITE", 1, "application/sdp",
                                               Offer(m_caller.socket.Ip(), "m=audio 30500 RTP/AVP 3 18\r\n"))));
    EXPECT_FALSE(m_caller.Response(488, "1 INVITE").empty());
    m_caller.Send(m_caller.Request("ACK", 1, "", "", "z9hG4bKraw1"));
    EXPECT_FALSE(m_stack->Events().Wait(MXSS_STATUS_INCOMING_CALL, 1s).has_value());

    m_caller.callId = "raw-call-2";
    m_caller.fromTag = "caller2";
    std::string noAddress = "v=0\r\no=- 7 7 IN IP4 1.2.3.4\r\ns=raw\r\nt=0 0\r\nm=audio 30500 RTP/AVP 0\r\n"
                            "c=IN IP4 " +
        m_caller.socket.Ip() + "\r\n";
    ASSERT_TRUE(m_caller.Send(m_caller.Request("INVITE", 1, "application/sdp", noAddress)));
    EXPECT_FALSE(m_caller.Response(488, "1 INVITE").empty()) << "media-level c= only must be refused";
    EXPECT_FALSE(m_stack->Events().Wait(MXSS_STATUS_INCOMING_CALL, 1s).has_value());

    bool negative = false;
    for (const StackEvent& e : m_stack->Events().All())
        negative = negative || (e.status < 0 && e.hasRecord);
    EXPECT_TRUE(negative) << "a refused offer still reaches the consumer as a negative status";
}

} // namespace

namespace {

// Answers a request received by `socket` with the given status, To tag and body.
std::string ResponseTo(const std::string& request, int status, const std::string& reason, const std::string& toTag,
                       const std::string& contact, const std::string& sdp = "")
{
    std::string m = "SIP/2.0 " + std::to_string(status) + " " + reason + "\r\n";
    m += "Via: " + RawSipPeer::Header(request, "Via") + "\r\n";
    m += "From: " + RawSipPeer::Header(request, "From") + "\r\n";
    m += "To: " + RawSipPeer::Header(request, "To") + (toTag.empty() ? "" : ";tag=" + toTag) + "\r\n";
    m += "Call-ID: " + RawSipPeer::Header(request, "Call-ID") + "\r\n";
    m += "CSeq: " + RawSipPeer::Header(request, "CSeq") + "\r\n";
    if (!contact.empty())
        m += "Contact: <" + contact + ">\r\n";
    if (!sdp.empty())
        m += "Content-Type: application/sdp\r\n";
    m += "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    return m;
}

class SipOutgoing : public ::testing::Test {
protected:
    void Start(int slot)
    {
        m_stackIp = SlotAddress(slot, 2);
        ASSERT_EQ(m_peer.Open(SlotAddress(slot, 4), 5060), "");
        m_stack = std::make_unique<StackHarness>(m_stackIp, m_peer.Ip());
        ASSERT_EQ(m_stack->Init(), 1);
    }

    // Our INVITE as the scripted far end receives it.
    std::string PlaceCall(int& cid)
    {
        cid = m_stack->Stack().Invite("1001", "2001", m_peer.Ip().c_str(), "5060", nullptr, nullptr);
        EXPECT_GT(cid, 0);
        return m_peer.ReceiveStartingWith("INVITE ", 5000);
    }

    void Reply(const std::string& invite, int status, const std::string& reason, const std::string& sdp = "")
    {
        std::string contact = "sip:2001@" + m_peer.Ip() + ":5060";
        m_peer.Send(ResponseTo(invite, status, reason, status == 100 ? "" : "callee1", contact, sdp), m_stackIp, 5060);
    }

    void TearDown() override
    {
        if (HasFailure() && m_stack != nullptr)
            std::cerr << m_stack->Events().Describe() << "\n";
        m_stack.reset();
    }

    std::string m_stackIp;
    RawSipPeer m_peer;
    std::unique_ptr<StackHarness> m_stack;
};

TEST_F(SipOutgoing, OfferEarlyMediaAndAnswerFromAScriptedFarEnd)
{
    Start(13);
    int cid = 0;
    std::string invite = PlaceCall(cid);
    ASSERT_FALSE(invite.empty());
    EXPECT_EQ(RawSipPeer::Header(invite, "Content-Type"), "application/sdp");
    EXPECT_EQ(RawSipPeer::Header(invite, "Subject"), "zeloraTALK test");
    std::string offer = RawSipPeer::Body(invite);
    EXPECT_NE(offer.find("\r\nm=audio 37644 RTP/AVP 102 8 0\r\n"), std::string::npos) << offer;
    EXPECT_NE(offer.find("\r\nc=IN IP4 " + m_stackIp + "\r\n"), std::string::npos) << offer;
    EXPECT_NE(offer.find("\r\ns=zeloraTALK test\r\n"), std::string::npos) << offer;

    Reply(invite, 100, "Trying");
    auto proceeding = m_stack->Events().Wait(MXSS_STATUS_CALL_PROCEEDING, 5s);
    ASSERT_TRUE(proceeding.has_value());
    EXPECT_EQ(proceeding->record.statusCode, 100);

    std::string early = Offer(m_peer.Ip(), "m=audio 31000 RTP/AVP 8\r\n");
    Reply(invite, 183, "Session Progress", early);
    auto ringing = m_stack->Events().Wait(MXSS_STATUS_CALL_RINGING, 5s);
    ASSERT_TRUE(ringing.has_value());
    EXPECT_EQ(ringing->record.statusCode, 183);
    EXPECT_STREQ(ringing->record.codecName, "PCMA");
    EXPECT_STREQ(ringing->record.rtpPort, "31000");
    EXPECT_STREQ(ringing->record.rtpIp, m_peer.Ip().c_str());

    Reply(invite, 200, "OK", Offer(m_peer.Ip(), "m=audio 31002 RTP/AVP 0\r\n"));
    auto answered = m_stack->Events().Wait(MXSS_STATUS_OUTGOING_CALL_ANSWERED, 5s);
    ASSERT_TRUE(answered.has_value());
    EXPECT_EQ(answered->record.cid, cid);
    EXPECT_STREQ(answered->record.codecName, "PCMU");
    EXPECT_EQ(answered->record.selectedCodecIndex, 2);
    EXPECT_STREQ(answered->record.rtpPort, "31002");
    std::string ack = m_peer.ReceiveStartingWith("ACK ", 5000);
    ASSERT_FALSE(ack.empty()) << "the 2xx was not acknowledged";
    EXPECT_EQ(RawSipPeer::Header(ack, "CSeq"), RawSipPeer::Header(invite, "CSeq").substr(0, 3) + "ACK");
}

TEST_F(SipOutgoing, AnswerWithoutCommonCodecIsAcknowledgedThenEnded)
{
    Start(14);
    int cid = 0;
    std::string invite = PlaceCall(cid);
    ASSERT_FALSE(invite.empty());
    Reply(invite, 200, "OK", Offer(m_peer.Ip(), "m=audio 31002 RTP/AVP 3\r\n"));
    ASSERT_FALSE(m_peer.ReceiveStartingWith("ACK ", 5000).empty());
    std::string bye = m_peer.ReceiveStartingWith("BYE ", 5000);
    ASSERT_FALSE(bye.empty()) << "a call we cannot speak was left open";
    m_peer.Send(ResponseTo(bye, 200, "OK", "", ""), m_stackIp, 5060);
    EXPECT_FALSE(m_stack->Events().Wait(MXSS_STATUS_OUTGOING_CALL_ANSWERED, 1s).has_value());
    bool negative = false;
    for (const StackEvent& e : m_stack->Events().All())
        negative = negative || (e.status < 0 && e.record.cid == cid);
    EXPECT_TRUE(negative);
}

} // namespace
