#pragma once
// One request of the HTTP engine on its own connection: name lookup, a bounded connect to each
// address in turn, the request written as the socket takes it, the reply read as it comes,
// redirects followed. Driven by the engine thread's poll; reports through the engine.
#include "platform/UniqueFd.h"
#include "platform/inet/CHttpReply.h"
#include "platform/inet/InetHandle.h"
#include "platform/inet/NameLookup.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zelora::inet {

class CInetEngine;

class CHttpTransfer {
public:
    using Clock = std::chrono::steady_clock;

    CHttpTransfer(std::shared_ptr<InetHandle> request, CInetEngine& engine, std::uint64_t serial);
    CHttpTransfer(const CHttpTransfer&) = delete;
    CHttpTransfer& operator=(const CHttpTransfer&) = delete;

    void Start();
    void OnResolved(const ResolvedAddresses& resolved);
    // The socket's poll result; the time limit passed.
    void OnReady(short revents);
    void OnDeadline();

    bool Done() const { return m_step == Step::Done; }
    int Fd() const { return m_fd.Get(); }
    short Events() const;
    Clock::time_point Deadline() const { return m_deadline; }
    std::uint64_t Serial() const { return m_serial; }
    const std::shared_ptr<InetHandle>& Handle() const { return m_request; }

private:
    enum class Step { Resolving, Connecting, Sending, Receiving, Done };

    void Begin();
    void TryConnect();
    void Connected();
    void Send();
    void Receive();
    void OnReply(CHttpReply::Result result);
    void ReportProgress(int interimBefore, bool headersBefore);
    bool FollowRedirect();
    std::string RequestText() const;
    // Ends the transfer: the reply's body kept on success, the error reported either way.
    void Finish(DWORD error);

    std::shared_ptr<InetHandle> m_request;
    CInetEngine& m_engine;
    std::uint64_t m_serial;
    Step m_step = Step::Resolving;
    // Where the request goes now; a redirect changes these, not the handle.
    std::string m_host;
    std::uint16_t m_port = 80;
    std::string m_path;
    std::string m_verb;
    bool m_sendBody = true;
    int m_redirects = 0;
    std::uint64_t m_connection = 0; // counts the connections opened, redirects included
    // The first hop: the proxy or the server.
    std::optional<std::string> m_proxy;
    ResolvedAddresses m_addresses;
    std::size_t m_nextAddress = 0;
    UniqueFd m_fd;
    std::string m_out;
    std::size_t m_outSent = 0;
    std::unique_ptr<CHttpReply> m_reply;
    Clock::time_point m_deadline;
};

} // namespace zelora::inet
