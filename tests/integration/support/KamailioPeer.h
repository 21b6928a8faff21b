#pragma once
// Kamailio as registrar with digest authentication and proxy, on its own loopback address,
// from the shared configuration (accounts 1001/pw1001, 1002/pw1002, 1003/pw1003, echo/pwecho).
#include <string>

#include "PeerProcess.h"

namespace zelora::test {

class KamailioPeer {
public:
    struct Options {
        std::string ip;
        int port = 5060;
        bool qop = false; // challenge with qop="auth"
        bool authFail403 = false; // a wrong password gets 403 instead of a new challenge
        bool noCallAuth = false; // challenge REGISTER only
    };

    // Starts it and waits until it answers OPTIONS. Returns "" or what went wrong (a missing
    // program names its package).
    std::string Start(const Options& options);
    void Stop() { m_process.Stop(); }
    std::string Log() const { return ReadFile(m_dir.Path() + "/kamailio.log"); }
    const std::string& Ip() const { return m_options.ip; }
    std::string Port() const { return std::to_string(m_options.port); }
    pid_t Pid() const { return m_process.Pid(); }

private:
    Options m_options;
    TempDir m_dir{"zelora-kamailio"};
    PeerProcess m_process;
};

} // namespace zelora::test
