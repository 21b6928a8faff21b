// The presence window's pieces over the real GUI handler: the roster tree's records, drops and
// menus as the XMPP commands they send, the window following the roster, the sign-in decisions,
// and the presence settings file with every key.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/ProfileFile.h"
#include "presence/CFifo.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/CKVPresenceDialog.h"
#include "presence/CPresenceSettings.h"
#include "presence/CRosterTreeRules.h"
#include "presence/IKVPresenceView.h"
#include "presence/IPresenceDialogs.h"
#include "presence/PresenceCodes.h"
#include "presence/ui/CCustomTreeCtrl.h"
#include "presence/CAddressBookContacts.h"
#include "presence/ui/CPresenceNotifier.h"
#include "presence/ui/CPresencePreferencesDialog.h"
#include "presence/ui/CPresenceWindow.h"

namespace {

struct Sent {
    int command;
    std::unique_ptr<CPresenceData> data;
    CRosterItem* Item() const { return dynamic_cast<CRosterItem*>(data.get()); }
};

// What reached the XMPP side's queue, oldest first.
std::vector<Sent> Drain(CFifo& fifo)
{
    std::vector<Sent> out;
    CFifoMessage* m = nullptr;
    while (fifo.Readmessage(m) == CFifo::kRead && m != nullptr) {
        out.push_back({m->command, std::unique_ptr<CPresenceData>(m->data)});
        delete m;
    }
    return out;
}

class QuietView : public IKVPresenceView {
public:
    bool signedIn = false, reconnectShown = false;
    std::string label;
    std::vector<std::string> asked, texts;
    void ShowSignedIn(bool s) override { signedIn = s; }
    void SetStatusLabel(const std::string& t) override { label = t; }
    void ShowReconnect(bool s) override { reconnectShown = s; }
    void AskSubscription(const std::string& jid, const std::string&) override { asked.push_back(jid); }
    void SetSubscriptionText(const std::string& jid, const std::string& s) override { texts.push_back(jid + s); }
    void ShowInformation(const std::string&, const std::string&) override { }
};

// The secondary windows as the presence window uses them.
class DialogsRecorder : public IPresenceDialogs {
public:
    std::vector<std::string> calls;
    PresenceChatSettings chat;
    void ApplyChatSettings(const PresenceChatSettings& s) override { chat = s; }
    void OpenChat(const std::string& jid, const std::string& name) override
    {
        calls.push_back("chat " + jid + " " + name);
    }
    void ChatMessage(std::unique_ptr<CChatMessage> m, const std::string& name) override
    {
        calls.push_back("message " + m->peerJid + " " + name + " " + m->body);
    }
    void ContactPresence(const RosterEntry& c) override { calls.push_back("presence " + c.jid); }
    void OpenOwnProfile() override { calls.push_back("own profile"); }
    void OpenContactProfile(const std::string& jid) override { calls.push_back("profile " + jid); }
    void Profile(std::unique_ptr<CVCard>, bool) override { }
    void ProfileStored(std::unique_ptr<CVCard>) override { }
    void OpenSearch() override { calls.push_back("search"); }
    void SearchResult(const CSearchResult* r) override { calls.push_back(r ? "results" : "search failed"); }
    void OpenInvite() override { }
    void OpenIMAccount(int t) override { calls.push_back("im " + std::to_string(t)); }
    void ImStatus(int, int, int) override { }
    void OpenBroadcast() override { }
    void SignedOut() override { calls.push_back("signed out"); }
};

class OneEntryBook : public IPresenceContactBook {
public:
    bool FindByJid(const std::string&, PersonalContact&) override { return false; }
    std::vector<PersonalContact> MappableContacts() override { return {{"12", "Ann Book", "ANN@localhost"}}; }
};

// A tree whose edits go through the controller into a queue the test reads.
struct TreeRig {
    CFifo xmpp;
    QuietView view;
    CKVPresenceDialog controller{view,
                                 [this](std::int32_t c, CPresenceData* d) {
                                     PresenceWrite(xmpp, c, d);
                                     return 0;
                                 },
                                 "1001@localhost", "1001", "localhost"};
    CCustomTreeCtrl tree;
    TreeRig()
    {
        CCustomTreeCtrl::Hooks hooks;
        hooks.confirm = [](const QString&) { return true; };
        tree.Initialize(&controller, hooks);
        tree.resize(300, 400);
        tree.show();
    }
    QTreeWidgetItem* Add(const std::string& group, const std::string& jid, const std::string& name)
    {
        return tree.AddRosterContactTreeNode(group, jid, name, "", "", 0, 3, PRESENCE_AVAILABLE, "");
    }
    // The end of a drag of `dragged` released over `target` (what dropEvent finds under the pointer).
    void Drop(QTreeWidgetItem* dragged, QTreeWidgetItem* target)
    {
        QCOMPARE(tree.itemAt(target != nullptr ? tree.visualItemRect(target).center() : QPoint(5, 390)), target);
        tree.DropOn(dragged, target);
    }
    std::vector<std::string> Groups(const std::string& jid) const
    {
        std::vector<std::string> out;
        for (QTreeWidgetItem* n : tree.ContactNodes(jid))
            out.push_back(n->parent()->text(0).toStdString() + "/" + CCustomTreeCtrl::Data(n)->GetGroupName());
        return out;
    }
};

} // namespace

