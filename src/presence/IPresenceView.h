#pragma once
// What the presence window shows, as the GUI presence thread drives it. The Qt window,
// the console program and the tests implement it. Records handed over are the view's.
#include <memory>
#include <string>

#include "presence/CPresenceData.h"

class IPresenceView {
public:
    virtual ~IPresenceView() = default;
    // null: signed in; otherwise why the connection closed.
    virtual void LoginStatus(std::unique_ptr<CConnectionError> error) = 0;
    virtual void RosterArrived(int count) = 0;
    virtual void ContactPresence(const RosterEntry& contact) = 0;
    virtual void SubscriptionRequest(const std::string& jid, const std::string& text) = 0;
    virtual void ItemUnsubscribed(const std::string& jid) = 0;
    virtual void RosterChanged(int command, const std::string& jid) = 0;
    virtual void ChatMessage(std::unique_ptr<CChatMessage> message) = 0;
    virtual void ServiceError(std::unique_ptr<CChatMessage> message) = 0;
    virtual void Notify(const std::string& title, const std::string& text, bool headline) = 0;
    virtual void Profile(std::unique_ptr<CVCard> card, bool own) = 0;
    virtual void ProfileStored(std::unique_ptr<CVCard> card) = 0;
    virtual void SearchResult(const CSearchResult* result) = 0; // null: the search failed
    virtual void ImStatus(int imType, int signedIn, int loginInfo) = 0;
    // The gateway answered the account's registration: accepted or refused.
    virtual void ImRegistered(int, bool) { }
    // The presence domain's services as discovered after sign-in (the gateway buttons).
    virtual void ServicesDiscovered(const CIMLoginIDDetails&) { }
    // The window never joins rooms and ignores invitations; the console prints them.
    virtual void GroupChatInvitation(const CMUCDetail&) { }
};
