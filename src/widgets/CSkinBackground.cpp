#include "widgets/CSkinBackground.h"

#include <QPainter>

#include "widgets/CSkin.h"

CSkinBackground::CSkinBackground(const QString& picture, QWidget* parent) : QWidget(parent), m_picture(picture) { }

void CSkinBackground::paintEvent(QPaintEvent*)
{
    qreal dpr = devicePixelRatioF();
    if (m_face.isNull() || m_face.deviceIndependentSize().toSize() != size() ||
        !qFuzzyCompare(m_face.devicePixelRatio(), dpr))
        m_face = CSkin::Face(m_picture, size(), dpr);
    QPainter painter(this);
    if (!m_face.isNull())
        painter.drawPixmap(0, 0, m_face);
}
