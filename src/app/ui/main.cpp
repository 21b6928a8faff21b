// zeloraTALK: the desktop softphone.
#include <QApplication>
#include <cstdio>

#include "app/CzeloraTALKApp.h"
#include "app/ui/CDesktopApp.h"
#include "web/CMXINet.h"
#include "web/ui/CWebPageView.h"

int main(int argc, char** argv)
{
    CzeloraTALKApp::Options options;
    options.parameters.assign(argv + 1, argv + argc);
    options.initInet = []() { return CMXINet::Init(); };
    options.exitInet = []() { CMXINet::Exit(); };
    // Before QApplication: the start-up may move the user's folders beside a portable program,
    // and a later start hands its number over without opening the display at all.
    CzeloraTALKApp app(std::move(options));
    std::string error;
    const int rc = app.Run(
        [&argc, argv](CzeloraTALKApp& started) {
            CWebPageView::PrepareProcess();
            QApplication qt(argc, argv);
            QApplication::setApplicationName("zeloraTALK");
            QApplication::setQuitOnLastWindowClosed(false);
            return CDesktopApp(started).Exec();
        },
        &error);
    if (!error.empty())
        std::fprintf(stderr, "zeloraTALK: %s\n", error.c_str());
    return rc;
}
