// The presence service's own components against a real Prosody: the user search, an IM
// gateway's whole life (register, its subscription and presence, sign-out, the registered
// name on the domain's disco items at the next sign-in, unregister), a broadcast and a
// group-chat invitation from a room of muc.localhost; and the e-mail invitation to the
// mail page of operator-sim. Addresses 127.0.9.1 and 127.0.9.3.
#include "ProsodyPeer.h"
#include "RecordingView.h"
#include "WebPeers.h"

#include "presence/CFifo.h"
#include "presence/CPresenceHandler.h"
#include "presence/CPresenceInvite.h"
#include "presence/PresenceCodes.h"

#include <gloox/client.h>
#include <gloox/connectionlistener.h>
#include <gloox/presencehandler.h>
#include <gloox/tag.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

using namespace std::chrono_literals;

namespace {

constexpr const char* kServer = "127.0.9.1";

struct Phone {
    CFifo xmpp, gui;
    RecordingView view;
    CPresenceHandler handler{xmpp, gui};

    explicit Phone(const std::string& user)
    {
        PresenceAccount a;
        a.userId = user;
        a.password = user + "pw";
        a.domain = "localhost";
        XmppEndpoint e;
        e.server = kServer;
        e.port = ProsodyPeer::kPort;
        handler.InitializePresenceHandler(a, e, {"yahoo.localhost", "msn.localhost", "gtalk.localhost"}, &view,
                                          nullptr);
    }
    void Send(int command, CPresenceData* data) { handler.Gui()->HandleGUIPresenceData(command, data); }
    void Gateway(int command, int imType, const std::string& user = "", const std::string& password = "")
    {
        auto* d = new CIMDetails;
        d->imType = imType;
        d->userName = user;
        d->password = password;
        d->presence = command == PRESENCE_COMMAND_XMPP_SET_IM_SIGNOUT ? PRESENCE_OFFLINE : PRESENCE_AVAILABLE;
        Send(command, d);
    }
    void Search(const std::string& text, bool byName, bool byEmail)
    {
        auto* s = new CSearchContact;
        s->text = text;
        s->byName = byName ? 1 : 0;
        s->byEmail = byEmail ? 1 : 0;
        Send(PRESENCE_COMMAND_XMPP_SEARCH_USER, s);
    }
};

// A bare gloox client that enters a room and invites someone through it, as another
// program's user would.
struct RoomInviter : gloox::ConnectionListener, gloox::PresenceHandler {
    gloox::Client client{gloox::JID("carol@localhost/room"), "carolpw", ProsodyPeer::kPort};
    bool connected = false, inRoom = false;

    RoomInviter()
    {
        client.setServer(kServer);
        client.setTls(gloox::TLSDisabled);
        client.setSASLMechanisms(gloox::SaslMechPlain);
        client.setCompression(false);
        client.registerConnectionListener(this);
        client.registerPresenceHandler(this);
    }
    bool Pump(const bool& until)
    {
        for (int i = 0; i < 100 && !until; ++i)
            client.recv(50000);
        return until;
    }
    void onConnect() override { connected = true; }
    void onDisconnect(gloox::ConnectionError) override { }
    bool onTLSConnect(const gloox::CertInfo&) override { return true; }
    void handlePresence(const gloox::Presence& p) override
    {
        inRoom = inRoom || p.from().full() == "lounge@muc.localhost/carol";
    }
    bool Invite(const std::string& who)
    {
        client.connect(false);
        if (!Pump(connected))
            return false;
        auto* join = new gloox::Tag("presence");
        join->addAttribute("to", "lounge@muc.localhost/carol");
        new gloox::Tag(join, "x", "xmlns", "http://jabber.org/protocol/muc");
        client.send(join);
        if (!Pump(inRoom))
            return false;
        auto* m = new gloox::Tag("message");
        m->addAttribute("to", "lounge@muc.localhost");
        auto* x = new gloox::Tag(m, "x", "xmlns", "http://jabber.org/protocol/muc#user");
        auto* invite = new gloox::Tag(x, "invite", "to", who);
        new gloox::Tag(invite, "reason", "come in");
        client.send(m);
        for (int i = 0; i < 4; ++i)
            client.recv(50000);
        return true;
    }
};

} // namespace

