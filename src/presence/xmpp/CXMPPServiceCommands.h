#pragma once
// The presence domain's services on the XMPP side: what its disco#items answer lists, profiles
// (vCards), the user search, and the IM gateways (registration, sign-in and out, the start-up
// choices kept on the server).
#include <string>
#include <vector>

class CIMDetails;
class CIMLoginIDDetails;
class CSearchContact;
class CVCard;
namespace gloox {
class Client;
class IqHandler;
class Search;
class SearchHandler;
class Tag;
class VCardHandler;
class VCardManager;
} // namespace gloox

class CXMPPServiceCommands {
public:
    // The context of a gateway registration's answer: this plus the IM type.
    static constexpr int kRegisterContext = 100;

    // The disco#items answer (null: none): the services kept, and the record for the GUI.
    CIMLoginIDDetails* Discovered(const gloox::Tag* query, const std::string& ownJid);
    void Clear() { m_services.clear(); }
    std::string GetSearchServer() const;
    std::string GetIMServer(const std::string& name) const;

    static void GetVCard(gloox::VCardManager& manager, gloox::VCardHandler& handler, const CVCard& card);
    static void SetVCard(gloox::VCardManager& manager, gloox::VCardHandler& handler, CVCard& card);
    void SearchContact(gloox::Search& search, gloox::SearchHandler& handler, const CSearchContact& what) const;
    // The registration's answer comes to `handler` with kRegisterContext + the IM type.
    void RegisterIM(gloox::Client& client, gloox::IqHandler& handler, const CIMDetails& details, bool remove) const;
    void SendIMPresence(gloox::Client& client, const CIMDetails& details, bool signIn) const;
    void SendIMGatewayLoginAtStartUp(gloox::Client& client, const CIMDetails& details) const;

private:
    std::string ImServerFor(int imType) const;

    std::vector<std::string> m_services; // discovered, in answer order
};
