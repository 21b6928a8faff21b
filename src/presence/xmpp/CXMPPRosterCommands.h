#pragma once
// The roster and own presence on the XMPP side: the roster edits the GUI asks for, the own
// status, and the records made of the roster manager's items for the GUI.
#include <cstdint>
#include <string>
#include <vector>

class CRosterData;
class CRosterItem;
class CRosterPresenceData;
namespace gloox {
class Client;
class JID;
class RosterManager;
} // namespace gloox

class CXMPPRosterCommands {
public:
    // One roster edit (subscribe, acknowledge, unsubscribe, the group edits, rename); other
    // codes are ignored.
    static void Dispatch(gloox::RosterManager& roster, std::int32_t command, CRosterItem& item);
    static void SendPresenceData(gloox::Client& client, const CRosterPresenceData& data);

    // Records for the GUI (new; the FIFO's reader owns them).
    static CRosterData* RosterRecord(gloox::RosterManager& roster, const std::string& ownJid);
    static CRosterItem* ItemRecord(gloox::RosterManager& roster, const gloox::JID& jid, const std::string& ownJid);
    static CRosterItem* RequestRecord(const gloox::JID& jid, const std::string& text, const std::string& ownJid);

    // Group edits of a contact's group list.
    static std::vector<std::string> CopyGroup(std::vector<std::string> groups, const std::string& group);
    static std::vector<std::string> MoveGroup(std::vector<std::string> groups, const std::string& from,
                                              const std::string& to);
    static std::vector<std::string> RemoveGroup(std::vector<std::string> groups, const std::string& group);

private:
    static void EditGroups(gloox::RosterManager& roster, CRosterItem& item, std::int32_t command);
    static void RenameContact(gloox::RosterManager& roster, CRosterItem& item);
};
