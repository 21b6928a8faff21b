#pragma once
// The XMPP side as the rest of presence sees it. It lives in a module of its own, loaded when
// presence first signs in, so that a phone without presence never maps the XMPP library and
// the TLS stack it brings.
#include <string>

class CFifo;

struct XmppEndpoint {
    std::string server; // TCP host; empty = the presence domain
    int port = 5222;
    int proxyPort = 5223; // port asked of the HTTP proxy
};

class IXmppSide {
public:
    virtual ~IXmppSide() = default;
    virtual void SetEndpoint(const XmppEndpoint& endpoint) = 0;
    // Tests shorten the pause before a reconnect.
    virtual void SetReconnectDelay(int milliseconds) = 0;
    virtual int Init(const std::string& userId, const std::string& password, const std::string& domain,
                     const std::string& resource, int useProxy, const std::string& proxyHost, int proxyPort) = 0;
    // Closes the connection as a lost one would end; the client then waits for a reconnect.
    virtual void Disconnect() = 0;
    virtual bool IsSignedIn() const = 0;
    virtual int ReconnectCount() const = 0;
};

// The module's one entry point: a new XMPP side over the two command queues, or null.
extern "C" {
using ZeloraCreateXmppSide = IXmppSide* (*)(CFifo* xmppFifo, CFifo* guiFifo);
}
inline constexpr const char* kZeloraCreateXmppSideName = "zelora_create_xmpp_side";