class PresenceUiTest : public QObject {
    Q_OBJECT
private slots:
    void nodeDataSettersAndRefusals();
    void dropsMoveOnlyOntoAnotherGroupAndMenusCopy();
    void moveIntoAGroupHoldingTheContactAndBack();
    void renameAndGroupDelete();
    void windowFollowsTheRosterAndHandsOnChats();
    void signInDecisionsAndSubscriptionRequests();
    void notifierShowsOneAtATime();
    void settingsFileEveryKeyReadAndWritten();
};

void PresenceUiTest::nodeDataSettersAndRefusals()
{
    CPresenceTreeNodeData d;
    // Before a type nothing but the type setters take.
    QCOMPARE(d.SetGroupName("G"), -1);
    QCOMPARE(d.SetPresenceStatus(1), -1);
    QCOMPARE(d.SetRosterContactName("x"), -1);
    QCOMPARE(d.GetNodeType(), 0);
    // A group takes its name but none of the contact fields.
    QCOMPARE(d.SetGroupNodeData("Office"), 0);
    QCOMPARE(d.GetNodeType(), 1);
    QCOMPARE(d.SetGroupName("Home"), 0);
    QCOMPARE(d.GetGroupName(), std::string("Home"));
    for (int rc : {d.SetSubscriptionState(3), d.SetPresenceStatus(2), d.SetIMType(1), d.SetRosterContactID("a@b"),
                   d.SetRosterContactMessage("m"), d.SetPersonalContactID("7"), d.SetPersonalContactName("P"),
                   d.SetRosterContactName("R"), d.SetPhoto("p")})
        QCOMPARE(rc, -1);
    QCOMPARE(d.GetRosterContactID(), std::string());
    QCOMPARE(d.ImageIndex(), 28);
    // A contact takes them all; its image is 7 x IM type + presence.
    QCOMPARE(d.SetRosterContactNodeData("5551234@yahoo.localhost", "Ann", "12", "Ann Book", "Office", 1, 3, 4, ""), 0);
    QCOMPARE(d.GetNodeType(), 2);
    QCOMPARE(d.ImageIndex(), 7 * 1 + 4);
    QCOMPARE(d.GetStripedRosterContactID(), std::string("5551234"));
    QCOMPARE(d.PresenceText(), std::string("Ann"));
    QCOMPARE(d.SetRosterContactMessage("at lunch"), 0);
    QCOMPARE(d.PresenceText(), std::string("Ann - at lunch"));
    QCOMPARE(d.SetPresenceStatus(99), 0);
    QCOMPARE(d.ImageIndex(), 7); // out of range reads as unknown, never past the strip
    QCOMPARE(d.SetGroupName("Home"), 0);
    QCOMPARE(CRosterTreeRules::GetIMTypeAgaintRosterContactID("x@gtalk.localhost"), 3);
    QCOMPARE(CRosterTreeRules::CompleteJid("1002", "localhost"), std::string("1002@localhost"));
    QCOMPARE(CRosterTreeRules::CompleteJid("1002@localhost", "localhost"), std::string("1002@localhost"));
}

