#pragma once
// The presence window's behaviour: the user's own status, the sign-in state and its automatic
// reconnect, the roster edits as XMPP commands, and the subscription requests shown to the
// user one at a time. Every command goes through the callback the GUI handler gives it.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "presence/CPresenceData.h"

class IKVPresenceView;

class CKVPresenceDialog {
public:
    // The GUI handler's entry point for user actions (it takes the record).
    using Callback = std::function<int(std::int32_t command, CPresenceData* data)>;

    static constexpr const char* kStatusNames[] = {"Available",      "Chat",          "Away",
                                                   "Do Not Disturb", "Extended Away", "Offline"};
    // Connection errors of the client library that the window tells apart.
    static constexpr int kErrorIo = 7, kErrorRefused = 9, kErrorTls = 13, kErrorAuth = 16, kDetailReconnect = 19;

    CKVPresenceDialog(IKVPresenceView& view, Callback callback, std::string ownJid, std::string userId,
                      std::string domain);

    const std::string& OwnJid() const { return m_ownJid; }
    const std::string& Domain() const { return m_domain; }
    // csPersonalStatusMessage: sent with every status change.
    void SetPersonalStatusMessage(const std::string& text) { m_statusMessage = text; }
    const std::string& PersonalStatusMessage() const { return m_statusMessage; }
    int StatusIndex() const { return m_statusIndex; }
    bool SignedIn() const { return m_signedIn; }

    // null: signed in. Otherwise the error decides between reconnecting and telling the user.
    void LoginStatus(const CConnectionError* error);
    void OnReconnect();
    // The status box: presence = index + 1 with the personal message, priority 0. -1 a bad index.
    int OnPersonalPresenceStatus(int boxIndex);

    // The add-contact dialog: null and `jid` set once the subscription went out, else the text
    // to show.
    const char* AddNewContact(const std::string& id, const std::string& name, const std::string& group,
                              std::string& jid);
    int CopyContact(const std::string& jid, const std::string& group);
    int MoveContact(const std::string& jid, const std::string& oldGroup, const std::string& group);
    int RenameContact(const std::string& jid, const std::string& name);
    int DeleteRosterContact(const std::string& jid);

    // A request from `jid`; `inRoster` when the requester is already a contact (accepted at once).
    // A gateway asks to see the user after the user registered with it: accepted at once, or
    // the server keeps answering the gateway's probe as unavailable and the network signs out.
    void GatewaySubscriptionRequest(const std::string& jid);
    void PresenceItemSubscribedRequest(const std::string& jid, const std::string& text, bool inRoster);
    // The request dialog's answers for the request it shows. Accept: null once sent, else the
    // text to show; `jid` the requester to add under `group`.
    const char* AcceptSubscription(const std::string& name, const std::string& group, std::string& jid);
    void DenySubscription();
    std::size_t PendingRequests() const { return m_requests.size(); }
    void PresenceItemUnSubscribed(const std::string& jid);

    // The message box title of a service error from `imType`'s gateway.
    static const char* ServiceErrorTitle(int imType);

private:
    struct Request {
        std::string jid, text;
    };
    int Send(std::int32_t command, CPresenceData* data, const char* what);
    int SendItem(std::int32_t command, const std::string& jid, const char* what,
                 const std::function<void(CRosterItem&)>& fill);
    void AskNext();

    IKVPresenceView& m_view;
    Callback m_callback;
    std::string m_ownJid, m_userId, m_domain;
    std::string m_statusMessage;
    int m_statusIndex = 0;
    bool m_signedIn = false;
    std::deque<Request> m_requests; // the front one is on screen
};
