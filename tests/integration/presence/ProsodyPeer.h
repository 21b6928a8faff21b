#pragma once
// Prosody started for a test: its own data folder, accounts made by prosodyctl.
#include <string>
#include <utility>
#include <vector>

#include "PeerProcess.h"

class ProsodyPeer {
public:
    static constexpr const char* kAddress = "127.0.0.31";
    static constexpr int kPort = 5222;

    // "" or what went wrong (a missing program names its package).
    std::string Start(const std::vector<std::pair<std::string, std::string>>& accounts);
    void Stop() { m_process.Stop(); }
    // Starts the server again on the data it had.
    std::string Restart();

private:
    std::string Launch();
    zelora::test::TempDir m_dir{"zelora-prosody"};
    zelora::test::PeerProcess m_process;
    std::string m_prosody;
};
