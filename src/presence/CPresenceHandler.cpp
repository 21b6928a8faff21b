#include "presence/CPresenceHandler.h"

#include "app/CLogger.h"
#include "presence/CFifo.h"
#include "presence/CPresenceData.h"
#include "presence/CXmppModule.h"
#include "presence/PresenceCodes.h"

CPresenceHandler::CPresenceHandler(CFifo& xmppFifo, CFifo& guiFifo) : m_xmppFifo(xmppFifo), m_guiFifo(guiFifo) { }

CPresenceHandler::~CPresenceHandler()
{
    ZLOG_SCOPE();
    m_xmpp.reset();
    m_gui.reset();
}

int CPresenceHandler::InitializePresenceHandler(const PresenceAccount& account, const XmppEndpoint& endpoint,
                                                const PresenceGateways& gateways, IPresenceView* view,
                                                zelora::MessageQueue* mainWindow)
{
    ZLOG_SCOPE();
    m_ownJid = account.userId + "@" + account.domain;
    if (!m_gui) {
        m_gui = std::make_unique<CGUIPresenceHandler>(m_xmppFifo, m_guiFifo);
        if (!account.settingsFile.empty() && account.gatewaysRead != nullptr)
            m_gui->UseSettingsFile(account.settingsFile, *account.gatewaysRead);
        else if (!account.settingsFile.empty())
            m_gui->UseSettingsFile(account.settingsFile);
        m_gui->InitializeGUIPresenceHandler(m_ownJid, account.userId, account.domain, view, mainWindow, gateways);
    }
    if (!m_xmpp) {
        m_xmpp = CXmppModule::Create(m_xmppFifo, m_guiFifo);
        if (!m_xmpp) {
            auto* e = new CConnectionError;
            e->connectionError = kConnectionErrorNoResources;
            PresenceWrite(m_guiFifo, PRESENCE_COMMAND_GUI_AUTHENTICATION_FAILURE, e);
            return -1;
        }
        m_xmpp->SetEndpoint(endpoint);
        m_xmpp->Init(account.userId, account.password, account.domain, account.resource, account.useProxy,
                     account.proxyHost, account.proxyPort);
    }
    return 0;
}