TEST(PresenceServices, SearchGatewayLifeBroadcastAndRoomInvitation)
{
    ProsodyPeer server(kServer);
    ASSERT_EQ(server.Start({{"alice", "alicepw"}, {"bob", "bobpw"}, {"carol", "carolpw"}}), "");
    zelora::test::TempDir dir("zelora-services");
    const std::string users = dir.Path() + "/users";
    std::ofstream(users) << "# user\tname\temail\tphone\n"
                         << "alice\tAlice Smith\talice@example.org\t1001\n"
                         << "bob\tBob Smithers\tbob@example.org\t1002\n"
                         << "broken line without tabs\n"
                         << "carol\tCarol Jones\tcarol@smith.example\t1003\n";
    ASSERT_EQ(server.StartServices(PRESENCE_SERVICES_PATH, users), "");

    {
        Phone alice("alice"), bob("bob");
        ASSERT_NE(alice.view.WaitFor("LOGIN OK", 5s), "") << alice.view.Tail(5);
        ASSERT_NE(bob.view.WaitFor("LOGIN OK", 5s), "");
        // Nothing registered yet; searches and gateways go where discovery found them.
        const std::string services = alice.view.WaitFor("SERVICES", 5s);
        for (const char* s :
             {" search.localhost", " yahoo.localhost", " msn.localhost", " gtalk.localhost", " muc.localhost"})
            EXPECT_NE(services.find(s), std::string::npos) << services;
        EXPECT_EQ(services.find('='), std::string::npos) << services;

        // "smith" is in two names and in one e-mail address: the flags decide which count.
        alice.Search("SMITH", true, false);
        ASSERT_NE(alice.view.WaitFor("SEARCH count=2", 5s), "") << alice.view.Tail(5) << server.ServicesLog();
        EXPECT_NE(alice.view.WaitFor("SEARCH-ITEM alice|Alice Smith|alice@example.org|1001", 1s), "");
        EXPECT_NE(alice.view.WaitFor("SEARCH-ITEM bob|Bob Smithers|bob@example.org|1002", 1s), "");
        alice.Search("smith", false, true);
        EXPECT_NE(alice.view.WaitFor("SEARCH count=1", 5s), "");
        EXPECT_NE(alice.view.WaitFor("SEARCH-ITEM carol|Carol Jones|carol@smith.example|1003", 1s), "");

        // Registering makes the gateway ask for alice's presence and report the network sign-in.
        alice.Gateway(PRESENCE_COMMAND_XMPP_REGISTER_IM, IM_TYPE_YAHOO, "ally", "secret");
        EXPECT_NE(alice.view.WaitFor("SUBSCRIBE-REQUEST jid=yahoo.localhost", 5s), "") << server.ServicesLog();
        EXPECT_NE(alice.view.WaitFor("IM-STATUS 1 1 1", 5s), "") << alice.view.Tail(5);
        alice.Gateway(PRESENCE_COMMAND_XMPP_SET_IM_SIGNOUT, IM_TYPE_YAHOO);
        EXPECT_NE(alice.view.WaitFor("IM-STATUS 1 0 1", 5s), "");
        // A gateway that refuses: no password.
        alice.Gateway(PRESENCE_COMMAND_XMPP_REGISTER_IM, IM_TYPE_MSN, "ally@msn", "");
        EXPECT_TRUE(zelora::test::WaitUntil(
            [&] {
                return server.ServicesLog().find("msn.localhost register from alice@localhost refused") !=
                    std::string::npos;
            },
            5s));
        EXPECT_EQ(alice.view.Count("IM-STATUS 2"), 0);

        // A broadcast reaches each named contact as a normal message.
        for (const char* to : {"bob@localhost", "carol@localhost"}) {
            auto* m = new CChatMessage;
            m->peerJid = to;
            m->body = "meeting at ten";
            m->kind = MESSAGE_KIND_NORMAL;
            alice.Send(PRESENCE_COMMAND_XMPP_BROADCAST_MESSAGE, m);
        }
        EXPECT_NE(bob.view.WaitFor("CHAT from=alice@localhost kind=65536 text=meeting at ten", 5s), "");

        RoomInviter carol;
        ASSERT_TRUE(carol.Invite("bob@localhost"));
        // The room is semi-anonymous: the inviter shows as her seat in the room.
        EXPECT_NE(
            bob.view.WaitFor("MUC-INVITE room=lounge@muc.localhost from=lounge@muc.localhost/carol reason=come in", 5s),
            "")
            << bob.view.Tail(5);
    }

    // Signed in again: the registered name on the disco items tells the core the gateway is set
    // up, before any presence from it; signing in to it is then the user's own choice.
    {
        Phone alice("alice");
        ASSERT_NE(alice.view.WaitFor("LOGIN OK", 5s), "");
        const std::string services = alice.view.WaitFor("yahoo.localhost=ally", 5s);
        EXPECT_NE(services, "") << alice.view.Tail(5);
        // The refused registration left no name: only a gateway's result counts.
        EXPECT_EQ(services.find("msn.localhost="), std::string::npos) << services;
        EXPECT_NE(alice.view.WaitFor("IM-STATUS 1 0 1", 5s), "") << alice.view.Tail(5);
        EXPECT_EQ(alice.handler.Gui()->Gateway(IM_TYPE_MSN).loginInfo, 0);
        alice.Gateway(PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE, IM_TYPE_YAHOO);
        EXPECT_NE(alice.view.WaitFor("IM-STATUS 1 1 1", 5s), "");
        alice.Gateway(PRESENCE_COMMAND_XMPP_UNREGISTER_IM, IM_TYPE_YAHOO);
        EXPECT_NE(alice.view.WaitFor("IM-STATUS 1 0 1", 5s), "") << server.ServicesLog();
    }
    {
        // Unregistered: the next sign-in's disco items carry no name.
        Phone alice("alice");
        ASSERT_NE(alice.view.WaitFor("LOGIN OK", 5s), "");
        const std::string services = alice.view.WaitFor("SERVICES", 5s);
        EXPECT_NE(services.find("yahoo.localhost"), std::string::npos) << services;
        EXPECT_EQ(services.find('='), std::string::npos) << services;
        EXPECT_EQ(alice.view.Count("IM-STATUS 1"), 0) << alice.view.Tail(5);
        EXPECT_EQ(alice.handler.Gui()->Gateway(IM_TYPE_YAHOO).loginInfo, 0);
    }
}

