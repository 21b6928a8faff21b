#include <gtest/gtest.h>

#include <cstring>

#include "session/sip/CDigestAuth.h"
#include "ScriptedPeer.h"

using namespace std::chrono_literals;
using siptest::AgentFixture;
using siptest::MakeResponse;
using siptest::Received;
using siptest::ScriptedPeer;

namespace {

// Sends a REGISTER for user 1001 at the peer and returns the rid.
int StartRegister(const ScriptedPeer& peer, const char* realm, int expires = 3600)
{
    const std::string from = "sip:1001@" + peer.Ip() + ":5060";
    const std::string proxy = "sip:" + peer.Ip() + ":5060";
    eXosip_lock();
    eXosip_clear_authentication_info();
    EXPECT_EQ(eXosip_add_authentication_info("Display Name", "1001", "pw1001", nullptr, realm), 0);
    osip_message_t* reg = nullptr;
    int rid = eXosip_register_build_initial_register(from.c_str(), proxy.c_str(), nullptr, expires, &reg);
    EXPECT_GT(rid, 0);
    EXPECT_EQ(eXosip_register_send_register(rid, reg), 0);
    eXosip_unlock();
    return rid;
}

std::string Param(const std::string& header, const std::string& name)
{
    size_t pos = header.find(name + "=");
    if (pos == std::string::npos)
        return {};
    pos += name.size() + 1;
    if (header[pos] == '"') {
        size_t end = header.find('"', pos + 1);
        return header.substr(pos + 1, end - pos - 1);
    }
    size_t end = header.find_first_of(", \r", pos);
    return header.substr(pos, end - pos);
}

// Recomputes the digest the registrar would check.
void ExpectValidDigest(const Received& r, const char* password, const std::string& realm, const std::string& nonce)
{
    const std::string auth = r.Header("Authorization");
    ASSERT_FALSE(auth.empty()) << r.text;
    EXPECT_EQ(Param(auth, "username"), "1001");
    EXPECT_EQ(Param(auth, "realm"), realm);
    EXPECT_EQ(Param(auth, "nonce"), nonce);
    const std::string uri = Param(auth, "uri");
    EXPECT_EQ(uri, "sip:" + std::string(r.msg->req_uri->host) + ":5060");
    const std::string ha1 = zelora::CDigestAuth::Ha1("1001", realm, password);
    const std::string qop = Param(auth, "qop");
    const std::string expected =
        zelora::CDigestAuth::Response(ha1, nonce, Param(auth, "nc"), Param(auth, "cnonce"), qop, "REGISTER", uri);
    EXPECT_EQ(Param(auth, "response"), expected) << auth;
}

} // namespace

