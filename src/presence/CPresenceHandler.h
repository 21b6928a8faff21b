#pragma once
// The entry object the main window owns once the user opens presence: starts the GUI
// side and the XMPP side with the signed-in account.
#include <memory>
#include <string>

#include "presence/CGUIPresenceHandler.h"
#include "presence/IXmppSide.h"

struct PresenceAccount {
    std::string userId, password, domain, resource = "zeloraTALK";
    int useProxy = 0;
    std::string proxyHost;
    int proxyPort = -1;
    std::string settingsFile; // the presence settings; empty: gateway choices are not kept
    const GatewayTable* gatewaysRead = nullptr; // its gateway keys, when the caller read the file
};

class CPresenceHandler {
public:
    CPresenceHandler(CFifo& xmppFifo, CFifo& guiFifo);
    // The XMPP side ends first: its threads stop before the GUI side goes.
    ~CPresenceHandler();
    CPresenceHandler(const CPresenceHandler&) = delete;
    CPresenceHandler& operator=(const CPresenceHandler&) = delete;

    // 0, or -1 when the XMPP side cannot be had: the GUI side is then told, as of a failed sign-in.
    int InitializePresenceHandler(const PresenceAccount& account, const XmppEndpoint& endpoint,
                                  const PresenceGateways& gateways, IPresenceView* view,
                                  zelora::MessageQueue* mainWindow);
    CGUIPresenceHandler* Gui() { return m_gui.get(); }
    IXmppSide* Xmpp() { return m_xmpp.get(); }
    const std::string& OwnJid() const { return m_ownJid; }

private:
    CFifo& m_xmppFifo;
    CFifo& m_guiFifo;
    std::string m_ownJid;
    std::unique_ptr<CGUIPresenceHandler> m_gui;
    std::unique_ptr<IXmppSide> m_xmpp;
};
