// Two console phones, signed in through Kamailio, start presence from the phone's account:
// the exact command and event lines of zeloratalk-cli. Addresses 127.0.0.33-127.0.0.36.
#include "KamailioPeer.h"
#include "PhoneTestPeers.h"
#include "ProsodyPeer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace phone_it;

namespace {

TEST(PresenceCli, SubscribeAcceptStatusChatAndHistory)
{
    ProsodyPeer xmpp("127.0.0.36");
    ASSERT_EQ(xmpp.Start({{"1001", "pw1001"}, {"1002", "pw1002"}}), "");
    zelora::test::TempDir dir("zelora-cli-services");
    std::ofstream(dir.Path() + "/users") << "1001\tFirst Phone\tone@example.org\t1001\n"
                                         << "1002\tSecond Phone\ttwo@example.org\t1002\n";
    ASSERT_EQ(xmpp.StartServices(PRESENCE_SERVICES_PATH, dir.Path() + "/users"), "");
    zelora::test::KamailioPeer kamailio;
    zelora::test::KamailioPeer::Options k;
    k.ip = "127.0.0.33";
    ASSERT_EQ(kamailio.Start(k), "");
    PhoneUnderTest a("pa", "127.0.0.34", k.ip, "127.0.6.254", 0), b("pb", "127.0.0.35", k.ip, "127.0.6.254", 0);
    for (PhoneUnderTest* p : {&a, &b}) {
        // The gateways as presence-services names them; [presence] is the file's last section:
        // the server's own address goes there.
        const std::string file = p->Home() + "/deployment.ini";
        std::string text = zelora::test::ReadFile(file);
        for (const char* g : {"y.localhost", "m.localhost", "g.localhost"}) {
            const std::string longName = std::string(g[0] == 'y' ? "yahoo" : g[0] == 'm' ? "msn" : "gtalk") + (g + 1);
            text.replace(text.find(std::string("= ") + g), std::strlen(g) + 2, "= " + longName);
        }
        ASSERT_TRUE(zelora::test::WriteFile(file, text + "server = " + xmpp.Address() + "\n"));
        ASSERT_EQ(p->Start(), "");
    }
    ASSERT_EQ(a.SignIn("1001", "pw1001"), "");
    ASSERT_EQ(b.SignIn("1002", "pw1002"), "");
    CliPhone& ca = a.Cli();
    CliPhone& cb = b.Cli();
    ca.Send("presence-login");
    cb.Send("presence-login");
    ASSERT_NE(ca.WaitFor("PRESENCE-LOGIN OK", 5s), "") << ca.Transcript();
    ASSERT_NE(cb.WaitFor("PRESENCE-LOGIN OK", 5s), "") << cb.Transcript();
    ASSERT_NE(ca.WaitFor("ROSTER-END 0", 5s), "");
    ca.Send("presence-status 0");
    cb.Send("presence-status 0");

    ca.Send("buddy-add 1002@localhost \"Office\" \"Bee\" \"hello b\"");
    EXPECT_NE(cb.WaitFor("SUBSCRIBE-REQUEST jid=1001@localhost text=\"hello b\"", 5s), "") << cb.Transcript();
    cb.Send("buddy-accept 1001@localhost");
    EXPECT_NE(ca.WaitFor("PRESENCE jid=1002@localhost presence=1 status=\"\"", 5s), "") << ca.Transcript();
    cb.Send("presence-status 2 \"in a meeting\"");
    EXPECT_NE(ca.WaitFor("PRESENCE jid=1002@localhost presence=3 status=\"in a meeting\"", 5s), "");
    ca.Mark();
    ca.Send("roster");
    EXPECT_NE(ca.WaitFor("ROSTER jid=1002@localhost name=\"Bee\" group=\"Office\" groups=\"Office\"", 5s), "")
        << ca.Transcript();
    EXPECT_NE(ca.WaitFor("ROSTER-END 1", 5s), "");

    ca.Send("history 1002@localhost on");
    ca.Send("chat 1002@localhost \"a <b> & c\"");
    EXPECT_NE(cb.WaitFor("CHAT from=1001@localhost kind=4096 subject=\"\" text=\"a <b> & c\"", 5s), "");
    cb.Send("chat 1001@localhost \"back\"");
    EXPECT_NE(ca.WaitFor("CHAT from=1002@localhost kind=4096 subject=\"\" text=\"back\"", 5s), "");
    const std::string history = zelora::test::ReadFile(a.Home() + "/data/zeloraTALK/1001/1002@localhost.xml");
    EXPECT_NE(history.find("<Text>a &lt;b&gt; &amp; c</Text>"), std::string::npos) << history;
    EXPECT_NE(history.find("<Text>back</Text>"), std::string::npos) << history;
    EXPECT_EQ(history.rfind("</Log>"), history.size() - 6);

    ca.Send("broadcast 1002@localhost \"to everyone\"");
    EXPECT_NE(cb.WaitFor("CHAT from=1001@localhost kind=65536 subject=\"\" text=\"to everyone\"", 5s), "");
    ca.Send("im-register msn joe secret");
    EXPECT_NE(ca.WaitFor("MESSAGE \"Enter complete id\"", 5s), "");

    ca.Send("search \"phone\" name");
    EXPECT_NE(ca.WaitFor("SEARCH-RESULT count=2", 5s), "") << ca.Transcript();
    EXPECT_NE(
        ca.WaitFor("SEARCH-ITEM user=\"1002\" name=\"Second Phone\" email=\"two@example.org\" phone=\"1002\"", 5s), "");
    // A gateway account with sign-in at start-up: kept in the presence settings, so the next
    // presence sign-in signs in to the gateway by itself.
    ca.Send("im-register yahoo joe secret autologin");
    EXPECT_NE(ca.WaitFor("IM-STATUS gateway=yahoo signed_in=1 login_info=1", 5s), "") << ca.Transcript();
    ca.Send("im-logout yahoo");
    EXPECT_NE(ca.WaitFor("IM-STATUS gateway=yahoo signed_in=0 login_info=1", 5s), "");
    const std::string settings = zelora::test::ReadFile(a.Home() + "/data/zeloraTALK/presenceSettings_1001.ini");
    EXPECT_NE(settings.find("nIsIMYahooLoginInformationAvailable = 1"), std::string::npos) << settings;
    EXPECT_NE(settings.find("nIsIMYahooLoginAtStartUpEnabled = 1"), std::string::npos) << settings;
    ca.Send("presence-logout");
    ASSERT_NE(ca.WaitFor("PRESENCE-LOGOUT", 5s), "");
    ca.Send("presence-login");
    ASSERT_NE(ca.WaitFor("PRESENCE-LOGIN OK", 5s), "");
    EXPECT_NE(ca.WaitFor("IM-STATUS gateway=yahoo signed_in=1 login_info=1", 5s), "") << ca.Transcript();
    ca.Mark(); // the sign-in's own "signed_in=0" (from the disco items) is not the answer
    ca.Send("im-unregister yahoo");
    EXPECT_NE(ca.WaitFor("IM-STATUS gateway=yahoo signed_in=0 login_info=1", 5s), "") << ca.Transcript();
    const std::string cleared = zelora::test::ReadFile(a.Home() + "/data/zeloraTALK/presenceSettings_1001.ini");
    EXPECT_NE(cleared.find("nIsIMYahooLoginInformationAvailable = 0"), std::string::npos) << cleared;
}

} // namespace