TEST(SipUaRegister, ChallengeWithoutQopIsAnsweredOnceAndAccepted)
{
    ScriptedPeer peer("127.0.1.101");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent("127.0.1.100");
    ASSERT_TRUE(agent.Ok());
    int rid = StartRegister(peer, "127.0.1.101");

    auto first = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->CSeq(), 1);
    EXPECT_EQ(first->Branch().rfind("z9hG4bK", 0), 0u);
    EXPECT_NE(first->Header("Via").find(";rport"), std::string::npos);
    EXPECT_NE(first->Header("Via").find("127.0.1.100:5060"), std::string::npos);
    EXPECT_FALSE(first->FromTag().empty());
    EXPECT_TRUE(first->ToTag().empty());
    EXPECT_EQ(first->Header("Max-Forwards"), "70");
    EXPECT_EQ(first->Header("User-Agent"), "zelora-test/1.0");
    EXPECT_EQ(first->Header("Expires"), "3600");
    EXPECT_NE(first->Header("Contact").find("sip:1001@127.0.1.100:5060"), std::string::npos);
    EXPECT_NE(first->CallId().find("@127.0.1.100"), std::string::npos);
    EXPECT_TRUE(first->Header("Authorization").empty());

    peer.Send(MakeResponse(*first, 401, "Unauthorized", "reg1",
                           "WWW-Authenticate: Digest realm=\"127.0.1.101\", nonce=\"n0nce1\", algorithm=MD5\r\n"),
              "127.0.1.100", 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_REGISTRATION_FAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->rid, rid);
    EXPECT_EQ(ev->cid, 0);
    ASSERT_NE(ev->response, nullptr);
    EXPECT_EQ(ev->response->status_code, 401);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), 0);
    eXosip_unlock();
    eXosip_event_free(ev);

    auto second = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->CSeq(), 2);
    EXPECT_EQ(second->CallId(), first->CallId());
    EXPECT_EQ(second->FromTag(), first->FromTag());
    EXPECT_NE(second->Branch(), first->Branch());
    ExpectValidDigest(*second, "pw1001", "127.0.1.101", "n0nce1");
    EXPECT_TRUE(Param(second->Header("Authorization"), "qop").empty());

    peer.Send(MakeResponse(*second, 200, "OK", "reg1", "Expires: 3600\r\n"), "127.0.1.100", 5060);
    ev = agent.WaitEvent(EXOSIP_REGISTRATION_SUCCESS, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->rid, rid);
    ASSERT_NE(ev->request, nullptr);
    EXPECT_EQ(ev->response->status_code, 200);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), 1); // nothing left to do on success
    eXosip_unlock();
    eXosip_event_free(ev);

    // Unregistration reuses the registration: same Call-ID, CSeq +1, Expires 0, no credentials.
    eXosip_lock();
    osip_message_t* reg = nullptr;
    const std::string from = "sip:1001@127.0.1.101:5060";
    EXPECT_EQ(eXosip_register_build_initial_register(from.c_str(), "sip:127.0.1.101:5060", nullptr, 0, &reg), rid);
    EXPECT_EQ(eXosip_register_send_register(rid, reg), 0);
    eXosip_unlock();
    auto third = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(third->CSeq(), 3);
    EXPECT_EQ(third->CallId(), first->CallId());
    EXPECT_EQ(third->Header("Expires"), "0");
    EXPECT_TRUE(third->Header("Authorization").empty());
}

TEST(SipUaRegister, QopChallengeWithEmptyStoredRealm)
{
    ScriptedPeer peer("127.0.1.103");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent("127.0.1.102");
    ASSERT_TRUE(agent.Ok());
    StartRegister(peer, ""); // an empty realm answers any realm

    auto first = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(first.has_value());
    peer.Send(MakeResponse(*first, 401, "Unauthorized", "q1",
                           "WWW-Authenticate: Digest realm=\"sip.example\", nonce=\"abc\", qop=\"auth,auth-int\", "
                           "opaque=\"op1\"\r\n"),
              "127.0.1.102", 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_REGISTRATION_FAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), 0);
    eXosip_unlock();
    eXosip_event_free(ev);
    auto second = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(second.has_value());
    const std::string auth = second->Header("Authorization");
    EXPECT_EQ(Param(auth, "qop"), "auth") << auth;
    EXPECT_EQ(Param(auth, "nc"), "00000001") << auth;
    EXPECT_EQ(Param(auth, "cnonce").size(), 16u) << auth;
    EXPECT_EQ(Param(auth, "opaque"), "op1") << auth;
    ExpectValidDigest(*second, "pw1001", "sip.example", "abc");

    // The same nonce again counts up.
    peer.Send(MakeResponse(*second, 401, "Unauthorized", "q1",
                           "WWW-Authenticate: Digest realm=\"sip.example\", nonce=\"abc\", qop=\"auth\"\r\n"),
              "127.0.1.102", 5060);
    ev = agent.WaitEvent(EXOSIP_REGISTRATION_FAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), 0);
    eXosip_unlock();
    eXosip_event_free(ev);
    auto third = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(Param(third->Header("Authorization"), "nc"), "00000002");
    ExpectValidDigest(*third, "pw1001", "sip.example", "abc");
}

