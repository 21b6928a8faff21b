#include "phone/ui/CDisplayWidget.h"

#include <QResizeEvent>

#include "app/CLogger.h"

namespace {

// The display's text sits a few pixels below the picture's rim.
constexpr int kTopMargin = 8;

QFont LineFont(int line)
{
    QFont font("Arial");
    font.setPixelSize(line < 2 ? 14 : 12);
    font.setBold(line < 2);
    return font;
}

} // namespace

CDisplayWidget::CDisplayWidget(QWidget* parent) : CSkinBackground("display", parent)
{
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(this);
        label->setFont(LineFont(i));
        label->setAlignment(Qt::AlignCenter);
        label->setAttribute(Qt::WA_TranslucentBackground);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, i < 2 ? QColor(kNumberColour) : QColor(Qt::white));
        label->setPalette(palette);
        label->setAccessibleDescription(QString("Display line %1").arg(i + 1));
        m_labels[i] = label;
    }
    resize(260, 64);
}

void CDisplayWidget::SetLines(const CMXDisplayScreen::Lines& lines, bool painted)
{
    ZLOG_SCOPE();
    for (int i = 0; i < 3; ++i)
        m_text[i] = painted ? QString::fromStdString(lines[i]) : QString();
    Layout();
}

QString CDisplayWidget::ShownText(int line) const { return m_labels[line]->text(); }

void CDisplayWidget::resizeEvent(QResizeEvent* event)
{
    CSkinBackground::resizeEvent(event);
    Layout();
}

void CDisplayWidget::Layout()
{
    for (int i = 0; i < 3; ++i) {
        QRect box(kTextLeft, kTopMargin + kLineTop[i], width() - kTextLeft, kLineBottom[i] - kLineTop[i]);
        m_labels[i]->setGeometry(box);
        QFontMetrics metrics(m_labels[i]->font());
        m_labels[i]->setText(metrics.elidedText(m_text[i], Qt::ElideRight, box.width()));
        m_labels[i]->setAccessibleName(m_text[i]);
    }
}
