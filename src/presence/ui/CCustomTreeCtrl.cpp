#include "presence/ui/CCustomTreeCtrl.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

#include "app/CLogger.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/CKVPresenceDialog.h"
#include "presence/CRosterTreeRules.h"
#include "presence/PresenceCodes.h"

namespace {

// The node owns its record: it goes with the node.
class CPresenceTreeItem : public QTreeWidgetItem {
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;
    CPresenceTreeItem() : QTreeWidgetItem(kType) { }
    CPresenceTreeNodeData data;
};

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Status colours by presence value 0..6.
const QColor kPresenceColours[7] = {QColor(0x9e, 0x9e, 0x9e), QColor(0x2e, 0xb8, 0x3c), QColor(0x1e, 0x90, 0xff),
                                    QColor(0xf4, 0xc4, 0x1c), QColor(0xd8, 0x2a, 0x2a), QColor(0xf0, 0x80, 0x20),
                                    QColor(0xb0, 0xb0, 0xb0)};
const char kImLetters[] = {'\0', 'Y', 'M', 'G'};

QPixmap StatusImage(int index)
{
    QPixmap p(CCustomTreeCtrl::kImageSize, CCustomTreeCtrl::kImageSize);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    if (index == CCustomTreeCtrl::kImageCount - 1) { // the group image
        g.setBrush(QColor(0xe8, 0xb8, 0x4a));
        g.setPen(QColor(0x8a, 0x6a, 0x20));
        g.drawRect(2, 5, 15, 11);
        g.drawRect(2, 3, 6, 3);
        return p;
    }
    const int imType = index / 7, presence = index % 7;
    g.setPen(QPen(kPresenceColours[presence].darker(140), 1.2));
    g.setBrush(presence == PRESENCE_OFFLINE ? QBrush(Qt::white) : QBrush(kPresenceColours[presence]));
    g.drawEllipse(QRectF(2.5, 2.5, 14, 14));
    if (imType > 0) {
        QFont f = g.font();
        f.setPixelSize(10);
        f.setBold(true);
        g.setFont(f);
        g.setPen(Qt::black);
        g.drawText(QRect(0, 0, 19, 19), Qt::AlignCenter, QString(QChar(kImLetters[imType])));
    }
    return p;
}

} // namespace

CCustomTreeCtrl::CCustomTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setAccessibleName("Contacts");
    setToolTip("Contacts");
    SetTreeNodeImageBitmap(0);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        CPresenceTreeNodeData* d = Data(item);
        if (d != nullptr && d->GetNodeType() == CPresenceTreeNodeData::NODE_CONTACT && m_hooks.openChat)
            m_hooks.openChat(d->GetRosterContactID(), d->GetRosterContactName());
    });
}

CCustomTreeCtrl::~CCustomTreeCtrl() = default;

void CCustomTreeCtrl::Initialize(CKVPresenceDialog* window, Hooks hooks)
{
    m_window = window;
    m_hooks = std::move(hooks);
}

void CCustomTreeCtrl::SetTreeNodeImageBitmap(int fontHeight)
{
    m_images.clear();
    for (int i = 0; i < kImageCount; ++i)
        m_images.emplace_back(StatusImage(i));
    setIconSize(QSize(kImageSize, kImageSize));
    QFont f("Verdana");
    f.setPixelSize(fontHeight != 0 ? fontHeight : 14);
    setFont(f);
}

QIcon CCustomTreeCtrl::Image(int index) const
{
    return index >= 0 && index < static_cast<int>(m_images.size()) ? m_images[index] : QIcon();
}

CPresenceTreeNodeData* CCustomTreeCtrl::Data(QTreeWidgetItem* node)
{
    if (node == nullptr || node->type() != CPresenceTreeItem::kType)
        return nullptr;
    return &static_cast<CPresenceTreeItem*>(node)->data;
}

void CCustomTreeCtrl::InsertSorted(QTreeWidgetItem* parent, QTreeWidgetItem* node)
{
    const int count = parent != nullptr ? parent->childCount() : topLevelItemCount();
    int at = 0;
    while (at < count) {
        QTreeWidgetItem* sibling = parent != nullptr ? parent->child(at) : topLevelItem(at);
        if (QString::compare(sibling->text(0), node->text(0), Qt::CaseInsensitive) > 0)
            break;
        ++at;
    }
    if (parent != nullptr)
        parent->insertChild(at, node);
    else
        insertTopLevelItem(at, node);
}

