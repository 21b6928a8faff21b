#include "presence/ui/CPresenceDialogHost.h"

#include "app/CLogger.h"
#include "app/Deployment.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/PresenceCodes.h"
#include "presence/ui/CPresenceBroadcastWindow.h"
#include "presence/ui/CPresenceChatWindow.h"
#include "presence/ui/CPresenceIMAccountWindow.h"
#include "presence/ui/CPresenceInviteWindow.h"
#include "presence/ui/CPresenceProfileWindow.h"
#include "presence/ui/CPresenceSearchWindow.h"

#include <QThread>
#include <QWidget>
#include <ctime>

CPresenceDialogHost::CPresenceDialogHost(CGUIPresenceHandler& handler, QWidget* parent)
    : QObject(parent), m_handler(handler), m_parent(parent), m_ownJid(handler.OwnJid()),
      m_inviteHost(Deployment::Get().mailWebHost)
{
    const auto at = m_ownJid.find('@');
    m_userId = m_ownJid.substr(0, at);
    m_domain = at == std::string::npos ? Deployment::Get().presenceDomain : m_ownJid.substr(at + 1);
}

// The windows are top-levels of their own (or children of the parent): closed with the host.
CPresenceDialogHost::~CPresenceDialogHost()
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_chat, m_ownProfile, m_contactProfile, m_search, m_invite,
                                                      m_imAccount, m_broadcast})
        delete w;
}

