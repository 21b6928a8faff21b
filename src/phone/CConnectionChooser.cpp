#include "phone/CConnectionChooser.h"

#include <algorithm>

#include "app/CLogger.h"

CConnectionChooser::CConnectionChooser(bool proxySet, int remembered)
{
    ZLOG_SCOPE();
    m_order = {WAY_SIP, WAY_TUNNEL};
    if (proxySet)
        m_order.push_back(WAY_TUNNEL_PROXY);
    auto found = std::find(m_order.begin(), m_order.end(), static_cast<Way>(remembered));
    if (found != m_order.end()) {
        // The remembered way first; the others keep their order behind it.
        std::rotate(m_order.begin(), found, found + 1);
        m_remembered = remembered;
    }
    ZLOG(LOG_INFO, "Connection order starts with %s (remembered %d)", Name(m_order.front()), remembered);
}

bool CConnectionChooser::Advance()
{
    ZLOG_SCOPE();
    if (m_tried >= m_order.size()) {
        ZLOG(LOG_ERROR, "Every way of connecting was tried; staying on %s", Name(Current()));
        return false;
    }
    // Round the order: a later sign-in starts from where the last one ended.
    m_index = (m_index + 1) % m_order.size();
    ++m_tried;
    ZLOG(LOG_INFO, "Trying %s", Name(Current()));
    return true;
}

bool CConnectionChooser::Succeeded()
{
    ZLOG_SCOPE();
    if (m_remembered == Current())
        return false;
    m_remembered = Current();
    return true;
}

const char* CConnectionChooser::Name(Way way)
{
    switch (way) {
    case WAY_SIP:
        return "SIP over UDP";
    case WAY_TUNNEL:
        return "the tunnel";
    case WAY_TUNNEL_PROXY:
        return "the tunnel through the HTTP proxy";
    default:
        return "nothing";
    }
}
