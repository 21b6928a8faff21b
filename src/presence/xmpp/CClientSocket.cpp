#include "presence/xmpp/CClientSocket.h"

#include <gloox/clientbase.h>
#include <gloox/connectiontcpbase.h>

#include <poll.h>

int CClientSocket::Of(const gloox::ClientBase& client, gloox::ConnectionBase* transport)
{
    gloox::ConnectionBase* c = transport != nullptr ? transport : client.connectionImpl();
    const auto* tcp = dynamic_cast<const gloox::ConnectionTCPBase*>(c);
    return tcp != nullptr ? tcp->socket() : -1;
}

bool CClientSocket::WaitReadable(int fd, int milliseconds)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, milliseconds) != 0;
}
