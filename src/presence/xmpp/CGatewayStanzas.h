#pragma once
// The stanzas the phone sends to the IM gateways: registration (or its removal), the
// directed presence that signs in or out, and the start-up choices kept in the server's
// private storage. Each is a new Tag: a whole stanza for ClientBase::send, which takes it, or
// the registration's query for an IQ.
#include <array>
#include <string>

class CIMDetails;
namespace gloox {
class Tag;
}

class CGatewayStanzas {
public:
    static constexpr const char* kSettingsNs = "urn:zeloratalk:gateway-settings";

    // The query of a registration (or its removal) at a gateway, for an IQ of type set.
    static gloox::Tag* RegisterQuery(const CIMDetails& details, bool remove);
    static gloox::Tag* Presence(const std::string& gateway, const std::string& id, bool signIn);
    // hosts: the Yahoo, MSN and Google Talk gateways, in that order.
    static gloox::Tag* StartUpSettings(const std::string& id, const std::array<std::string, 3>& hosts,
                                       const CIMDetails& details);
};
