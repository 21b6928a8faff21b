#pragma once
// The console phone's presence commands and event lines: the presence window's view,
// written as text.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "presence/CPresenceData.h"
#include "presence/IPresenceView.h"

class CzeloraTALKDlg;
class CCliView;
class CPresenceHandler;
class CPresenceChatHistoryLogger;
class CPresenceInvite;

class CCliPresence : public IPresenceView {
public:
    CCliPresence(CzeloraTALKDlg& dlg, CCliView& view);
    ~CCliPresence() override;

    // true when the words were a presence command (handled or refused with a message).
    bool Execute(const std::vector<std::string>& w);

    void LoginStatus(std::unique_ptr<CConnectionError> error) override;
    void RosterArrived(int count) override;
    void ContactPresence(const RosterEntry& contact) override;
    void SubscriptionRequest(const std::string& jid, const std::string& text) override;
    void ItemUnsubscribed(const std::string& jid) override;
    void RosterChanged(int command, const std::string& jid) override;
    void ChatMessage(std::unique_ptr<CChatMessage> message) override;
    void ServiceError(std::unique_ptr<CChatMessage> message) override;
    void Notify(const std::string&, const std::string&, bool) override { }
    void Profile(std::unique_ptr<CVCard> card, bool own) override;
    void ProfileStored(std::unique_ptr<CVCard> card) override;
    void SearchResult(const CSearchResult* result) override;
    void ImStatus(int imType, int signedIn, int loginInfo) override;
    void GroupChatInvitation(const CMUCDetail& invite) override;

private:
    bool Login();
    void PrintRoster(const std::vector<RosterEntry>& roster);
    void Send(int command, CPresenceData* data);
    bool RosterCommand(const std::vector<std::string>& w);
    bool ChatCommand(const std::vector<std::string>& w);
    bool ProfileCommand(const std::vector<std::string>& w);
    bool ImCommand(const std::vector<std::string>& w);
    bool InviteCommand(const std::vector<std::string>& w);
    void SaveHistory(const std::string& jid, const std::string& from, const std::string& to, const std::string& text);

    CzeloraTALKDlg& m_dlg;
    CCliView& m_view;
    // Declared before the handler: the XMPP side empties the slots as it goes.
    std::map<std::string, std::unique_ptr<ChatSessionSlot>> m_slots;
    // The command loop opens and writes them, the GUI presence thread writes received messages.
    std::mutex m_historyLock;
    std::map<std::string, std::unique_ptr<CPresenceChatHistoryLogger>> m_history;
    std::unique_ptr<CPresenceInvite> m_invite;
    std::unique_ptr<CPresenceHandler> m_handler;
};
