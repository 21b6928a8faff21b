#pragma once
// One IM gateway (yahoo.<domain>, msn.<domain>, gtalk.<domain>) as a transport behaves
// towards the user: jabber:iq:register to store or remove the network account, then a
// subscription request and presence from the gateway; the user's presence to the gateway
// signs in (available) and out (unavailable), and the gateway answers with its own.
#include <gloox/iqhandler.h>
#include <gloox/presencehandler.h>
#include <gloox/subscriptionhandler.h>

#include <map>
#include <string>

class CComponentLink;

class CGatewayService : public gloox::IqHandler, public gloox::PresenceHandler, public gloox::SubscriptionHandler {
public:
    static constexpr std::size_t kMaxField = 255;

    CGatewayService(CComponentLink& link, const std::string& network);

    bool handleIq(const gloox::IQ& iq) override;
    void handleIqID(const gloox::IQ&, int) override { }
    void handlePresence(const gloox::Presence& presence) override;
    void handleSubscription(const gloox::Subscription& subscription) override;

private:
    struct Account {
        std::string user;
        bool signedIn = false;
    };
    void AnswerForm(const gloox::IQ& iq);
    void Register(const gloox::IQ& iq, const gloox::Tag& query);
    void Unregister(const gloox::IQ& iq);
    void Refuse(const gloox::IQ& iq, const std::string& condition);
    void SendPresence(const std::string& to, const std::string& type);

    CComponentLink& m_link;
    std::string m_network;
    std::map<std::string, Account> m_accounts; // by the user's bare JID
};
