#pragma once
// Prosody started for a test: its own data folder, accounts made by prosodyctl.
#include <string>
#include <utility>
#include <vector>

#include "PeerProcess.h"

// Whether a TCP connect to address:port succeeds now.
bool PortAnswers(const char* address, int port);

class ProsodyPeer {
public:
    static constexpr const char* kAddress = "127.0.0.31";
    static constexpr int kPort = 5222;
    static constexpr int kComponentPort = 5347;
    static constexpr const char* kSecret = "services";

    explicit ProsodyPeer(std::string address = kAddress) : m_address(std::move(address)) { }
    const std::string& Address() const { return m_address; }

    // "" or what went wrong (a missing program names its package).
    std::string Start(const std::vector<std::pair<std::string, std::string>>& accounts);
    // The two steps of Start, for a test that puts data in place between them.
    std::string Register(const std::vector<std::pair<std::string, std::string>>& accounts);
    std::string Launch();
    std::string DataDir() const { return m_dir.Path() + "/data/localhost"; }
    void Stop() { m_process.Stop(); }
    // Starts the server again on the data it had.
    std::string Restart();
    // presence-services (at `program`) on the server's component port, searching the users
    // of `usersFile`; "" once all four components are connected.
    std::string StartServices(const std::string& program, const std::string& usersFile);
    std::string ServicesLog() const;

private:
    zelora::test::TempDir m_dir{"zelora-prosody"};
    zelora::test::PeerProcess m_process;
    zelora::test::PeerProcess m_services;
    std::string m_prosody;
    std::string m_address;
};
