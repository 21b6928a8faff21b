#pragma once
// The tabbed chat window: one tab per conversation, "View" > "History" for the current
// one, and the pop-up that announces messages which do not bring their tab forward.
#include <QWidget>
#include <memory>
#include <vector>

#include "presence/CPresenceChatTabs.h"

class QTabWidget;
class CPresenceChatPageWidget;
class CPresenceChatPopup;
class CPresenceHistoryWindow;

class CPresenceChatWindow : public QWidget, public IPresenceChatTabsView {
    Q_OBJECT
public:
    CPresenceChatWindow(ChatPageIdentity own, CPresenceChatPage::Sender send, QWidget* parent = nullptr);
    ~CPresenceChatWindow() override;

    CPresenceChatTabs& Tabs() { return *m_tabs; }
    QTabWidget* TabWidget() const { return m_tabWidget; }
    CPresenceChatPageWidget* PageWidget(int index) const;
    CPresenceChatPopup* PopupWidget() const { return m_popup; }
    CPresenceHistoryWindow* HistoryWindow() const { return m_history; }
    // "View" > "History" for the current tab.
    void ShowHistory();
    void ApplySettings(const PresenceChatSettings& settings);

    IPresenceChatPageView& AddPage(const std::string& title) override;
    void RemovePage(int index) override;
    void SetPageTitle(int index, const std::string& title) override;
    void SelectPage(int index) override;
    int CurrentPage() const override;
    void ShowWindow(bool activate) override;
    bool WindowVisible() const override;
    bool WindowActive() const override;
    void Popup(const std::string& jid, const std::string& title, const std::string& text) override;

signals:
    void PageClosed(const QString& jid);

private:
    void OnSend(CPresenceChatPageWidget* page, const QString& text);
    void OnCloseTab(int index);

    QTabWidget* m_tabWidget;
    CPresenceChatPopup* m_popup;
    CPresenceHistoryWindow* m_history = nullptr;
    std::unique_ptr<CPresenceChatTabs> m_tabs;
};