void CCustomTreeCtrl::SetNodeLook(QTreeWidgetItem* node, const QString& text)
{
    node->setText(0, text);
    CPresenceTreeNodeData* d = Data(node);
    if (d == nullptr)
        return;
    node->setIcon(0, Image(d->ImageIndex()));
    // The status in words, for the tooltip and the accessibility tree.
    if (d->GetNodeType() == CPresenceTreeNodeData::NODE_CONTACT) {
        const int p = d->GetPresenceStatus();
        const QString status = p >= 1 && p <= 6 ? CKVPresenceDialog::kStatusNames[p - 1] : "Unknown";
        node->setToolTip(0, status);
        node->setData(0, Qt::AccessibleDescriptionRole, status);
    }
}

QTreeWidgetItem* CCustomTreeCtrl::IsGroupTreeNodeExists(const std::string& name) const
{
    const QString text = Q(name);
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->text(0) == text)
            return topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem* CCustomTreeCtrl::AddGroupTreeNode(const std::string& name)
{
    if (IsGroupTreeNodeExists(name) != nullptr)
        return nullptr;
    return InsertGroupTreeNode(name);
}

QTreeWidgetItem* CCustomTreeCtrl::InsertGroupTreeNode(const std::string& name)
{
    auto* node = new CPresenceTreeItem;
    node->data.SetGroupNodeData(name);
    node->setText(0, Q(name));
    node->setFlags((node->flags() | Qt::ItemIsDropEnabled) & ~Qt::ItemIsDragEnabled);
    InsertSorted(nullptr, node);
    SetNodeLook(node, Q(name));
    node->setExpanded(true);
    return node;
}

QTreeWidgetItem* CCustomTreeCtrl::FindContact(QTreeWidgetItem* group, const std::string& jid) const
{
    if (group == nullptr)
        return nullptr;
    for (int i = 0; i < group->childCount(); ++i) {
        CPresenceTreeNodeData* d = Data(group->child(i));
        if (d != nullptr && QString::compare(Q(d->GetRosterContactID()), Q(jid), Qt::CaseInsensitive) == 0)
            return group->child(i);
    }
    return nullptr;
}

