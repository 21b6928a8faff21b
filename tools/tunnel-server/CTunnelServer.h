#pragma once
// The operator's end of the tunnel: the listening socket and one poll() loop over it and the
// clients, bounded everywhere. What the clients send is handled by CTunnelSignalling.
#include <cstdint>

#include "CTunnelAccounts.h"
#include "CTunnelAdmission.h"
#include "CTunnelClients.h"
#include "CTunnelSignalling.h"
#include "TunnelServerOptions.h"

class CTunnelServer {
public:
    explicit CTunnelServer(TunnelServerOptions options);
    ~CTunnelServer();
    CTunnelServer(const CTunnelServer&) = delete;
    CTunnelServer& operator=(const CTunnelServer&) = delete;

    // 0 once listening, -1 with the reason on stderr.
    int Start();
    // Runs until Stop (or a signal through the stop descriptor); returns the exit code.
    int Run();
    // Safe from a signal handler.
    void Stop();

private:
    int Listen();
    void Accept();

    TunnelServerOptions m_options;
    CTunnelAccounts m_accounts;
    CTunnelAdmission m_admission{m_options};
    CTunnelClients m_clients;
    CTunnelSignalling m_signalling{m_options, m_accounts, m_clients};
    int m_listen = -1;
    int m_stopPipe[2] = {-1, -1};
    std::uint64_t m_nextClient = 1;
};
