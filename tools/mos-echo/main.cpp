// mos-echo: the probe server that tests and the local sandbox run.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CMosEcho.h"
#include "MosEchoOptions.h"

int main(int argc, char** argv)
{
    MosEchoOptions options;
    std::string error;
    if (!ParseMosEchoOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fputs(MosEchoUsage(), error.empty() ? stdout : stderr);
        if (error.empty())
            return 0;
        std::fprintf(stderr, "mos-echo: %s\n", error.c_str());
        return 2;
    }

    // Signals arrive as readable data so that the serving loop ends cleanly.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        std::perror("mos-echo: sigprocmask");
        return 1;
    }
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (stopFd < 0) {
        std::perror("mos-echo: signalfd");
        return 1;
    }

    CMosEcho echo(options);
    if (!echo.Open(error)) {
        std::fprintf(stderr, "mos-echo: %s\n", error.c_str());
        close(stopFd);
        return 1;
    }
    std::printf("mos-echo listening on %s:%u\n", options.address.c_str(), static_cast<unsigned>(echo.BoundPort()));
    std::fflush(stdout);

    const bool ok = echo.Serve(stopFd, error);
    close(stopFd);
    std::fprintf(stderr, "mos-echo: received %lu, sent %lu, dropped %lu\n", echo.Received(), echo.Sent(),
                 echo.Dropped());
    if (!ok) {
        std::fprintf(stderr, "mos-echo: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
