#pragma once
// One conversation of the tabbed chat window: what its page shows (header and text lines,
// presence lines, each with the time when the settings ask for it), its history file and
// the session slot the XMPP side fills for it.
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "presence/CPresenceChatHistoryLogger.h"
#include "presence/CPresenceData.h"
#include "presence/IPresenceDialogs.h"

class IPresenceChatPageView {
public:
    virtual ~IPresenceChatPageView() = default;
    virtual void ShowHeader(const std::string& text) = 0; // the header style
    virtual void ShowText(const std::string& text) = 0; // the text style
    virtual void ShowStatus(const std::string& text) = 0; // presence lines
};

struct ChatPageIdentity {
    std::string contactJid, contactName, ownJid, ownName;
    std::string folder; // the history folder: the own user ID
    std::string historyBase; // where history folders live; empty: the presence data folder
};

class CPresenceChatPage {
public:
    static constexpr const char* kSendFailed = "Unable to Send Chat Message";
    static constexpr const char* kLineEnd = "\r\n";
    // Hands one message to the XMPP side; false when it cannot go out.
    using Sender = std::function<bool(std::unique_ptr<CChatMessage>)>;

    CPresenceChatPage(ChatPageIdentity identity, ChatSessionSlot* slot, IPresenceChatPageView& view);

    // 0, or -1 when the history file cannot be opened (the page then keeps no history).
    int EnableChatHistoryLogger(const std::string& contactName, const std::string& folderName);
    // -1 unless the page has a logger and history is on; else the logger's answer.
    int SaveChatMessage(const std::string& sender, const std::string& receiver, const std::string& text,
                        std::time_t when);
    void ApplySettings(const PresenceChatSettings& settings);

    void Received(const CChatMessage& message, std::time_t when);
    // 0 sent; -1 nothing to send; -2 refused by the sender ("Unable to Send Chat Message" shown).
    int Send(const std::string& text, std::time_t when, const Sender& send);
    void Presence(const RosterEntry& contact, std::time_t when);

    // "(%H:%M:%S %p) " in local time; empty when the time cannot be read.
    static std::string TimePrefix(std::time_t when);
    static const char* PresenceText(int presence);

    const std::string& ContactJid() const { return m_id.contactJid; }
    const std::string& ContactName() const { return m_id.contactName; }
    void SetContactName(const std::string& name) { m_id.contactName = name; }
    ChatSessionSlot* Slot() const { return m_slot; }
    // The file the history window shows (also when history is off: an older one may exist).
    std::string HistoryFile() const;

private:
    void ShowMessage(const std::string& who, const std::string& text, std::time_t when);

    ChatPageIdentity m_id;
    ChatSessionSlot* m_slot;
    IPresenceChatPageView& m_view;
    PresenceChatSettings m_settings;
    std::unique_ptr<CPresenceChatHistoryLogger> m_logger;
};