void PresenceUiTest::dropsMoveOnlyOntoAnotherGroupAndMenusCopy()
{
    TreeRig rig;
    QTreeWidgetItem* ann = rig.Add("A", "ann@localhost", "Ann");
    QTreeWidgetItem* bob = rig.Add("B", "bob@localhost", "Bob");
    QTreeWidgetItem* groupA = rig.tree.IsGroupTreeNodeExists("A");
    QTreeWidgetItem* groupB = rig.tree.IsGroupTreeNodeExists("B");
    QVERIFY(ann && bob && groupA && groupB);
    QVERIFY(rig.tree.AddGroupTreeNode("A") == nullptr); // one group per name
    QVERIFY(rig.Add("A", "ANN@localhost", "Ann") == nullptr); // one node per contact and group

    // Onto a contact, its own group, or nothing: no change, nothing sent. A group is not dragged.
    rig.Drop(ann, bob);
    rig.Drop(ann, groupA);
    rig.Drop(ann, nullptr);
    rig.Drop(groupA, groupB);
    QVERIFY(Drain(rig.xmpp).empty());
    QCOMPARE(rig.Groups("ann@localhost"), (std::vector<std::string>{"A/A"}));

    // Onto another group: the node moves, and the roster is told old and new group.
    rig.Drop(ann, groupB);
    QCOMPARE(rig.Groups("ann@localhost"), (std::vector<std::string>{"B/B"}));
    std::vector<Sent> sent = Drain(rig.xmpp);
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_MOVE_CONTACT_TO_GROUP));
    QCOMPARE(sent[0].Item()->contactJid, std::string("ann@localhost"));
    QCOMPARE(sent[0].Item()->oldGroup, std::string("A"));
    QCOMPARE(sent[0].Item()->group, std::string("B"));
    QCOMPARE(rig.tree.currentItem()->text(0), QString("Ann"));

    // "Copy To" offers every root but the contact's own, by root index; the copy keeps the node.
    QTreeWidgetItem* annB = rig.tree.ContactNodes("ann@localhost")[0];
    const auto menu = CRosterTreeRules::GroupMenu(rig.tree.GetGroupStringList(), "B", CRosterTreeRules::kCopyBase);
    QCOMPARE(menu.size(), std::size_t(1));
    QCOMPARE(menu[0].id, CRosterTreeRules::kCopyBase + 0);
    QCOMPARE(menu[0].name, std::string("A"));
    rig.tree.OnMenuCommand(annB, menu[0].id);
    QCOMPARE(rig.Groups("ann@localhost"), (std::vector<std::string>{"A/A", "B/B"}));
    sent = Drain(rig.xmpp);
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_COPY_CONTACT_TO_GROUP));
    QCOMPARE(sent[0].Item()->group, std::string("A"));
    // Copying where it already is does nothing.
    QVERIFY(rig.tree.CopyRosterContactItem(annB, groupA) == nullptr);
    QVERIFY(Drain(rig.xmpp).empty());
    // A contact alone in the only group is offered "Buddies", which the command creates.
    TreeRig lone;
    QTreeWidgetItem* solo = lone.Add("Only", "solo@localhost", "Solo");
    const auto fallback =
        CRosterTreeRules::GroupMenu(lone.tree.GetGroupStringList(), "Only", CRosterTreeRules::kMoveBase);
    QCOMPARE(fallback.size(), std::size_t(1));
    QCOMPARE(fallback[0].name, std::string("Buddies"));
    QCOMPARE(fallback[0].id, CRosterTreeRules::kMoveBase + 1);
    lone.tree.OnMenuCommand(solo, fallback[0].id);
    QCOMPARE(lone.Groups("solo@localhost"), (std::vector<std::string>{"Buddies/Buddies"}));
}

void PresenceUiTest::moveIntoAGroupHoldingTheContactAndBack()
{
    TreeRig rig;
    rig.Add("A", "ann@localhost", "Ann");
    rig.Add("B", "ann@localhost", "Ann");
    QTreeWidgetItem* groupA = rig.tree.IsGroupTreeNodeExists("A");
    QTreeWidgetItem* groupB = rig.tree.IsGroupTreeNodeExists("B");
    // A to B where it is already: the dragged node goes, one node stays, the move is sent.
    rig.Drop(rig.tree.FindContact(groupA, "ann@localhost"), groupB);
    QCOMPARE(rig.Groups("ann@localhost"), (std::vector<std::string>{"B/B"}));
    // And back to A: one node again, with its record's group following.
    rig.Drop(rig.tree.FindContact(groupB, "ann@localhost"), groupA);
    QCOMPARE(rig.Groups("ann@localhost"), (std::vector<std::string>{"A/A"}));
    std::vector<Sent> sent = Drain(rig.xmpp);
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[0].Item()->oldGroup + ">" + sent[0].Item()->group, std::string("A>B"));
    QCOMPARE(sent[1].Item()->oldGroup + ">" + sent[1].Item()->group, std::string("B>A"));
    QCOMPARE(groupB->childCount(), 0);
}

