#pragma once
// Inviting a person by e-mail: one address, one request, its outcome shown.
#include <QWidget>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class CPresenceInvite;

class CPresenceInviteWindow : public QWidget {
    Q_OBJECT
public:
    CPresenceInviteWindow(std::string host, unsigned port, std::string userId, QWidget* parent = nullptr);
    ~CPresenceInviteWindow() override;

    QLineEdit* Address() const { return m_address; }
    QPushButton* InviteButton() const { return m_send; }
    QString Status() const;

private:
    void OnSend();
    void Finished(const QString& text);

    std::unique_ptr<CPresenceInvite> m_invite;
    std::string m_userId;
    QLineEdit* m_address;
    QPushButton* m_send;
    QLabel* m_status;
};