TEST(SipUaRegister, WrongPasswordStopsAfterThreeRetries)
{
    ScriptedPeer peer("127.0.1.105");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent("127.0.1.104");
    ASSERT_TRUE(agent.Ok());
    int rid = StartRegister(peer, "127.0.1.105");
    std::vector<int> results;
    std::vector<int> cseqs;
    std::string callId;
    for (int round = 0; round < 5; ++round) {
        auto r = peer.Next(3s, "REGISTER");
        if (!r)
            break;
        cseqs.push_back(r->CSeq());
        if (callId.empty())
            callId = r->CallId();
        EXPECT_EQ(r->CallId(), callId);
        // A registrar that mints a fresh nonce for every challenge.
        std::string challenge =
            "WWW-Authenticate: Digest realm=\"127.0.1.105\", nonce=\"n" + std::to_string(round) + "\"\r\n";
        peer.Send(MakeResponse(*r, 401, "Unauthorized", "w", challenge), "127.0.1.104", 5060);
        eXosip_event_t* ev = agent.WaitEvent(EXOSIP_REGISTRATION_FAILURE, 3s);
        ASSERT_NE(ev, nullptr);
        EXPECT_EQ(ev->rid, rid);
        eXosip_lock();
        results.push_back(eXosip_default_action(ev));
        eXosip_unlock();
        eXosip_event_free(ev);
    }
    EXPECT_EQ(cseqs, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(results, (std::vector<int>{0, 0, 0, -1}));
    EXPECT_FALSE(peer.Next(700ms, "REGISTER").has_value());
}

TEST(SipUaRegister, RealmMismatchAndRefusalsAreFailures)
{
    ScriptedPeer peer("127.0.1.107");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent("127.0.1.106");
    ASSERT_TRUE(agent.Ok());
    int rid = StartRegister(peer, "other.realm");
    auto first = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(first.has_value());

    // A second REGISTER while the first is unanswered is refused.
    eXosip_lock();
    osip_message_t* reg = nullptr;
    EXPECT_EQ(eXosip_register_build_initial_register("sip:1001@127.0.1.107:5060", "sip:127.0.1.107:5060", nullptr, 3600,
                                                     &reg),
              -1);
    EXPECT_EQ(reg, nullptr);
    eXosip_unlock();

    peer.Send(MakeResponse(*first, 407, "Proxy Authentication Required", "m",
                           "Proxy-Authenticate: Digest realm=\"127.0.1.107\", nonce=\"x\"\r\n"),
              "127.0.1.106", 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_REGISTRATION_FAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), -1);
    eXosip_unlock();
    eXosip_event_free(ev);
    EXPECT_FALSE(peer.Next(700ms, "REGISTER").has_value());

    // 403 is a plain failure: default action has nothing to do.
    eXosip_lock();
    EXPECT_EQ(eXosip_register_build_initial_register("sip:1001@127.0.1.107:5060", "sip:127.0.1.107:5060", nullptr, 3600,
                                                     &reg),
              rid);
    EXPECT_EQ(eXosip_register_send_register(rid, reg), 0);
    eXosip_unlock();
    auto second = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->CSeq(), 2);
    peer.Send(MakeResponse(*second, 403, "Forbidden", "m"), "127.0.1.106", 5060);
    ev = agent.WaitEvent(EXOSIP_REGISTRATION_FAILURE, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->response->status_code, 403);
    eXosip_lock();
    EXPECT_EQ(eXosip_default_action(ev), 1);
    eXosip_unlock();
    eXosip_event_free(ev);
}

TEST(SipUaRegister, EntryPointsRefuseBadArguments)
{
    osip_message_t* msg = nullptr;
    EXPECT_EQ(eXosip_lock(), -1); // before init
    EXPECT_EQ(eXosip_register_build_initial_register("sip:a@b", "sip:b", nullptr, 10, &msg), -1);
    ASSERT_EQ(eXosip_init(), 0);
    // Not listening yet.
    eXosip_lock();
    EXPECT_EQ(eXosip_register_build_initial_register("sip:a@b", "sip:b", nullptr, 10, &msg), -1);
    EXPECT_EQ(eXosip_add_authentication_info("", "1001", "pw", nullptr, nullptr), -1);
    EXPECT_EQ(eXosip_add_authentication_info("u", "", "pw", nullptr, nullptr), -1);
    EXPECT_EQ(eXosip_add_authentication_info("u", "1001", "", "", nullptr), -1);
    EXPECT_EQ(eXosip_add_authentication_info("u", "1001", nullptr, "abcdef", nullptr), 0);
    EXPECT_EQ(eXosip_clear_authentication_info(), 0);
    EXPECT_EQ(eXosip_default_action(nullptr), -1);
    EXPECT_EQ(eXosip_register_send_register(99, nullptr), -1);
    eXosip_unlock();
    EXPECT_EQ(eXosip_event_wait(0, 0), nullptr);
    eXosip_event_free(nullptr);
    char buf[8];
    EXPECT_EQ(eXosip_generate_random(buf, sizeof buf), 0);
    EXPECT_LT(std::strlen(buf), sizeof buf);
    eXosip_quit();
}

