// The torture messages of RFC 4475 (tests/fuzz/session/sip/torture/), through the intake and
// through a running user agent's socket. Each request gets the answer the RFC names for it (an
// INVITE it accepts gets 100 and waits for the application), no response is ever answered, and
// afterwards the agent still registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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

// The Call-ID line's value as written (the answers to unparsable requests are not parsable either).
std::string CallIdOf(const std::string& text)
{
    for (std::size_t pos = text.find('\n'); pos != std::string::npos; pos = text.find('\n', pos + 1)) {
        const std::string line = text.substr(pos + 1, text.find('\n', pos + 1) - pos - 1);
        const std::size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        if (colon != std::string::npos && (name == "call-id" || name == "i"))
            return line.substr(line.find_first_not_of(" \t", colon + 1));
    }
    return {};
}

// The first answer other than 100 that each message must get; 100 alone for an INVITE that is
// accepted (the application answers it), 0 for no answer at all. Where the RFC allows two
// answers, the one this agent gives: the Date and the Request-URI's headers are not read, so
// baddate and escruri are accepted; a REGISTER is refused by its method (405) before its headers
// are looked at; wsinv has a To tag of no dialog of ours (481).
const std::map<std::string, int> kExpected = {
    // Valid messages (3.1.1): REGISTER is known but not ours to serve, hence 405.
    {"wsinv", 481},
    {"intmeth", 501},
    {"esc01", 100},
    {"escnull", 405},
    {"esc02", 501},
    {"lwsdisp", 200},
    {"longreq", 100},
    {"dblreq", 405},
    {"semiuri", 200},
    {"transports", 200},
    {"mpart01", 415},
    {"unreason", 0},
    {"noreason", 0},
    // Invalid messages (3.1.2).
    {"badinv01", 400},
    {"clerr", 400},
    {"scalar02", 400},
    {"scalarlg", 0},
    {"quotbal", 400},
    {"ltgtruri", 400},
    {"lwsruri", 400},
    {"lwsstart", 400},
    {"trws", 400},
    {"escruri", 100},
    {"baddate", 100},
    {"regbadct", 405},
    {"badaspec", 400},
    {"baddn", 400},
    {"badvers", 505},
    {"mismatch01", 400},
    {"mismatch02", 501},
    {"bigcode", 0},
    {"ncl", 400},
    // Transaction layer (3.2), application layer (3.3), RFC 2543 (3.4).
    {"badbranch", 200},
    {"insuf", 0},
    {"unkscm", 416},
    {"novelsc", 416},
    {"unksm2", 405},
    {"bext01", 420},
    {"invut", 415},
    {"sdp-iso", 415},
    {"multi01", 400},
    {"mcl01", 400},
    {"bcast", 0},
    {"zeromf", 200},
    {"cparam01", 405},
    {"cparam02", 405},
    {"regescrt", 405},
    {"sdp01", 406},
    {"inv2543", 100},
};

// The header a refusal (or the OPTIONS answer) must carry to tell the sender what would do.
const std::map<std::string, std::string> kAnswerHeader = {
    {"intmeth", "Allow: INVITE, ACK, CANCEL, BYE, OPTIONS, INFO, MESSAGE, NOTIFY, PRACK"},
    {"escnull", "Allow: INVITE, ACK, CANCEL, BYE, OPTIONS, INFO, MESSAGE, NOTIFY, PRACK"},
    {"lwsdisp", "Allow: INVITE, ACK, CANCEL, BYE, OPTIONS, INFO, MESSAGE, NOTIFY, PRACK"},
    {"bext01", "Unsupported: nothingSupportsThis, nothingSupportsThisEither"},
    {"invut", "Accept: application/sdp"},
    {"sdp-iso", "Accept-Encoding: identity"},
    {"mpart01", "Accept: text/plain"},
};

// The RFC's messages are each meant to be sent alone; several share a branch and sent-by, and
// one after another they would be retransmissions of one transaction. Each gets its own branch.
std::string AsIfAlone(const std::string& name, std::string text)
{
    static const std::string kCookie = "branch=z9hG4bK";
    const std::size_t at = text.find(kCookie);
    if (at != std::string::npos)
        text.insert(at + kCookie.size(), name + "-");
    return text;
}

} // namespace

TEST(SipUaTorture, IntakeGivesEveryMessageAVerdictItCanKeep)
{
    const auto messages = TortureMessages();
    ASSERT_EQ(messages.size(), kExpected.size()) << "torture folder " << ZELORA_TORTURE_DIR;
    for (const auto& [name, text] : messages) {
        SCOPED_TRACE(name);
        zelora::IntakeResult r = zelora::CMessageIntake::Parse(text.data(), text.size());
        if (r.event != nullptr) {
            EXPECT_NE(r.verdict, zelora::IntakeVerdict::Dropped);
            EXPECT_NE(r.event->sip->call_id, nullptr);
        }
        if (r.verdict == zelora::IntakeVerdict::Refused) {
            EXPECT_FALSE(IsResponse(text));
            // Refused without osip's parse: the answer copies the header lines.
            if (r.event == nullptr) {
                EXPECT_EQ(r.answerHeaders.rfind("Via: ", 0), 0u) << r.answerHeaders;
            } else {
                EXPECT_TRUE(zelora::CMessageIntake::CanAnswer(r.event->sip));
            }
            const int expected = kExpected.at(name);
            // A refusal the screen makes later (415, 420, ...) is not the intake's.
            if (expected >= 400 && expected != 405 && expected != 415 && expected != 420 && expected != 406) {
                EXPECT_EQ(r.status, expected) << r.reason;
            }
        }
        if (r.event != nullptr)
            osip_event_free(r.event);
    }
}

TEST(SipUaTorture, AgentAnswersEachAsTheRfcSaysAndStillRegisters)
{
    const std::string ip = "127.0.21.4";
    ScriptedPeer peer("127.0.21.5");
    // Answers go to the Via's port: quotbal names 5050.
    ScriptedPeer peer5050("127.0.21.5", 5050);
    ASSERT_TRUE(peer.Ok() && peer5050.Ok());
    AgentFixture agent(ip);
    ASSERT_TRUE(agent.Ok());

    for (const auto& [name, text] : TortureMessages()) {
        SCOPED_TRACE(name);
        const int expected = kExpected.at(name);
        peer.Send(AsIfAlone(name, text), ip, 5060);
        std::vector<int> statuses;
        ScriptedPeer& answered = text.find(":5050;") != std::string::npos ? peer5050 : peer;
        while (auto r = answered.Next(expected == 0 ? 300ms : 1500ms)) {
            EXPECT_TRUE(IsResponse(r->text)) << r->text;
            // A refused INVITE's answer is repeated until it is acknowledged: not this message's.
            if (CallIdOf(r->text) != CallIdOf(text))
                continue;
            statuses.push_back(std::atoi(r->text.c_str() + 8));
            if (statuses.back() > 100 && kAnswerHeader.count(name) != 0) {
                EXPECT_NE(r->text.find("\r\n" + kAnswerHeader.at(name)), std::string::npos) << r->text;
            }
            if (statuses.back() > 100 || expected == 100)
                break;
        }
        std::erase(statuses, expected == 100 ? 0 : 100);
        EXPECT_EQ(statuses.empty() ? 0 : statuses.front(), expected) << name << ": 0 is no answer";
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
