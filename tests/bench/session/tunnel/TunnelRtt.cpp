// Round trip of RTP-sized datagrams: audio engine -> client relay -> tunnel -> server echo ->
// tunnel -> client -> local media port. Starts its own tunnel-server on loopback.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "session/tunnel/CTunnelProtocol.h"
#include "TunnelTestPeers.h"

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    int size = argc > 2 ? std::atoi(argv[2]) : 172;
    const char* serverAddress = "127.0.2.200";
    const char* localAddress = "127.0.2.201";
    if (std::strlen(TUNNEL_SERVER_PATH) == 0 || count <= 0 || size <= 0 || size > 2048) {
        std::fprintf(stderr, "tunnel_rtt: tunnel-server not built, or bad arguments (count 1.., size 1..2048)\n");
        return 1;
    }
    TempDir dir;
    std::string accounts = dir.Write("accounts", "rtt secret\n");
    PeerProcess server;
    std::string error =
        server.Start({TUNNEL_SERVER_PATH, "--listen", serverAddress, "--accounts", accounts, "--echo", "600"},
                     dir.Path() + "/server.log");
    if (!error.empty() || !WaitForTcp(serverAddress, 443, 5000)) {
        std::fprintf(stderr, "tunnel_rtt: tunnel-server did not start: %s\n", error.c_str());
        return 1;
    }
    setenv("ZELORA_LOCAL_ADDRESS", localAddress, 1);
    EventLog events;
    CODEC_INFO codecs[1] = {};
    CTunnelProtocol client("rtt", 0, "", 0, 0, serverAddress);
    SESSION_EVENT_INFO answered;
    if (client.Init("r", "sip.example", "5060", &EventLog::Callback, &events, nullptr, codecs, 1, "rtt", 5060) != 0 ||
        client.Register("rtt", "rtt", "secret", 3600, nullptr, nullptr, 0) <= 0 ||
        !events.WaitFor(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3000) ||
        client.Invite("rtt", "600", nullptr, nullptr, nullptr, nullptr) <= 0 ||
        !events.WaitFor(MXSS_STATUS_OUTGOING_CALL_ANSWERED, 3000, &answered) || client.StartListen(&answered) != 1) {
        std::fprintf(stderr, "tunnel_rtt: could not set up the echo call\n");
        return 1;
    }
    UdpPeer engine(localAddress, CTunnelProtocol::kLocalMediaPort);
    if (!engine.Ok()) {
        std::fprintf(stderr, "tunnel_rtt: cannot bind the local media port\n");
        return 1;
    }
    int relayPort = std::atoi(answered.rtpPort);
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(count));
    std::vector<unsigned char> datagram(static_cast<std::size_t>(size));
    int lost = 0;
    for (int i = 0; i < count + 50; ++i) {
        for (std::size_t k = 0; k < datagram.size(); ++k)
            datagram[k] = static_cast<unsigned char>(k + static_cast<std::size_t>(i));
        auto t0 = std::chrono::steady_clock::now();
        engine.SendTo(localAddress, relayPort, datagram);
        std::vector<unsigned char> back = engine.Receive(1000);
        auto t1 = std::chrono::steady_clock::now();
        if (back != datagram) {
            ++lost;
            continue;
        }
        if (i >= 50) // the first ones warm caches and the scheduler
            micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    client.StopListen();
    std::sort(micros.begin(), micros.end());
    if (micros.empty()) {
        std::fprintf(stderr, "tunnel_rtt: no datagram came back\n");
        return 1;
    }
    auto at = [&](double q) {
        return micros[std::min(micros.size() - 1, static_cast<std::size_t>(q * micros.size()))];
    };
    std::printf("datagrams %zu of %d bytes, lost %d\nmedian %.1f us\np99 %.1f us\nmax %.1f us\n", micros.size(), size,
                lost, at(0.5), at(0.99), micros.back());
    return lost == 0 ? 0 : 1;
}
