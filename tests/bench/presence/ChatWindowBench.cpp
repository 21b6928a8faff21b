// A chat message's time from one user's window to the other's screen: typed and sent in
// Alice's chat page (Return), until Bob's page has drawn it, both sessions signed in to a
// real Prosody on 127.0.18.2. Prints the median, 90th percentile and worst of N messages.
//   presence_chat_window_bench [N]   (QT_QPA_PLATFORM=offscreen for a headless run)
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "DialogSession.h"
#include "ProsodyPeer.h"
#include "presence/ui/CPresenceChatPageWidget.h"
#include "presence/ui/CPresenceChatWindow.h"

namespace {

constexpr const char* kServer = "127.0.18.2";

CPresenceChatPageWidget* PageOf(CPresenceDialogHost& host, const std::string& jid)
{
    CPresenceChatWindow* w = host.ChatWindow();
    const int index = w->Tabs().Find(jid);
    return index < 0 ? nullptr : w->PageWidget(index);
}

int Fail(const std::string& why)
{
    std::fprintf(stderr, "chat window bench: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    ProsodyPeer server(kServer);
    if (const std::string e = server.Start({{"alice", "alicepw"}, {"bob", "bobpw"}}); !e.empty())
        return Fail(e);
    DialogSession alice(kServer, "alice", "");
    DialogSession bob(kServer, "bob", "");
    auto signedIn = [](DialogSession& s) {
        return QTest::qWaitFor([&] { return !s.view.WaitFor("LOGIN OK", std::chrono::milliseconds(5)).empty(); }, 5000);
    };
    if (!signedIn(alice) || !signedIn(bob))
        return Fail("no sign-in: " + alice.view.Tail(3));

    alice.host->OpenChat("bob@localhost", "Bob");
    CPresenceChatPageWidget* out = PageOf(*alice.host, "bob@localhost");
    std::vector<double> ms;
    CPresenceChatPageWidget* in = nullptr;
    for (int i = 0; i <= count; ++i) {
        const QString text = QString("message %1").arg(i);
        QEventLoop wait;
        QElapsedTimer clock;
        QMetaObject::Connection shown;
        auto watch = [&] {
            shown = QObject::connect(in, &CPresenceChatPageWidget::Appended, &wait, [&] {
                if (in->Conversation().endsWith(text + "\n"))
                    wait.quit();
            });
        };
        if (in != nullptr)
            watch();
        QTimer::singleShot(5000, &wait, &QEventLoop::quit);
        QTest::keyClicks(out->Input(), text);
        clock.start();
        QTest::keyClick(out->Input(), Qt::Key_Return);
        if (in == nullptr) {
            // The first message opens Bob's tab: not counted.
            if (!QTest::qWaitFor([&] { return (in = PageOf(*bob.host, "alice@localhost")) != nullptr; }, 5000))
                return Fail("the first message never arrived");
            continue;
        }
        wait.exec();
        QObject::disconnect(shown);
        if (!in->Conversation().endsWith(text + "\n"))
            return Fail("message " + std::to_string(i) + " never arrived");
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        QTest::qWait(20);
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))]; };
    std::printf("chat window to window, %zu messages: median %.2f ms, p90 %.2f ms, max %.2f ms, min %.2f ms\n",
                ms.size(), at(0.5), at(0.9), ms.back(), ms.front());
    return 0;
}
