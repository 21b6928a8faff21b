#pragma once
// The record behind one node of the roster tree: a group, or one contact under one group
// (a contact in two groups has two nodes and two records).
#include <string>

class CPresenceTreeNodeData {
public:
    enum NodeType { NODE_NONE = 0, NODE_GROUP = 1, NODE_CONTACT = 2 };

    // Makes the node a group (type 1) named `group`. 0.
    int SetGroupNodeData(const std::string& group);
    // Makes the node a contact (type 2) and sets every contact field. 0.
    int SetRosterContactNodeData(const std::string& rosterId, const std::string& rosterName,
                                 const std::string& personalId, const std::string& personalName,
                                 const std::string& groupName, int imType, int subscription, int presence,
                                 const std::string& message);

    // Contact fields: -1 unless the node is a contact, else 0.
    int SetSubscriptionState(int value);
    int SetPresenceStatus(int value);
    int SetIMType(int value);
    int SetRosterContactID(const std::string& value);
    int SetRosterContactMessage(const std::string& value);
    int SetPersonalContactID(const std::string& value);
    int SetPersonalContactName(const std::string& value);
    int SetRosterContactName(const std::string& value);
    int SetPhoto(const std::string& value);
    // -1 only before the node is a group or a contact.
    int SetGroupName(const std::string& value);

    int GetNodeType() const { return m_nodeType; }
    int GetSubscriptionState() const { return m_subscription; }
    int GetPresenceStatus() const { return m_presence; }
    int GetIMType() const { return m_imType; }
    const std::string& GetRosterContactID() const { return m_rosterId; }
    const std::string& GetRosterContactMessage() const { return m_message; }
    const std::string& GetPersonalContactID() const { return m_personalId; }
    const std::string& GetGroupName() const { return m_groupName; }
    const std::string& GetRosterContactName() const { return m_rosterName; }
    const std::string& GetPersonalContactName() const { return m_personalName; }
    const std::string& GetPhoto() const { return m_photo; }
    // The JID before its first at sign: the contact's user ID (a phone number on this service).
    std::string GetStripedRosterContactID() const;

    // Image of the status strip: 7 x IM type + presence for a contact, 28 for a group.
    int ImageIndex() const;
    // The text of a contact node after a presence update: name, and " - " and the message.
    std::string PresenceText() const;

private:
    bool IsContact() const { return m_nodeType == NODE_CONTACT; }

    int m_nodeType = NODE_NONE;
    int m_subscription = 0;
    int m_presence = 0;
    int m_imType = 0;
    std::string m_rosterId, m_message, m_personalId, m_groupName, m_rosterName, m_personalName, m_photo;
};
