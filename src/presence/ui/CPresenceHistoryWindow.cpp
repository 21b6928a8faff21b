#include "presence/ui/CPresenceHistoryWindow.h"

#include "web/ui/CWebPageView.h"

#include <QFileInfo>
#include <QUrl>
#include <QVBoxLayout>

CPresenceHistoryWindow::CPresenceHistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setAccessibleName(QStringLiteral("Chat History"));
    auto* layout = new QVBoxLayout(this);
    m_view = new CWebPageView(this);
    layout->addWidget(m_view);
    resize(560, 480);
}

void CPresenceHistoryWindow::ShowHistory(const std::string& contactName, const std::string& file)
{
    setWindowTitle(QString::fromUtf8(kTitle) + QString::fromStdString(contactName));
    const QString path = QString::fromStdString(file);
    if (QFileInfo::exists(path))
        m_view->Open(QUrl::fromLocalFile(path));
    else
        m_view->Open(QUrl(QStringLiteral("data:text/plain;charset=utf-8,No chat history")));
    show();
    raise();
}