void PresenceUiTest::renameAndGroupDelete()
{
    TreeRig rig;
    CCustomTreeCtrl::Hooks hooks;
    hooks.confirm = [](const QString&) { return true; };
    hooks.askName = [](const QString&, QString& name) {
        name = name == "Work" ? "Job" : "Annie";
        return true;
    };
    rig.tree.Initialize(&rig.controller, hooks);
    for (const char* g : {"Home", "Work", "Club"})
        rig.Add(g, "ann@localhost", "Ann");
    rig.Add("Work", "bob@localhost", "Bob");
    rig.tree.SetRosterContactStatus("ann@localhost", "Club", PRESENCE_AWAY, "out", "");
    // A contact in three groups: all three nodes renamed, one rename sent.
    rig.tree.OnMenuCommand(rig.tree.ContactNodes("ann@localhost")[0], CCustomTreeCtrl::MENU_RENAME);
    QStringList texts;
    for (QTreeWidgetItem* n : rig.tree.ContactNodes("ann@localhost"))
        texts << n->text(0);
    texts.sort();
    QCOMPARE(texts, (QStringList{"Annie", "Annie", "Annie - out"}));
    std::vector<Sent> sent = Drain(rig.xmpp);
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_RENAME_CONTACT));
    QCOMPARE(sent[0].Item()->name, std::string("Annie"));
    // Renaming a group moves each of its contacts on the server.
    rig.tree.OnMenuCommand(rig.tree.IsGroupTreeNodeExists("Work"), CCustomTreeCtrl::MENU_RENAME);
    sent = Drain(rig.xmpp);
    QCOMPARE(sent.size(), std::size_t(2));
    for (const Sent& s : sent)
        QCOMPARE(s.Item()->oldGroup + ">" + s.Item()->group, std::string("Work>Job"));
    // Deleting it moves them to "Buddies", made for the purpose.
    QVERIFY(rig.tree.IsGroupTreeNodeExists("Buddies") == nullptr);
    rig.tree.OnMenuCommand(rig.tree.IsGroupTreeNodeExists("Job"), CCustomTreeCtrl::MENU_DELETE);
    QVERIFY(rig.tree.IsGroupTreeNodeExists("Job") == nullptr);
    QCOMPARE(rig.Groups("bob@localhost"), (std::vector<std::string>{"Buddies/Buddies"}));
    sent = Drain(rig.xmpp);
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[0].Item()->oldGroup + ">" + sent[0].Item()->group, std::string("Job>Buddies"));
    // Deleting a contact only asks the roster; the nodes stay until it reports the removal.
    rig.tree.OnMenuCommand(rig.tree.ContactNodes("bob@localhost")[0], CCustomTreeCtrl::MENU_DELETE);
    sent = Drain(rig.xmpp);
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_UNSUBSCRIBE_CONTACT));
    QVERIFY(rig.tree.HasContact("bob@localhost"));
}

