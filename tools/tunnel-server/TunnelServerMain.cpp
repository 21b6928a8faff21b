// tunnel-server: serves the tunnel protocol on TCP (default port 443).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CTunnelServer.h"

namespace {
CTunnelServer* g_server = nullptr;

void OnSignal(int)
{
    if (g_server != nullptr)
        g_server->Stop();
}

void Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: tunnel-server [--listen ADDRESS] [--port N] [--accounts FILE] [--echo NUMBER]\n"
                 "                     [--timestamp-interval SECONDS] [--idle-timeout SECONDS]\n"
                 "                     [--max-clients N] [--refuse-from IP] [--rtp-base PORT] [--codecs 8,0,102]\n"
                 "  accounts file: one \"user password\" pair a line, '#' starts a comment\n");
}

bool ToInt(const char* text, int low, int high, int& out)
{
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}
// "8,0,102": payload numbers in the order the server prefers them.
bool ParseCodecs(const std::string& list, std::vector<int>& out)
{
    out.clear();
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int p = 0;
        if (!item.empty()) {
            if (!ToInt(item.c_str(), 0, 127, p))
                return false;
            out.push_back(p);
        }
        start = comma == std::string::npos ? list.size() : comma + 1;
    }
    return true;
}

bool SetOption(const std::string& a, const char* v, TunnelServerOptions& options, bool& known)
{
    known = true;
    if (a == "--listen")
        options.listenAddress = v;
    else if (a == "--port")
        return ToInt(v, 1, 65535, options.port);
    else if (a == "--accounts")
        options.accountsFile = v;
    else if (a == "--echo")
        options.echoNumber = v;
    else if (a == "--timestamp-interval")
        return ToInt(v, 0, 86400, options.timestampInterval);
    else if (a == "--idle-timeout")
        return ToInt(v, 1, 86400, options.idleTimeout);
    else if (a == "--refuse-from")
        options.refuseFrom = v;
    else if (a == "--max-clients")
        return ToInt(v, 1, 4096, options.maxClients);
    else if (a == "--rtp-base")
        return ToInt(v, 1024, 64000, options.rtpBase);
    else if (a == "--codecs")
        return ParseCodecs(v, options.codecPreference);
    else
        known = false;
    return true;
}

// -1 to go on and serve, else the exit code.
int ParseArguments(int argc, char** argv, TunnelServerOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "tunnel-server: %s needs a value\n", a.c_str());
            Usage(stderr);
            return 2;
        }
        const char* v = argv[++i];
        bool known = true;
        const bool ok = SetOption(a, v, options, known);
        if (!known) {
            std::fprintf(stderr, "tunnel-server: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "tunnel-server: bad value for %s: %s\n", a.c_str(), v);
            return 2;
        }
    }
    return -1;
}
} // namespace

int main(int argc, char** argv)
{
    TunnelServerOptions options;
    if (int rc = ParseArguments(argc, argv, options); rc >= 0)
        return rc;

    CTunnelServer server(options);
    if (server.Start() < 0)
        return 1;
    g_server = &server;
    struct sigaction sa { };
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    int rc = server.Run();
    g_server = nullptr;
    return rc;
}