QTreeWidgetItem* CCustomTreeCtrl::NewContactNode(QTreeWidgetItem* group, const CPresenceTreeNodeData& record,
                                                 const QString& text)
{
    auto* node = new CPresenceTreeItem;
    node->data = record;
    node->data.SetGroupName(S(group->text(0)));
    node->setText(0, text);
    node->setFlags((node->flags() | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
    InsertSorted(group, node);
    SetNodeLook(node, text);
    group->setExpanded(true);
    return node;
}

QTreeWidgetItem* CCustomTreeCtrl::AddRosterContactTreeNode(const std::string& group, const std::string& jid,
                                                           const std::string& name, const std::string& personalId,
                                                           const std::string& personalName, int imType,
                                                           int subscription, int presence, const std::string& message,
                                                           const std::string& suffix)
{
    QTreeWidgetItem* groupNode = IsGroupTreeNodeExists(group);
    if (groupNode == nullptr)
        groupNode = InsertGroupTreeNode(group);
    if (FindContact(groupNode, jid) != nullptr)
        return nullptr;
    CPresenceTreeNodeData record;
    record.SetRosterContactNodeData(jid, name, personalId, personalName, group, imType, subscription, presence,
                                    message);
    return NewContactNode(groupNode, record, Q(name + suffix));
}

int CCustomTreeCtrl::SetRosterContactStatus(const std::string& jid, const std::string& group, int presence,
                                            const std::string& message, const std::string& photo)
{
    QTreeWidgetItem* node = FindContact(IsGroupTreeNodeExists(group), jid);
    if (node == nullptr)
        return 0;
    UpdateContactStatus(node, presence, message, photo);
    return 1;
}

void CCustomTreeCtrl::UpdateContactStatus(QTreeWidgetItem* node, int presence, const std::string& message,
                                          const std::string& photo)
{
    CPresenceTreeNodeData* d = Data(node);
    if (d == nullptr)
        return;
    d->SetPresenceStatus(presence);
    d->SetRosterContactMessage(message);
    d->SetPhoto(photo);
    SetNodeLook(node, Q(d->PresenceText()));
}

std::vector<QTreeWidgetItem*> CCustomTreeCtrl::ContactNodes(const std::string& jid) const
{
    std::vector<QTreeWidgetItem*> out;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (QTreeWidgetItem* n = FindContact(topLevelItem(i), jid))
            out.push_back(n);
    return out;
}

bool CCustomTreeCtrl::HasContact(const std::string& jid) const { return !ContactNodes(jid).empty(); }

int CCustomTreeCtrl::SetRosterContactTreeNodesSubscription(const std::string& jid, int subscription, int presence,
                                                           const std::string& text)
{
    int n = 0;
    for (QTreeWidgetItem* node : ContactNodes(jid)) {
        CPresenceTreeNodeData* d = Data(node);
        d->SetSubscriptionState(subscription);
        d->SetPresenceStatus(presence);
        SetNodeLook(node, Q(d->GetRosterContactName() + text));
        ++n;
    }
    return n;
}

bool CCustomTreeCtrl::RemoveRosterContactTreeNodeIfExists(const std::string& jid, const std::string& group)
{
    QTreeWidgetItem* node = FindContact(IsGroupTreeNodeExists(group), jid);
    if (node == nullptr)
        return false;
    DeleteNode(node);
    return true;
}

int CCustomTreeCtrl::RemoveRosterContact(const std::string& jid)
{
    const std::vector<QTreeWidgetItem*> nodes = ContactNodes(jid);
    for (QTreeWidgetItem* node : nodes)
        DeleteNode(node);
    return static_cast<int>(nodes.size());
}

void CCustomTreeCtrl::DeleteNode(QTreeWidgetItem* node)
{
    if (node == m_dragged)
        m_dragged = nullptr;
    delete node; // its record and children with it
}

std::vector<std::string> CCustomTreeCtrl::GetGroupStringList() const
{
    std::vector<std::string> out;
    for (int i = 0; i < topLevelItemCount(); ++i)
        out.push_back(S(topLevelItem(i)->text(0)));
    return out;
}

std::string CCustomTreeCtrl::GetRosterContactName(const std::string& jid) const
{
    const auto nodes = ContactNodes(jid);
    return nodes.empty() ? std::string() : Data(nodes.front())->GetRosterContactName();
}

int CCustomTreeCtrl::GetRosterContactPresenceStatus(const std::string& jid) const
{
    const auto nodes = ContactNodes(jid);
    return nodes.empty() ? 0 : Data(nodes.front())->GetPresenceStatus();
}

void CCustomTreeCtrl::CloneTreeCtrl(CCustomTreeCtrl& target) const
{
    target.clear();
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = topLevelItem(i);
        QTreeWidgetItem* copy = target.InsertGroupTreeNode(S(group->text(0)));
        for (int c = 0; c < group->childCount(); ++c)
            if (CPresenceTreeNodeData* d = Data(group->child(c)))
                target.NewContactNode(copy, *d, group->child(c)->text(0));
    }
}

QTreeWidgetItem* CCustomTreeCtrl::MoveRosterContactItem(QTreeWidgetItem* node, QTreeWidgetItem* targetGroup)
{
    CPresenceTreeNodeData* d = Data(node);
    if (d == nullptr || targetGroup == nullptr || d->GetNodeType() != CPresenceTreeNodeData::NODE_CONTACT)
        return nullptr;
    const std::string jid = d->GetRosterContactID(), from = d->GetGroupName(), to = S(targetGroup->text(0));
    QTreeWidgetItem* result = FindContact(targetGroup, jid);
    if (result == nullptr)
        result = NewContactNode(targetGroup, *d, node->text(0));
    if (m_window != nullptr)
        m_window->MoveContact(jid, from, to);
    targetGroup->setExpanded(true);
    DeleteNode(node);
    return result;
}

QTreeWidgetItem* CCustomTreeCtrl::CopyRosterContactItem(QTreeWidgetItem* node, QTreeWidgetItem* targetGroup)
{
    CPresenceTreeNodeData* d = Data(node);
    if (d == nullptr || targetGroup == nullptr || d->GetNodeType() != CPresenceTreeNodeData::NODE_CONTACT)
        return nullptr;
    if (FindContact(targetGroup, d->GetRosterContactID()) != nullptr)
        return nullptr;
    QTreeWidgetItem* result = NewContactNode(targetGroup, *d, node->text(0));
    if (m_window != nullptr)
        m_window->CopyContact(d->GetRosterContactID(), S(targetGroup->text(0)));
    return result;
}

QTreeWidgetItem* CCustomTreeCtrl::DropOn(QTreeWidgetItem* dragged, QTreeWidgetItem* target)
{
    if (dragged == nullptr || dragged->parent() == nullptr)
        return nullptr; // only contacts are dragged
    CRosterTreeRules::Drop d;
    d.targetExists = target != nullptr;
    d.targetIsDragged = target == dragged;
    d.targetIsContact = target != nullptr && target->parent() != nullptr;
    d.targetIsAncestor = target != nullptr && dragged->parent() == target;
    if (!CRosterTreeRules::DropMoves(d))
        return nullptr;
    target->setExpanded(true);
    QTreeWidgetItem* result = MoveRosterContactItem(dragged, target);
    if (result != nullptr)
        setCurrentItem(result);
    return result;
}

void CCustomTreeCtrl::startDrag(Qt::DropActions supportedActions)
{
    QTreeWidgetItem* item = currentItem();
    if (item == nullptr || item->parent() == nullptr)
        return; // groups stay where they are
    m_dragged = item;
    QTreeWidget::startDrag(supportedActions & Qt::MoveAction);
    m_dragged = nullptr;
}

void CCustomTreeCtrl::dragMoveEvent(QDragMoveEvent* event)
{
    QTreeWidget::dragMoveEvent(event);
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    if (target != nullptr)
        setCurrentItem(target, 0, QItemSelectionModel::NoUpdate); // the highlighted drop target
}

void CCustomTreeCtrl::dropEvent(QDropEvent* event)
{
    QTreeWidgetItem* dragged = m_dragged != nullptr ? m_dragged : currentItem();
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    // The view never moves items itself: the tree follows the roster's rules only.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    DropOn(dragged, target);
}

QMenu* CCustomTreeCtrl::BuildContextMenu(QTreeWidgetItem* node)
{
    CPresenceTreeNodeData* d = Data(node);
    if (d == nullptr)
        return nullptr;
    auto* menu = new QMenu(this);
    auto add = [&](QMenu* m, const QString& text, int id) {
        QAction* a = m->addAction(text);
        a->setData(id);
    };
    if (d->GetNodeType() == CPresenceTreeNodeData::NODE_GROUP) {
        add(menu, "Rename", MENU_RENAME);
        add(menu, "Delete", MENU_DELETE);
        return menu;
    }
    add(menu, "Chat", MENU_CHAT);
    if (d->GetIMType() == 0) {
        add(menu, "Call", MENU_CALL);
        add(menu, "Profile", MENU_PROFILE);
    }
    const std::vector<std::string> roots = GetGroupStringList();
    for (auto [title, base] :
         {std::pair{"Move To", CRosterTreeRules::kMoveBase}, std::pair{"Copy To", CRosterTreeRules::kCopyBase}}) {
        QMenu* sub = menu->addMenu(title);
        for (const auto& e : CRosterTreeRules::GroupMenu(roots, d->GetGroupName(), base))
            add(sub, Q(e.name), e.id);
    }
    add(menu, "Rename", MENU_RENAME);
    add(menu, "Delete", MENU_DELETE);
    return menu;
}

void CCustomTreeCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    QTreeWidgetItem* node = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    if (node == nullptr)
        return;
    setCurrentItem(node);
    QMenu* menu = BuildContextMenu(node);
    if (menu == nullptr)
        return;
    QAction* chosen = menu->exec(event->globalPos());
    const int id = chosen != nullptr ? chosen->data().toInt() : 0;
    menu->deleteLater();
    if (id != 0)
        OnMenuCommand(node, id);
}

