#pragma once
// Command line of presence-services.
#include <string>
#include <vector>

struct ServiceOptions {
    std::string server = "127.0.0.1"; // Prosody's component listener
    int port = 5347;
    std::string domain = "localhost"; // the services are search.<domain>, yahoo.<domain>, ...
    std::string secret; // component password, the same for every service
    std::string users; // data file of searchable users, read again when it changes
};

// Parses argv without the program name. false with `error` set on bad input; "--help"
// gives false with an empty error.
bool ParseServiceOptions(const std::vector<std::string>& args, ServiceOptions& options, std::string& error);
const char* ServiceUsage();
