#pragma once
// The socket under a gloox client, so that the connection thread can wait for data
// without holding the client lock: a command then reaches the client at once instead of
// waiting for a receive call's time-out.
namespace gloox {
class ClientBase;
class ConnectionBase;
} // namespace gloox

class CClientSocket {
public:
    // The transport's socket, or -1 when there is none (yet). `transport` is the TCP
    // connection under a proxy connection, which gloox does not expose; null otherwise.
    // Client lock held.
    static int Of(const gloox::ClientBase& client, gloox::ConnectionBase* transport);
    // Waits up to `milliseconds` for data; true when there is some to receive or the
    // socket failed (the receive call then reports it). No lock is needed.
    static bool WaitReadable(int fd, int milliseconds);
};
