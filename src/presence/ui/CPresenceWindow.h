#pragma once
// The presence window: own status and message, the roster tree, the buttons, the request
// dialogs, and the pop-ups. Results arrive from the GUI presence thread (IPresenceView) and
// are carried over to the GUI thread before anything is touched; the window never waits for
// that thread.
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "presence/CKVPresenceDialog.h"
#include "presence/IKVPresenceView.h"
#include "presence/IPresenceContactBook.h"
#include "presence/IPresenceView.h"

class CCustomTreeCtrl;
class CGUIPresenceHandler;
class CPresenceNotifier;
class CPresenceSettings;
class CAddContactDialog;
class IPresenceDialogs;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

class CPresenceWindow : public QWidget, public IPresenceView, public IKVPresenceView {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const std::string& number)> call; // the main window dials
    };

    CPresenceWindow(CPresenceSettings& settings, IPresenceContactBook* book, Hooks hooks, QWidget* parent = nullptr);
    ~CPresenceWindow() override;

    // The GUI side once it runs, and the secondary windows (null: their buttons stay off).
    void Initialize(CGUIPresenceHandler& handler, IPresenceDialogs* dialogs);
    // Before sign-in: why the window waits.
    void ShowWaiting(const std::string& text);
    // The GUI side has stopped (the phone signed out): the window lets go of it and of the
    // secondary windows, empties the tree and drops results still on their way.
    void Detach();

    CCustomTreeCtrl& Tree() { return *m_tree; }
    CKVPresenceDialog* Controller() { return m_controller.get(); }

    // IPresenceView: called on the GUI presence thread.
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
    void ImRegistered(int imType, bool registered) override;
    void ServicesDiscovered(const CIMLoginIDDetails& services) override;

    // IKVPresenceView: the GUI thread.
    void ShowSignedIn(bool signedIn) override;
    void SetStatusLabel(const std::string& text) override;
    void ShowReconnect(bool shown) override;
    void AskSubscription(const std::string& jid, const std::string& text) override;
    void SetSubscriptionText(const std::string& jid, const std::string& suffix) override;
    void ShowInformation(const std::string& title, const std::string& text) override;

    // The whole roster into the tree (the GUI thread).
    void FillTree(const std::vector<RosterEntry>& roster);
    // Fires after each roster fill (the benchmark's and tests' mark).
    std::function<void(int contacts)> rosterShown;

private:
    void BuildControls();
    void BuildStatusControls(QVBoxLayout& layout);
    void BuildButtons(QVBoxLayout& layout);
    // Runs `work` on the GUI thread, later; dropped when the window is gone.
    void Later(std::function<void()> work);
    void AddContactNodes(const RosterEntry& e, const std::string& suffix);
    void SyncContact(const std::string& jid);
    void OnAddContact();
    void OnAddGroup();
    void OnSettings();
    void OnStatusMessage();
    void OnMapContacts();
    void OpenChat(const std::string& jid, const std::string& name);
    void ApplySettings();
    PersonalContact Mapped(const std::string& jid) const;

    CPresenceSettings& m_settings;
    IPresenceContactBook* m_book;
    Hooks m_hooks;
    CGUIPresenceHandler* m_handler = nullptr;
    IPresenceDialogs* m_dialogs = nullptr;
    std::unique_ptr<CKVPresenceDialog> m_controller;
    std::map<std::string, PersonalContact> m_mapped; // by lower-case JID

    QLabel* m_statusLabel = nullptr;
    QComboBox* m_status = nullptr;
    QLineEdit* m_statusMessage = nullptr;
    CCustomTreeCtrl* m_tree = nullptr;
    QPushButton* m_reconnect = nullptr;
    std::vector<QPushButton*> m_signedInButtons;
    std::vector<QPushButton*> m_dialogButtons;
    // Yahoo, MSN, Google Talk: usable only once the presence domain offers that gateway.
    std::array<QPushButton*, 3> m_gatewayButtons{};
    std::array<bool, 3> m_gatewayOffered{};
    bool m_signedIn = false;
    // Which GUI side a posted result came from: one per Detach.
    std::atomic<unsigned> m_generation{0};
    CPresenceNotifier* m_notifier = nullptr;
    CAddContactDialog* m_request = nullptr;
};
