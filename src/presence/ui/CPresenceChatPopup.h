#pragma once
// The small pop-up that announces a chat message without taking the focus; a click on it
// opens the conversation.
#include <QFrame>
#include <string>

class QLabel;
class QTimer;

class CPresenceChatPopup : public QFrame {
    Q_OBJECT
public:
    static constexpr int kShowMs = 3000;
    explicit CPresenceChatPopup(QWidget* parent = nullptr);
    void Announce(const std::string& jid, const std::string& title, const std::string& text);
    const std::string& Jid() const { return m_jid; }
    QString Text() const;

signals:
    void Clicked(const QString& jid);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QLabel* m_title;
    QLabel* m_text;
    QTimer* m_timer;
    std::string m_jid;
};
