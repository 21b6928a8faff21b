#include "widgets/CSkinSlider.h"

#include <QPainter>
#include <QStyle>

#include "widgets/CSkin.h"

CSkinSlider::CSkinSlider(const QString& track, const QString& thumb, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_track(track), m_thumb(thumb)
{
    setCursor(Qt::PointingHandCursor);
    QSize thumbSize = CSkin::NaturalSize(m_thumb);
    setMinimumHeight(thumbSize.isEmpty() ? 16 : thumbSize.height());
}

void CSkinSlider::SetTip(const QString& tip)
{
    setToolTip(tip);
    setAccessibleName(tip);
    setAccessibleDescription(tip);
}

void CSkinSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    qreal dpr = devicePixelRatioF();
    QSize thumbSize = CSkin::NaturalSize(m_thumb);
    if (thumbSize.isEmpty())
        thumbSize = QSize(height(), height());
    int trackHeight = qMax(4, height() / 4);
    QPixmap track = CSkin::Face(m_track, QSize(width() - thumbSize.width(), trackHeight), dpr);
    int trackTop = (height() - trackHeight) / 2;
    if (!track.isNull())
        painter.drawPixmap(thumbSize.width() / 2, trackTop, track);
    int span = width() - thumbSize.width();
    int x = QStyle::sliderPositionFromValue(minimum(), maximum(), value(), span, invertedAppearance());
    QPixmap thumb = CSkin::Face(m_thumb, thumbSize, dpr);
    if (!thumb.isNull())
        painter.drawPixmap(x, (height() - thumbSize.height()) / 2, thumb);
}
