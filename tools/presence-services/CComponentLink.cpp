#include "CComponentLink.h"

#include <chrono>
#include <cstdio>

CComponentLink::CComponentLink(const std::string& server, int port, const std::string& jid, const std::string& secret)
    : m_jid(jid),
      m_component(std::make_unique<gloox::Component>(gloox::XMLNS_COMPONENT_ACCEPT, server, jid, secret, port))
{
    m_component->registerConnectionListener(this);
}

CComponentLink::~CComponentLink() { Stop(); }

void CComponentLink::Start() { m_thread = std::thread(&CComponentLink::Run, this); }

void CComponentLink::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CComponentLink::onConnect()
{
    m_connected = true;
    m_lastError = gloox::ConnNoError;
    std::fprintf(stderr, "presence-services: %s connected\n", m_jid.c_str());
}

void CComponentLink::onDisconnect(gloox::ConnectionError e)
{
    m_connected = false;
    if (e != m_lastError) // a server that is not up yet would log every retry
        std::fprintf(stderr, "presence-services: %s disconnected (error %d)\n", m_jid.c_str(), static_cast<int>(e));
    m_lastError = e;
}

void CComponentLink::Run()
{
    while (!m_stop) {
        if (m_component->state() == gloox::StateDisconnected) {
            m_component->connect(false);
            if (m_component->state() == gloox::StateDisconnected) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
                continue;
            }
        }
        if (m_component->recv(kRecvTimeoutUs) != gloox::ConnNoError && !m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
    if (m_component->state() != gloox::StateDisconnected)
        m_component->disconnect();
}
