#pragma once
// What the operator sets on the command line of the tunnel server.
#include <string>
#include <vector>

struct TunnelServerOptions {
    std::string listenAddress = "127.0.0.1";
    int port = 443;
    std::string accountsFile;
    std::string echoNumber;
    int timestampInterval = 300; // seconds between command-100 frames
    int idleTimeout = 180; // seconds without a byte before a client is dropped
    int maxClients = 256;
    std::string refuseFrom; // connections from this address are closed at once (a blocked path)
    int rtpBase = 40000;
    std::vector<int> codecPreference{8, 0, 102};
};
