#pragma once
// The records that cross the presence bus. A record is created on one thread and
// destroyed on another, always through the base's virtual destructor.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "presence/PresenceProfileFields.h"

class CPresenceData {
public:
    CPresenceData() = default;
    virtual ~CPresenceData();
    CPresenceData(const CPresenceData&) = delete;
    CPresenceData& operator=(const CPresenceData&) = delete;

    std::string ownJid;
};

// The slot a chat window hands to the XMPP side: written once by the XMPP thread,
// only tested for null by the window.
using ChatSessionSlot = std::atomic<void*>;

class CChatMessage : public CPresenceData {
public:
    std::string peerJid;
    std::string body;
    std::string subject;
    std::string senderName;
    std::string ownUserId;
    std::int32_t direction = 0; // 1 received, 0 to send
    void* session = nullptr; // incoming: the library's session
    ChatSessionSlot* sessionSlot = nullptr; // outgoing chat: the window's slot
    std::int32_t kind = 0;
};

class CRosterItem : public CPresenceData {
public:
    std::string contactJid;
    std::string name;
    std::string requestText;
    std::string group;
    std::string oldGroup;
    std::int32_t accept = 0;
    std::vector<std::string> groups;
    std::int32_t subscription = 0;
};

struct RosterEntry {
    std::string name;
    std::string jid;
    std::int32_t subscription = 0;
    std::int32_t presence = 0;
    std::vector<std::string> groups;
    std::vector<std::string> resources;
    std::string statusMessage;
    std::string resource;
};

class CRosterPresenceData : public CPresenceData {
public:
    RosterEntry entry;
    std::int32_t priority = 1;
};

class CRosterData : public CPresenceData {
public:
    std::vector<RosterEntry> entries;
    std::int32_t count = 0;
};

class CConnectionError : public CPresenceData {
public:
    std::int32_t connectionError = 0;
    std::int32_t errorDetail = 0;
};

class CVCard : public CPresenceData {
public:
    CVCard();
    ~CVCard() override;
    std::string contactJid;
    std::optional<PresenceProfileFields> profile; // none: the request carries no fields
    std::int32_t result = 0; // store answer: 1 failed, 0 stored
};

class CSearchContact : public CPresenceData {
public:
    std::string text;
    std::uint8_t byEmail = 0;
    std::uint8_t byUserName = 0;
    std::uint8_t byName = 0;
    std::uint8_t byPhone = 0;
};

struct SearchResultItem {
    std::string userName;
    std::string name;
    std::string email;
    std::string phone;
};

class CSearchResult : public CPresenceData {
public:
    std::vector<SearchResultItem> items;
};

// Travels like the others; deriving from the base keeps one destruction path.
class CIMDetails : public CPresenceData {
public:
    std::string userName;
    std::string password;
    std::int32_t imType = 0;
    std::int32_t presence = 0;
    std::int32_t autoLogin = 0;
    std::int32_t yahooAtStartUp = 0;
    std::int32_t msnAtStartUp = 0;
    std::int32_t gtalkAtStartUp = 0;
    std::int32_t result = 0; // a registration's answer: 1 registered, -1 refused
};

class CIMLoginIDDetails : public CPresenceData {
public:
    std::vector<std::string> jids;
    std::vector<std::string> names;
    std::vector<std::string> registeredIds;
};

class CIMPersonalNonRosterPresenceData : public CPresenceData {
public:
    std::string jid;
    std::int32_t presence = 0;
};

class CMUCMessage : public CPresenceData {
public:
    std::string room;
    std::string nick;
    std::string text;
};

class CMUCParticipantData : public CPresenceData {
public:
    std::string room;
    std::string nick;
    std::int32_t presence = 0;
};

class CMUCDetail : public CPresenceData {
public:
    std::string room;
    std::string from;
    std::string reason;
    std::string password;
};

// Cuts a text from the network to what a record field holds.
std::string BoundedText(const std::string& text, std::size_t max);
