#include "presence/ui/CPresenceWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CLogger.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/CPresenceSettings.h"
#include "presence/CRosterTreeRules.h"
#include "presence/IPresenceDialogs.h"
#include "presence/PresenceCodes.h"
#include "presence/ui/CAddContactDialog.h"
#include "presence/ui/CCustomTreeCtrl.h"
#include "presence/ui/CPresenceNotifier.h"
#include "presence/ui/PresenceControls.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

QPushButton* Button(const QString& caption, QWidget* parent) { return PresenceButton(caption, caption, parent); }

void Warn(QWidget* parent, const char* text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, "zeloraTALK", text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

CPresenceWindow::CPresenceWindow(CPresenceSettings& settings, IPresenceContactBook* book, Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), m_settings(settings), m_book(book), m_hooks(std::move(hooks))
{
    setWindowTitle("zeloraTALK Presence");
    setAccessibleName(windowTitle());
    BuildControls();
    m_notifier = new CPresenceNotifier(
        [this](const std::string& jid) { OpenChat(jid, m_tree->GetRosterContactName(jid)); }, this);
    ShowSignedIn(false);
}

CPresenceWindow::~CPresenceWindow() = default;

void CPresenceWindow::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    BuildStatusControls(*layout);
    BuildButtons(*layout);
}

void CPresenceWindow::BuildStatusControls(QVBoxLayout& layout)
{
    m_statusLabel = PresenceStatusLine("Sign-in status", this);
    SetStatusLabel("Trying to Sign in...");
    layout.addWidget(m_statusLabel);
    m_status = new QComboBox(this);
    m_status->setAccessibleName("Status");
    m_status->setToolTip("Status");
    for (const char* name : CKVPresenceDialog::kStatusNames)
        m_status->addItem(name);
    layout.addWidget(m_status);
    m_statusMessage = new QLineEdit(this);
    m_statusMessage->setAccessibleName("Status message");
    m_statusMessage->setToolTip("Status message");
    m_statusMessage->setPlaceholderText("Status message");
    layout.addWidget(m_statusMessage);
    m_tree = new CCustomTreeCtrl(this);
    layout.addWidget(m_tree, 1);
    connect(m_status, &QComboBox::activated, this, [this](int index) {
        if (m_controller)
            m_controller->OnPersonalPresenceStatus(index);
    });
    connect(m_statusMessage, &QLineEdit::editingFinished, this, &CPresenceWindow::OnStatusMessage);
}

void CPresenceWindow::BuildButtons(QVBoxLayout& layout)
{
    auto row = [&](std::initializer_list<QPushButton*> buttons) {
        auto* h = new QHBoxLayout;
        for (QPushButton* b : buttons)
            h->addWidget(b);
        layout.addLayout(h);
    };
    QPushButton* add = Button("Add contact", this);
    QPushButton* group = Button("Add group", this);
    QPushButton* search = Button("Search", this);
    QPushButton* profile = Button("Profile", this);
    QPushButton* broadcast = Button("Broadcast", this);
    QPushButton* invite = Button("Invite", this);
    QPushButton* settings = Button("Settings", this);
    QPushButton* map = Button("Map contacts", this);
    m_reconnect = Button("Reconnect", this);
    QPushButton* yahoo = Button("Yahoo", this);
    QPushButton* msn = Button("MSN", this);
    QPushButton* gtalk = Button("Google Talk", this);
    row({add, group, search, profile});
    row({broadcast, invite, settings, map});
    row({yahoo, msn, gtalk, m_reconnect});
    m_signedInButtons = {add, group, search, profile, broadcast, invite, map};
    m_dialogButtons = {search, profile, broadcast, invite};
    m_gatewayButtons = {yahoo, msn, gtalk};
    connect(add, &QPushButton::clicked, this, &CPresenceWindow::OnAddContact);
    connect(group, &QPushButton::clicked, this, &CPresenceWindow::OnAddGroup);
    connect(settings, &QPushButton::clicked, this, &CPresenceWindow::OnSettings);
    connect(map, &QPushButton::clicked, this, &CPresenceWindow::OnMapContacts);
    connect(m_reconnect, &QPushButton::clicked, this, [this] {
        if (m_controller)
            m_controller->OnReconnect();
    });
    auto dialogs = [this](QPushButton* b, std::function<void(IPresenceDialogs&)> open) {
        connect(b, &QPushButton::clicked, this, [this, open] {
            if (m_dialogs != nullptr)
                open(*m_dialogs);
        });
    };
    dialogs(search, [](IPresenceDialogs& d) { d.OpenSearch(); });
    dialogs(profile, [](IPresenceDialogs& d) { d.OpenOwnProfile(); });
    dialogs(broadcast, [](IPresenceDialogs& d) { d.OpenBroadcast(); });
    dialogs(invite, [](IPresenceDialogs& d) { d.OpenInvite(); });
    dialogs(yahoo, [](IPresenceDialogs& d) { d.OpenIMAccount(IM_TYPE_YAHOO); });
    dialogs(msn, [](IPresenceDialogs& d) { d.OpenIMAccount(IM_TYPE_MSN); });
    dialogs(gtalk, [](IPresenceDialogs& d) { d.OpenIMAccount(IM_TYPE_GTALK); });
}

