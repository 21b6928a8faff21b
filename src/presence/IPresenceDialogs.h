#pragma once
// The presence window's secondary windows as the presence window sees them: the tabbed chat,
// the profiles, search, invitation, the IM account dialog and broadcast. The presence window
// opens them on the user's actions and hands them the results meant for them; the Qt host
// implements this, tests record it.
#include <memory>
#include <string>

#include "presence/CPresenceData.h"

// The chat preferences of the presence settings file, as the chat pages use them.
struct PresenceChatSettings {
    bool history = false; // "nIsDisableHistory" == 1: the history file is written
    bool showTime = false; // "nIsShowTime"
    bool tabOnTop = false; // "nIsTabOnTop"
    bool bringFront = false; // "nIsBringFront"
    bool toastPopup = false; // "nIsToastPopup"
    int chatFont = 0; // "nChatFont"; 0: the default size
};

class IPresenceDialogs {
public:
    virtual ~IPresenceDialogs() = default;
    // The preferences as read at start and after the preference dialog saved them.
    virtual void ApplyChatSettings(const PresenceChatSettings& settings) = 0;
    // The user opened a conversation (double click, context menu): its tab comes forward.
    virtual void OpenChat(const std::string& jid, const std::string& name) = 0;
    // A message arrived for the user: its tab opens or comes forward as the settings say.
    virtual void ChatMessage(std::unique_ptr<CChatMessage> message, const std::string& name) = 0;
    // A chat partner's presence changed (the tab shows it).
    virtual void ContactPresence(const RosterEntry& contact) = 0;
    virtual void OpenOwnProfile() = 0;
    virtual void OpenContactProfile(const std::string& jid) = 0;
    virtual void Profile(std::unique_ptr<CVCard> card, bool own) = 0;
    virtual void ProfileStored(std::unique_ptr<CVCard> card) = 0;
    virtual void OpenSearch() = 0;
    virtual void SearchResult(const CSearchResult* result) = 0; // null: the search failed
    virtual void OpenInvite() = 0;
    // imType 1 Yahoo, 2 MSN, 3 Google Talk.
    virtual void OpenIMAccount(int imType) = 0;
    virtual void ImStatus(int imType, int signedIn, int loginInfo) = 0;
    // The gateway answered the account's registration: accepted or refused.
    virtual void ImRegistered(int, bool) { }
    virtual void OpenBroadcast() = 0;
    // The connection closed or the window closes: conversations stay, sending is refused.
    virtual void SignedOut() = 0;
};