void PresenceUiTest::windowFollowsTheRosterAndHandsOnChats()
{
    QTemporaryDir dir;
    CPresenceSettings settings((dir.path() + "/presence.ini").toStdString());
    CFifo xmpp, gui;
    DialogsRecorder dialogs;
    CGUIPresenceHandler handler(xmpp, gui);
    OneEntryBook book;
    CPresenceWindow window(settings, &book, {});
    QCOMPARE(handler.InitializeGUIPresenceHandler("1001@localhost", "1001", "localhost", &window, nullptr,
                                                  {"yahoo.localhost", "msn.localhost", "gtalk.localhost"}),
             0);
    window.Initialize(handler, &dialogs);
    int shown = -1;
    window.rosterShown = [&](int n) { shown = n; };
    auto* roster = new CRosterData;
    auto entry = [](const char* jid, const char* name, std::vector<std::string> groups) {
        RosterEntry e;
        e.jid = jid;
        e.name = name;
        e.groups = std::move(groups);
        return e;
    };
    roster->entries = {entry("ann@localhost", "Ann", {}), entry("bob@localhost", "Bob", {"Work", "Club"}),
                       entry("yahoo.localhost", "Yahoo", {})};
    handler.Handle(PRESENCE_COMMAND_GUI_PROCESS_ROSTER_DATA, roster);
    delete roster;
    QTRY_COMPARE(shown, 2);
    CCustomTreeCtrl& tree = window.Tree();
    QCOMPARE(tree.GetGroupStringList(), (std::vector<std::string>{"Buddies", "Club", "Work"}));
    QCOMPARE(int(tree.ContactNodes("bob@localhost").size()), 2);
    QVERIFY(!tree.HasContact("yahoo.localhost"));
    // The address book's entry for a contact, matched without regard to case.
    QCOMPARE(CCustomTreeCtrl::Data(tree.ContactNodes("ann@localhost")[0])->GetPersonalContactID(), std::string("12"));
    QCOMPARE(CAddressBookContacts::JidFor("Ann@Mail.Example", "mail.example", "localhost"),
             std::string("Ann@localhost"));
    QCOMPARE(CAddressBookContacts::JidFor("ann@other.example", "mail.example", "localhost"), std::string());
    QCOMPARE(CAddressBookContacts::JidFor("@mail.example", "mail.example", "localhost"), std::string());

    handler.Handle(PRESENCE_COMMAND_GUI_LOGIN_SUCCESSFUL, nullptr);
    auto* p = new CRosterPresenceData;
    p->entry.jid = "bob@localhost";
    p->entry.presence = PRESENCE_DND;
    p->entry.statusMessage = "busy";
    handler.Handle(PRESENCE_COMMAND_GUI_PROCESS_ROSTER_PRESENCE_DATA, p);
    delete p;
    QTRY_COMPARE(tree.ContactNodes("bob@localhost")[1]->text(0), QString("Bob - busy"));
    QCOMPARE(tree.ContactNodes("bob@localhost")[0]->data(0, Qt::AccessibleDescriptionRole).toString(),
             QString("Do Not Disturb"));
    // Signed in, the status box's choice went out (Available, the personal message).
    std::vector<Sent> sent = Drain(xmpp);
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_CHANGE_STATUS));
    QCOMPARE(static_cast<CRosterPresenceData*>(sent[0].data.get())->entry.presence, 1);

    // A gateway's button works only once the presence domain offers that gateway.
    auto gatewayButton = [&](const char* text) {
        for (QPushButton* b : window.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return static_cast<QPushButton*>(nullptr);
    };
    QVERIFY(!gatewayButton("Yahoo")->isEnabled());
    auto* services = new CIMLoginIDDetails;
    services->jids = {"search.localhost", "yahoo.localhost"};
    services->names = {"Search", "Yahoo"};
    services->registeredIds = {"", ""};
    handler.Handle(PRESENCE_COMMAND_GUI_IM_LOGIN_ID_DETAILS, services);
    delete services;
    QTRY_VERIFY(gatewayButton("Yahoo")->isEnabled());
    QVERIFY(!gatewayButton("MSN")->isEnabled());
    QVERIFY(gatewayButton("Search")->isEnabled());

    // A double click opens the chat; a message goes to its tab with the tree's name.
    QTreeWidgetItem* ann = tree.ContactNodes("ann@localhost")[0];
    emit tree.itemDoubleClicked(ann, 0);
    auto* m = new CChatMessage;
    m->peerJid = "ann@localhost";
    m->body = "hi";
    m->kind = MESSAGE_KIND_CHAT;
    QVERIFY(handler.Handle(PRESENCE_COMMAND_GUI_PROCESS_CHAT_MESSAGE, m)); // kept: the window owns it
    QTRY_VERIFY(std::find(dialogs.calls.begin(), dialogs.calls.end(), "message ann@localhost Ann hi") !=
                dialogs.calls.end());
    QVERIFY(std::find(dialogs.calls.begin(), dialogs.calls.end(), "chat ann@localhost Ann") != dialogs.calls.end());

    // A request from a contact already there is accepted without asking; a removal drops its nodes.
    auto* request = new CRosterItem;
    request->contactJid = "bob@localhost";
    handler.Handle(PRESENCE_COMMAND_GUI_SUBSCRIPTION_REQUEST, request);
    delete request;
    QTRY_COMPARE(tree.ContactNodes("bob@localhost")[0]->text(0), QString("Bob - Both"));
    sent = Drain(xmpp);
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION));
    QCOMPARE(sent[0].Item()->accept, 1);
    // A gateway the user registered with asks to see the user: accepted, nothing asked or shown.
    auto* gateway = new CRosterItem;
    gateway->contactJid = "yahoo.localhost";
    handler.Handle(PRESENCE_COMMAND_GUI_SUBSCRIPTION_REQUEST, gateway);
    delete gateway;
    QTRY_COMPARE(int(xmpp.Size()), 1);
    sent = Drain(xmpp);
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION));
    QCOMPARE(sent[0].Item()->contactJid, std::string("yahoo.localhost"));
    QCOMPARE(sent[0].Item()->accept, 1);
    QVERIFY(!tree.HasContact("yahoo.localhost"));
    auto* removed = new CRosterItem;
    removed->contactJid = "bob@localhost";
    handler.Handle(PRESENCE_COMMAND_GUI_ITEM_REMOVED, removed);
    delete removed;
    QTRY_VERIFY(!tree.HasContact("bob@localhost"));
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QMessageBox"))
            w->close();
}

