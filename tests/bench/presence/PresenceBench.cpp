// Figures beside a bare gloox client in the same run: sign-in to roster and memory of a
// signed-in presence core whose roster holds 500 contacts.
#include "BenchRoster.h"
#include "ProsodyPeer.h"
#include "RecordingView.h"

#include "presence/CFifo.h"
#include "presence/CPresenceHandler.h"
#include "presence/PresenceCodes.h"

#include <gloox/client.h>
#include <gloox/connectionlistener.h>
#include <gloox/message.h>
#include <gloox/messagehandler.h>
#include <gloox/rosterlistener.h>
#include <gloox/rostermanager.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kContacts = 500;
// Its own server address, apart from the integration tests' one.
constexpr const char* kBench = "127.0.0.37";

long RssKiB()
{
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key)
        if (key == "VmRSS:" && in >> value)
            return value;
    return -1;
}

// The probe: a bare gloox client that only waits for its roster.
struct Probe : gloox::ConnectionListener, gloox::RosterListener {
    bool roster = false;
    void onConnect() override { }
    void onDisconnect(gloox::ConnectionError) override { }
    bool onTLSConnect(const gloox::CertInfo&) override { return true; }
    void handleItemAdded(const gloox::JID&) override { }
    void handleItemSubscribed(const gloox::JID&) override { }
    void handleItemRemoved(const gloox::JID&) override { }
    void handleItemUpdated(const gloox::JID&) override { }
    void handleItemUnsubscribed(const gloox::JID&) override { }
    void handleRoster(const gloox::Roster&) override { roster = true; }
    void handleRosterPresence(const gloox::RosterItem&, const std::string&, gloox::Presence::PresenceType,
                              const std::string&) override
    {
    }
    void handleSelfPresence(const gloox::RosterItem&, const std::string&, gloox::Presence::PresenceType,
                            const std::string&) override
    {
    }
    bool handleSubscriptionRequest(const gloox::JID&, const std::string&) override { return false; }
    bool handleUnsubscriptionRequest(const gloox::JID&, const std::string&) override { return false; }
    void handleNonrosterPresence(const gloox::Presence&) override { }
    void handleRosterError(const gloox::IQ&) override { }
};

// A bare gloox client that records when a chat message arrives.
struct Receiver : gloox::ConnectionListener, gloox::MessageHandler {
    bool connected = false;
    int received = 0;
    void onConnect() override { connected = true; }
    void onDisconnect(gloox::ConnectionError) override { }
    bool onTLSConnect(const gloox::CertInfo&) override { return true; }
    void handleMessage(const gloox::Message&, gloox::MessageSession*) override { ++received; }
};

std::unique_ptr<gloox::Client> ProbeClient(const std::string& user, gloox::ConnectionListener* l)
{
    auto c = std::make_unique<gloox::Client>(gloox::JID(user + "@localhost/probe"), user + "pw", ProsodyPeer::kPort);
    c->setServer(kBench);
    c->setSASLMechanisms(gloox::SaslMechPlain);
    c->setCompression(false);
    c->registerConnectionListener(l);
    return c;
}

long long Us(Clock::duration d) { return std::chrono::duration_cast<std::chrono::microseconds>(d).count(); }

long long Ms(Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }

