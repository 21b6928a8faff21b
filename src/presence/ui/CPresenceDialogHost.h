#pragma once
// The presence window's secondary windows: the tabbed chat with its history window, the
// own and a contact's profile, search, invitation, the IM account dialog and broadcast.
// Calls may come from any thread; they are carried out on the thread the host lives on.
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

#include "presence/IPresenceDialogs.h"

class QWidget;
class CGUIPresenceHandler;
class CPresenceBroadcastWindow;
class CPresenceChatWindow;
class CPresenceIMAccountWindow;
class CPresenceInviteWindow;
class CPresenceProfileWindow;
class CPresenceSearchWindow;

class CPresenceDialogHost : public QObject, public IPresenceDialogs {
    Q_OBJECT
public:
    CPresenceDialogHost(CGUIPresenceHandler& handler, QWidget* parent);
    ~CPresenceDialogHost() override;

    void ApplyChatSettings(const PresenceChatSettings& settings) override;
    void OpenChat(const std::string& jid, const std::string& name) override;
    void ChatMessage(std::unique_ptr<CChatMessage> message, const std::string& name) override;
    void ContactPresence(const RosterEntry& contact) override;
    void OpenOwnProfile() override;
    void OpenContactProfile(const std::string& jid) override;
    void Profile(std::unique_ptr<CVCard> card, bool own) override;
    void ProfileStored(std::unique_ptr<CVCard> card) override;
    void OpenSearch() override;
    void SearchResult(const CSearchResult* result) override;
    void OpenInvite() override;
    void OpenIMAccount(int imType) override;
    void ImStatus(int imType, int signedIn, int loginInfo) override;
    void ImRegistered(int imType, bool registered) override;
    void OpenBroadcast() override;
    void SignedOut() override;

    // Where the e-mail invitation goes (the presence service's mail web host by default).
    void SetInviteEndpoint(const std::string& host, unsigned port);

    // The windows, once opened (null before).
    CPresenceChatWindow* ChatWindow();
    CPresenceProfileWindow* OwnProfileWindow() const;
    CPresenceProfileWindow* ContactProfileWindow() const;
    CPresenceSearchWindow* SearchWindow() const;
    CPresenceInviteWindow* InviteWindow() const;
    CPresenceIMAccountWindow* IMAccountWindow() const;
    CPresenceBroadcastWindow* BroadcastWindow() const;

private:
    template <class F>
    void OnOwnThread(F&& f);
    bool Send(int command, CPresenceData* data);
    void RequestProfile(const std::string& jid);

    CGUIPresenceHandler& m_handler;
    QPointer<QWidget> m_parent;
    std::string m_ownJid, m_userId, m_domain;
    std::string m_inviteHost;
    unsigned m_invitePort = 80;
    PresenceChatSettings m_settings;
    bool m_signedIn = true;
    QPointer<CPresenceChatWindow> m_chat;
    QPointer<CPresenceProfileWindow> m_ownProfile;
    QPointer<CPresenceProfileWindow> m_contactProfile;
    QPointer<CPresenceSearchWindow> m_search;
    QPointer<CPresenceInviteWindow> m_invite;
    QPointer<CPresenceIMAccountWindow> m_imAccount;
    QPointer<CPresenceBroadcastWindow> m_broadcast;
};