void CPresenceWindow::Initialize(CGUIPresenceHandler& handler, IPresenceDialogs* dialogs)
{
    m_handler = &handler;
    m_dialogs = dialogs;
    const std::string& own = handler.OwnJid();
    const std::size_t at = own.find('@');
    m_controller = std::make_unique<CKVPresenceDialog>(
        *this,
        [h = &handler](std::int32_t command, CPresenceData* record) {
            return h->HandleGUIPresenceData(command, record);
        },
        own, own.substr(0, at), at == std::string::npos ? std::string() : own.substr(at + 1));
    CCustomTreeCtrl::Hooks hooks;
    hooks.openChat = [this](const std::string& jid, const std::string& name) { OpenChat(jid, name); };
    hooks.call = m_hooks.call;
    hooks.profile = [this](const std::string& jid) {
        if (m_dialogs != nullptr)
            m_dialogs->OpenContactProfile(jid);
    };
    m_tree->Initialize(m_controller.get(), hooks);
    ApplySettings();
}

void CPresenceWindow::ApplySettings()
{
    const PresencePreferences& v = m_settings.Values();
    m_tree->SetTreeNodeImageBitmap(m_settings.ContactListFontHeight());
    if (m_controller)
        m_controller->SetPersonalStatusMessage(v.personalStatusMessage);
    m_statusMessage->setText(Q(v.personalStatusMessage));
    if (m_handler != nullptr)
        m_handler->SetNotifySettings(m_settings.Notify());
    if (m_dialogs != nullptr)
        m_dialogs->ApplyChatSettings(m_settings.Chat());
}

void CPresenceWindow::ShowWaiting(const std::string& text) { SetStatusLabel(text); }

void CPresenceWindow::Detach()
{
    ZLOG_SCOPE();
    if (m_request != nullptr) {
        m_request->hide();
        m_request->deleteLater();
        m_request = nullptr;
    }
    ++m_generation;
    m_tree->Initialize(nullptr, {});
    m_controller.reset();
    m_handler = nullptr;
    m_dialogs = nullptr;
    m_tree->clear();
    m_mapped.clear();
    ShowSignedIn(false);
    ShowReconnect(false);
}

void CPresenceWindow::Later(std::function<void()> work)
{
    // Every result comes from the GUI side: one posted by a side since detached is dropped, even
    // when the next side is attached by the time it runs.
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation.load(), work = std::move(work)] {
            if (generation == m_generation.load() && m_handler != nullptr)
                work();
        },
        Qt::QueuedConnection);
}

// ----- results from the GUI presence thread -----

