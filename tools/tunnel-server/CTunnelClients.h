#pragma once
// The connected clients by id. A client that is closing is found by neither look-up, and
// leaves only in Sweep, after a poll round, so no reference taken during the round goes stale.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "CTunnelClient.h"

class CTunnelClients {
public:
    CTunnelClient& Add(std::unique_ptr<CTunnelClient> client);
    CTunnelClient* Find(std::uint64_t id);
    // The client the user is registered on.
    CTunnelClient* FindUser(const std::string& user);
    std::size_t Size() const { return m_clients.size(); }
    void ForEach(const std::function<void(CTunnelClient&)>& visit);
    // Removes the closing clients, each after `leaving` has seen it.
    void Sweep(const std::function<void(CTunnelClient&)>& leaving);

private:
    std::map<std::uint64_t, std::unique_ptr<CTunnelClient>> m_clients;
};
