// Two presence cores against one Prosody: sign-in, subscription, status, chat, profiles,
// the error path, reconnect only on command, and a reconnect storm while messages flow.
#include "ProsodyPeer.h"
#include "RecordingView.h"

#include "presence/CFifo.h"
#include "presence/CPresenceHandler.h"
#include "presence/PresenceCodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace std::chrono_literals;

namespace {

ProsodyPeer* g_server = nullptr;

struct Phone {
    CFifo xmpp, gui;
    RecordingView view;
    CPresenceHandler handler{xmpp, gui};
    ChatSessionSlot slot{nullptr};

    explicit Phone(const std::string& user, const std::string& password = "", const std::string& proxy = "")
    {
        PresenceAccount a;
        if (!proxy.empty()) {
            a.useProxy = 1;
            a.proxyHost = proxy;
            a.proxyPort = 8888;
        }
        a.userId = user;
        a.password = password.empty() ? user + "pw" : password;
        a.domain = "localhost";
        XmppEndpoint e;
        e.server = ProsodyPeer::kAddress;
        e.port = ProsodyPeer::kPort;
        handler.InitializePresenceHandler(a, e, {"yahoo.localhost", "msn.localhost", "gtalk.localhost"}, &view,
                                          nullptr);
    }
    void Send(int command, CPresenceData* data) { handler.Gui()->HandleGUIPresenceData(command, data); }
    void Chat(const std::string& to, const std::string& text)
    {
        auto* m = new CChatMessage;
        m->peerJid = to;
        m->body = text;
        m->sessionSlot = &slot;
        Send(PRESENCE_COMMAND_XMPP_SEND_CHAT_MESSAGE, m);
    }
    void Status(int presence, const std::string& text)
    {
        auto* p = new CRosterPresenceData;
        p->entry.presence = presence;
        p->entry.statusMessage = text;
        p->priority = 0;
        Send(PRESENCE_COMMAND_XMPP_CHANGE_STATUS, p);
    }
};

class PresenceProsody : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_server = new ProsodyPeer;
        const std::string err = g_server->Start({{"alice", "alicepw"}, {"bob", "bobpw"}, {"carol", "carolpw"}});
        ASSERT_EQ(err, "") << err;
    }
    static void TearDownTestSuite()
    {
        delete g_server;
        g_server = nullptr;
    }
    void SetUp() override { ASSERT_NE(g_server, nullptr) << "prosody did not start"; }
};

