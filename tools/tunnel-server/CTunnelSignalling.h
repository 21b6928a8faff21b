#pragma once
// What arrives in the clients' streams: signalling packets checked and dispatched by command
// (registration here, calls to CTunnelCalls), media handed to the calls to relay.
#include <cstdint>

#include "CTunnelAccounts.h"
#include "CTunnelCalls.h"
#include "CTunnelClient.h"
#include "CTunnelClients.h"
#include "TunnelServerOptions.h"

class CTunnelSignalling : public CTunnelClient::IPackets {
public:
    CTunnelSignalling(const TunnelServerOptions& options, const CTunnelAccounts& accounts, CTunnelClients& clients);

    void OnSignalling(CTunnelClient& c, const std::uint8_t* content, int length) override;
    void OnMedia(CTunnelClient& c, const std::uint8_t* rtp, int length) override;
    // The client is gone: its calls end.
    void Leave(CTunnelClient& c) { m_calls.EndCallsOf(c); }

private:
    void Register(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d);
    void Invite(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d) { m_calls.Invite(c, d); }
    void CallCommand(CTunnelClient& c, const TUNNEL_CLIENT_DATA& d) { m_calls.Command(c, d); }
    void Refuse(CTunnelClient& c, int status, const char* reason);

    const CTunnelAccounts& m_accounts;
    CTunnelClients& m_clients;
    CTunnelCalls m_calls;
};
