#include "presence/CPresenceSettings.h"

#include "app/CLogger.h"
#include "platform/ProfileFile.h"

#include <cstdlib>
#include <filesystem>

namespace {

struct IntKey {
    const char* section;
    const char* key;
    int PresencePreferences::*field;
};

struct TextKey {
    const char* section;
    const char* key;
    std::string PresencePreferences::*field;
};

using P = PresencePreferences;

const IntKey kIntKeys[] = {
    {"chat", "nIsDisableHistory", &P::isDisableHistory},
    {"chat", "nIsShowTime", &P::isShowTime},
    {"chat", "nIsTabOnTop", &P::isTabOnTop},
    {"Sound", "nIsSoundMessageArrive", &P::isSoundMessageArrive},
    {"Sound", "nIsSoundMessageSent", &P::isSoundMessageSent},
    {"Sound", "nIsSoundOffline", &P::isSoundOffline},
    {"Sound", "nIsSoundInvitation", &P::isSoundInvitation},
    {"Custom", "nContactListFont", &P::contactListFont},
    {"Custom", "nChatFont", &P::chatFont},
    {"Notification", "nIsToastPopup", &P::isToastPopup},
    {"Notification", "nIsBringFront", &P::isBringFront},
    {"Notification", "nIsNotifyOffline", &P::isNotifyOffline},
    {"Notification", "nIsNotifyOnline", &P::isNotifyOnline},
    {"Notification", "nIsCheckUpdate", &P::isCheckUpdate},
    {"Notification", "nIsNotifyPresenceOnAddressBook", &P::isNotifyPresenceOnAddressBook},
    {"Notification", "nIsMapZeloraID", &P::isMapZeloraID},
};

const TextKey kTextKeys[] = {
    {"FTrans", "csTransferTimeout", &P::transferTimeout},
    {"FTrans", "csDefualtDirectory", &P::defaultDirectory},
    {"Sound", "csNewMessageSoundFile", &P::newMessageSoundFile},
    {"Sound", "csSentMessageSoundFile", &P::sentMessageSoundFile},
    {"Sound", "csOfflineSoundFile", &P::offlineSoundFile},
    {"Sound", "csInvitationSoundFile", &P::invitationSoundFile},
    {"PersonalStatusMessage", "csPersonalStatusMessage", &P::personalStatusMessage},
};

// A value that would end its line or open a section cannot be stored in the file.
std::string OneLine(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

int CPresenceSettings::ReadSettings()
{
    ZLOG_SCOPE();
    m_values = PresencePreferences{};
    m_gateways = GatewayTable{};
    zelora::ProfileFile file(m_path);
    if (file.Load() != 0) {
        ZLOG(LOG_ERROR, "Unable to read the presence settings %s", m_path.c_str());
        return -1;
    }
    for (const IntKey& k : kIntKeys)
        m_values.*k.field = std::atoi(file.GetString(k.section, k.key, "").c_str());
    for (const TextKey& k : kTextKeys)
        m_values.*k.field = file.GetString(k.section, k.key, "");
    CPresenceIMAccounts::Load(file, m_gateways);
    return 0;
}

int CPresenceSettings::WriteSettings() const
{
    ZLOG_SCOPE();
    std::error_code ignored; // a missing folder shows as the write's failure
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ignored);
    zelora::ProfileFile file(m_path);
    // A file that cannot be read is not overwritten: its gateway keys would be lost.
    bool ok = file.Load() == 0;
    for (const IntKey& k : kIntKeys)
        ok = ok && file.WriteString(k.section, k.key, std::to_string(m_values.*k.field)) == 0;
    for (const TextKey& k : kTextKeys)
        ok = ok && file.WriteString(k.section, k.key, OneLine(m_values.*k.field)) == 0;
    if (!ok) {
        ZLOG(LOG_ERROR, "Unable to write the presence settings %s", m_path.c_str());
        return -1;
    }
    return 0;
}

int CPresenceSettings::WriteInt(const char* section, const char* key, int value)
{
    for (const IntKey& k : kIntKeys)
        if (std::string_view(k.section) == section && std::string_view(k.key) == key)
            m_values.*k.field = value;
    zelora::ProfileFile file(m_path);
    if (file.Load() != 0 || file.WriteString(section, key, std::to_string(value)) != 0) {
        ZLOG(LOG_ERROR, "Unable to write the presence settings %s", m_path.c_str());
        return -1;
    }
    return 0;
}

PresenceNotifySettings CPresenceSettings::Notify() const
{
    PresenceNotifySettings s;
    s.soundOffline = m_values.isSoundOffline;
    s.notifyOffline = m_values.isNotifyOffline;
    s.notifyOnline = m_values.isNotifyOnline;
    s.soundMessageArrive = m_values.isSoundMessageArrive;
    s.toastPopup = m_values.isToastPopup;
    s.soundInvitation = m_values.isSoundInvitation;
    s.soundMessageSent = m_values.isSoundMessageSent;
    s.offlineSound = m_values.offlineSoundFile;
    s.newMessageSound = m_values.newMessageSoundFile;
    s.invitationSound = m_values.invitationSoundFile;
    s.sentMessageSound = m_values.sentMessageSoundFile;
    return s;
}

PresenceChatSettings CPresenceSettings::Chat() const
{
    PresenceChatSettings s;
    s.history = m_values.isDisableHistory == 1;
    s.showTime = m_values.isShowTime == 1;
    s.tabOnTop = m_values.isTabOnTop == 1;
    s.bringFront = m_values.isBringFront == 1;
    s.toastPopup = m_values.isToastPopup == 1;
    s.chatFont = m_values.chatFont;
    return s;
}

int CPresenceSettings::ContactListFontHeight() const
{
    return m_values.contactListFont != 0 ? m_values.contactListFont : kDefaultContactListFont;
}