TEST_F(PresenceProsody, TwoPhonesSubscribeChatAndExchangeProfiles)
{
    const auto t0 = std::chrono::steady_clock::now();
    Phone alice("alice"), bob("bob");
    ASSERT_NE(alice.view.WaitFor("LOGIN OK", 5s), "");
    ASSERT_NE(alice.view.WaitFor("ROSTER count=0", 5s), "") << alice.view.Tail(5);
    std::printf(
        "presence login to roster: %lld ms\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count()));
    ASSERT_NE(bob.view.WaitFor("LOGIN OK", 5s), "");
    alice.Status(PRESENCE_AVAILABLE, "");
    bob.Status(PRESENCE_AVAILABLE, "");

    auto* add = new CRosterItem;
    add->contactJid = "bob@localhost";
    add->group = "Friends";
    add->name = "Bobby";
    add->requestText = "it is alice";
    alice.Send(PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT, add);
    EXPECT_NE(bob.view.WaitFor("SUBSCRIBE-REQUEST jid=alice@localhost text=it is alice", 5s), "");
    EXPECT_NE(alice.view.WaitFor("ROSTER-CHANGED 213 jid=bob@localhost", 5s), "");
    // Nobody answers for bob: alice must not see him yet.
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(alice.view.Count("PRESENCE jid=bob@localhost presence=1"), 0);

    auto* ack = new CRosterItem;
    ack->contactJid = "alice@localhost";
    ack->accept = 1;
    bob.Send(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION, ack);
    EXPECT_NE(alice.view.WaitFor("PRESENCE jid=bob@localhost presence=1", 5s), "");
    ASSERT_EQ(alice.handler.Gui()->Roster().size(), 1u);
    EXPECT_EQ(alice.handler.Gui()->Roster()[0].groups, std::vector<std::string>{"Friends"});

    bob.Status(PRESENCE_AWAY, "at lunch");
    EXPECT_NE(alice.view.WaitFor("PRESENCE jid=bob@localhost presence=3 status=at lunch", 5s), "");

    // One session per contact: created by the first message, reused by the second.
    const auto sent = std::chrono::steady_clock::now();
    alice.Chat("bob@localhost", "hello <bob> & co");
    ASSERT_NE(bob.view.WaitFor("CHAT from=alice@localhost kind=4096 text=hello <bob> & co", 5s), "");
    std::printf(
        "chat latency: %lld us\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - sent).count()));
    void* first = alice.slot.load();
    EXPECT_NE(first, nullptr);
    alice.Chat("bob@localhost", "second");
    EXPECT_NE(bob.view.WaitFor("text=second", 5s), "");
    EXPECT_EQ(alice.slot.load(), first);
    bob.Chat("alice@localhost", "back to you");
    EXPECT_NE(alice.view.WaitFor("CHAT from=bob@localhost kind=4096 text=back to you", 5s), "");

    auto* broadcast = new CChatMessage;
    broadcast->peerJid = "bob@localhost";
    broadcast->body = "to all";
    broadcast->kind = MESSAGE_KIND_NORMAL;
    alice.Send(PRESENCE_COMMAND_XMPP_BROADCAST_MESSAGE, broadcast);
    EXPECT_NE(bob.view.WaitFor("CHAT from=alice@localhost kind=65536 text=to all", 5s), "");

    PresenceProfileFields f;
    f.given = "Alice";
    f.nick = "ally";
    f.photo = std::string("\xFF\xD8\xFF\x00jpeg\x00tail", 13);
    auto* store = new CVCard;
    store->profile = f;
    alice.Send(PRESENCE_COMMAND_XMPP_SET_VCARD, store);
    EXPECT_NE(alice.view.WaitFor("VCARD-STORED 0", 5s), "");
    auto* fetch = new CVCard;
    fetch->contactJid = "alice@localhost";
    bob.Send(PRESENCE_COMMAND_XMPP_GET_VCARD, fetch);
    EXPECT_NE(bob.view.WaitFor("VCARD jid=alice@localhost own=0 given=Alice nick=ally photo=13 nul", 5s), "");

    // Group edits reach the server (which keeps groups as a set, so their order is its own).
    auto* copy = new CRosterItem;
    copy->contactJid = "bob@localhost";
    copy->group = "Work";
    alice.Send(PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP, copy);
    EXPECT_NE(alice.view.WaitFor("ROSTER-CHANGED 214 jid=bob@localhost", 5s), "");
    auto* move = new CRosterItem;
    move->contactJid = "bob@localhost";
    move->oldGroup = "Friends";
    move->group = "Family";
    alice.Send(PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP, move);
    EXPECT_NE(alice.view.WaitFor("ROSTER-CHANGED 214 jid=bob@localhost", 5s), "");
    const std::vector<std::string> expected{"Family", "Work"};
    auto sorted = [&] {
        std::vector<std::string> g = alice.handler.Gui()->Roster()[0].groups;
        std::sort(g.begin(), g.end());
        return g;
    };
    EXPECT_TRUE(zelora::test::WaitUntil([&] { return sorted() == expected; }, 5s))
        << ::testing::PrintToString(alice.handler.Gui()->Roster()[0].groups);
}

TEST_F(PresenceProsody, WrongPasswordAndLostServerTakeTheErrorPathAndWaitForACommand)
{
    Phone wrong("carol", "not-her-password");
    EXPECT_NE(wrong.view.WaitFor("LOGIN FAILED error=16", 5s), "");

    Phone carol("carol");
    ASSERT_NE(carol.view.WaitFor("LOGIN OK", 5s), "");
    g_server->Stop();
    EXPECT_NE(carol.view.WaitFor("LOGIN FAILED", 5s), "");
    ASSERT_EQ(g_server->Restart(), "");
    // No reconnect of its own.
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(carol.view.Count("LOGIN OK"), 1);
    const auto asked = std::chrono::steady_clock::now();
    carol.Send(PRESENCE_COMMAND_XMPP_RECONNECT, nullptr);
    ASSERT_NE(carol.view.WaitFor("LOGIN OK", 20s), "");
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 10s);
}

TEST_F(PresenceProsody, ProxyPathReachesTheServerOnPort5223)
{
    using namespace zelora::test;
    const std::string tinyproxy = FindProgram("tinyproxy");
    ASSERT_NE(tinyproxy, "") << MissingProgram("tinyproxy", "tinyproxy");
    TempDir dir("zelora-xmpp-proxy");
    const char* address = "127.0.0.32";
    // Only the proxy path's port is allowed: a login through it proves which port was asked.
    ASSERT_TRUE(WriteFile(dir.Path() + "/tinyproxy.conf",
                          std::string("Port 8888\nListen ") + address +
                              "\nTimeout 30\nAllow 127.0.0.0/8\n"
                              "ConnectPort 5223\nLogLevel Info\n"));
    PeerProcess proxy;
    ASSERT_EQ(proxy.Start({tinyproxy, "-d", "-c", dir.Path() + "/tinyproxy.conf"}, dir.Path() + "/tinyproxy.log"), "");
    ASSERT_TRUE(WaitUntil([&] { return PortAnswers(address, 8888); }, 5s)) << ReadFile(dir.Path() + "/tinyproxy.log");
    Phone carol("carol", "", address);
    EXPECT_NE(carol.view.WaitFor("LOGIN OK", 5s), "") << carol.view.Tail(3) << ReadFile(dir.Path() + "/tinyproxy.log");
    EXPECT_NE(ReadFile(dir.Path() + "/tinyproxy.log").find("CONNECT 127.0.0.31:5223"), std::string::npos)
        << ReadFile(dir.Path() + "/tinyproxy.log");
}

TEST_F(PresenceProsody, FiftyReconnectsWhileMessagesFlow)
{
    Phone alice("alice"), bob("bob");
    alice.handler.Xmpp()->SetReconnectDelay(0);
    ASSERT_NE(alice.view.WaitFor("LOGIN OK", 5s), "");
    ASSERT_NE(bob.view.WaitFor("LOGIN OK", 5s), "");
    // Available, as a phone is after sign-in: the server hands a message to the bare JID
    // only to a resource that sent presence.
    alice.Status(PRESENCE_AVAILABLE, "");
    bob.Status(PRESENCE_AVAILABLE, "");
    std::atomic<bool> flowing{true};
    std::thread sender([&] {
        for (int i = 0; flowing; ++i) {
            alice.Chat("bob@localhost", "m" + std::to_string(i));
            bob.Chat("alice@localhost", "r" + std::to_string(i));
            std::this_thread::sleep_for(5ms);
        }
    });
    int round = 0;
    for (; round < 50; ++round) {
        alice.handler.Xmpp()->Disconnect();
        if (alice.view.WaitFor("LOGIN FAILED error=17", 5s).empty())
            break;
        alice.Send(PRESENCE_COMMAND_XMPP_RECONNECT, nullptr);
        if (alice.view.WaitFor("LOGIN OK", 10s).empty())
            break;
        alice.Status(PRESENCE_AVAILABLE, "");
        std::this_thread::sleep_for(20ms); // signed in long enough for bob's messages to find her
    }
    flowing = false;
    sender.join();
    ASSERT_EQ(round, 50) << alice.view.Tail(12);
    EXPECT_EQ(alice.handler.Xmpp()->ReconnectCount(), 50);
    // Messages kept arriving across the reconnects, both ways.
    EXPECT_GT(bob.view.Count("CHAT from=alice@localhost"), 0);
    EXPECT_GT(alice.view.Count("CHAT from=bob@localhost"), 0);
}

} // namespace