void PresenceUiTest::signInDecisionsAndSubscriptionRequests()
{
    CFifo xmpp;
    QuietView view;
    CKVPresenceDialog c(
        view,
        [&](std::int32_t command, CPresenceData* d) {
            PresenceWrite(xmpp, command, d);
            return 0;
        },
        "1001@localhost", "1001", "localhost");
    struct Case {
        int error, detail;
        bool reconnects;
        const char* label;
        bool button;
    };
    const Case cases[] = {{7, 0, true, "Trying to Sign in...", false},
                          {13, 0, true, "Trying to Sign in...", false},
                          {3, 19, true, "Trying to Sign in...", false},
                          {16, 0, false, "Invalid username/password", false},
                          {9, 0, false, "Connection was refused by server", false},
                          {4, 0, false, "Connection Dropped", true}};
    for (const Case& k : cases) {
        CConnectionError e;
        e.connectionError = k.error;
        e.errorDetail = k.detail;
        c.LoginStatus(&e);
        const std::vector<Sent> sent = Drain(xmpp);
        QCOMPARE(sent.size(), std::size_t(k.reconnects ? 1 : 0));
        if (k.reconnects)
            QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_RECONNECT));
        QCOMPARE(view.label, std::string(k.label));
        QCOMPARE(view.reconnectShown, k.button);
        QVERIFY(!view.signedIn);
    }
    c.LoginStatus(nullptr);
    QVERIFY(view.signedIn);
    QCOMPARE(view.label, std::string("My Status"));

    // Requests from strangers wait their turn, one on screen; nothing is answered by itself.
    c.PresenceItemSubscribedRequest("x@localhost", "hi", false);
    c.PresenceItemSubscribedRequest("y@localhost", "", false);
    c.PresenceItemSubscribedRequest("x@localhost", "again", false);
    QCOMPARE(view.asked, (std::vector<std::string>{"x@localhost"}));
    QVERIFY(Drain(xmpp).empty());
    std::string jid;
    QCOMPARE(std::string(c.AcceptSubscription("", "Buddies", jid)), std::string("Please! Enter Contact Name"));
    QVERIFY(c.AcceptSubscription("Ex", "Friends", jid) == nullptr);
    QCOMPARE(jid, std::string("x@localhost"));
    std::vector<Sent> sent = Drain(xmpp);
    QCOMPARE(sent.size(), std::size_t(2)); // the answer, and asking back
    QCOMPARE(sent[0].command, int(PRESENCE_COMMAND_XMPP_ACK_SUBSCRIBTION));
    QCOMPARE(sent[0].Item()->accept, 1);
    QCOMPARE(sent[1].command, int(PRESENCE_COMMAND_XMPP_SUBSCRIBE_CONTACT));
    QCOMPARE(sent[1].Item()->group, std::string("Friends"));
    QCOMPARE(view.asked, (std::vector<std::string>{"x@localhost", "y@localhost"}));
    c.DenySubscription();
    sent = Drain(xmpp);
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[0].Item()->accept, 0);
    QCOMPARE(sent[1].command, int(PRESENCE_COMMAND_XMPP_UNSUBSCRIBE_CONTACT));
    QCOMPARE(c.PendingRequests(), std::size_t(0));

    // The add-contact dialog's rules.
    QCOMPARE(std::string(c.AddNewContact("", "N", "G", jid)), std::string("Please! Enter ZeloraID"));
    QCOMPARE(std::string(c.AddNewContact("1002", "", "G", jid)), std::string("Please! Enter Contact Name"));
    QVERIFY(c.AddNewContact("1002", "Bee", "Office", jid) == nullptr);
    QCOMPARE(jid, std::string("1002@localhost"));
    QCOMPARE(Drain(xmpp).size(), std::size_t(1));
    // Without a callback an action is logged and dropped.
    CKVPresenceDialog orphan(view, nullptr, "a@b", "a", "b");
    QCOMPARE(orphan.OnPersonalPresenceStatus(2), -1);
    QCOMPARE(orphan.OnPersonalPresenceStatus(6), -1);
}

