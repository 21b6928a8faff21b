#include "presence/CKVPresenceDialog.h"

#include "app/CLogger.h"
#include "presence/CRosterTreeRules.h"
#include "presence/IKVPresenceView.h"
#include "presence/PresenceCodes.h"

CKVPresenceDialog::CKVPresenceDialog(IKVPresenceView& view, Callback callback, std::string ownJid, std::string userId,
                                     std::string domain)
    : m_view(view), m_callback(std::move(callback)), m_ownJid(std::move(ownJid)), m_userId(std::move(userId)),
      m_domain(std::move(domain))
{
}

int CKVPresenceDialog::Send(std::int32_t command, CPresenceData* data, const char* what)
{
    if (!m_callback) {
        ZLOG(LOG_ERROR, "%s, Callback is null", what);
        delete data;
        return -1;
    }
    m_callback(command, data);
    return 0;
}

int CKVPresenceDialog::SendItem(std::int32_t command, const std::string& jid, const char* what,
                                const std::function<void(CRosterItem&)>& fill)
{
    auto* item = new CRosterItem;
    item->contactJid = BoundedText(jid, kPresenceTextMax);
    if (fill)
        fill(*item);
    return Send(command, item, what);
}

void CKVPresenceDialog::LoginStatus(const CConnectionError* error)
{
    ZLOG_SCOPE();
    if (error == nullptr) {
        m_signedIn = true;
        m_view.ShowSignedIn(true);
        m_view.SetStatusLabel("My Status");
        m_view.ShowReconnect(false);
        return;
    }
    m_signedIn = false;
    m_view.ShowSignedIn(false);
    m_view.SetStatusLabel("Trying to Sign in...");
    const int e = error->connectionError;
    if (e == kErrorIo || e == kErrorTls || error->errorDetail == kDetailReconnect) {
        // The XMPP side waits before it connects again: asking now is safe.
        m_view.ShowReconnect(false);
        Send(PRESENCE_COMMAND_XMPP_RECONNECT, nullptr, "Reconnect");
    } else if (e == kErrorAuth) {
        m_view.SetStatusLabel("Invalid username/password");
    } else if (e == kErrorRefused) {
        m_view.SetStatusLabel("Connection was refused by server");
    } else {
        m_view.ShowReconnect(true);
        m_view.SetStatusLabel("Connection Dropped");
    }
}

void CKVPresenceDialog::OnReconnect()
{
    ZLOG_SCOPE();
    m_view.ShowReconnect(false);
    m_view.SetStatusLabel("Trying to Sign in...");
    Send(PRESENCE_COMMAND_XMPP_RECONNECT, nullptr, "Reconnect");
}

int CKVPresenceDialog::OnPersonalPresenceStatus(int boxIndex)
{
    ZLOG_SCOPE();
    if (boxIndex < 0 || boxIndex >= static_cast<int>(std::size(kStatusNames)))
        return -1;
    m_statusIndex = boxIndex;
    auto* p = new CRosterPresenceData;
    p->entry.jid = m_ownJid;
    p->entry.name = m_userId;
    p->entry.presence = boxIndex + 1;
    p->entry.statusMessage = BoundedText(m_statusMessage, kPresenceTextMax);
    p->priority = 0;
    return Send(PRESENCE_COMMAND_XMPP_CHANGE_STATUS, p, "Change status");
}

const char* CKVPresenceDialog::AddNewContact(const std::string& id, const std::string& name, const std::string& group,
                                             std::string& jid)
{
    ZLOG_SCOPE();
    if (id.empty())
        return "Please! Enter ZeloraID";
    if (name.empty())
        return "Please! Enter Contact Name";
    jid = CRosterTreeRules::CompleteJid(id, m_domain);
    const int rc = SendItem(PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT, jid, "Add new contact", [&](CRosterItem& r) {
        r.name = BoundedText(name, kPresenceTextMax);
        r.group = BoundedText(group, kPresenceTextMax);
    });
    return rc == 0 ? nullptr : "Unable to Add new Contact";
}

