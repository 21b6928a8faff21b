#pragma once
// A portal page's window: the controller's view over one CWebPageView. Window title as the
// page's kind says; the view is reachable as the child "Web page".
#include <QDialog>
#include <memory>

#include "web/CPortalPage.h"
#include "web/IPortalView.h"

class CWebPageView;

class CPortalWindow : public QDialog, public IPortalView {
    Q_OBJECT
public:
    CPortalWindow(const CPortalPage::Kind& kind, CPortalPage::Source source, QWidget* parent = nullptr);
    ~CPortalWindow() override;

    // The controller's start (see CPortalPage::OnInitDialog).
    int Open();
    // Laid out by the start; empty until it navigates.
    CWebPageView* View() { return m_view; }
    const CPortalPage& Controller() const { return *m_page; }

    // IPortalView
    void SetTitle(const std::string& title) override;
    bool InitGui() override;
    void Navigate(const std::string& url) override;
    void ShowError(const std::string& text) override;
    void ShowWindow() override;

private:
    std::unique_ptr<CPortalPage> m_page;
    CWebPageView* m_view = nullptr;
};
