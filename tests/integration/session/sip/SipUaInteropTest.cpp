#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BaresipPeer.h"
#include "KamailioPeer.h"
#include "session/sip/eXosip.h"

using namespace std::chrono_literals;
using zelora::test::BaresipPeer;
using zelora::test::KamailioPeer;

namespace {

class Agent {
public:
    explicit Agent(const std::string& ip)
    {
        setenv("ZELORA_LOCAL_ADDRESS", ip.c_str(), 1);
        m_ok = eXosip_init() == 0 && eXosip_listen_addr(IPPROTO_UDP, nullptr, 5060, AF_INET, 0) == 0;
        eXosip_set_user_agent("zelora-interop");
    }
    ~Agent()
    {
        eXosip_quit();
        unsetenv("ZELORA_LOCAL_ADDRESS");
    }
    bool Ok() const { return m_ok; }

    // Runs default action on challenges like the stack does; returns the first event of `type`.
    eXosip_event_t* Until(int type, std::chrono::milliseconds timeout, std::vector<int>* seen = nullptr)
    {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            eXosip_event_t* ev = eXosip_event_wait(0, 100);
            if (ev == nullptr)
                continue;
            if (seen != nullptr)
                seen->push_back(ev->type);
            if (ev->type == type)
                return ev;
            if (ev->type == EXOSIP_REGISTRATION_FAILURE || ev->type == EXOSIP_CALL_REQUESTFAILURE) {
                eXosip_lock();
                m_lastDefault = eXosip_default_action(ev);
                eXosip_unlock();
            }
            eXosip_event_free(ev);
        }
        return nullptr;
    }
    int LastDefault() const { return m_lastDefault; }

private:
    bool m_ok = false;
    int m_lastDefault = 0;
};

int Register(const KamailioPeer& k, const char* user, const char* password, int expires = 600)
{
    const std::string from = "sip:" + std::string(user) + "@" + k.Ip() + ":5060";
    const std::string proxy = "sip:" + k.Ip() + ":5060";
    eXosip_lock();
    eXosip_clear_authentication_info();
    eXosip_add_authentication_info("Display", user, password, nullptr, k.Ip().c_str());
    osip_message_t* reg = nullptr;
    int rid = eXosip_register_build_initial_register(from.c_str(), proxy.c_str(), nullptr, expires, &reg);
    if (rid > 0 && eXosip_register_send_register(rid, reg) != 0)
        rid = -1;
    eXosip_unlock();
    return rid;
}

const char* kOffer = "v=0\r\no=- 1 1 IN IP4 %s\r\ns=-\r\nc=IN IP4 %s\r\nt=0 0\r\nm=audio %d RTP/AVP 0\r\n"
                     "a=rtpmap:0 PCMU/8000\r\n";

std::string Sdp(const std::string& ip, int port)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, kOffer, ip.c_str(), ip.c_str(), port);
    return buf;
}

} // namespace

TEST(SipUaInterop, RegisterWithAndWithoutQopAndWrongPassword)
{
    for (bool qop : {false, true}) {
        SCOPED_TRACE(qop ? "qop=auth" : "no qop");
        KamailioPeer kamailio;
        KamailioPeer::Options options;
        options.ip = qop ? "127.0.1.170" : "127.0.1.171";
        options.qop = qop;
        ASSERT_EQ(kamailio.Start(options), "");
        Agent agent(qop ? "127.0.1.172" : "127.0.1.173");
        ASSERT_TRUE(agent.Ok());
        ASSERT_GT(Register(kamailio, "1001", "pw1001"), 0);
        eXosip_event_t* ev = agent.Until(EXOSIP_REGISTRATION_SUCCESS, 5s);
        ASSERT_NE(ev, nullptr) << kamailio.Log();
        EXPECT_EQ(ev->response->status_code, 200);
        eXosip_event_free(ev);

        // Unregister: one REGISTER with expiry 0, accepted (after a challenge if the registrar wants one).
        eXosip_lock();
        osip_message_t* reg = nullptr;
        const std::string from = "sip:1001@" + kamailio.Ip() + ":5060";
        const std::string proxy = "sip:" + kamailio.Ip() + ":5060";
        int rid = eXosip_register_build_initial_register(from.c_str(), proxy.c_str(), nullptr, 0, &reg);
        ASSERT_GT(rid, 0);
        ASSERT_EQ(eXosip_register_send_register(rid, reg), 0);
        eXosip_unlock();
        ev = agent.Until(EXOSIP_REGISTRATION_SUCCESS, 5s);
        ASSERT_NE(ev, nullptr) << kamailio.Log();
        osip_header_t* expires = nullptr;
        osip_message_get_expires(ev->request, 0, &expires);
        ASSERT_NE(expires, nullptr);
        EXPECT_STREQ(expires->hvalue, "0");
        eXosip_event_free(ev);
    }

    // A wrong password: three answered challenges, then default action gives up.
    KamailioPeer kamailio;
    KamailioPeer::Options options;
    options.ip = "127.0.1.174";
    options.qop = true;
    ASSERT_EQ(kamailio.Start(options), "");
    Agent agent("127.0.1.175");
    ASSERT_TRUE(agent.Ok());
    ASSERT_GT(Register(kamailio, "1001", "not-the-password"), 0);
    std::vector<int> seen;
    EXPECT_EQ(agent.Until(EXOSIP_REGISTRATION_SUCCESS, 4s, &seen), nullptr);
    EXPECT_EQ(agent.LastDefault(), -1);
    int failures = 0;
    for (int t : seen)
        failures += t == EXOSIP_REGISTRATION_FAILURE;
    EXPECT_EQ(failures, 4);
}