template <class F>
void CPresenceDialogHost::OnOwnThread(F&& f)
{
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

CPresenceProfileWindow* CPresenceDialogHost::OwnProfileWindow() const { return m_ownProfile; }
CPresenceProfileWindow* CPresenceDialogHost::ContactProfileWindow() const { return m_contactProfile; }
CPresenceSearchWindow* CPresenceDialogHost::SearchWindow() const { return m_search; }
CPresenceInviteWindow* CPresenceDialogHost::InviteWindow() const { return m_invite; }
CPresenceIMAccountWindow* CPresenceDialogHost::IMAccountWindow() const { return m_imAccount; }
CPresenceBroadcastWindow* CPresenceDialogHost::BroadcastWindow() const { return m_broadcast; }

bool CPresenceDialogHost::Send(int command, CPresenceData* data)
{
    if (!m_signedIn) {
        delete data;
        return false;
    }
    m_handler.HandleGUIPresenceData(command, data);
    return true;
}

void CPresenceDialogHost::SetInviteEndpoint(const std::string& host, unsigned port)
{
    m_inviteHost = host;
    m_invitePort = port;
    delete m_invite;
}

void CPresenceDialogHost::ApplyChatSettings(const PresenceChatSettings& settings)
{
    OnOwnThread([this, settings] {
        m_settings = settings;
        if (m_chat)
            m_chat->ApplySettings(settings);
    });
}

CPresenceChatWindow* CPresenceDialogHost::ChatWindow()
{
    if (!m_chat) {
        ChatPageIdentity own;
        own.ownJid = m_ownJid;
        own.ownName = m_userId;
        own.folder = m_userId;
        m_chat = new CPresenceChatWindow(
            own,
            [this](std::unique_ptr<CChatMessage> m) {
                return Send(PRESENCE_COMMAND_XMPP_SEND_CHAT_MESSAGE, m.release());
            },
            m_parent);
        m_chat->ApplySettings(m_settings);
        // The XMPP side keeps its sessions; the command tells it the page is gone.
        connect(m_chat, &CPresenceChatWindow::PageClosed, this,
                [this] { m_handler.HandleGUIPresenceData(PRESENCE_COMMAND_XMPP_CLOSE_CHAT_SESSION, nullptr); });
    }
    return m_chat;
}

void CPresenceDialogHost::OpenChat(const std::string& jid, const std::string& name)
{
    OnOwnThread([this, jid, name] { ChatWindow()->Tabs().Open(jid, name); });
}

void CPresenceDialogHost::ChatMessage(std::unique_ptr<CChatMessage> message, const std::string& name)
{
    std::shared_ptr<CChatMessage> m(std::move(message));
    if (!m)
        return;
    OnOwnThread([this, m, name] {
        m_signedIn = true;
        ChatWindow()->Tabs().Receive(*m, name, std::time(nullptr));
    });
}

void CPresenceDialogHost::ContactPresence(const RosterEntry& contact)
{
    OnOwnThread([this, contact] {
        m_signedIn = true;
        if (m_chat) {
            m_chat->Tabs().SignedIn();
            m_chat->Tabs().ContactPresence(contact, std::time(nullptr));
        }
    });
}

void CPresenceDialogHost::RequestProfile(const std::string& jid)
{
    auto* card = new CVCard;
    card->contactJid = jid;
    Send(PRESENCE_COMMAND_XMPP_GET_VCARD, card);
}

void CPresenceDialogHost::OpenOwnProfile()
{
    OnOwnThread([this] {
        if (!m_ownProfile) {
            m_ownProfile = new CPresenceProfileWindow(
                [this](const PresenceProfileFields& f) {
                    auto* card = new CVCard;
                    card->contactJid = m_ownJid;
                    card->profile = f;
                    return Send(PRESENCE_COMMAND_XMPP_SET_VCARD, card);
                },
                m_parent);
        }
        if (m_ownProfile->isVisible()) {
            m_ownProfile->raise();
            return;
        }
        // The stored profile fills the pages when it arrives.
        m_ownProfile->ShowProfile(QString::fromStdString(m_ownJid), {});
        m_ownProfile->SetStatus(tr("Reading the profile..."));
        RequestProfile(m_ownJid);
    });
}

void CPresenceDialogHost::OpenContactProfile(const std::string& jid)
{
    OnOwnThread([this, jid] { RequestProfile(jid); });
}

void CPresenceDialogHost::Profile(std::unique_ptr<CVCard> card, bool own)
{
    std::shared_ptr<CVCard> c(std::move(card));
    OnOwnThread([this, c, own] {
        if (!c || !c->profile) {
            ZLOG(LOG_ERROR, "Unable to get the profile");
            return;
        }
        const PresenceProfileFields& fields = *c->profile;
        if (own) {
            // A late answer never overwrites what the user has begun to type.
            if (m_ownProfile && !m_ownProfile->Edited())
                m_ownProfile->ShowProfile(QString::fromStdString(c->contactJid), fields);
            return;
        }
        if (!m_contactProfile)
            m_contactProfile = new CPresenceProfileWindow(nullptr, m_parent);
        m_contactProfile->ShowProfile(QString::fromStdString(c->contactJid), fields);
    });
}

void CPresenceDialogHost::ProfileStored(std::unique_ptr<CVCard> card)
{
    const bool ok = card && card->result == 0;
    OnOwnThread([this, ok] {
        if (m_ownProfile)
            m_ownProfile->Stored(ok);
    });
}

void CPresenceDialogHost::OpenSearch()
{
    OnOwnThread([this] {
        if (!m_search) {
            m_search = new CPresenceSearchWindow([this](int command, CPresenceData* d) { return Send(command, d); },
                                                 m_domain, m_parent);
            connect(m_search, &CPresenceSearchWindow::InviteRequested, this, &CPresenceDialogHost::OpenInvite);
        }
        m_search->show();
        m_search->raise();
    });
}

void CPresenceDialogHost::SearchResult(const CSearchResult* result)
{
    // The record stays the caller's: its rows are copied before the call returns.
    std::shared_ptr<CSearchResult> copy;
    if (result != nullptr) {
        copy = std::make_shared<CSearchResult>();
        copy->items = result->items;
    }
    OnOwnThread([this, copy] {
        if (m_search)
            m_search->Controller().Result(copy.get());
    });
}

void CPresenceDialogHost::OpenInvite()
{
    OnOwnThread([this] {
        if (!m_invite)
            m_invite = new CPresenceInviteWindow(m_inviteHost, m_invitePort, m_userId, m_parent);
        m_invite->show();
        m_invite->raise();
    });
}

void CPresenceDialogHost::OpenIMAccount(int imType)
{
    OnOwnThread([this, imType] {
        if (!m_imAccount)
            m_imAccount = new CPresenceIMAccountWindow(m_handler, m_parent);
        m_imAccount->ShowGateway(imType);
    });
}

void CPresenceDialogHost::ImStatus(int imType, int signedIn, int loginInfo)
{
    OnOwnThread([this, imType, signedIn, loginInfo] {
        if (m_imAccount)
            m_imAccount->ImStatus(imType, signedIn, loginInfo);
    });
}

void CPresenceDialogHost::ImRegistered(int imType, bool registered)
{
    OnOwnThread([this, imType, registered] {
        if (m_imAccount)
            m_imAccount->Registered(imType, registered);
    });
}

void CPresenceDialogHost::OpenBroadcast()
{
    OnOwnThread([this] {
        if (!m_broadcast)
            m_broadcast = new CPresenceBroadcastWindow(
                [this](std::unique_ptr<CChatMessage> m) {
                    return Send(PRESENCE_COMMAND_XMPP_BROADCAST_MESSAGE, m.release());
                },
                m_parent);
        std::vector<RosterEntry> contacts;
        for (RosterEntry& e : m_handler.Roster())
            if (m_handler.IsIMTransportJID(e.jid) < 0)
                contacts.push_back(std::move(e));
        m_broadcast->ShowContacts(contacts);
        m_broadcast->show();
        m_broadcast->raise();
    });
}

void CPresenceDialogHost::SignedOut()
{
    OnOwnThread([this] {
        m_signedIn = false;
        if (m_chat)
            m_chat->Tabs().SignedOut();
        if (m_imAccount)
            m_imAccount->SignedOut();
        // The store's answer will not come on a closed connection.
        if (m_ownProfile && m_ownProfile->Saving())
            m_ownProfile->Stored(false);
    });
}