void PresenceUiTest::settingsFileEveryKeyReadAndWritten()
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/sub/presenceSettings_1001.ini").toStdString();
    // No file: every flag 0, every text empty.
    CPresenceSettings missing(path);
    QCOMPARE(missing.ReadSettings(), 0);
    QVERIFY(missing.Values() == PresencePreferences{});
    QCOMPARE(missing.ContactListFontHeight(), 14);
    QVERIFY(!missing.Chat().history);

    // Every key distinct, written, and read back into a fresh object.
    PresencePreferences v;
    int n = 1;
    for (int* f :
         {&v.isDisableHistory, &v.isShowTime, &v.isTabOnTop, &v.isSoundMessageArrive, &v.isSoundMessageSent,
          &v.isSoundOffline, &v.isSoundInvitation, &v.contactListFont, &v.chatFont, &v.isToastPopup, &v.isBringFront,
          &v.isNotifyOffline, &v.isNotifyOnline, &v.isCheckUpdate, &v.isNotifyPresenceOnAddressBook, &v.isMapZeloraID})
        *f = n++;
    for (std::string* f : {&v.transferTimeout, &v.defaultDirectory, &v.newMessageSoundFile, &v.sentMessageSoundFile,
                           &v.offlineSoundFile, &v.invitationSoundFile, &v.personalStatusMessage})
        *f = "text " + std::to_string(n++);
    CPresenceSettings written(path);
    QCOMPARE(written.WriteSettings(), 0); // the folder is made
    QCOMPARE(zelora::WritePrivateProfileString("IMDetails", "nIsIMMSNLoginAtStartUpEnabled", "1", path), 0);
    written.Values() = v;
    QCOMPARE(written.WriteSettings(), 0);
    CPresenceSettings read(path);
    QCOMPARE(read.ReadSettings(), 0);
    QVERIFY(read.Values() == v);
    QCOMPARE(zelora::GetPrivateProfileString("IMDetails", "nIsIMMSNLoginAtStartUpEnabled", "", path),
             std::string("1")); // the gateway keys are kept, and read with the others
    QCOMPARE(read.Gateways()[IM_TYPE_MSN].loginAtStartUp, 1);
    QCOMPARE(read.Gateways()[IM_TYPE_YAHOO].loginAtStartUp, 0);
    // The file's own spelling of sections and keys, and "%d" for integers.
    QCOMPARE(zelora::GetPrivateProfileString("chat", "nIsTabOnTop", "", path), std::string("3"));
    QCOMPARE(zelora::GetPrivateProfileString("FTrans", "csDefualtDirectory", "", path), std::string("text 18"));
    QCOMPARE(zelora::GetPrivateProfileString("Custom", "nContactListFont", "", path), std::string("8"));
    QCOMPARE(zelora::GetPrivateProfileString("PersonalStatusMessage", "csPersonalStatusMessage", "", path),
             std::string("text 23"));
    QCOMPARE(read.ContactListFontHeight(), 8);
    QCOMPARE(read.Notify().offlineSound, std::string("text 21"));
    QCOMPARE(read.Notify().notifyOnline, 13);
    QVERIFY(read.Chat().history); // "nIsDisableHistory" 1: history written
    QVERIFY(!read.Chat().showTime); // only 1 turns a flag on

    // Values as atoi reads them; a flag of 1 means on.
    QCOMPARE(zelora::WritePrivateProfileString("chat", "nIsShowTime", "1junk", path), 0);
    QCOMPARE(zelora::WritePrivateProfileString("chat", "nIsDisableHistory", "x", path), 0);
    QCOMPARE(read.ReadSettings(), 0);
    QCOMPARE(read.Values().isShowTime, 1);
    QCOMPARE(read.Values().isDisableHistory, 0);
    QVERIFY(read.Chat().showTime && !read.Chat().history);
    // The one-time mapping flag goes to 2 in memory and file.
    QCOMPARE(read.WriteInt("Notification", "nIsMapZeloraID", 2), 0);
    QCOMPARE(read.Values().isMapZeloraID, 2);
    QCOMPARE(zelora::GetPrivateProfileInt("Notification", "nIsMapZeloraID", 0, path), 2);

    // The preferences dialog shows and returns every value; a change is the only difference.
    CPresencePreferencesDialog dialog(read.Values());
    QCheckBox* box = dialog.findChild<QCheckBox*>(QString(), Qt::FindChildrenRecursively);
    QVERIFY(box != nullptr);
    PresencePreferences expected = read.Values();
    for (QCheckBox* b : dialog.findChildren<QCheckBox*>())
        if (b->accessibleName() == "Show time in chat")
            b->setChecked(true);
    expected.isShowTime = 1;
    // Flags other than 0 and 1 come back as the box shows them.
    for (int* f :
         {&expected.isTabOnTop, &expected.isSoundMessageArrive, &expected.isSoundMessageSent, &expected.isSoundOffline,
          &expected.isSoundInvitation, &expected.isToastPopup, &expected.isBringFront, &expected.isNotifyOffline,
          &expected.isNotifyOnline, &expected.isCheckUpdate, &expected.isNotifyPresenceOnAddressBook})
        *f = *f == 1 ? 1 : 0;
    QVERIFY(dialog.Values() == expected);
    // A file that is not a profile is left alone rather than replaced.
    const std::string damaged("[chat]\nnIsShowTime=1\n\0binary", 27);
    std::ofstream(path, std::ios::trunc | std::ios::binary) << damaged;
    CPresenceSettings broken(path);
    QCOMPARE(broken.ReadSettings(), -1);
    QCOMPARE(broken.Values().isShowTime, 0);
    QCOMPARE(broken.WriteSettings(), -1);
    std::string after;
    QCOMPARE(zelora::ReadFileContents(path, after), 0);
    QCOMPARE(after, damaged);
}

