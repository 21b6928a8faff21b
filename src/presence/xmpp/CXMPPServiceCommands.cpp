#include "presence/xmpp/CXMPPServiceCommands.h"

#include "app/CLogger.h"
#include "presence/xmpp/CPresenceProfile.h"
#include "presence/xmpp/CGatewayStanzas.h"
#include "presence/CPresenceData.h"
#include "presence/xmpp/CRawQuery.h"
#include "presence/PresenceCodes.h"

#include <gloox/client.h>
#include <gloox/dataform.h>
#include <gloox/iq.h>
#include <gloox/search.h>
#include <gloox/tag.h>
#include <gloox/vcard.h>
#include <gloox/vcardmanager.h>

#include <array>

CIMLoginIDDetails* CXMPPServiceCommands::Discovered(const gloox::Tag* query, const std::string& ownJid)
{
    auto* details = new CIMLoginIDDetails;
    details->ownJid = ownJid;
    m_services.clear();
    if (query != nullptr) {
        for (const gloox::Tag* item : query->findChildren("item")) {
            const std::string jid = BoundedText(item->findAttribute("jid"), kPresenceTextMax);
            m_services.push_back(jid);
            details->jids.push_back(jid);
            details->names.push_back(BoundedText(item->findAttribute("name"), kPresenceTextMax));
            details->registeredIds.push_back(BoundedText(item->findAttribute("RegisteredID"), kPresenceTextMax));
        }
    }
    return details;
}

std::string CXMPPServiceCommands::GetSearchServer() const { return GetIMServer("search"); }

std::string CXMPPServiceCommands::GetIMServer(const std::string& name) const
{
    for (const std::string& s : m_services)
        if (s.find(name) != std::string::npos)
            return s;
    return {};
}

std::string CXMPPServiceCommands::ImServerFor(int imType) const
{
    switch (imType) {
    case IM_TYPE_YAHOO:
        return GetIMServer("yahoo");
    case IM_TYPE_MSN:
        return GetIMServer("msn");
    case IM_TYPE_GTALK:
        return GetIMServer("gtalk");
    default:
        return {};
    }
}

void CXMPPServiceCommands::GetVCard(gloox::VCardManager& manager, gloox::VCardHandler& handler, const CVCard& card)
{
    ZLOG_SCOPE();
    manager.fetchVCard(gloox::JID(card.contactJid), &handler);
}

void CXMPPServiceCommands::SetVCard(gloox::VCardManager& manager, gloox::VCardHandler& handler, CVCard& card)
{
    ZLOG_SCOPE();
    if (card.profile)
        manager.storeVCard(CPresenceProfile::Build(*card.profile).release(), &handler);
}

void CXMPPServiceCommands::SearchContact(gloox::Search& search, gloox::SearchHandler& handler,
                                         const CSearchContact& what) const
{
    ZLOG_SCOPE();
    const std::string target = GetSearchServer();
    if (target.empty())
        return;
    auto* form = new gloox::DataForm(gloox::TypeSubmit);
    form->addField(gloox::DataFormField::TypeTextSingle, "search", what.text);
    form->addField(gloox::DataFormField::TypeBoolean, "Username", what.byUserName ? "1" : "0");
    form->addField(gloox::DataFormField::TypeBoolean, "Name", what.byName ? "1" : "0");
    form->addField(gloox::DataFormField::TypeBoolean, "Email", what.byEmail ? "1" : "0");
    form->addField(gloox::DataFormField::TypeBoolean, "Phone", what.byPhone ? "1" : "0");
    search.search(gloox::JID(target), form, &handler);
}

void CXMPPServiceCommands::RegisterIM(gloox::Client& client, gloox::IqHandler& handler, const CIMDetails& details,
                                      bool remove) const
{
    ZLOG_SCOPE();
    const std::string gateway = ImServerFor(details.imType);
    if (gateway.empty())
        return;
    gloox::IQ iq(gloox::IQ::Set, gloox::JID(gateway), client.getID());
    iq.addExtension(new CRawQuery(CGatewayStanzas::RegisterQuery(details, remove)));
    client.send(iq, &handler, kRegisterContext + details.imType);
}

void CXMPPServiceCommands::SendIMPresence(gloox::Client& client, const CIMDetails& details, bool signIn) const
{
    ZLOG_SCOPE();
    const std::string gateway = ImServerFor(details.imType);
    if (!gateway.empty())
        client.send(CGatewayStanzas::Presence(gateway, client.getID(), signIn));
}

void CXMPPServiceCommands::SendIMGatewayLoginAtStartUp(gloox::Client& client, const CIMDetails& details) const
{
    ZLOG_SCOPE();
    const std::array<std::string, 3> hosts = {GetIMServer("yahoo"), GetIMServer("msn"), GetIMServer("gtalk")};
    if (!hosts[0].empty())
        client.send(CGatewayStanzas::StartUpSettings(client.getID(), hosts, details));
}
