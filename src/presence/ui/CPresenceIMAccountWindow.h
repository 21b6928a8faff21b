#pragma once
// A public IM network's account at the presence service's gateway: register it (with its
// checks), delete it, the start-up choice, sign in and out, and the gateway's state.
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class CGUIPresenceHandler;

class CPresenceIMAccountWindow : public QWidget {
    Q_OBJECT
public:
    CPresenceIMAccountWindow(CGUIPresenceHandler& handler, QWidget* parent = nullptr);

    // imType 1 Yahoo, 2 MSN, 3 Google Talk.
    void ShowGateway(int imType);
    void ImStatus(int imType, int signedIn, int loginInfo);
    // The gateway's answer to the registration sent from here; and the end of any answer.
    void Registered(int imType, bool registered);
    void SignedOut();
    int ImType() const;

    QComboBox* Network() const { return m_network; }
    QLineEdit* UserName() const { return m_user; }
    QLineEdit* Password() const { return m_password; }
    QCheckBox* AtStartUp() const { return m_startUp; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* SignInButton() const { return m_signIn; }
    QString Message() const;
    QString State() const;

private:
    void OnAdd();
    void OnDelete();
    void OnStartUp(bool on);
    void OnSign(bool in);
    void Refresh();
    void SetMessage(const QString& text);

    CGUIPresenceHandler& m_handler;
    QComboBox* m_network;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_startUp;
    QPushButton* m_add;
    QPushButton* m_delete;
    QPushButton* m_signIn;
    QPushButton* m_signOut;
    QLabel* m_state;
    QLabel* m_message;
    bool m_refreshing = false;
    int m_registering = 0; // the IM type whose registration waits for its answer
};
