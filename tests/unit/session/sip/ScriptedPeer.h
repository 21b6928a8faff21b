#pragma once
// A UDP peer that tests drive line by line: it receives what the user agent sends and
// answers with hand-written SIP text.
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "session/sip/eXosip.h"

namespace siptest {

struct Received {
    std::string text;
    osip_message_t* msg = nullptr; // parsed, owned
    Received() = default;
    Received(const Received&) = delete;
    Received& operator=(const Received&) = delete;
    Received(Received&& o) noexcept : text(std::move(o.text)), msg(o.msg) { o.msg = nullptr; }
    Received& operator=(Received&& o) noexcept
    {
        std::swap(text, o.text);
        std::swap(msg, o.msg);
        return *this;
    }
    ~Received();
    std::string Header(const char* name) const; // raw value of the first header of that name
    std::string Method() const;
    int Status() const;
    std::string Branch() const;
    std::string FromTag() const;
    std::string ToTag() const;
    std::string CallId() const;
    int CSeq() const;
};

class ScriptedPeer {
public:
    explicit ScriptedPeer(const std::string& ip, int port = 5060);
    ~ScriptedPeer();
    bool Ok() const { return m_fd >= 0; }
    const std::string& Ip() const { return m_ip; }
    int Port() const { return m_port; }

    void Send(const std::string& text, const std::string& ip, int port);
    // Next datagram within `timeout`; a message whose method/status matches `filter` when given
    // (others are kept for later). Empty optional on timeout.
    std::optional<Received> Next(std::chrono::milliseconds timeout, const std::string& filter = {});
    // Counts datagrams matching `filter` during `window`.
    int CountFor(std::chrono::milliseconds window, const std::string& filter);

private:
    std::optional<Received> ReadOne(std::chrono::milliseconds timeout);
    int m_fd = -1;
    std::string m_ip;
    int m_port;
    std::vector<Received> m_held;
};

// A running user agent bound to `localIp` for one test: init, listen on 5060, quit.
class AgentFixture {
public:
    explicit AgentFixture(const std::string& localIp, const char* userAgent = "zelora-test/1.0");
    ~AgentFixture();
    bool Ok() const { return m_ok; }
    eXosip_event_t* WaitEvent(int type, std::chrono::milliseconds timeout);
    // Every event that arrives during `window`.
    std::vector<int> DrainEvents(std::chrono::milliseconds window);

private:
    bool m_ok = false;
};

// A response to `request` with the given status line and extra header lines (each ending CRLF).
std::string MakeResponse(const Received& request, int status, const std::string& reason, const std::string& toTag,
                         const std::string& extra = {}, const std::string& body = {});

} // namespace siptest
