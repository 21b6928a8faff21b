#include "DialogSession.h"

#include "ProsodyPeer.h"

DialogSession::DialogSession(const std::string& server, const std::string& user, const std::string& settings)
{
    PresenceAccount a;
    a.userId = user;
    a.password = user + "pw";
    a.domain = "localhost";
    a.settingsFile = settings;
    XmppEndpoint e;
    e.server = server;
    e.port = ProsodyPeer::kPort;
    handler = std::make_unique<CPresenceHandler>(xmpp, gui);
    handler->InitializePresenceHandler(a, e, {"yahoo.localhost", "msn.localhost", "gtalk.localhost"}, &view, nullptr);
    host = std::make_unique<CPresenceDialogHost>(*handler->Gui(), nullptr);
    view.host = host.get();
    PresenceChatSettings s;
    s.history = s.showTime = s.bringFront = true;
    host->ApplyChatSettings(s);
}
