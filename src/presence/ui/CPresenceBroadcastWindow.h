#pragma once
// One message to several contacts at once: one normal message per chosen contact.
#include <QWidget>
#include <functional>
#include <vector>

#include "presence/CPresenceData.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class CPresenceBroadcastWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kNoContact = "Select at least one contact";
    static constexpr const char* kNoText = "Enter a message";
    // Sends one message; false when it cannot go out.
    using Send = std::function<bool(std::unique_ptr<CChatMessage>)>;

    CPresenceBroadcastWindow(Send send, QWidget* parent = nullptr);
    // The contacts to choose from (gateways are never among them).
    void ShowContacts(const std::vector<RosterEntry>& contacts);
    // The number of messages sent; 0 with the reason shown.
    int SendToChosen();

    QListWidget* Contacts() const { return m_contacts; }
    QPlainTextEdit* Text() const { return m_text; }
    QPushButton* SendButton() const { return m_send; }
    QString Message() const;

private:
    void SetMessage(const QString& text);

    Send m_sendMessage;
    QListWidget* m_contacts;
    QPlainTextEdit* m_text;
    QPushButton* m_send;
    QLabel* m_message;
};
