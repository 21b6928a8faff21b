#pragma once
// One XEP-0114 component connection with a thread of its own. Every gloox call on the
// component happens on that thread (handlers run inside recv), so it needs no lock.
// A lost or refused connection is tried again, so the services may start before Prosody.
#include <gloox/component.h>
#include <gloox/connectionlistener.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class CComponentLink : public gloox::ConnectionListener {
public:
    static constexpr int kRecvTimeoutUs = 200000; // bounds how long Stop() waits
    static constexpr int kRetryMs = 500;

    CComponentLink(const std::string& server, int port, const std::string& jid, const std::string& secret);
    ~CComponentLink() override;
    CComponentLink(const CComponentLink&) = delete;
    CComponentLink& operator=(const CComponentLink&) = delete;

    // Handlers are registered on it before Start().
    gloox::Component& Component() { return *m_component; }
    const std::string& Jid() const { return m_jid; }
    void Start();
    void Stop();
    bool Connected() const { return m_connected.load(); }

    void onConnect() override;
    void onDisconnect(gloox::ConnectionError e) override;
    bool onTLSConnect(const gloox::CertInfo&) override { return true; }

private:
    void Run();

    std::string m_jid;
    std::unique_ptr<gloox::Component> m_component;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_connected{false};
    gloox::ConnectionError m_lastError = gloox::ConnNoError;
};
