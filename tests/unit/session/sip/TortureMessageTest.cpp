// The torture messages of RFC 4475 (tests/fuzz/session/sip/torture/), through the intake and
// through a running user agent's socket. Each is answered or dropped, never answered with a
// request or answered at all when it is a response, and afterwards the agent still registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ScriptedPeer.h"
#include "session/sip/CMessageIntake.h"

using namespace std::chrono_literals;
using siptest::AgentFixture;
using siptest::MakeResponse;
using siptest::ScriptedPeer;

namespace {

std::vector<std::pair<std::string, std::string>> TortureMessages()
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& entry : std::filesystem::directory_iterator(ZELORA_TORTURE_DIR)) {
        std::ifstream in(entry.path(), std::ios::binary);
        out.emplace_back(entry.path().stem().string(),
                         std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool IsResponse(const std::string& text) { return text.rfind("SIP/2.0 ", 0) == 0; }

// Valid requests an agent must answer (RFC 4475 section 3.1.1), whatever it answers.
const std::set<std::string> kMustAnswer = {"wsinv", "esc01", "escnull", "lwsdisp", "semiuri", "transports", "dblreq"};

} // namespace

TEST(SipUaTorture, IntakeGivesEveryMessageAVerdictItCanKeep)
{
    const auto messages = TortureMessages();
    ASSERT_GE(messages.size(), 40u) << "torture folder " << ZELORA_TORTURE_DIR;
    for (const auto& [name, text] : messages) {
        SCOPED_TRACE(name);
        zelora::IntakeResult r = zelora::CMessageIntake::Parse(text.data(), text.size());
        switch (r.verdict) {
        case zelora::IntakeVerdict::Accepted:
            ASSERT_NE(r.event, nullptr);
            ASSERT_NE(r.event->sip, nullptr);
            EXPECT_NE(r.event->sip->call_id, nullptr);
            EXPECT_NE(r.event->sip->cseq, nullptr);
            break;
        case zelora::IntakeVerdict::BadRequest:
            ASSERT_NE(r.event, nullptr);
            EXPECT_FALSE(IsResponse(text));
            EXPECT_TRUE(zelora::CMessageIntake::CanAnswer(r.event->sip));
            break;
        case zelora::IntakeVerdict::KeepAlive:
        case zelora::IntakeVerdict::Dropped:
            EXPECT_EQ(r.event, nullptr);
            break;
        }
        if (kMustAnswer.count(name) != 0) {
            EXPECT_NE(r.verdict, zelora::IntakeVerdict::Dropped) << r.reason;
        }
        if (r.event != nullptr)
            osip_event_free(r.event);
    }
}

TEST(SipUaTorture, AgentAnswersOrDropsEachAndStillRegisters)
{
    const std::string ip = "127.0.13.4";
    ScriptedPeer peer("127.0.13.5");
    ASSERT_TRUE(peer.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());

    for (const auto& [name, text] : TortureMessages()) {
        SCOPED_TRACE(name);
        peer.Send(text, ip, 5060);
        std::vector<std::string> replies;
        while (auto r = peer.Next(name == "dblreq" || kMustAnswer.count(name) ? 1500ms : 300ms)) {
            replies.push_back(r->text);
            if (kMustAnswer.count(name) != 0 && r->Status() >= 200)
                break;
        }
        if (IsResponse(text)) {
            EXPECT_TRUE(replies.empty()) << "a response was answered: " << replies.front();
        }
        for (const std::string& reply : replies) {
            EXPECT_TRUE(IsResponse(reply)) << reply;
        }
        if (kMustAnswer.count(name) != 0) {
            EXPECT_FALSE(replies.empty()) << "no answer";
        }
        agent.DrainEvents(50ms);
    }
    peer.CountFor(500ms, "");

    // Alive and still doing its work: a REGISTER through to success.
    eXosip_lock();
    eXosip_clear_authentication_info();
    osip_message_t* reg = nullptr;
    int rid = eXosip_register_build_initial_register(("sip:1001@" + peer.Ip() + ":5060").c_str(),
                                                     ("sip:" + peer.Ip() + ":5060").c_str(), nullptr, 3600, &reg);
    ASSERT_GT(rid, 0);
    ASSERT_EQ(eXosip_register_send_register(rid, reg), 0);
    eXosip_unlock();
    auto request = peer.Next(3s, "REGISTER");
    ASSERT_TRUE(request.has_value());
    peer.Send(MakeResponse(*request, 200, "OK", "t1", "Expires: 3600\r\n"), ip, 5060);
    eXosip_event_t* ev = agent.WaitEvent(EXOSIP_REGISTRATION_SUCCESS, 3s);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->rid, rid);
    eXosip_event_free(ev);
}
