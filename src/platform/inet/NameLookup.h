#pragma once
// Host names to socket addresses for the HTTP engine, without stalling its thread: a numeric
// address is read at once, a name is looked up on a short-lived thread of its own.
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelora::inet {

struct SocketAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

struct ResolvedAddresses {
    bool found = false;
    std::vector<SocketAddress> addresses; // in the resolver's order of preference
};

// The address itself when `host` is a numeric IPv4 or IPv6 address, else nothing.
std::optional<ResolvedAddresses> ResolveNumeric(const std::string& host, std::uint16_t port);
// Looks `host` up on a new detached thread and hands the outcome to `done` there; `done`
// must not reach anything that may be gone by then. Runs `done` at once, with nothing found,
// when no thread can be started.
void ResolveInBackground(const std::string& host, std::uint16_t port, std::function<void(ResolvedAddresses)> done);

} // namespace zelora::inet
