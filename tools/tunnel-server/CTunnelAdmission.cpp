#include "CTunnelAdmission.h"

#include "TunnelLog.h"

bool CTunnelAdmission::Admit(const std::string& address, const std::string& name, std::size_t clients) const
{
    if (!m_options.refuseFrom.empty() && m_options.refuseFrom == address) {
        TunnelLog("%s refused: its address is blocked", name.c_str());
        return false;
    }
    if (static_cast<int>(clients) >= m_options.maxClients) {
        TunnelLog("%s refused: %d clients already", name.c_str(), m_options.maxClients);
        return false;
    }
    return true;
}
