#pragma once
// The "Address Book" window: the live contacts in eleven columns (sorted by a header click,
// column layout kept in the profile section "ListCtrls"), presence icons for contacts of the
// operator's presence domain, the Phone and SMS menus, add, edit, delete, delete all and the
// PIM-sync button.
#include <QDialog>
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "addressbook/CViewContactsDlg.h"

class QMenuBar;
class QPushButton;
class QTreeWidget;

class CViewContactsWindow : public QDialog, public CViewContactsView {
    Q_OBJECT
public:
    // The list's control ID: its value name under "ListCtrls".
    static constexpr int kListControlId = 1017;
    static constexpr const char* kListCtrlsKey = "Software\\zeloraTALK\\zeloraTALK\\ListCtrls";

    struct Hooks {
        std::function<void(QWidget* parent)> pimSync;
        // Contacts whose e-mail or alternate e-mail ends in "@" + this show a presence icon.
        std::string presenceDomain;
    };

    CViewContactsWindow(AddressBookStore& store, CContactUpload& upload, CContactsPhone& phone, Hooks hooks,
                        QWidget* parent = nullptr);
    ~CViewContactsWindow() override;

    CViewContactsDlg& Controller() { return m_dlg; }
    QTreeWidget* List() const { return m_list; }
    QMenuBar* Menus() const { return m_menus; }
    // The selected row of the controller's rows, or none.
    std::optional<std::size_t> Selection() const;
    // Selects the list line of the controller's row `row`.
    void Select(std::size_t row);

    void OnAdd();

    // The picture of a presence state (0 Available ... 5 Offline), and its name.
    static QIcon PresenceIcon(int state);
    static QString PresenceName(int state);

    // CViewContactsView
    void MessageBox(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void ShowList() override;
    void OpenEdit(const ContactRecord& entry) override;
    void Close() override;

protected:
    void done(int result) override;

private:
    void BuildMenus();
    QPushButton* AddButton(const QString& caption, const QString& tip, std::function<void()> action);
    bool InPresenceDomain(const CViewContactsDlg::Row& row) const;
    // The store changed elsewhere (the web service's replies, presence, another program of the
    // same user): any thread.
    void OnStoreChanged();
    void ShowStoreChanges();
    void LoadColumns();
    void SaveColumns() const;

    AddressBookStore& m_store;
    CContactUpload& m_upload;
    Hooks m_hooks;
    CViewContactsDlg m_dlg;
    QTreeWidget* m_list = nullptr;
    QMenuBar* m_menus = nullptr;
    int m_storeObserver = 0;
    // One redraw pending at most: a sync of many entries posts one, not one per entry.
    std::atomic<bool> m_changePending{false};
};
