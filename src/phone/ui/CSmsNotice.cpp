#include "phone/ui/CSmsNotice.h"

CSmsNotice::CSmsNotice(QWidget* parent) : CSlidePopup(parent)
{
    setWindowTitle("zeloraTALK");
    m_text = new QLabel(this);
    m_text->setGeometry(12, 12, width() - 24, height() - 24);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    m_text->setStyleSheet("color: white; font-size: 13px;");
}

void CSmsNotice::ShowText(const QString& text)
{
    m_text->setText(text);
    m_text->setAccessibleName(text);
    Popup();
}