TEST(SipUaInterop, CallsBothWaysThroughTheProxy)
{
    KamailioPeer kamailio;
    KamailioPeer::Options options;
    options.ip = "127.0.1.176";
    options.qop = true; // INVITEs are challenged too
    ASSERT_EQ(kamailio.Start(options), "");
    BaresipPeer baresip;
    BaresipPeer::Options bo;
    bo.ip = "127.0.1.177";
    bo.user = "1002";
    bo.password = "pw1002";
    bo.registrar = kamailio.Ip();
    ASSERT_EQ(baresip.Start(bo), "");
    const std::string me = "127.0.1.178";
    Agent agent(me);
    ASSERT_TRUE(agent.Ok());
    ASSERT_GT(Register(kamailio, "1001", "pw1001"), 0);
    eXosip_event_t* ev = agent.Until(EXOSIP_REGISTRATION_SUCCESS, 5s);
    ASSERT_NE(ev, nullptr) << kamailio.Log();
    eXosip_event_free(ev);

    // Ours to baresip: 407 answered, ringing/answer, ACK through the route set, BYE.
    const std::string to = "sip:1002@" + kamailio.Ip() + ":5060";
    const std::string from = "sip:1001@" + kamailio.Ip() + ":5060";
    eXosip_lock();
    osip_message_t* invite = nullptr;
    ASSERT_EQ(eXosip_call_build_initial_invite(&invite, to.c_str(), from.c_str(), nullptr, "interop"), 0);
    const std::string offer = Sdp(me, 40000);
    osip_message_set_body(invite, offer.c_str(), offer.size());
    osip_message_set_content_type(invite, "application/sdp");
    const int cid = eXosip_call_send_initial_invite(invite);
    eXosip_unlock();
    ASSERT_GT(cid, 0);
    std::vector<int> seen;
    ev = agent.Until(EXOSIP_CALL_ANSWERED, 8s, &seen);
    ASSERT_NE(ev, nullptr) << kamailio.Log() << baresip.Log();
    const int did = ev->did;
    eXosip_event_free(ev);
    EXPECT_NE(std::find(seen.begin(), seen.end(), EXOSIP_CALL_REQUESTFAILURE), seen.end()); // the 407
    eXosip_lock();
    sdp_message_t* answer = eXosip_get_remote_sdp(did);
    ASSERT_NE(answer, nullptr);
    sdp_media_t* audio = eXosip_get_audio_media(answer);
    ASSERT_NE(audio, nullptr);
    EXPECT_GE(std::atoi(audio->m_port), 30000);
    sdp_message_free(answer);
    osip_message_t* ack = nullptr;
    ASSERT_EQ(eXosip_call_build_ack(did, &ack), 0);
    ASSERT_EQ(eXosip_call_send_ack(did, ack), 0);
    eXosip_unlock();
    EXPECT_NE(baresip.WaitEvent("CALL_ESTABLISHED", 5s), "") << baresip.Log();
    eXosip_lock();
    EXPECT_EQ(eXosip_call_terminate(cid, did), 0);
    eXosip_unlock();
    EXPECT_NE(baresip.WaitEvent("CALL_CLOSED", 5s), "") << baresip.Log();

    // baresip calls us: 100, our 180 and 200, its ACK, its BYE.
    ASSERT_EQ(baresip.Command("dial", "sip:1001@" + kamailio.Ip()), "");
    ev = agent.Until(EXOSIP_CALL_INVITE, 8s);
    ASSERT_NE(ev, nullptr) << kamailio.Log();
    const int tid = ev->tid;
    const int incoming = ev->cid;
    eXosip_event_free(ev);
    eXosip_lock();
    osip_message_t* ringing = nullptr;
    ASSERT_EQ(eXosip_call_build_answer(tid, 180, &ringing), 0);
    ASSERT_EQ(eXosip_call_send_answer(tid, 180, ringing), 0);
    osip_message_t* ok = nullptr;
    ASSERT_EQ(eXosip_call_build_answer(tid, 200, &ok), 0);
    const std::string mine = Sdp(me, 40002);
    osip_message_set_body(ok, mine.c_str(), mine.size());
    osip_message_set_content_type(ok, "application/sdp");
    ASSERT_EQ(eXosip_call_send_answer(tid, 200, ok), 0);
    eXosip_unlock();
    ev = agent.Until(EXOSIP_CALL_ACK, 5s);
    ASSERT_NE(ev, nullptr) << baresip.Log();
    EXPECT_EQ(ev->cid, incoming);
    eXosip_event_free(ev);
    EXPECT_NE(baresip.WaitEvent("CALL_ESTABLISHED", 5s), "") << baresip.Log();
    ASSERT_EQ(baresip.Command("hangup"), "");
    ev = agent.Until(EXOSIP_CALL_CLOSED, 5s);
    ASSERT_NE(ev, nullptr) << baresip.Log();
    EXPECT_EQ(ev->cid, incoming);
    eXosip_event_free(ev);
}