TEST(PresenceServices, EmailInvitationReachesTheMailPage)
{
    zelora::test::TempDir dir("zelora-invite");
    SimProcess sim(OPERATOR_SIM_PATH, "127.0.9.3", dir.Path() + "/operator.ini");
    ASSERT_EQ(sim.Start(), "");
    CPresenceInvite invite("127.0.9.3", 80);
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> results;
    auto send = [&](const std::string& address) {
        const int sent = invite.Send(address, "alice", [&](const std::string& text) {
            std::lock_guard<std::mutex> l(lock);
            results.push_back(text);
            changed.notify_all();
        });
        std::unique_lock<std::mutex> l(lock);
        changed.wait_for(l, 5s, [&] { return !results.empty(); });
        std::string text = results.empty() ? "no answer (send gave " + std::to_string(sent) + ")" : results.front();
        results.clear();
        return text;
    };
    EXPECT_EQ(send("friend@example.org"), CPresenceInvite::kSent);
    // An address with form characters stays one value: unencoded, "&" would start a field.
    EXPECT_EQ(send("a&b=c@example.org"), CPresenceInvite::kSent);
    EXPECT_EQ(sim.Requests("invite"), 2);
    EXPECT_EQ(invite.Send("no-at-sign", "alice", [](const std::string&) {}), -2);
    sim.Stop();
    EXPECT_EQ(send("friend@example.org"), CPresenceInvite::kFailed);
}
