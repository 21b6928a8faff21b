#include "presence/ui/CPresenceChatPageWidget.h"

#include "presence/ui/PresenceControls.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVBoxLayout>

CPresenceChatPageWidget::CPresenceChatPageWidget(QWidget* parent) : QWidget(parent)
{
    m_conversation = new QTextBrowser(this);
    m_conversation->setAccessibleName(QStringLiteral("Conversation"));
    m_conversation->setOpenLinks(false);
    m_input = new QLineEdit(this);
    m_input->setAccessibleName(QStringLiteral("Message"));
    m_input->setPlaceholderText(tr("Type a message"));
    m_send = PresenceButton(tr("Send"), tr("Send the message"), this);
    auto* row = new QHBoxLayout;
    row->addWidget(m_input, 1);
    row->addWidget(m_send);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_conversation, 1);
    layout->addLayout(row);
    connect(m_send, &QPushButton::clicked, this, &CPresenceChatPageWidget::OnSend);
    connect(m_input, &QLineEdit::returnPressed, this, &CPresenceChatPageWidget::OnSend);
}

void CPresenceChatPageWidget::OnSend()
{
    const QString text = m_input->text();
    if (text.isEmpty())
        return;
    m_input->clear();
    emit SendRequested(text);
}

void CPresenceChatPageWidget::Append(const std::string& text, bool bold, const QColor& colour)
{
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setForeground(colour);
    QTextCursor cursor(m_conversation->document());
    cursor.movePosition(QTextCursor::End);
    QString line = QString::fromStdString(text);
    line.remove(QLatin1Char('\r'));
    cursor.insertText(line, format);
    m_conversation->verticalScrollBar()->setValue(m_conversation->verticalScrollBar()->maximum());
    emit Appended();
}

void CPresenceChatPageWidget::ShowHeader(const std::string& text) { Append(text, true, QColor(0x1f, 0x4e, 0x8c)); }
void CPresenceChatPageWidget::ShowText(const std::string& text) { Append(text, false, palette().text().color()); }
void CPresenceChatPageWidget::ShowStatus(const std::string& text) { Append(text, false, QColor(0x70, 0x70, 0x70)); }

void CPresenceChatPageWidget::SetFontSize(int points)
{
    QFont font = m_conversation->font();
    if (points > 0)
        font.setPointSize(points);
    m_conversation->setFont(font);
}

QString CPresenceChatPageWidget::Conversation() const { return m_conversation->toPlainText(); }
