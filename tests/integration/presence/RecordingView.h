#pragma once
// The presence view as text lines a test waits for.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "presence/IPresenceView.h"

class RecordingView : public IPresenceView {
public:
    // The first line not taken yet that contains `text` (taken now); "" on time-out.
    std::string WaitFor(const std::string& text, std::chrono::milliseconds timeout);
    int Count(const std::string& text);
    std::string Tail(std::size_t n);

    void LoginStatus(std::unique_ptr<CConnectionError> error) override;
    void RosterArrived(int count) override;
    void ContactPresence(const RosterEntry& contact) override;
    void SubscriptionRequest(const std::string& jid, const std::string& text) override;
    void ItemUnsubscribed(const std::string& jid) override;
    void RosterChanged(int command, const std::string& jid) override;
    void ChatMessage(std::unique_ptr<CChatMessage> message) override;
    void ServiceError(std::unique_ptr<CChatMessage> message) override;
    void Notify(const std::string& title, const std::string& text, bool headline) override;
    void Profile(std::unique_ptr<CVCard> card, bool own) override;
    void ProfileStored(std::unique_ptr<CVCard> card) override;
    void SearchResult(const CSearchResult* result) override;
    void ImStatus(int imType, int signedIn, int loginInfo) override;
    void ServicesDiscovered(const CIMLoginIDDetails& details) override;
    void GroupChatInvitation(const CMUCDetail& invite) override;

private:
    void Add(std::string line);
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
    std::vector<bool> m_taken;
};
