#include "web/ui/CPortalWindow.h"

#include <QUrl>
#include <QVBoxLayout>

#include "phone/ui/MessageBoxes.h"
#include "web/ui/CWebPageView.h"

CPortalWindow::CPortalWindow(const CPortalPage::Kind& kind, CPortalPage::Source source, QWidget* parent)
    : QDialog(parent), m_page(std::make_unique<CPortalPage>(*this, kind, std::move(source))),
      m_view(new CWebPageView(this))
{
    m_view->hide();
}

CPortalWindow::~CPortalWindow() = default;

int CPortalWindow::Open() { return m_page->OnInitDialog(); }

void CPortalWindow::SetTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
    setAccessibleName(windowTitle());
}

bool CPortalWindow::InitGui()
{
    if (layout() != nullptr)
        return true;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_view);
    m_view->show();
    setSizeGripEnabled(true);
    resize(760, 560);
    return true;
}

void CPortalWindow::Navigate(const std::string& url) { m_view->Open(QUrl(QString::fromStdString(url))); }

void CPortalWindow::ShowError(const std::string& text) { messageboxes::Show(this, text, CzeloraTALKView::ICON_ERROR); }

void CPortalWindow::ShowWindow()
{
    show();
    raise();
    activateWindow();
}