void CCustomTreeCtrl::OnMenuCommand(QTreeWidgetItem* node, int id)
{
    CPresenceTreeNodeData* d = Data(node);
    if (d == nullptr) {
        QMessageBox::critical(this, "zeloraTALK", "Critical Error - Unable to Get node data");
        return;
    }
    const bool group = d->GetNodeType() == CPresenceTreeNodeData::NODE_GROUP;
    if (id == MENU_RENAME) {
        group ? RenameGroup(node) : RenameContact(node);
        return;
    }
    if (id == MENU_DELETE) {
        group ? DeleteGroup(node) : DeleteContact(node);
        return;
    }
    if (group)
        return;
    if (id == MENU_CHAT) {
        if (m_hooks.openChat)
            m_hooks.openChat(d->GetRosterContactID(), d->GetRosterContactName());
        else
            QMessageBox::critical(this, "zeloraTALK", "Critical Error - Start Chat");
        return;
    }
    if (id == MENU_PROFILE) {
        if (m_hooks.profile)
            m_hooks.profile(d->GetRosterContactID());
        return;
    }
    if (id == MENU_CALL) {
        const std::string number = d->GetStripedRosterContactID();
        if (Confirm(Q("Call " + number + " ?")) && m_hooks.call)
            m_hooks.call(number);
        return;
    }
    const std::vector<std::string> roots = GetGroupStringList();
    const bool copy = id >= CRosterTreeRules::kCopyBase;
    const auto menu = CRosterTreeRules::GroupMenu(roots, d->GetGroupName(),
                                                  copy ? CRosterTreeRules::kCopyBase : CRosterTreeRules::kMoveBase);
    const CRosterTreeRules::MenuEntry* e = CRosterTreeRules::Select(menu, id);
    if (e == nullptr)
        return;
    QTreeWidgetItem* target = e->root >= 0 ? topLevelItem(e->root) : IsGroupTreeNodeExists(e->name);
    if (target == nullptr)
        target = InsertGroupTreeNode(e->name);
    copy ? CopyRosterContactItem(node, target) : MoveRosterContactItem(node, target);
}