TEST(SipUaRegister, SecondListenerOnTheSameAddressFails)
{
    setenv("ZELORA_LOCAL_ADDRESS", "127.0.1.108", 1);
    ScriptedPeer squatter("127.0.1.108");
    ASSERT_TRUE(squatter.Ok());
    ASSERT_EQ(eXosip_init(), 0);
    EXPECT_EQ(eXosip_listen_addr(IPPROTO_UDP, nullptr, 5060, AF_INET, 0), -1);
    EXPECT_EQ(eXosip_listen_addr(IPPROTO_TCP, nullptr, 5062, AF_INET, 0), -1);
    EXPECT_EQ(eXosip_listen_addr(IPPROTO_UDP, nullptr, 0, AF_INET, 0), 0); // any free port
    char ip[32];
    EXPECT_EQ(eXosip_guess_localip(AF_INET, ip, sizeof ip), 0);
    EXPECT_STREQ(ip, "127.0.1.108");
    eXosip_quit();
    unsetenv("ZELORA_LOCAL_ADDRESS");
}

TEST(SipUaRegister, RefreshedBeforeTheGrantedExpiryAndChallengeAnsweredInside)
{
    ScriptedPeer peer("127.0.1.123");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent("127.0.1.122");
    ASSERT_TRUE(agent.Ok());
    int rid = StartRegister(peer, "127.0.1.123", 3600);
    auto first = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(first.has_value());
    // The registrar grants 4 s of the 3600 asked: the refresh comes after about half of it.
    peer.Send(MakeResponse(*first, 200, "OK", "g", "Contact: <sip:1001@127.0.1.122:5060>;expires=4\r\n"), "127.0.1.122",
              5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_REGISTRATION_SUCCESS, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_event_free(ev);
    const auto granted = std::chrono::steady_clock::now();
    auto refresh = peer.Next(5s, "REGISTER");
    ASSERT_TRUE(refresh.has_value());
    const double after = std::chrono::duration<double>(std::chrono::steady_clock::now() - granted).count();
    EXPECT_GT(after, 1.5);
    EXPECT_LT(after, 3.5);
    EXPECT_EQ(refresh->CallId(), first->CallId());
    EXPECT_EQ(refresh->CSeq(), 2);
    EXPECT_EQ(refresh->Header("Expires"), "3600");

    // Its challenge is answered without bothering the application.
    peer.Send(MakeResponse(*refresh, 401, "Unauthorized", "g",
                           "WWW-Authenticate: Digest realm=\"127.0.1.123\", nonce=\"fresh\"\r\n"),
              "127.0.1.122", 5060);
    auto answered = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(answered.has_value());
    EXPECT_EQ(answered->CSeq(), 3);
    ExpectValidDigest(*answered, "pw1001", "127.0.1.123", "fresh");
    peer.Send(MakeResponse(*answered, 200, "OK", "g", "Expires: 600\r\n"), "127.0.1.122", 5060);
    std::vector<int> events = agent.DrainEvents(1s);
    EXPECT_EQ(events, (std::vector<int>{EXOSIP_REGISTRATION_REFRESHED}));

    // Unregistering stops the refreshing.
    eXosip_lock();
    osip_message_t* reg = nullptr;
    ASSERT_EQ(
        eXosip_register_build_initial_register("sip:1001@127.0.1.123:5060", "sip:127.0.1.123:5060", nullptr, 0, &reg),
        rid);
    ASSERT_EQ(eXosip_register_send_register(rid, reg), 0);
    eXosip_unlock();
    auto last = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->Header("Expires"), "0");
    peer.Send(MakeResponse(*last, 200, "OK", "g"), "127.0.1.122", 5060);
    ev = agent.WaitEvent(EXOSIP_REGISTRATION_SUCCESS, 3s);
    ASSERT_NE(ev, nullptr);
    eXosip_event_free(ev);
    EXPECT_FALSE(peer.Next(2500ms, "REGISTER").has_value());
}
