#include "presence/ui/CPresenceChatWindow.h"

#include "presence/ui/CPresenceChatPageWidget.h"
#include "presence/ui/CPresenceChatPopup.h"
#include "presence/ui/CPresenceHistoryWindow.h"

#include <QMenuBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <ctime>

CPresenceChatWindow::CPresenceChatWindow(ChatPageIdentity own, CPresenceChatPage::Sender send, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QString::fromUtf8(CPresenceChatTabs::kWindowTitle));
    setAccessibleName(windowTitle());
    auto* menus = new QMenuBar(this);
    QMenu* view = menus->addMenu(tr("View"));
    QAction* history = view->addAction(tr("History"));
    history->setObjectName(QStringLiteral("History"));
    connect(history, &QAction::triggered, this, &CPresenceChatWindow::ShowHistory);
    QAction* close = view->addAction(tr("Close Tab"));
    connect(close, &QAction::triggered, this, [this] { OnCloseTab(m_tabWidget->currentIndex()); });
    m_tabWidget = new QTabWidget(this);
    m_tabWidget->setAccessibleName(QStringLiteral("Conversations"));
    m_tabWidget->setTabsClosable(true);
    m_tabWidget->setDocumentMode(true);
    connect(m_tabWidget, &QTabWidget::tabCloseRequested, this, &CPresenceChatWindow::OnCloseTab);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addWidget(m_tabWidget);
    m_popup = new CPresenceChatPopup(this);
    connect(m_popup, &CPresenceChatPopup::Clicked, this, [this](const QString& jid) {
        if (const int index = m_tabs->Find(jid.toStdString()); index >= 0) {
            SelectPage(index);
            ShowWindow(true);
        }
    });
    m_tabs = std::make_unique<CPresenceChatTabs>(*this, std::move(own), std::move(send));
    resize(480, 420);
}

// The pages' views are widgets of the tab widget: the controller goes first.
CPresenceChatWindow::~CPresenceChatWindow() { m_tabs.reset(); }

CPresenceChatPageWidget* CPresenceChatWindow::PageWidget(int index) const
{
    return qobject_cast<CPresenceChatPageWidget*>(m_tabWidget->widget(index));
}

void CPresenceChatWindow::ApplySettings(const PresenceChatSettings& settings)
{
    m_tabs->ApplySettings(settings);
    m_tabWidget->setTabPosition(settings.tabOnTop ? QTabWidget::North : QTabWidget::South);
    for (int i = 0; i < m_tabWidget->count(); ++i)
        PageWidget(i)->SetFontSize(settings.chatFont);
}

IPresenceChatPageView& CPresenceChatWindow::AddPage(const std::string& title)
{
    auto* page = new CPresenceChatPageWidget(m_tabWidget);
    page->SetFontSize(m_tabs ? m_tabs->Settings().chatFont : 0);
    connect(page, &CPresenceChatPageWidget::SendRequested, this,
            [this, page](const QString& text) { OnSend(page, text); });
    m_tabWidget->addTab(page, QString::fromStdString(title));
    return *page;
}

void CPresenceChatWindow::RemovePage(int index)
{
    QWidget* page = m_tabWidget->widget(index);
    m_tabWidget->removeTab(index);
    delete page;
    if (m_tabWidget->count() == 0)
        hide();
}

void CPresenceChatWindow::SetPageTitle(int index, const std::string& title)
{
    m_tabWidget->setTabText(index, QString::fromStdString(title));
}

void CPresenceChatWindow::SelectPage(int index) { m_tabWidget->setCurrentIndex(index); }
int CPresenceChatWindow::CurrentPage() const { return m_tabWidget->currentIndex(); }
bool CPresenceChatWindow::WindowVisible() const { return isVisible(); }
bool CPresenceChatWindow::WindowActive() const { return isActiveWindow(); }

void CPresenceChatWindow::ShowWindow(bool activate)
{
    setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    // The attribute is copied to the native window once, when it is made.
    if (QWindow* handle = windowHandle())
        handle->setProperty("_q_showWithoutActivating", !activate);
    if (isMinimized() && activate)
        showNormal();
    show();
    if (activate) {
        raise();
        activateWindow();
        if (CPresenceChatPageWidget* page = PageWidget(CurrentPage()))
            page->setFocus();
    }
}

void CPresenceChatWindow::Popup(const std::string& jid, const std::string& title, const std::string& text)
{
    m_popup->Announce(jid, title, text);
}

void CPresenceChatWindow::OnSend(CPresenceChatPageWidget* page, const QString& text)
{
    m_tabs->Send(m_tabWidget->indexOf(page), text.toStdString(), std::time(nullptr));
}

void CPresenceChatWindow::OnCloseTab(int index)
{
    const CPresenceChatPage* page = m_tabs->Page(index);
    if (page == nullptr)
        return;
    const QString jid = QString::fromStdString(page->ContactJid());
    m_tabs->Close(index);
    emit PageClosed(jid);
}

void CPresenceChatWindow::ShowHistory()
{
    const CPresenceChatPage* page = m_tabs->Page(CurrentPage());
    if (page == nullptr)
        return;
    if (m_history == nullptr)
        m_history = new CPresenceHistoryWindow(this);
    m_history->ShowHistory(page->ContactName().empty() ? page->ContactJid() : page->ContactName(), page->HistoryFile());
}
