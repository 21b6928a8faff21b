#include <gtest/gtest.h>

#include <cstring>

#include "ScriptedPeer.h"
#include "SipMessageBuilder.h"

using namespace std::chrono_literals;
using siptest::AgentFixture;
using siptest::ScriptedPeer;

// A peer that never answers our REGISTER and never acknowledges our 2xx: both end
// after 64*T1 (32 s), the registration as a failure without response, the call with a BYE.
TEST(SipUaSilentPeer, UnansweredRegisterAndUnacknowledgedAnswerTimeOut)
{
    const std::string ip = "127.0.1.120";
    ScriptedPeer peer("127.0.1.121");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());
    const auto start = std::chrono::steady_clock::now();
    eXosip_lock();
    osip_message_t* reg = nullptr;
    int rid = eXosip_register_build_initial_register("sip:1001@127.0.1.121", "sip:127.0.1.121", nullptr, 60, &reg);
    ASSERT_GT(rid, 0);
    ASSERT_EQ(eXosip_register_send_register(rid, reg), 0);
    eXosip_unlock();

    const std::string sdp = "v=0\r\nc=IN IP4 127.0.1.121\r\nm=audio 4000 RTP/AVP 0\r\n";
    peer.Send(zelora::test::SipMessageBuilder::Request("INVITE", "sip:1001@" + ip)
                  .Header("Via", "SIP/2.0/UDP 127.0.1.121:5060;branch=z9hG4bKsilent")
                  .Header("From", "<sip:2002@127.0.1.121>;tag=s")
                  .Header("To", "<sip:1001@" + ip + ">")
                  .Header("Call-ID", "silent@peer")
                  .Header("CSeq", "1 INVITE")
                  .Header("Contact", "<sip:2002@127.0.1.121>")
                  .Body("application/sdp", sdp)
                  .Text(),
              ip, 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_CALL_INVITE, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_lock();
    osip_message_t* ok = nullptr;
    ASSERT_EQ(eXosip_call_build_answer(ev->tid, 200, &ok), 0);
    osip_message_set_body(ok, "v=0\r\n", 5);
    osip_message_set_content_type(ok, "application/sdp");
    ASSERT_EQ(eXosip_call_send_answer(ev->tid, 200, ok), 0);
    eXosip_unlock();
    eXosip_event_free(ev);

    int registers = 0, answers = 0, byes = 0;
    bool failed = false;
    double failedAt = 0, byeAt = 0;
    while (std::chrono::steady_clock::now() - start < 36s && !(failed && byes > 0)) {
        auto d = peer.Next(50ms);
        const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (d.has_value() && d->Method() == "REGISTER")
            ++registers;
        if (d.has_value() && d->Status() == 200)
            ++answers;
        if (d.has_value() && d->Method() == "BYE" && byes++ == 0)
            byeAt = now;
        while (eXosip_event_t* e = eXosip_event_wait(0, 0)) {
            if (e->type == EXOSIP_REGISTRATION_FAILURE) {
                failed = true;
                failedAt = now;
                EXPECT_EQ(e->rid, rid);
                EXPECT_EQ(e->response, nullptr);
                eXosip_lock();
                EXPECT_EQ(eXosip_default_action(e), -1);
                eXosip_unlock();
            }
            eXosip_event_free(e);
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_NEAR(failedAt, 32.0, 2.0);
    EXPECT_EQ(registers, 11); // 0, 0.5, 1.5, 3.5, 7.5, 11.5 ... 31.5 s
    EXPECT_GE(answers, 8); // the 2xx doubles from T1 up to T2 until ACK or 64*T1
    EXPECT_EQ(byes, 1);
    EXPECT_NEAR(byeAt, 32.0, 2.0);
}