int CKVPresenceDialog::CopyContact(const std::string& jid, const std::string& group)
{
    return SendItem(PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP, jid, "Copy contact",
                    [&](CRosterItem& r) { r.group = BoundedText(group, kPresenceTextMax); });
}

int CKVPresenceDialog::MoveContact(const std::string& jid, const std::string& oldGroup, const std::string& group)
{
    return SendItem(PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP, jid, "Move contact", [&](CRosterItem& r) {
        r.oldGroup = BoundedText(oldGroup, kPresenceTextMax);
        r.group = BoundedText(group, kPresenceTextMax);
    });
}

int CKVPresenceDialog::RenameContact(const std::string& jid, const std::string& name)
{
    return SendItem(PRESENCE_COMMAND_XMPP_RENAME_CONTACT, jid, "Rename contact",
                    [&](CRosterItem& r) { r.name = BoundedText(name, kPresenceTextMax); });
}

int CKVPresenceDialog::DeleteRosterContact(const std::string& jid)
{
    return SendItem(PRESENCE_COMMAND_XMPP_UNSUBSCRIBE_CONTACT, jid, "Delete contact", nullptr);
}

void CKVPresenceDialog::PresenceItemSubscribedRequest(const std::string& jid, const std::string& text, bool inRoster)
{
    ZLOG_SCOPE();
    if (inRoster) {
        SendItem(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION, jid, "Subscription", [](CRosterItem& r) { r.accept = 1; });
        m_view.SetSubscriptionText(jid, CRosterTreeRules::kBoth);
        m_view.ShowInformation("Subscription", jid + " can now see your status.");
        return;
    }
    for (const Request& r : m_requests)
        if (r.jid == jid)
            return; // asked again while the first is on screen
    m_requests.push_back({jid, text});
    if (m_requests.size() == 1)
        AskNext();
}

void CKVPresenceDialog::GatewaySubscriptionRequest(const std::string& jid)
{
    ZLOG_SCOPE();
    ZLOG(LOG_INFO, "Gateway %s subscribes: accepted", jid.c_str());
    SendItem(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION, jid, "Subscription", [](CRosterItem& r) { r.accept = 1; });
}

void CKVPresenceDialog::AskNext()
{
    if (!m_requests.empty())
        m_view.AskSubscription(m_requests.front().jid, m_requests.front().text);
}

const char* CKVPresenceDialog::AcceptSubscription(const std::string& name, const std::string& group, std::string& jid)
{
    ZLOG_SCOPE();
    if (m_requests.empty())
        return "Unable to Add new Contact";
    if (name.empty())
        return "Please! Enter Contact Name";
    jid = m_requests.front().jid;
    m_requests.pop_front();
    SendItem(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION, jid, "Subscription", [](CRosterItem& r) { r.accept = 1; });
    // Asking back makes the subscription mutual.
    const int rc = SendItem(PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT, jid, "Add new contact", [&](CRosterItem& r) {
        r.name = BoundedText(name, kPresenceTextMax);
        r.group = BoundedText(group, kPresenceTextMax);
    });
    AskNext();
    return rc == 0 ? nullptr : "Unable to Add new Contact";
}

void CKVPresenceDialog::DenySubscription()
{
    ZLOG_SCOPE();
    if (m_requests.empty())
        return;
    const std::string jid = m_requests.front().jid;
    m_requests.pop_front();
    SendItem(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION, jid, "Subscription", [](CRosterItem& r) { r.accept = 0; });
    DeleteRosterContact(jid);
    AskNext();
}

void CKVPresenceDialog::PresenceItemUnSubscribed(const std::string& jid)
{
    m_view.SetSubscriptionText(jid, CRosterTreeRules::kNone);
    m_view.ShowInformation("Subscription", jid + " no longer shares the status with you.");
}

const char* CKVPresenceDialog::ServiceErrorTitle(int imType)
{
    switch (imType) {
    case 1:
        return "Yahoo Alert";
    case 2:
        return "MSN Alert";
    case 3:
        return "Google TALK Alert";
    default:
        return "zeloraTALK";
    }
}
