// presence-services: the presence service's user search and IM gateways for tests and
// the sandbox. One component connection per service; one log line per request on stderr.
#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CComponentLink.h"
#include "CGatewayService.h"
#include "CSearchService.h"
#include "CUserDirectory.h"
#include "ServiceOptions.h"

int main(int argc, char** argv)
{
    ServiceOptions options;
    std::string error;
    if (!ParseServiceOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fputs(ServiceUsage(), error.empty() ? stdout : stderr);
        if (error.empty())
            return 0;
        std::fprintf(stderr, "presence-services: %s\n", error.c_str());
        return 2;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    // Blocked before the threads start, so that only sigwait below sees them.
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    CUserDirectory directory(options.users);
    auto link = [&](const std::string& name) {
        return std::make_unique<CComponentLink>(options.server, options.port, name + "." + options.domain,
                                                options.secret);
    };
    std::unique_ptr<CComponentLink> links[] = {link("search"), link("yahoo"), link("msn"), link("gtalk")};
    CSearchService search(*links[0], directory);
    CGatewayService yahoo(*links[1], "yahoo"), msn(*links[2], "msn"), gtalk(*links[3], "gtalk");
    for (auto& l : links)
        l->Start();
    std::fprintf(stderr, "presence-services: serving %s:%d for %s\n", options.server.c_str(), options.port,
                 options.domain.c_str());
    int signal = 0;
    sigwait(&stopSignals, &signal);
    for (auto& l : links)
        l->Stop();
    return 0;
}
