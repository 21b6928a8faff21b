#include "presence/xmpp/CGatewayStanzas.h"

#include "presence/CPresenceData.h"

#include <gloox/tag.h>

gloox::Tag* CGatewayStanzas::RegisterQuery(const CIMDetails& details, bool remove)
{
    auto* query = new gloox::Tag("query");
    query->setXmlns("jabber:iq:register");
    if (remove) {
        new gloox::Tag(query, "remove");
    } else {
        new gloox::Tag(query, "username", details.userName);
        new gloox::Tag(query, "nickname", details.userName);
        new gloox::Tag(query, "password", details.password);
    }
    return query;
}

gloox::Tag* CGatewayStanzas::Presence(const std::string& gateway, const std::string& id, bool signIn)
{
    auto* p = new gloox::Tag("presence");
    p->addAttribute("to", gateway);
    p->addAttribute("id", id);
    if (signIn) {
        new gloox::Tag(p, "status", "");
        new gloox::Tag(p, "priority", "1");
    } else {
        p->addAttribute("type", "unavailable");
    }
    return p;
}

gloox::Tag* CGatewayStanzas::StartUpSettings(const std::string& id, const std::array<std::string, 3>& hosts,
                                             const CIMDetails& details)
{
    auto* iq = new gloox::Tag("iq");
    iq->addAttribute("type", "set");
    iq->addAttribute("id", id);
    auto* query = new gloox::Tag(iq, "query");
    query->setXmlns("jabber:iq:private");
    auto* settings = new gloox::Tag(query, "gateway-settings");
    settings->setXmlns(kSettingsNs);
    auto* gateways = new gloox::Tag(settings, "gateways");
    const int on[] = {details.yahooAtStartUp, details.msnAtStartUp, details.gtalkAtStartUp};
    for (int i = 0; i < 3; ++i) {
        auto* g = new gloox::Tag(gateways, "gateway");
        new gloox::Tag(g, "serviceName", hosts[i]);
        new gloox::Tag(g, "autoLogin", on[i] ? "true" : "false");
    }
    return iq;
}
