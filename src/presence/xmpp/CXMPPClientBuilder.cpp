#include "presence/xmpp/CXMPPClientBuilder.h"

#include "app/CLogger.h"

#include <gloox/client.h>
#include <gloox/connectionhttpproxy.h>
#include <gloox/connectiontcpclient.h>

std::unique_ptr<gloox::Client> CXMPPClientBuilder::Build(const XmppLogin& login, const XmppEndpoint& endpoint,
                                                         gloox::ConnectionBase*& transport)
{
    ZLOG_SCOPE();
    const std::string server = endpoint.server.empty() ? login.domain : endpoint.server;
    const bool proxied = login.useProxy == 1;
    auto client = std::make_unique<gloox::Client>(gloox::JID(login.ownJid + "/" + login.resource), login.password,
                                                  proxied ? -1 : endpoint.port);
    client->setServer(server);
    client->setResource(login.resource);
    client->setSasl(true);
    client->setSASLMechanisms(gloox::SaslMechPlain);
    client->setCompression(false);
    client->setTls(gloox::TLSOptional);
    transport = nullptr;
    if (proxied) {
        // The proxy is asked for a tunnel to the server; the client talks XMPP inside it.
        auto* tcp = new gloox::ConnectionTCPClient(client->logInstance(), login.proxyHost, login.proxyPort);
        auto* http =
            new gloox::ConnectionHTTPProxy(client.get(), tcp, client->logInstance(), server, endpoint.proxyPort);
        http->setHTTP11(true);
        client->setConnectionImpl(http);
        transport = tcp;
    }
    return client;
}
