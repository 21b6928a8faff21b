#include "presence/ui/CPresenceNotifier.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kTicksPerPhase = 10;

} // namespace

CPresenceNotifier::CPresenceNotifier(std::function<void(const std::string& jid)> openChat, QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_openChat(std::move(openChat))
{
    setWindowTitle("Presence notification");
    setAccessibleName(windowTitle());
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(220, 80);
    setStyleSheet("background: #fdf6d8; border: 1px solid #8a7a40;");
    auto* layout = new QVBoxLayout(this);
    m_title = new QLabel(this);
    m_title->setAccessibleDescription("Notification title");
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_text = new QLabel(this);
    m_text->setAccessibleDescription("Notification text");
    m_text->setWordWrap(true);
    layout->addWidget(m_title);
    layout->addWidget(m_text);
    m_timer.setInterval(kPhaseMs / kTicksPerPhase);
    connect(&m_timer, &QTimer::timeout, this, &CPresenceNotifier::Step);
}

bool CPresenceNotifier::Notify(const std::string& title, const std::string& text, const std::string& jid)
{
    if (m_phase != PHASE_HIDDEN)
        return false;
    m_jid = jid;
    m_title->setText(QString::fromStdString(title));
    m_title->setAccessibleName(m_title->text());
    m_text->setText(QString::fromStdString(text).trimmed());
    m_text->setAccessibleName(m_text->text());
    // The corner of the work area, next to the panel.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    move(area.right() - width() - 4, area.bottom() - height() - 4);
    setWindowOpacity(0.0);
    m_phase = PHASE_APPEAR;
    m_tick = 0;
    show();
    m_timer.start();
    return true;
}

void CPresenceNotifier::Step()
{
    ++m_tick;
    const double part = static_cast<double>(m_tick) / kTicksPerPhase;
    if (m_phase == PHASE_APPEAR)
        setWindowOpacity(part);
    else if (m_phase == PHASE_DISAPPEAR)
        setWindowOpacity(1.0 - part);
    if (m_tick < kTicksPerPhase)
        return;
    m_tick = 0;
    if (m_phase == PHASE_APPEAR) {
        m_phase = PHASE_STAY;
    } else if (m_phase == PHASE_STAY) {
        m_phase = PHASE_DISAPPEAR;
    } else {
        m_timer.stop();
        hide();
        m_phase = PHASE_HIDDEN;
    }
}

void CPresenceNotifier::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    const std::string jid = m_jid;
    m_timer.stop();
    hide();
    m_phase = PHASE_HIDDEN;
    if (!jid.empty() && m_openChat)
        m_openChat(jid);
}
