#include "presence/ui/CPresenceChatPopup.h"

#include "presence/ui/PresenceControls.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

CPresenceChatPopup::CPresenceChatPopup(QWidget* parent)
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::Box);
    setAccessibleName(QStringLiteral("Chat notification"));
    m_title = PresenceStatusLine(QStringLiteral("Notification title"), this);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_text = PresenceStatusLine(QStringLiteral("Notification text"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_text);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &QWidget::hide);
    setFixedWidth(260);
}

void CPresenceChatPopup::Announce(const std::string& jid, const std::string& title, const std::string& text)
{
    m_jid = jid;
    m_title->setText(QString::fromStdString(title));
    m_text->setText(QString::fromStdString(text).trimmed().left(200));
    m_title->setAccessibleName(m_title->text());
    m_text->setAccessibleName(m_text->text());
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 8, area.bottom() - height() - 8);
    }
    show();
    m_timer->start(kShowMs);
}

QString CPresenceChatPopup::Text() const { return m_title->text() + QLatin1Char('\n') + m_text->text(); }

void CPresenceChatPopup::mousePressEvent(QMouseEvent*)
{
    hide();
    emit Clicked(QString::fromStdString(m_jid));
}
