#include "CGatewayService.h"

#include "CComponentLink.h"
#include "CRawQuery.h"

#include <gloox/disco.h>
#include <gloox/presence.h>
#include <gloox/subscription.h>

#include <cstdio>

namespace {
constexpr const char* kRegisterNs = "jabber:iq:register";
}

CGatewayService::CGatewayService(CComponentLink& link, const std::string& network) : m_link(link), m_network(network)
{
    gloox::Component& c = m_link.Component();
    c.disco()->setIdentity("gateway", network, network + " gateway");
    c.disco()->addFeature(kRegisterNs);
    c.registerStanzaExtension(new CRawQuery(CRawQuery::kRegister, kRegisterNs));
    c.registerIqHandler(this, CRawQuery::kRegister);
    c.registerPresenceHandler(this);
    c.registerSubscriptionHandler(this);
}

void CGatewayService::SendPresence(const std::string& to, const std::string& type)
{
    auto* p = new gloox::Tag("presence");
    p->addAttribute("from", m_link.Jid());
    p->addAttribute("to", to);
    p->addAttribute("type", type); // an empty type is left out: available
    m_link.Component().send(p);
}

void CGatewayService::Refuse(const gloox::IQ& iq, const std::string& condition)
{
    gloox::Tag* reply = ReplyTo(iq, "error");
    auto* error = new gloox::Tag(reply, "error");
    error->addAttribute("type", "modify");
    new gloox::Tag(error, condition, "xmlns", "urn:ietf:params:xml:ns:xmpp-stanzas");
    m_link.Component().send(reply);
}

void CGatewayService::AnswerForm(const gloox::IQ& iq)
{
    gloox::Tag* reply = ReplyTo(iq, "result");
    auto* query = new gloox::Tag(reply, "query", "xmlns", kRegisterNs);
    new gloox::Tag(query, "instructions", "Enter your " + m_network + " user name and password.");
    const auto it = m_accounts.find(iq.from().bare());
    if (it != m_accounts.end())
        new gloox::Tag(query, "registered");
    new gloox::Tag(query, "username", it != m_accounts.end() ? it->second.user : "");
    new gloox::Tag(query, "password");
    m_link.Component().send(reply);
}

void CGatewayService::Register(const gloox::IQ& iq, const gloox::Tag& query)
{
    const gloox::Tag* userTag = query.findChild("username");
    const gloox::Tag* passwordTag = query.findChild("password");
    const std::string user = userTag != nullptr ? userTag->cdata() : std::string();
    const std::string password = passwordTag != nullptr ? passwordTag->cdata() : std::string();
    const std::string who = iq.from().bare();
    if (user.empty() || password.empty() || user.size() > kMaxField || password.size() > kMaxField) {
        std::fprintf(stderr, "presence-services: %s register from %s refused: user name or password missing\n",
                     m_link.Jid().c_str(), who.c_str());
        Refuse(iq, "not-acceptable");
        return;
    }
    m_accounts[who] = Account{user, true};
    std::fprintf(stderr, "presence-services: %s register from %s as %s\n", m_link.Jid().c_str(), who.c_str(),
                 user.c_str());
    m_link.Component().send(ReplyTo(iq, "result"));
    // A transport asks to be in the user's roster and reports the network sign-in.
    SendPresence(who, "subscribe");
    SendPresence(who, "");
}

void CGatewayService::Unregister(const gloox::IQ& iq)
{
    const std::string who = iq.from().bare();
    const bool known = m_accounts.erase(who) > 0;
    std::fprintf(stderr, "presence-services: %s unregister from %s%s\n", m_link.Jid().c_str(), who.c_str(),
                 known ? "" : " (not registered)");
    if (!known) {
        Refuse(iq, "registration-required");
        return;
    }
    m_link.Component().send(ReplyTo(iq, "result"));
    SendPresence(who, "unavailable");
    SendPresence(who, "unsubscribe");
    SendPresence(who, "unsubscribed");
}

bool CGatewayService::handleIq(const gloox::IQ& iq)
{
    const auto* raw = iq.findExtension<CRawQuery>(CRawQuery::kRegister);
    if (raw == nullptr || raw->Query() == nullptr)
        return false;
    if (iq.subtype() == gloox::IQ::Get) {
        std::fprintf(stderr, "presence-services: %s register form for %s\n", m_link.Jid().c_str(),
                     iq.from().bare().c_str());
        AnswerForm(iq);
    } else if (iq.subtype() == gloox::IQ::Set) {
        if (raw->Query()->hasChild("remove"))
            Unregister(iq);
        else
            Register(iq, *raw->Query());
    } else {
        return false;
    }
    return true;
}

void CGatewayService::handlePresence(const gloox::Presence& presence)
{
    const std::string who = presence.from().bare();
    const auto it = m_accounts.find(who);
    const gloox::Presence::PresenceType type = presence.subtype();
    std::fprintf(stderr, "presence-services: %s presence %d from %s%s\n", m_link.Jid().c_str(), static_cast<int>(type),
                 who.c_str(), it == m_accounts.end() ? " (not registered)" : "");
    if (it == m_accounts.end()) {
        if (type == gloox::Presence::Probe)
            SendPresence(who, "unavailable");
        return;
    }
    if (type == gloox::Presence::Probe) {
        SendPresence(who, it->second.signedIn ? "" : "unavailable");
        return;
    }
    if (type == gloox::Presence::Error || type == gloox::Presence::Invalid)
        return;
    it->second.signedIn = type != gloox::Presence::Unavailable;
    SendPresence(who, it->second.signedIn ? "" : "unavailable");
}

void CGatewayService::handleSubscription(const gloox::Subscription& subscription)
{
    const std::string who = subscription.from().bare();
    std::fprintf(stderr, "presence-services: %s subscription %d from %s\n", m_link.Jid().c_str(),
                 static_cast<int>(subscription.subtype()), who.c_str());
    if (subscription.subtype() == gloox::Subscription::Subscribe) {
        SendPresence(who, m_accounts.count(who) > 0 ? "subscribed" : "unsubscribed");
        if (m_accounts.count(who) > 0)
            SendPresence(who, m_accounts[who].signedIn ? "" : "unavailable");
    } else if (subscription.subtype() == gloox::Subscription::Unsubscribe) {
        SendPresence(who, "unsubscribed");
    }
}
