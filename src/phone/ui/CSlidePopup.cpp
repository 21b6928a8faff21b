#include "phone/ui/CSlidePopup.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "app/CLogger.h"
#include "widgets/CSkin.h"

CSlidePopup::CSlidePopup(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_slide(this, "geometry")
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(CSkin::NaturalSize("notifier").isEmpty() ? QSize(260, 120) : CSkin::NaturalSize("notifier"));
    m_slide.setDuration(kSlideMs);
    m_stay.setSingleShot(true);
    m_stay.setInterval(kStayMs);
    connect(&m_stay, &QTimer::timeout, this, &CSlidePopup::SlideOut);
    connect(&m_slide, &QPropertyAnimation::finished, this, [this]() {
        if (m_state == STATE_SLIDING_IN) {
            m_state = STATE_SHOWN;
            m_stay.start();
        } else if (m_state == STATE_SLIDING_OUT) {
            m_state = STATE_HIDDEN;
            hide();
        }
    });
}

QRect CSlidePopup::ShownGeometry() const
{
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    return QRect(area.right() - width() + 1, area.bottom() - height() + 1, width(), height());
}

QRect CSlidePopup::HiddenGeometry() const { return ShownGeometry().translated(0, height()); }

void CSlidePopup::Popup()
{
    ZLOG_SCOPE();
    update();
    switch (m_state) {
    case STATE_SLIDING_IN:
        return;
    case STATE_SHOWN:
        m_stay.start();
        return;
    case STATE_SLIDING_OUT:
        m_slide.stop();
        setGeometry(ShownGeometry());
        m_state = STATE_SHOWN;
        m_stay.start();
        return;
    case STATE_HIDDEN:
        break;
    }
    m_state = STATE_SLIDING_IN;
    setGeometry(HiddenGeometry());
    show();
    raise();
    m_slide.setStartValue(HiddenGeometry());
    m_slide.setEndValue(ShownGeometry());
    m_slide.start();
}

void CSlidePopup::SlideOut()
{
    m_state = STATE_SLIDING_OUT;
    m_slide.setStartValue(geometry());
    m_slide.setEndValue(HiddenGeometry());
    m_slide.start();
}

void CSlidePopup::Dismiss()
{
    m_slide.stop();
    m_stay.stop();
    m_state = STATE_HIDDEN;
    hide();
}

void CSlidePopup::paintEvent(QPaintEvent*)
{
    qreal dpr = devicePixelRatioF();
    if (m_face.isNull() || m_face.deviceIndependentSize().toSize() != size())
        m_face = CSkin::Face("notifier", size(), dpr);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_face);
}