TEST(PresenceBench, SignInToRosterOf500Contacts)
{
    ProsodyPeer server(kBench);
    ASSERT_EQ(server.Register({{"alice", "alicepw"}, {"probe", "probepw"}}), "");
    // Both accounts get the same 500-contact roster, written in the server's own store.
    const std::string roster = BenchRoster(kContacts);
    std::filesystem::create_directories(server.DataDir() + "/roster");
    ASSERT_TRUE(zelora::test::WriteFile(server.DataDir() + "/roster/alice.dat", roster));
    ASSERT_TRUE(zelora::test::WriteFile(server.DataDir() + "/roster/probe.dat", roster));
    ASSERT_EQ(server.Launch(), "");

    const long before = RssKiB();
    CFifo xmpp, gui;
    RecordingView view;
    auto t0 = Clock::now();
    {
        CPresenceHandler handler(xmpp, gui);
        PresenceAccount a;
        a.userId = "alice";
        a.password = "alicepw";
        a.domain = "localhost";
        XmppEndpoint e;
        e.server = kBench;
        e.port = ProsodyPeer::kPort;
        handler.InitializePresenceHandler(a, e, {}, &view, nullptr);
        ASSERT_NE(view.WaitFor("ROSTER count=500", 20s), "") << view.Tail(3);
        const auto ours = Clock::now() - t0;
        std::this_thread::sleep_for(500ms);
        std::printf("presence core: sign-in to roster %lld ms; RSS %ld KiB signed in (%ld KiB before)\n", Ms(ours),
                    RssKiB(), before);
    }

    Probe probe;
    gloox::Client c(gloox::JID("probe@localhost/probe"), "probepw", ProsodyPeer::kPort);
    c.setServer(kBench);
    c.setSASLMechanisms(gloox::SaslMechPlain);
    c.setCompression(false);
    c.registerConnectionListener(&probe);
    c.rosterManager()->registerRosterListener(&probe, false);
    t0 = Clock::now();
    c.connect(false);
    while (!probe.roster && Clock::now() - t0 < 20s)
        c.recv(10000);
    ASSERT_TRUE(probe.roster);
    std::printf("gloox probe: sign-in to roster %lld ms\n", Ms(Clock::now() - t0));
    c.disconnect();
}

TEST(PresenceBench, ChatLatencyBesideGlooxProbes)
{
    ProsodyPeer server(kBench);
    ASSERT_EQ(server.Start({{"alice", "alicepw"}, {"bob", "bobpw"}, {"p1", "p1pw"}, {"p2", "p2pw"}}), "");
    constexpr int kMessages = 20;
    {
        CFifo xa, ga, xb, gb;
        RecordingView va, vb;
        CPresenceHandler a(xa, ga), b(xb, gb);
        XmppEndpoint e;
        e.server = kBench;
        e.port = ProsodyPeer::kPort;
        PresenceAccount pa, pb;
        pa.userId = "alice";
        pa.password = "alicepw";
        pa.domain = pb.domain = "localhost";
        pb.userId = "bob";
        pb.password = "bobpw";
        a.InitializePresenceHandler(pa, e, {}, &va, nullptr);
        b.InitializePresenceHandler(pb, e, {}, &vb, nullptr);
        ASSERT_NE(va.WaitFor("LOGIN OK", 5s), "");
        ASSERT_NE(vb.WaitFor("LOGIN OK", 5s), "");
        ChatSessionSlot slot{nullptr};
        long long total = 0;
        for (int i = 0; i < kMessages; ++i) {
            auto* m = new CChatMessage;
            m->peerJid = "bob@localhost";
            m->body = "m" + std::to_string(i) + ".";
            m->sessionSlot = &slot;
            const auto t0 = Clock::now();
            a.Gui()->HandleGUIPresenceData(PRESENCE_COMMAND_XMPP_SEND_CHAT_MESSAGE, m);
            ASSERT_NE(vb.WaitFor("text=m" + std::to_string(i) + ".", 5s), "");
            total += Us(Clock::now() - t0);
        }
        std::printf("presence core: chat latency %lld us on average over %d messages\n", total / kMessages, kMessages);
    }
    Receiver r1, r2;
    auto c1 = ProbeClient("p1", &r1);
    auto c2 = ProbeClient("p2", &r2);
    c2->registerMessageHandler(&r2);
    c1->connect(false);
    c2->connect(false);
    const auto start = Clock::now();
    while ((!r1.connected || !r2.connected) && Clock::now() - start < 5s) {
        c1->recv(10000);
        c2->recv(10000);
    }
    ASSERT_TRUE(r1.connected && r2.connected);
    long long total = 0;
    for (int i = 0; i < kMessages; ++i) {
        const auto t0 = Clock::now();
        c1->send(gloox::Message(gloox::Message::Chat, gloox::JID("p2@localhost/probe"), "x"));
        while (r2.received <= i && Clock::now() - t0 < 5s)
            c2->recv(1000);
        ASSERT_GT(r2.received, i);
        total += Us(Clock::now() - t0);
    }
    std::printf("gloox probe: chat latency %lld us on average over %d messages\n", total / kMessages, kMessages);
}

} // namespace
