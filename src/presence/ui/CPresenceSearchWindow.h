#pragma once
// The user search: text and criteria, the four result columns, "Add as a Contact" in the
// result list's context menu, and the way to the e-mail invitation.
#include <QWidget>
#include <memory>

#include "presence/CPresenceSearch.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;

class CPresenceSearchWindow : public QWidget, public IPresenceSearchView {
    Q_OBJECT
public:
    static constexpr const char* kAddAsContact = "Add as a Contact";

    CPresenceSearchWindow(CPresenceSearch::Command send, const std::string& domain, QWidget* parent = nullptr);
    ~CPresenceSearchWindow() override;

    CPresenceSearch& Controller() { return *m_search; }
    void ShowState(SearchState state, const std::string& text) override;
    void ShowResults(const std::vector<SearchResultItem>& items) override;
    void ShowMessage(const std::string& text) override;
    // The context menu's action on the selected row.
    void AddSelectedAsContact();

    QLineEdit* Text() const { return m_text; }
    QPushButton* SearchButton() const { return m_searchButton; }
    QTreeWidget* Results() const { return m_results; }
    QString StateText() const;
    void SetAnswerTimeout(int ms) { m_timeoutMs = ms; }
    QString Message() const;

signals:
    void InviteRequested();

private:
    void OnSearch();
    void OnContextMenu(const QPoint& at);

    QLineEdit* m_text;
    QCheckBox* m_byUser;
    QCheckBox* m_byName;
    QCheckBox* m_byEmail;
    QCheckBox* m_byPhone;
    QPushButton* m_searchButton;
    QLabel* m_state;
    QLabel* m_message;
    QTreeWidget* m_results;
    QTimer* m_timeout;
    int m_timeoutMs = CPresenceSearch::kAnswerTimeoutMs;
    std::unique_ptr<CPresenceSearch> m_search;
};
