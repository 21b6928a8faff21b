#include "widgets/CMXSkinButton.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>

#include "app/CLogger.h"
#include "widgets/CSkin.h"

CMXSkinButton::CMXSkinButton(QWidget* parent, Kind kind) : QAbstractButton(parent), m_kind(kind)
{
    setCheckable(kind != KIND_PUSH);
    // Radio buttons of one parent form one group: checking one unchecks its siblings only.
    setAutoExclusive(kind == KIND_RADIO);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QAbstractButton::toggled, this, [this]() { update(); });
}

void CMXSkinButton::SetSkin(const QString& normal, const QString& pressed, const QString& hover, const QString& mask,
                            QSize size)
{
    ZLOG_SCOPE();
    m_normalName = normal;
    m_pressedName = pressed;
    m_hoverName = hover;
    m_maskName = mask;
    m_stretch = false;
    if (size.isEmpty())
        size = CSkin::NaturalSize(!mask.isEmpty() ? mask : normal);
    if (size.isEmpty()) {
        ZLOG(LOG_ERROR, "Skin without a size: %s", qPrintable(normal));
        return;
    }
    m_skinSize = size;
    resize(size);
    RenderFaces();
}

void CMXSkinButton::SetStretch(bool stretch)
{
    m_stretch = stretch;
    RenderFaces();
}

void CMXSkinButton::SetTip(const QString& tip)
{
    setToolTip(tip);
    setAccessibleDescription(tip);
    UpdateAccessibleName();
}

void CMXSkinButton::SetTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void CMXSkinButton::SetCaption(const QString& caption)
{
    setText(caption);
    UpdateAccessibleName();
}

void CMXSkinButton::SetName(const QString& name)
{
    m_fixedName = name;
    UpdateAccessibleName();
}

void CMXSkinButton::UpdateAccessibleName()
{
    if (!m_fixedName.isEmpty())
        setAccessibleName(m_fixedName);
    else
        setAccessibleName(text().isEmpty() ? toolTip() : text());
}

QSize CMXSkinButton::sizeHint() const { return m_skinSize.isEmpty() ? QSize(40, 24) : m_skinSize; }

void CMXSkinButton::RenderFaces()
{
    QSize faceSize = m_stretch || m_skinSize.isEmpty() ? size() : m_skinSize;
    m_dpr = devicePixelRatioF();
    m_normal = m_normalName.isEmpty() ? QPixmap() : CSkin::Face(m_normalName, faceSize, m_dpr);
    m_pressed = m_pressedName.isEmpty() ? QPixmap() : CSkin::Face(m_pressedName, faceSize, m_dpr);
    m_hover = m_hoverName.isEmpty() ? QPixmap() : CSkin::Face(m_hoverName, faceSize, m_dpr);
    // The mask is cut in logical pixels: widget regions are logical.
    m_region = m_maskName.isEmpty() ? QRegion() : CSkin::RegionFromMask(CSkin::MaskImage(m_maskName, faceSize));
    if (m_region.isEmpty())
        clearMask();
    else
        setMask(m_region);
    update();
}

bool CMXSkinButton::hitButton(const QPoint& pos) const
{
    return m_region.isEmpty() ? rect().contains(pos) : m_region.contains(pos);
}

void CMXSkinButton::paintEvent(QPaintEvent*)
{
    if (!qFuzzyCompare(m_dpr, devicePixelRatioF()))
        RenderFaces();
    QPainter painter(this);
    const QPixmap* face = &m_normal;
    bool sunken = false;
    if (isEnabled() && (isDown() || isChecked())) {
        if (!m_pressed.isNull())
            face = &m_pressed;
        sunken = true;
    } else if (isEnabled() && m_mouseOver && !m_hover.isNull()) {
        face = &m_hover;
    }
    if (!face->isNull())
        painter.drawPixmap(0, 0, *face);
    else
        painter.fillRect(rect(), palette().button());
    if (text().isEmpty())
        return;
    QRect box = rect();
    if (sunken)
        box.translate(1, 1);
    painter.setFont(font());
    if (!isEnabled()) {
        // Embossed: a light copy one pixel down-right under the grey caption.
        painter.setPen(palette().color(QPalette::Highlight));
        painter.drawText(box.translated(1, 1), Qt::AlignCenter | Qt::TextSingleLine, text());
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    } else {
        painter.setPen(m_textColor);
    }
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text());
}

void CMXSkinButton::enterEvent(QEnterEvent* event)
{
    m_mouseOver = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CMXSkinButton::leaveEvent(QEvent* event)
{
    m_mouseOver = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CMXSkinButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    if (m_stretch)
        RenderFaces();
}

void CMXSkinButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        update();
}
