#pragma once
// The one place where gloox 1.0's numbers meet the numbers the records keep
// (presence 0..6, message kinds 0x1000.., subscription states, error detail).
#include <cstdint>
#include <string>

#include <gloox/gloox.h>
#include <gloox/message.h>
#include <gloox/presence.h>

class CChatMessage;
class CRosterPresenceData;
class CIMPersonalNonRosterPresenceData;

namespace gloox {
class RosterItem;
}

namespace presence_xlate {

std::int32_t PresenceFromGloox(gloox::Presence::PresenceType type);
gloox::Presence::PresenceType PresenceToGloox(std::int32_t value);
std::int32_t KindFromGloox(gloox::Message::MessageType type);
gloox::Message::MessageType KindToGloox(std::int32_t kind);
std::int32_t SubscriptionFromGloox(gloox::SubscriptionType type);
std::int32_t ConnectionErrorFromGloox(gloox::ConnectionError error);
// Stream error in the historic numbering (no error 0, system-shutdown 19).
std::int32_t StreamErrorFromGloox(gloox::StreamError error);

// Incoming message to record; null when the message is dropped (no sender or addressee,
// unless it is a headline).
CChatMessage* ChatFromMessage(const gloox::Message& msg, void* session, const std::string& ownJid,
                              const std::string& ownUserId);
CRosterPresenceData* PresenceFromRosterItem(const gloox::RosterItem& item, const std::string& resource,
                                            gloox::Presence::PresenceType presence, const std::string& message,
                                            const std::string& ownJid);
CIMPersonalNonRosterPresenceData* NonRosterFromPresence(const gloox::Presence& presence);

} // namespace presence_xlate
