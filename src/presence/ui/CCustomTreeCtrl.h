#pragma once
// The roster tree: groups at the root, one contact node per group the contact is in, each
// node owning its CPresenceTreeNodeData. Drops, menus, rename and delete become roster edits
// through the presence window's controller; the nodes follow when the roster reports them.
#include <QTreeWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "presence/CPresenceTreeNodeData.h"

class CKVPresenceDialog;

class CCustomTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kImageSize = 19;
    static constexpr int kImageCount = 29;

    struct Hooks {
        std::function<void(const std::string& jid, const std::string& name)> openChat;
        std::function<void(const std::string& number)> call;
        std::function<void(const std::string& jid)> profile;
        // A Yes/No question; empty: a message box.
        std::function<bool(const QString& question)> confirm;
        // A name asked with `current` shown; false when cancelled. Empty: an input dialog.
        std::function<bool(const QString& title, QString& name)> askName;
    };

    explicit CCustomTreeCtrl(QWidget* parent = nullptr);
    ~CCustomTreeCtrl() override;

    void Initialize(CKVPresenceDialog* window, Hooks hooks);
    // The image strip and the font of the given height (0: 14).
    void SetTreeNodeImageBitmap(int fontHeight);

    QTreeWidgetItem* AddGroupTreeNode(const std::string& name);
    QTreeWidgetItem* InsertGroupTreeNode(const std::string& name);
    QTreeWidgetItem* IsGroupTreeNodeExists(const std::string& name) const;
    QTreeWidgetItem* AddRosterContactTreeNode(const std::string& group, const std::string& jid, const std::string& name,
                                              const std::string& personalId, const std::string& personalName,
                                              int imType, int subscription, int presence, const std::string& message,
                                              const std::string& suffix = {});
    int SetRosterContactStatus(const std::string& jid, const std::string& group, int presence,
                               const std::string& message, const std::string& photo);
    void UpdateContactStatus(QTreeWidgetItem* node, int presence, const std::string& message, const std::string& photo);
    // Every node of the contact: subscription and presence stored, name followed by `text`.
    int SetRosterContactTreeNodesSubscription(const std::string& jid, int subscription, int presence,
                                              const std::string& text);
    bool RemoveRosterContactTreeNodeIfExists(const std::string& jid, const std::string& group);
    // Every node of the contact, in every group.
    int RemoveRosterContact(const std::string& jid);
    void DeleteNode(QTreeWidgetItem* node);
    std::vector<std::string> GetGroupStringList() const;
    std::string GetRosterContactName(const std::string& jid) const;
    int GetRosterContactPresenceStatus(const std::string& jid) const;
    bool HasContact(const std::string& jid) const;
    std::vector<QTreeWidgetItem*> ContactNodes(const std::string& jid) const;
    QTreeWidgetItem* FindContact(QTreeWidgetItem* group, const std::string& jid) const;
    void CloneTreeCtrl(CCustomTreeCtrl& target) const;

    // Move: the dragged node leaves its group. Copy: it stays. The result is the node under
    // the target group, or null.
    QTreeWidgetItem* MoveRosterContactItem(QTreeWidgetItem* node, QTreeWidgetItem* targetGroup);
    QTreeWidgetItem* CopyRosterContactItem(QTreeWidgetItem* node, QTreeWidgetItem* targetGroup);
    // The end of a drag of `dragged` over `target` (null: nothing under the pointer).
    QTreeWidgetItem* DropOn(QTreeWidgetItem* dragged, QTreeWidgetItem* target);
    // The context menu's entries for `node` (texts; the sub-menus' IDs), and one command.
    QMenu* BuildContextMenu(QTreeWidgetItem* node);
    void OnMenuCommand(QTreeWidgetItem* node, int id);
    void RenameContact(QTreeWidgetItem* node);
    void DeleteContact(QTreeWidgetItem* node);
    void RenameGroup(QTreeWidgetItem* group);
    void DeleteGroup(QTreeWidgetItem* group);

    static CPresenceTreeNodeData* Data(QTreeWidgetItem* node);
    QIcon Image(int index) const;

    enum MenuCommand { MENU_CHAT = 1, MENU_CALL, MENU_RENAME, MENU_DELETE, MENU_PROFILE };

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QTreeWidgetItem* NewContactNode(QTreeWidgetItem* group, const CPresenceTreeNodeData& record, const QString& text);
    void SetNodeLook(QTreeWidgetItem* node, const QString& text);
    void InsertSorted(QTreeWidgetItem* parent, QTreeWidgetItem* node);
    bool Confirm(const QString& question);
    bool AskName(const QString& title, QString& name);

    CKVPresenceDialog* m_window = nullptr;
    Hooks m_hooks;
    std::vector<QIcon> m_images;
    QTreeWidgetItem* m_dragged = nullptr;
};
