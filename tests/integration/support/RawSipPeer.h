#pragma once
// A UDP endpoint that speaks hand-written SIP: for requests no real phone sends on demand
// (in-dialog INFO, re-INVITE) and for probing servers.
#include <string>

namespace zelora::test {

class RawSipPeer {
public:
    RawSipPeer() = default;
    ~RawSipPeer();
    RawSipPeer(const RawSipPeer&) = delete;
    RawSipPeer& operator=(const RawSipPeer&) = delete;

    // Binds ip:port (port 0: any). Returns "" or what went wrong.
    std::string Open(const std::string& ip, int port = 0);
    int Port() const { return m_port; }
    const std::string& Ip() const { return m_ip; }
    bool Send(const std::string& message, const std::string& ip, int port);
    // One datagram, or "" when none arrives in time.
    std::string Receive(int timeoutMs);
    // The next datagram whose first line starts with `prefix` (others are dropped).
    std::string ReceiveStartingWith(const std::string& prefix, int timeoutMs);

    // Value of the first header `name` (case-insensitive, compact forms not expanded), "" if none.
    static std::string Header(const std::string& message, const std::string& name);
    static std::string Body(const std::string& message);
    // The ";tag=" value of a From/To header value.
    static std::string Tag(const std::string& headerValue);
    // Numeric status of a response, 0 for a request.
    static int Status(const std::string& message);

private:
    int m_fd = -1;
    int m_port = 0;
    std::string m_ip;
};

// True when an OPTIONS to sip:ip:port is answered 200 within the time.
bool SipServerAnswers(const std::string& ip, int port, int timeoutMs);

} // namespace zelora::test
