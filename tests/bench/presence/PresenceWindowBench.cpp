// The presence button's figure: from the press (window shown, presence started with the signed-in
// account) to the roster of 500 contacts shown in the tree, against a real Prosody; and the
// tree's fill alone.
#include "BenchRoster.h"
#include "ProsodyPeer.h"

#include "presence/CFifo.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/CPresenceHandler.h"
#include "presence/CPresenceSettings.h"
#include "presence/ui/CCustomTreeCtrl.h"
#include "presence/ui/CPresenceWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

constexpr int kContacts = 500;
constexpr const char* kBench = "127.0.17.40";

int ContactNodes(CCustomTreeCtrl& tree)
{
    int n = 0;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        n += tree.topLevelItem(i)->childCount();
    return n;
}

TEST(PresenceWindowBench, ButtonToRosterOf500ContactsShown)
{
    ProsodyPeer server(kBench);
    ASSERT_EQ(server.Register({{"alice", "alicepw"}}), "");
    std::filesystem::create_directories(server.DataDir() + "/roster");
    ASSERT_TRUE(zelora::test::WriteFile(server.DataDir() + "/roster/alice.dat", BenchRoster(kContacts)));
    ASSERT_EQ(server.Launch(), "");
    zelora::test::TempDir data("zelora-presence-window-bench");

    CFifo xmpp, gui;
    CPresenceSettings settings(data.Path() + "/presenceSettings_alice.ini");
    int shown = 0;
    QElapsedTimer clock;
    clock.start();
    // What the button does once the phone is signed in.
    CPresenceWindow window(settings, nullptr, {});
    window.rosterShown = [&](int n) { shown = n; };
    window.show();
    CPresenceHandler handler(xmpp, gui);
    PresenceAccount a;
    a.userId = "alice";
    a.password = "alicepw";
    a.domain = "localhost";
    a.settingsFile = settings.Path();
    settings.ReadSettings();
    XmppEndpoint e;
    e.server = kBench;
    e.port = ProsodyPeer::kPort;
    handler.InitializePresenceHandler(a, e, {}, &window, nullptr);
    window.Initialize(*handler.Gui(), nullptr);
    while (shown == 0 && clock.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QApplication::processEvents(); // painted
    const qint64 toShown = clock.elapsed();
    ASSERT_EQ(shown, kContacts);
    ASSERT_EQ(ContactNodes(window.Tree()), kContacts);
    ASSERT_EQ(window.Tree().topLevelItemCount(), 7);

    // The fill alone, five times over the same roster: the median.
    const std::vector<RosterEntry> roster = handler.Gui()->Roster();
    std::vector<qint64> fills;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        window.FillTree(roster);
        QApplication::processEvents();
        fills.push_back(t.nsecsElapsed() / 1000);
    }
    std::sort(fills.begin(), fills.end());
    std::printf("presence window: button to %d contacts shown %lld ms; tree fill %lld us (median of 5)\n", kContacts,
                static_cast<long long>(toShown), static_cast<long long>(fills[2]));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
