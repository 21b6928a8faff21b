#include "presence/CPresenceTreeNodeData.h"

namespace {

constexpr int kGroupImage = 28;
constexpr int kImagesPerType = 7;

} // namespace

int CPresenceTreeNodeData::SetGroupNodeData(const std::string& group)
{
    m_nodeType = NODE_GROUP;
    m_groupName = group;
    return 0;
}

int CPresenceTreeNodeData::SetRosterContactNodeData(const std::string& rosterId, const std::string& rosterName,
                                                    const std::string& personalId, const std::string& personalName,
                                                    const std::string& groupName, int imType, int subscription,
                                                    int presence, const std::string& message)
{
    m_nodeType = NODE_CONTACT;
    m_rosterId = rosterId;
    m_rosterName = rosterName;
    m_personalId = personalId;
    m_personalName = personalName;
    m_groupName = groupName;
    m_imType = imType;
    m_subscription = subscription;
    m_presence = presence;
    m_message = message;
    return 0;
}

#define ZELORA_CONTACT_SETTER(Name, field, Type)                                                                       \
    int CPresenceTreeNodeData::Name(Type value)                                                                        \
    {                                                                                                                  \
        if (!IsContact())                                                                                              \
            return -1;                                                                                                 \
        field = value;                                                                                                 \
        return 0;                                                                                                      \
    }

ZELORA_CONTACT_SETTER(SetSubscriptionState, m_subscription, int)
ZELORA_CONTACT_SETTER(SetPresenceStatus, m_presence, int)
ZELORA_CONTACT_SETTER(SetIMType, m_imType, int)
ZELORA_CONTACT_SETTER(SetRosterContactID, m_rosterId, const std::string&)
ZELORA_CONTACT_SETTER(SetRosterContactMessage, m_message, const std::string&)
ZELORA_CONTACT_SETTER(SetPersonalContactID, m_personalId, const std::string&)
ZELORA_CONTACT_SETTER(SetPersonalContactName, m_personalName, const std::string&)
ZELORA_CONTACT_SETTER(SetRosterContactName, m_rosterName, const std::string&)
ZELORA_CONTACT_SETTER(SetPhoto, m_photo, const std::string&)
#undef ZELORA_CONTACT_SETTER

int CPresenceTreeNodeData::SetGroupName(const std::string& value)
{
    if (m_nodeType == NODE_NONE)
        return -1;
    m_groupName = value;
    return 0;
}

std::string CPresenceTreeNodeData::GetStripedRosterContactID() const
{
    return m_rosterId.substr(0, m_rosterId.find('@'));
}

int CPresenceTreeNodeData::ImageIndex() const
{
    if (!IsContact())
        return kGroupImage;
    const int type = (m_imType >= 0 && m_imType <= 3) ? m_imType : 0;
    const int presence = (m_presence >= 0 && m_presence <= 6) ? m_presence : 0;
    return kImagesPerType * type + presence;
}

std::string CPresenceTreeNodeData::PresenceText() const
{
    return m_message.empty() ? m_rosterName : m_rosterName + " - " + m_message;
}
