#pragma once
// The presence settings file: chat, file transfer, sounds, fonts, notifications and the
// personal status message (the gateway keys of "IMDetails" belong to CPresenceIMAccounts and
// are kept as they are). Every key reads as a string converted as atoi would; a missing key
// or file reads as 0 or "".
#include <string>

#include "presence/CGUIPresenceHandler.h"
#include "presence/CPresenceIMAccounts.h"
#include "presence/IPresenceDialogs.h"

struct PresencePreferences {
    int isDisableHistory = 0, isShowTime = 0, isTabOnTop = 0;
    std::string transferTimeout, defaultDirectory;
    int isSoundMessageArrive = 0, isSoundMessageSent = 0, isSoundOffline = 0, isSoundInvitation = 0;
    std::string newMessageSoundFile, sentMessageSoundFile, offlineSoundFile, invitationSoundFile;
    int contactListFont = 0, chatFont = 0;
    int isToastPopup = 0, isBringFront = 0, isNotifyOffline = 0, isNotifyOnline = 0, isCheckUpdate = 0;
    int isNotifyPresenceOnAddressBook = 0, isMapZeloraID = 0;
    std::string personalStatusMessage;

    bool operator==(const PresencePreferences&) const = default;
};

class CPresenceSettings {
public:
    static constexpr int kDefaultContactListFont = 14;

    explicit CPresenceSettings(std::string path) : m_path(std::move(path)) { }
    const std::string& Path() const { return m_path; }

    // Loads every key. 0; -1 the file exists but cannot be read (the values are then all 0).
    int ReadSettings();
    // Writes every key, keeping the file's other keys. 0; -1 the file could not be read (it
    // is then left alone) or written.
    int WriteSettings() const;
    // One integer key written now ("%d"), the in-memory value with it. 0 or -1.
    int WriteInt(const char* section, const char* key, int value);

    PresencePreferences& Values() { return m_values; }
    // The gateway keys as read with the others (for the GUI handler).
    const GatewayTable& Gateways() const { return m_gateways; }
    const PresencePreferences& Values() const { return m_values; }

    PresenceNotifySettings Notify() const;
    PresenceChatSettings Chat() const;
    // The roster tree's font height.
    int ContactListFontHeight() const;

private:
    std::string m_path;
    PresencePreferences m_values;
    GatewayTable m_gateways{};
};