bool CCustomTreeCtrl::Confirm(const QString& question)
{
    if (m_hooks.confirm)
        return m_hooks.confirm(question);
    return QMessageBox::question(this, "zeloraTALK", question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool CCustomTreeCtrl::AskName(const QString& title, QString& name)
{
    if (m_hooks.askName)
        return m_hooks.askName(title, name);
    bool ok = false;
    const QString answer = QInputDialog::getText(this, title, "Name", QLineEdit::Normal, name, &ok);
    if (ok)
        name = answer;
    return ok && !answer.isEmpty();
}

void CCustomTreeCtrl::RenameContact(QTreeWidgetItem* node)
{
    CPresenceTreeNodeData* d = Data(node);
    QString name = Q(d->GetRosterContactName());
    if (!AskName("Rename", name))
        return;
    const std::string jid = d->GetRosterContactID(), personal = d->GetPersonalContactID();
    for (int g = 0; g < topLevelItemCount(); ++g)
        for (int c = 0; c < topLevelItem(g)->childCount(); ++c) {
            QTreeWidgetItem* n = topLevelItem(g)->child(c);
            CPresenceTreeNodeData* nd = Data(n);
            const bool same =
                nd->GetRosterContactID() == jid || (!personal.empty() && nd->GetPersonalContactID() == personal);
            if (!same)
                continue;
            nd->SetRosterContactName(S(name));
            SetNodeLook(n, Q(nd->PresenceText()));
        }
    if (m_window != nullptr)
        m_window->RenameContact(jid, S(name));
}

void CCustomTreeCtrl::DeleteContact(QTreeWidgetItem* node)
{
    if (!Confirm("Are you sure you want to delete this Contact?"))
        return;
    // The nodes go when the roster reports the removal.
    if (m_window != nullptr)
        m_window->DeleteRosterContact(Data(node)->GetRosterContactID());
}

void CCustomTreeCtrl::RenameGroup(QTreeWidgetItem* group)
{
    QString name = group->text(0);
    const std::string old = S(name);
    if (!AskName("Rename", name) || S(name) == old)
        return;
    group->setText(0, name);
    Data(group)->SetGroupName(S(name));
    for (int c = 0; c < group->childCount(); ++c) {
        CPresenceTreeNodeData* d = Data(group->child(c));
        if (m_window != nullptr)
            m_window->MoveContact(d->GetRosterContactID(), old, S(name));
        d->SetGroupName(S(name));
    }
}

void CCustomTreeCtrl::DeleteGroup(QTreeWidgetItem* group)
{
    if (!Confirm("Are you sure you want to delete this Group?\n (The contact of deleted group will be move to "
                 "default group) "))
        return;
    QTreeWidgetItem* buddies = IsGroupTreeNodeExists(CGUIPresenceHandler::kDefaultGroup);
    if (buddies == group)
        return; // the default group is where contacts go: it stays
    if (buddies == nullptr)
        buddies = InsertGroupTreeNode(CGUIPresenceHandler::kDefaultGroup);
    if (buddies == nullptr) {
        QMessageBox::critical(this, "zeloraTALK", "Unable to delete");
        return;
    }
    while (group->childCount() > 0)
        MoveRosterContactItem(group->child(0), buddies);
    DeleteNode(group);
}