void CPresenceWindow::LoginStatus(std::unique_ptr<CConnectionError> error)
{
    std::shared_ptr<CConnectionError> e(std::move(error));
    Later([this, e] {
        if (m_controller)
            m_controller->LoginStatus(e.get());
        if (e && m_dialogs != nullptr)
            m_dialogs->SignedOut();
        if (!e && m_controller) // the status and message chosen before come back with the connection
            m_controller->OnPersonalPresenceStatus(m_status->currentIndex());
    });
}

void CPresenceWindow::RosterArrived(int)
{
    // The handler's lock is held here: the roster is read once this thread lets go.
    Later([this] {
        if (m_handler != nullptr)
            FillTree(m_handler->Roster());
    });
}

void CPresenceWindow::ContactPresence(const RosterEntry& contact)
{
    Later([this, contact] {
        for (const std::string& g : contact.groups)
            m_tree->SetRosterContactStatus(contact.jid, g, contact.presence, contact.statusMessage, contact.resource);
        if (m_dialogs != nullptr)
            m_dialogs->ContactPresence(contact);
    });
}

void CPresenceWindow::SubscriptionRequest(const std::string& jid, const std::string& text)
{
    Later([this, jid, text] {
        if (!m_controller)
            return;
        if (m_handler != nullptr && m_handler->IsIMTransportJID(jid) > 0)
            m_controller->GatewaySubscriptionRequest(jid);
        else
            m_controller->PresenceItemSubscribedRequest(jid, text, m_tree->HasContact(jid));
    });
}

void CPresenceWindow::ItemUnsubscribed(const std::string& jid)
{
    Later([this, jid] {
        if (m_controller)
            m_controller->PresenceItemUnSubscribed(jid);
    });
}

void CPresenceWindow::RosterChanged(int command, const std::string& jid)
{
    Later([this, command, jid] {
        if (command == PRESENCE_COMMAND_GUI_ITEM_REMOVED)
            m_tree->RemoveRosterContact(jid);
        else
            SyncContact(jid);
    });
}

void CPresenceWindow::ChatMessage(std::unique_ptr<CChatMessage> message)
{
    auto m = std::make_shared<std::unique_ptr<CChatMessage>>(std::move(message));
    Later([this, m] {
        if (m_dialogs == nullptr) {
            ZLOG(LOG_WARNING, "Chat message from %s: no chat window", (*m)->peerJid.c_str());
            return;
        }
        std::string name = m_tree->GetRosterContactName((*m)->peerJid);
        if (name.empty())
            name = (*m)->senderName;
        m_dialogs->ChatMessage(std::move(*m), name);
    });
}

