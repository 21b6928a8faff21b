#include "CTunnelClients.h"

CTunnelClient& CTunnelClients::Add(std::unique_ptr<CTunnelClient> client)
{
    CTunnelClient& added = *client;
    m_clients[client->Id()] = std::move(client);
    return added;
}

CTunnelClient* CTunnelClients::Find(std::uint64_t id)
{
    auto it = m_clients.find(id);
    return it == m_clients.end() || it->second->Closing() ? nullptr : it->second.get();
}

CTunnelClient* CTunnelClients::FindUser(const std::string& user)
{
    for (auto& [id, c] : m_clients)
        if (!c->Closing() && c->user == user)
            return c.get();
    return nullptr;
}

void CTunnelClients::ForEach(const std::function<void(CTunnelClient&)>& visit)
{
    for (auto& [id, c] : m_clients)
        visit(*c);
}

void CTunnelClients::Sweep(const std::function<void(CTunnelClient&)>& leaving)
{
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (it->second->Closing()) {
            leaving(*it->second);
            it = m_clients.erase(it);
        } else {
            ++it;
        }
    }
}
