#include "presence/xmpp/GlooxTranslate.h"

#include "presence/CPresenceData.h"
#include "presence/PresenceCodes.h"

#include <gloox/resource.h>
#include <gloox/rosteritem.h>

namespace presence_xlate {

namespace {

struct PresencePair {
    gloox::Presence::PresenceType gloox;
    std::int32_t ours;
};

constexpr PresencePair kPresence[] = {
    {gloox::Presence::Available, PRESENCE_AVAILABLE},
    {gloox::Presence::Chat, PRESENCE_CHAT},
    {gloox::Presence::Away, PRESENCE_AWAY},
    {gloox::Presence::DND, PRESENCE_DND},
    {gloox::Presence::XA, PRESENCE_XA},
    {gloox::Presence::Unavailable, PRESENCE_OFFLINE},
};

struct KindPair {
    gloox::Message::MessageType gloox;
    std::int32_t ours;
};

constexpr KindPair kKinds[] = {
    {gloox::Message::Chat, MESSAGE_KIND_CHAT},           {gloox::Message::Error, MESSAGE_KIND_ERROR},
    {gloox::Message::Groupchat, MESSAGE_KIND_GROUPCHAT}, {gloox::Message::Headline, MESSAGE_KIND_HEADLINE},
    {gloox::Message::Normal, MESSAGE_KIND_NORMAL},
};

} // namespace

std::int32_t PresenceFromGloox(gloox::Presence::PresenceType type)
{
    for (const auto& p : kPresence)
        if (p.gloox == type)
            return p.ours;
    return PRESENCE_UNKNOWN;
}

gloox::Presence::PresenceType PresenceToGloox(std::int32_t value)
{
    for (const auto& p : kPresence)
        if (p.ours == value)
            return p.gloox;
    return gloox::Presence::Invalid;
}

std::int32_t KindFromGloox(gloox::Message::MessageType type)
{
    for (const auto& k : kKinds)
        if (k.gloox == type)
            return k.ours;
    return 0;
}

gloox::Message::MessageType KindToGloox(std::int32_t kind)
{
    for (const auto& k : kKinds)
        if (k.ours == kind)
            return k.gloox;
    return gloox::Message::Invalid;
}

std::int32_t SubscriptionFromGloox(gloox::SubscriptionType type)
{
    // The order None, NoneOut, NoneIn, NoneOutIn, To, ToIn, From, FromOut, Both is unchanged.
    const int v = static_cast<int>(type);
    return (v >= gloox::S10nNone && v <= gloox::S10nBoth) ? v : 0;
}

std::int32_t ConnectionErrorFromGloox(gloox::ConnectionError error)
{
    // NoError 0 .. NotConnected 18 kept their numbers.
    const int v = static_cast<int>(error);
    return (v >= gloox::ConnNoError && v <= gloox::ConnNotConnected) ? v : gloox::ConnStreamError;
}

std::int32_t StreamErrorFromGloox(gloox::StreamError error)
{
    // gloox 1.0 dropped the leading "undefined" (now last, 24): everything else moves up by one.
    if (error == gloox::StreamErrorUndefined)
        return 0;
    return static_cast<std::int32_t>(error) + 1;
}

CChatMessage* ChatFromMessage(const gloox::Message& msg, void* session, const std::string& ownJid,
                              const std::string& ownUserId)
{
    const std::int32_t kind = KindFromGloox(msg.subtype());
    if ((msg.from().bare().empty() || msg.to().bare().empty()) && kind != MESSAGE_KIND_HEADLINE)
        return nullptr;
    auto* chat = new CChatMessage;
    chat->peerJid = BoundedText(msg.from().bare(), kPresenceTextMax);
    chat->body = BoundedText(msg.body(), kPresenceBodyMax);
    chat->subject = BoundedText(msg.subject(), kPresenceTextMax);
    chat->direction = 1;
    chat->session = session;
    chat->kind = kind;
    chat->ownJid = ownJid;
    chat->ownUserId = ownUserId;
    return chat;
}

CRosterPresenceData* PresenceFromRosterItem(const gloox::RosterItem& item, const std::string& resource,
                                            gloox::Presence::PresenceType presence, const std::string& message,
                                            const std::string& ownJid)
{
    auto* data = new CRosterPresenceData;
    RosterEntry& e = data->entry;
    e.jid = BoundedText(item.jidJID().bare(), kPresenceTextMax);
    e.name = BoundedText(item.name(), kPresenceTextMax);
    e.subscription = SubscriptionFromGloox(item.subscription());
    for (const std::string& g : item.groups())
        e.groups.push_back(BoundedText(g, kPresenceTextMax));
    for (const auto& r : item.resources())
        e.resources.push_back(BoundedText(r.first, kPresenceTextMax));
    e.presence = PresenceFromGloox(presence);
    e.statusMessage = BoundedText(message, kPresenceTextMax);
    e.resource = BoundedText(resource, kPresenceTextMax);
    data->ownJid = ownJid;
    return data;
}

CIMPersonalNonRosterPresenceData* NonRosterFromPresence(const gloox::Presence& presence)
{
    auto* data = new CIMPersonalNonRosterPresenceData;
    data->jid = BoundedText(presence.from().bare(), kPresenceTextMax);
    data->presence = PresenceFromGloox(presence.presence());
    return data;
}

} // namespace presence_xlate
