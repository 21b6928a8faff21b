#include "presence/xmpp/CXMPPRosterCommands.h"

#include "app/CLogger.h"
#include "presence/CPresenceData.h"
#include "presence/xmpp/GlooxTranslate.h"
#include "presence/PresenceCodes.h"

#include <gloox/client.h>
#include <gloox/rostermanager.h>

#include <algorithm>

void CXMPPRosterCommands::Dispatch(gloox::RosterManager& roster, std::int32_t command, CRosterItem& item)
{
    ZLOG_SCOPE();
    const gloox::JID jid(item.contactJid);
    switch (command) {
    case PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT: {
        gloox::StringList groups;
        if (!item.group.empty())
            groups.push_back(item.group);
        roster.subscribe(jid, item.name, groups, item.requestText);
        break;
    }
    case PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION:
        roster.ackSubscriptionRequest(jid, (item.accept & 0xFF) != 0);
        break;
    case PRESENCE_COMMAND_XMPP_UNSUBSCRIBE_CONTACT:
        roster.remove(jid);
        break;
    case PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP:
    case PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP:
    case PRESENCE_COMMAND_XMPP_REMOVE_CONTACT_FROM_GROUP:
        EditGroups(roster, item, command);
        break;
    case PRESENCE_COMMAND_XMPP_RENAME_CONTACT:
        RenameContact(roster, item);
        break;
    default:
        break;
    }
}

void CXMPPRosterCommands::EditGroups(gloox::RosterManager& roster, CRosterItem& item, std::int32_t command)
{
    gloox::RosterItem* known = roster.getRosterItem(gloox::JID(item.contactJid));
    if (known == nullptr)
        return; // nothing to edit; the server would ignore it too
    const gloox::StringList current = known->groups();
    std::vector<std::string> groups(current.begin(), current.end());
    if (command == PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP)
        groups = CopyGroup(std::move(groups), item.group);
    else if (command == PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP)
        groups = MoveGroup(std::move(groups), item.oldGroup, item.group);
    else
        groups = RemoveGroup(std::move(groups), item.group);
    known->setGroups(gloox::StringList(groups.begin(), groups.end()));
    roster.synchronize();
}

void CXMPPRosterCommands::RenameContact(gloox::RosterManager& roster, CRosterItem& item)
{
    if (gloox::RosterItem* known = roster.getRosterItem(gloox::JID(item.contactJid))) {
        known->setName(item.name);
        roster.synchronize();
    }
}

void CXMPPRosterCommands::SendPresenceData(gloox::Client& client, const CRosterPresenceData& data)
{
    ZLOG_SCOPE();
    const gloox::Presence::PresenceType type = presence_xlate::PresenceToGloox(data.entry.presence);
    if (type == gloox::Presence::Invalid)
        return;
    client.setPresence(type, data.priority, data.entry.statusMessage);
}

CRosterData* CXMPPRosterCommands::RosterRecord(gloox::RosterManager& roster, const std::string& ownJid)
{
    auto* data = new CRosterData;
    for (const auto& [key, item] : *roster.roster()) {
        CRosterPresenceData* one =
            presence_xlate::PresenceFromRosterItem(*item, "", gloox::Presence::Unavailable, "", ownJid);
        one->entry.presence = PRESENCE_UNKNOWN;
        data->entries.push_back(std::move(one->entry));
        delete one;
    }
    data->count = static_cast<std::int32_t>(data->entries.size());
    data->ownJid = ownJid;
    return data;
}

CRosterItem* CXMPPRosterCommands::ItemRecord(gloox::RosterManager& roster, const gloox::JID& jid,
                                             const std::string& ownJid)
{
    auto* item = new CRosterItem;
    item->contactJid = BoundedText(jid.bare(), kPresenceTextMax);
    item->ownJid = ownJid;
    if (gloox::RosterItem* known = roster.getRosterItem(jid)) {
        item->name = BoundedText(known->name(), kPresenceTextMax);
        for (const std::string& g : known->groups())
            item->groups.push_back(BoundedText(g, kPresenceTextMax));
        if (!item->groups.empty())
            item->group = item->groups.front();
        item->subscription = presence_xlate::SubscriptionFromGloox(known->subscription());
    }
    return item;
}

CRosterItem* CXMPPRosterCommands::RequestRecord(const gloox::JID& jid, const std::string& text,
                                                const std::string& ownJid)
{
    auto* item = new CRosterItem;
    item->contactJid = BoundedText(jid.bare(), kPresenceTextMax);
    item->requestText = BoundedText(text, kPresenceTextMax);
    item->ownJid = ownJid;
    return item;
}

std::vector<std::string> CXMPPRosterCommands::CopyGroup(std::vector<std::string> groups, const std::string& group)
{
    groups.push_back(group);
    return groups;
}

std::vector<std::string> CXMPPRosterCommands::MoveGroup(std::vector<std::string> groups, const std::string& from,
                                                        const std::string& to)
{
    groups = RemoveGroup(std::move(groups), from);
    groups.push_back(to);
    return groups;
}

std::vector<std::string> CXMPPRosterCommands::RemoveGroup(std::vector<std::string> groups, const std::string& group)
{
    groups.erase(std::remove(groups.begin(), groups.end(), group), groups.end());
    return groups;
}
