#pragma once
// Connection set-up of the XMPP side: the gloox client with the options the presence service
// expects, and, when the phone's HTTP proxy is on, the way to the server through the proxy.
#include <memory>
#include <string>

#include "presence/IXmppSide.h"

namespace gloox {
class Client;
class ConnectionBase;
} // namespace gloox

struct XmppLogin {
    std::string ownJid, resource, password, domain;
    int useProxy = 0; // the proxy is used only when this is exactly 1
    std::string proxyHost;
    int proxyPort = -1;
};

class CXMPPClientBuilder {
public:
    // A client not yet connected: SASL PLAIN, no compression, TLS optional. `transport` is set to
    // the TCP connection under the proxy (owned by the client), or null when the client goes direct.
    static std::unique_ptr<gloox::Client> Build(const XmppLogin& login, const XmppEndpoint& endpoint,
                                                gloox::ConnectionBase*& transport);
};
