#pragma once
// One tab of the chat window: the conversation, the line the user types and "Send".
#include <QWidget>

#include "presence/CPresenceChatPage.h"

class QLineEdit;
class QPushButton;
class QTextBrowser;

class CPresenceChatPageWidget : public QWidget, public IPresenceChatPageView {
    Q_OBJECT
public:
    explicit CPresenceChatPageWidget(QWidget* parent = nullptr);

    void ShowHeader(const std::string& text) override;
    void ShowText(const std::string& text) override;
    void ShowStatus(const std::string& text) override;
    void SetFontSize(int points);
    QString Conversation() const;
    QLineEdit* Input() const { return m_input; }

signals:
    void SendRequested(const QString& text);
    // A line was added to the conversation.
    void Appended();

private:
    void Append(const std::string& text, bool bold, const QColor& colour);
    void OnSend();

    QTextBrowser* m_conversation;
    QLineEdit* m_input;
    QPushButton* m_send;
};
