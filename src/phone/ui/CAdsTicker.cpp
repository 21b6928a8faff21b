#include "phone/ui/CAdsTicker.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "web/CScrollLink.h"

namespace {

QFont TickerFont()
{
    QFont font(CScrollLink::kFont);
    font.setPixelSize(12);
    return font;
}

} // namespace

CAdsTicker::CAdsTicker(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAccessibleName("Advertisements");
    setMinimumHeight(18);
}

CAdsTicker::~CAdsTicker() { Attach(nullptr, {}); }

void CAdsTicker::Attach(CScrollLink* ticker, std::function<void(const std::string&)> opener)
{
    if (m_ticker != nullptr) {
        m_ticker->SetRepaint({});
        m_ticker->SetOpener({});
    }
    m_ticker = ticker;
    if (ticker == nullptr)
        return;
    ticker->SetArea(width());
    // Steps run on the ticker's thread: measure with metrics of its own, repaint on the GUI thread,
    // one repaint queued at a time.
    ticker->SetMeasure([](const std::string& text) {
        return QFontMetrics(TickerFont()).horizontalAdvance(QString::fromStdString(text));
    });
    ticker->SetRepaint([this]() {
        if (m_repaintPosted.exchange(true))
            return;
        QMetaObject::invokeMethod(
            this,
            [this]() {
                m_repaintPosted = false;
                update();
            },
            Qt::QueuedConnection);
    });
    ticker->SetOpener(std::move(opener));
}

void CAdsTicker::paintEvent(QPaintEvent*)
{
    if (m_ticker == nullptr)
        return;
    QPainter painter(this);
    painter.setFont(TickerFont());
    painter.setPen(QColor(0x8f, 0xc6, 0xe6));
    painter.setClipRect(rect());
    for (const CTextFrame& frame : m_ticker->Frames())
        painter.drawText(QRect(frame.x, 0, frame.width, height()), Qt::AlignVCenter | Qt::TextSingleLine,
                         QString::fromStdString(frame.text));
}

void CAdsTicker::enterEvent(QEnterEvent* event)
{
    if (m_ticker != nullptr)
        m_ticker->SetMouseOver(true);
    QWidget::enterEvent(event);
}

void CAdsTicker::leaveEvent(QEvent* event)
{
    if (m_ticker != nullptr)
        m_ticker->SetMouseOver(false);
    QWidget::leaveEvent(event);
}

void CAdsTicker::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_ticker != nullptr && event->button() == Qt::LeftButton)
        m_ticker->OnClicked(event->position().toPoint().x());
}

void CAdsTicker::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_ticker != nullptr)
        m_ticker->SetArea(width());
}