void PresenceUiTest::notifierShowsOneAtATime()
{
    std::vector<std::string> opened;
    CPresenceNotifier notifier([&](const std::string& jid) { opened.push_back(jid); });
    QVERIFY(notifier.Notify("Ann", " is Online", ""));
    QVERIFY(!notifier.Notify("Bob", " is Offline", "")); // dropped while one shows
    QCOMPARE(notifier.CurrentPhase(), CPresenceNotifier::PHASE_APPEAR);
    QElapsedTimer t;
    t.start();
    QTRY_COMPARE_WITH_TIMEOUT(notifier.CurrentPhase(), CPresenceNotifier::PHASE_HIDDEN, 5000);
    QVERIFY(t.elapsed() >= 3 * CPresenceNotifier::kPhaseMs - 100); // appear, stay, disappear
    QVERIFY(notifier.isHidden());
    // A message's pop-up opens the chat on a click; the next one shows again.
    QVERIFY(notifier.Notify("Ann", " Says:\nhi", "ann@localhost"));
    QTest::mouseClick(&notifier, Qt::LeftButton);
    QCOMPARE(opened, (std::vector<std::string>{"ann@localhost"}));
    QCOMPARE(notifier.CurrentPhase(), CPresenceNotifier::PHASE_HIDDEN);
}

QTEST_MAIN(PresenceUiTest)
#include "PresenceUiTest.moc"
