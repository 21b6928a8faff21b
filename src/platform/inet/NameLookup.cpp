#include "platform/inet/NameLookup.h"

#include "platform/PlatformLog.h"

#include <netdb.h>

#include <cstring>
#include <memory>
#include <thread>

namespace zelora::inet {

namespace {

ResolvedAddresses Resolve(const std::string& host, std::uint16_t port, int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    ResolvedAddresses result;
    const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (status != 0) {
        if ((flags & AI_NUMERICHOST) == 0) {
            PLATFORM_LOG(2, "Cannot resolve %s: %s", host.c_str(), ::gai_strerror(status));
        }
        return result;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(list, &::freeaddrinfo);
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        if (a->ai_addrlen <= sizeof(sockaddr_storage)) {
            SocketAddress entry;
            std::memcpy(&entry.address, a->ai_addr, a->ai_addrlen);
            entry.length = a->ai_addrlen;
            result.addresses.push_back(entry);
        }
    }
    result.found = !result.addresses.empty();
    return result;
}

} // namespace

std::optional<ResolvedAddresses> ResolveNumeric(const std::string& host, std::uint16_t port)
{
    ResolvedAddresses result = Resolve(host, port, AI_NUMERICHOST);
    if (!result.found) {
        return std::nullopt;
    }
    return result;
}

void ResolveInBackground(const std::string& host, std::uint16_t port, std::function<void(ResolvedAddresses)> done)
{
    try {
        std::thread([host, port, done] { done(Resolve(host, port, 0)); }).detach();
    } catch (...) {
        PLATFORM_LOG(1, "No thread for looking up %s", host.c_str());
        done(ResolvedAddresses{});
    }
}

} // namespace zelora::inet