void CPresenceWindow::ServiceError(std::unique_ptr<CChatMessage> message)
{
    std::shared_ptr<CChatMessage> m(std::move(message));
    Later([this, m] {
        const int type = m_handler != nullptr ? m_handler->IsIMTransportJID(m->peerJid) : -1;
        auto* box = new QMessageBox(QMessageBox::Warning, CKVPresenceDialog::ServiceErrorTitle(type), Q(m->body),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

void CPresenceWindow::Notify(const std::string& title, const std::string& text, bool headline)
{
    Later([this, title, text, headline] {
        // With the chat windows present, they decide a message's pop-up (tab forward or pop-up),
        // so a message shows one, not two.
        if (!headline && m_dialogs != nullptr && text.rfind(" Says:", 0) == 0)
            return;
        std::string jid;
        // A message's pop-up opens the chat with its sender.
        if (!headline && text.rfind(" Says:", 0) == 0)
            for (const std::string& g : m_tree->GetGroupStringList()) {
                QTreeWidgetItem* group = m_tree->IsGroupTreeNodeExists(g);
                for (int i = 0; group != nullptr && i < group->childCount() && jid.empty(); ++i) {
                    CPresenceTreeNodeData* d = CCustomTreeCtrl::Data(group->child(i));
                    if (d->GetRosterContactName() == title || d->GetRosterContactID() == title)
                        jid = d->GetRosterContactID();
                }
            }
        m_notifier->Notify(title, text, jid);
    });
}

void CPresenceWindow::Profile(std::unique_ptr<CVCard> card, bool own)
{
    auto c = std::make_shared<std::unique_ptr<CVCard>>(std::move(card));
    Later([this, c, own] {
        if (m_dialogs != nullptr)
            m_dialogs->Profile(std::move(*c), own);
    });
}

void CPresenceWindow::ProfileStored(std::unique_ptr<CVCard> card)
{
    auto c = std::make_shared<std::unique_ptr<CVCard>>(std::move(card));
    Later([this, c] {
        if (m_dialogs != nullptr)
            m_dialogs->ProfileStored(std::move(*c));
    });
}

void CPresenceWindow::SearchResult(const CSearchResult* result)
{
    // The record is the reader's: a copy crosses.
    std::shared_ptr<CSearchResult> copy;
    if (result != nullptr) {
        copy = std::make_shared<CSearchResult>();
        copy->items = result->items;
    }
    Later([this, copy] {
        if (m_dialogs != nullptr)
            m_dialogs->SearchResult(copy.get());
    });
}

void CPresenceWindow::ImRegistered(int imType, bool registered)
{
    Later([this, imType, registered] {
        if (m_dialogs != nullptr)
            m_dialogs->ImRegistered(imType, registered);
    });
}

void CPresenceWindow::ImStatus(int imType, int signedIn, int loginInfo)
{
    Later([this, imType, signedIn, loginInfo] {
        if (m_dialogs != nullptr)
            m_dialogs->ImStatus(imType, signedIn, loginInfo);
    });
}

void CPresenceWindow::ServicesDiscovered(const CIMLoginIDDetails& services)
{
    std::vector<std::string> jids = services.jids;
    Later([this, jids] {
        for (const std::string& jid : jids) {
            const int type = m_handler != nullptr ? m_handler->IsIMTransportJID(jid) : -1;
            if (type >= 1 && type <= 3)
                m_gatewayOffered[static_cast<std::size_t>(type - 1)] = true;
        }
        ShowSignedIn(m_signedIn);
    });
}

// ----- the controller's view -----

void CPresenceWindow::ShowSignedIn(bool signedIn)
{
    m_status->setEnabled(signedIn);
    m_statusMessage->setEnabled(signedIn);
    m_tree->setEnabled(signedIn);
    for (QPushButton* b : m_signedInButtons)
        b->setEnabled(signedIn);
    for (QPushButton* b : m_dialogButtons)
        b->setEnabled(signedIn && m_dialogs != nullptr);
    if (!signedIn && m_signedIn)
        m_gatewayOffered = {}; // the next sign-in discovers them again
    m_signedIn = signedIn;
    for (std::size_t i = 0; i < m_gatewayButtons.size(); ++i)
        if (m_gatewayButtons[i] != nullptr)
            m_gatewayButtons[i]->setEnabled(signedIn && m_dialogs != nullptr && m_gatewayOffered[i]);
}

void CPresenceWindow::SetStatusLabel(const std::string& text)
{
    m_statusLabel->setText(Q(text));
    m_statusLabel->setAccessibleName(Q(text));
}

void CPresenceWindow::ShowReconnect(bool shown) { m_reconnect->setVisible(shown); }

void CPresenceWindow::AskSubscription(const std::string& jid, const std::string& text)
{
    // One request on screen at a time; the controller queues the others.
    if (m_request != nullptr) {
        m_request->hide();
        m_request->deleteLater(); // it may be the sender of the click that brought us here
    }
    m_request = new CAddContactDialog(CAddContactDialog::MODE_REQUEST, m_tree->GetGroupStringList(), this);
    m_request->SetRequest(jid, text);
    connect(m_request->AcceptButton(), &QPushButton::clicked, this, [this] {
        std::string requester;
        const std::string name = m_request->Name(), group = m_request->Group();
        CAddContactDialog* shown = m_request;
        if (const char* refusal = m_controller->AcceptSubscription(name, group, requester)) {
            Warn(this, refusal);
            return;
        }
        m_tree->AddRosterContactTreeNode(group, requester, name, Mapped(requester).id, Mapped(requester).name,
                                         CRosterTreeRules::GetIMTypeAgaintRosterContactID(requester), 0,
                                         PRESENCE_OFFLINE, "", CRosterTreeRules::kBoth);
        if (m_request == shown) { // no further request took its place
            m_request->deleteLater();
            m_request = nullptr;
        }
    });
    connect(m_request->RejectButton(), &QPushButton::clicked, this, [this] {
        CAddContactDialog* shown = m_request;
        m_controller->DenySubscription();
        if (m_request == shown) {
            m_request->deleteLater();
            m_request = nullptr;
        }
    });
    m_request->show();
    m_request->raise();
}

void CPresenceWindow::SetSubscriptionText(const std::string& jid, const std::string& suffix)
{
    m_tree->SetRosterContactTreeNodesSubscription(jid, 0, m_tree->GetRosterContactPresenceStatus(jid), suffix);
}

void CPresenceWindow::ShowInformation(const std::string& title, const std::string& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, Q(title), Q(text), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

// ----- the tree -----

PersonalContact CPresenceWindow::Mapped(const std::string& jid) const
{
    auto it = m_mapped.find(Lower(jid));
    return it != m_mapped.end() ? it->second : PersonalContact{};
}

void CPresenceWindow::AddContactNodes(const RosterEntry& e, const std::string& suffix)
{
    const PersonalContact p = Mapped(e.jid);
    const int imType = CRosterTreeRules::GetIMTypeAgaintRosterContactID(e.jid);
    const std::string name = e.name.empty() ? e.jid.substr(0, e.jid.find('@')) : e.name;
    for (const std::string& g : e.groups)
        m_tree->AddRosterContactTreeNode(g, e.jid, name, p.id, p.name, imType, e.subscription, e.presence,
                                         e.statusMessage, suffix);
}

void CPresenceWindow::FillTree(const std::vector<RosterEntry>& roster)
{
    ZLOG_SCOPE();
    m_mapped.clear();
    if (m_book != nullptr)
        for (PersonalContact& c : m_book->MappableContacts())
            m_mapped.emplace(Lower(c.jid), std::move(c));
    m_tree->setUpdatesEnabled(false);
    m_tree->clear();
    for (const RosterEntry& e : roster)
        AddContactNodes(e, "");
    m_tree->setUpdatesEnabled(true);
    if (m_settings.Values().isMapZeloraID == 1) {
        // Offered once: the file remembers that it was.
        m_settings.WriteInt("Notification", "nIsMapZeloraID", 2);
        OnMapContacts();
    }
    if (rosterShown)
        rosterShown(static_cast<int>(roster.size()));
}

// The contact as the roster now has it: a node in each of its groups, none elsewhere.
void CPresenceWindow::SyncContact(const std::string& jid)
{
    if (m_handler == nullptr)
        return;
    for (const RosterEntry& e : m_handler->Roster()) {
        if (e.jid != jid)
            continue;
        for (QTreeWidgetItem* node : m_tree->ContactNodes(jid)) {
            CPresenceTreeNodeData* d = CCustomTreeCtrl::Data(node);
            if (std::find(e.groups.begin(), e.groups.end(), d->GetGroupName()) == e.groups.end())
                m_tree->DeleteNode(node);
        }
        AddContactNodes(e, "");
        return;
    }
}

void CPresenceWindow::OpenChat(const std::string& jid, const std::string& name)
{
    if (m_dialogs == nullptr) {
        Warn(this, "Critical Error - Start Chat");
        return;
    }
    m_dialogs->OpenChat(jid, name);
}
