#include "CTunnelServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "TunnelLog.h"

CTunnelServer::CTunnelServer(TunnelServerOptions options) : m_options(std::move(options)) { }

CTunnelServer::~CTunnelServer()
{
    if (m_listen >= 0)
        ::close(m_listen);
    for (int fd : m_stopPipe)
        if (fd >= 0)
            ::close(fd);
}

int CTunnelServer::Start()
{
    if (!m_options.accountsFile.empty()) {
        std::string error;
        if (m_accounts.Load(m_options.accountsFile, error) < 0) {
            TunnelLog("%s", error.c_str());
            return -1;
        }
    }
    if (::pipe2(m_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        TunnelLog("pipe failed: %s", std::strerror(errno));
        return -1;
    }
    if (Listen() < 0)
        return -1;
    TunnelLog("listening on %s:%d, %zu accounts, echo number [%s]", m_options.listenAddress.c_str(), m_options.port,
              m_accounts.Size(), m_options.echoNumber.c_str());
    return 0;
}

int CTunnelServer::Listen()
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
    if (inet_pton(AF_INET, m_options.listenAddress.c_str(), &addr.sin_addr) != 1) {
        TunnelLog("invalid listen address %s", m_options.listenAddress.c_str());
        return -1;
    }
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // A restarted server takes its port back while the old connections are still in TIME_WAIT.
    int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 64) != 0) {
        TunnelLog("cannot listen on %s:%d: %s", m_options.listenAddress.c_str(), m_options.port, std::strerror(errno));
        return -1;
    }
    return 0;
}

void CTunnelServer::Stop()
{
    if (m_stopPipe[1] >= 0) {
        char b = 1;
        ssize_t ignored = ::write(m_stopPipe[1], &b, 1);
        (void)ignored;
    }
}

int CTunnelServer::Run()
{
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    for (;;) {
        fds.assign({{m_stopPipe[0], POLLIN, 0}, {m_listen, POLLIN, 0}});
        ids.clear();
        m_clients.ForEach([&](CTunnelClient& c) {
            fds.push_back({c.Fd(), static_cast<short>(c.WantsWrite() ? POLLIN | POLLOUT : POLLIN), 0});
            ids.push_back(c.Id());
        });
        if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) {
            TunnelLog("poll failed: %s", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents != 0) {
            TunnelLog("stopping");
            return 0;
        }
        if (fds[1].revents & POLLIN)
            Accept();
        for (std::size_t i = 0; i < ids.size(); ++i) {
            short re = fds[i + 2].revents;
            CTunnelClient* c = m_clients.Find(ids[i]);
            if (c != nullptr && (re & (POLLIN | POLLHUP | POLLERR)))
                c->OnReadable();
            c = m_clients.Find(ids[i]);
            if (c != nullptr && (re & POLLOUT))
                c->OnWritable();
        }
        m_clients.Sweep([&](CTunnelClient& c) { m_signalling.Leave(c); });
        const std::time_t now = std::time(nullptr);
        m_clients.ForEach([&](CTunnelClient& c) { c.Tick(now, m_options.idleTimeout, m_options.timestampInterval); });
    }
}

void CTunnelServer::Accept()
{
    for (;;) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(m_listen, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::string name = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
        if (!m_admission.Admit(text, name, m_clients.Size())) {
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto client = std::make_unique<CTunnelClient>(fd, m_nextClient++, name, m_signalling);
        TunnelLog("client %llu connected from %s", client->Number(), name.c_str());
        m_clients.Add(std::move(client));
    }
}
