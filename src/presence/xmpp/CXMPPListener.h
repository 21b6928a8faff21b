#pragma once
// The gloox listener interfaces of the XMPP side, in one adapter that forwards each
// callback to CXMPPHandler after turning gloox's objects into records.
#include <gloox/connectionlistener.h>
#include <gloox/iqhandler.h>
#include <gloox/loghandler.h>
#include <gloox/messagehandler.h>
#include <gloox/messagesessionhandler.h>
#include <gloox/mucinvitationhandler.h>
#include <gloox/rosterlistener.h>
#include <gloox/searchhandler.h>
#include <gloox/stanzaextension.h>
#include <gloox/vcardhandler.h>

#include <string>

class CXMPPHandler;

// Keeps the raw disco#items query, whose items carry an attribute Disco does not read.
class CRawDiscoItems : public gloox::StanzaExtension {
public:
    static constexpr int kType = gloox::ExtUser + 41;
    explicit CRawDiscoItems(const gloox::Tag* tag = nullptr);
    ~CRawDiscoItems() override;
    const std::string& filterString() const override;
    gloox::StanzaExtension* newInstance(const gloox::Tag* tag) const override;
    gloox::Tag* tag() const override;
    gloox::StanzaExtension* clone() const override;
    const gloox::Tag* Query() const { return m_raw; }

private:
    gloox::Tag* m_raw = nullptr;
};

class CXMPPListener : public gloox::ConnectionListener,
                      public gloox::MessageSessionHandler,
                      public gloox::MessageHandler,
                      public gloox::RosterListener,
                      public gloox::LogHandler,
                      public gloox::VCardHandler,
                      public gloox::SearchHandler,
                      public gloox::IqHandler {
public:
    static constexpr int kDiscoItemsContext = 1;

    CXMPPListener(CXMPPHandler& owner, const std::string& ownJid, const std::string& ownUserId);

    void onConnect() override;
    void onDisconnect(gloox::ConnectionError e) override;
    bool onTLSConnect(const gloox::CertInfo& info) override;

    void handleMessageSession(gloox::MessageSession* session) override;
    void handleMessage(const gloox::Message& msg, gloox::MessageSession* session) override;

    void handleItemAdded(const gloox::JID& jid) override;
    void handleItemSubscribed(const gloox::JID& jid) override;
    void handleItemRemoved(const gloox::JID& jid) override;
    void handleItemUpdated(const gloox::JID& jid) override;
    void handleItemUnsubscribed(const gloox::JID& jid) override;
    void handleRoster(const gloox::Roster& roster) override;
    void handleRosterPresence(const gloox::RosterItem& item, const std::string& resource,
                              gloox::Presence::PresenceType presence, const std::string& msg) override;
    void handleSelfPresence(const gloox::RosterItem&, const std::string&, gloox::Presence::PresenceType,
                            const std::string&) override
    {
    }
    bool handleSubscriptionRequest(const gloox::JID& jid, const std::string& msg) override;
    bool handleUnsubscriptionRequest(const gloox::JID& jid, const std::string& msg) override;
    void handleNonrosterPresence(const gloox::Presence& presence) override;
    void handleRosterError(const gloox::IQ&) override { }

    void handleLog(gloox::LogLevel, gloox::LogArea, const std::string&) override { }

    void handleVCard(const gloox::JID& jid, const gloox::VCard* vcard) override;
    void handleVCardResult(gloox::VCardHandler::VCardContext context, const gloox::JID& jid,
                           gloox::StanzaError se) override;

    void handleSearchFields(const gloox::JID&, int, const std::string&) override { }
    void handleSearchFields(const gloox::JID&, const gloox::DataForm*) override { }
    void handleSearchResult(const gloox::JID& directory, const gloox::SearchResultList& resultList) override;
    void handleSearchResult(const gloox::JID& directory, const gloox::DataForm* form) override;
    void handleSearchError(const gloox::JID& directory, const gloox::Error* error) override;

    bool handleIq(const gloox::IQ&) override { return false; }
    void handleIqID(const gloox::IQ& iq, int context) override;

private:
    CXMPPHandler& m_owner;
    std::string m_ownJid;
    std::string m_ownUserId;
};

class CXMPPMUCRoomHandler : public gloox::MUCInvitationHandler {
public:
    CXMPPMUCRoomHandler(gloox::ClientBase* parent, CXMPPHandler& owner);
    void handleMUCInvitation(const gloox::JID& room, const gloox::JID& from, const std::string& reason,
                             const std::string& body, const std::string& password, bool cont,
                             const std::string& thread) override;

private:
    CXMPPHandler& m_owner;
};
