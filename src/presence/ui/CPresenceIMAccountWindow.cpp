#include "presence/ui/CPresenceIMAccountWindow.h"

#include "presence/ui/PresenceControls.h"

#include "app/CLogger.h"
#include "presence/CGUIPresenceHandler.h"
#include "presence/PresenceCodes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CPresenceIMAccountWindow::CPresenceIMAccountWindow(CGUIPresenceHandler& handler, QWidget* parent)
    : QWidget(parent, Qt::Window), m_handler(handler)
{
    setWindowTitle(tr("IM Account"));
    setAccessibleName(windowTitle());
    m_network = new QComboBox(this);
    m_network->setAccessibleName(QStringLiteral("Network"));
    for (const char* name : {"Yahoo ", "MSN ", "GoogleTALK "})
        m_network->addItem(QString::fromUtf8(name));
    m_user = new QLineEdit(this);
    m_user->setAccessibleName(QStringLiteral("Username"));
    m_password = new QLineEdit(this);
    m_password->setAccessibleName(QStringLiteral("Password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_startUp = new QCheckBox(tr("Sign in at start-up"), this);
    m_startUp->setAccessibleName(m_startUp->text());
    m_add = PresenceButton(tr("Add Account"), tr("Register the account with the gateway"), this);
    m_delete = PresenceButton(tr("Delete Account"), tr("Remove the login information"), this);
    m_signIn = PresenceButton(tr("Sign In"), tr("Sign in to the network"), this);
    m_signOut = PresenceButton(tr("Sign Out"), tr("Sign out of the network"), this);
    m_state = PresenceStatusLine(QStringLiteral("Gateway state"), this);
    m_message = PresenceStatusLine(QStringLiteral("Account message"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_add, m_delete, m_signIn, m_signOut})
        buttons->addWidget(b);
    auto* form = new QFormLayout(this);
    form->addRow(tr("Network"), m_network);
    form->addRow(tr("Username"), m_user);
    form->addRow(tr("Password"), m_password);
    form->addRow(QString(), m_startUp);
    form->addRow(buttons);
    form->addRow(m_state);
    form->addRow(m_message);
    connect(m_network, &QComboBox::currentIndexChanged, this, [this] {
        SetMessage(QString());
        Refresh();
    });
    connect(m_add, &QPushButton::clicked, this, &CPresenceIMAccountWindow::OnAdd);
    connect(m_delete, &QPushButton::clicked, this, &CPresenceIMAccountWindow::OnDelete);
    connect(m_startUp, &QCheckBox::toggled, this, &CPresenceIMAccountWindow::OnStartUp);
    connect(m_signIn, &QPushButton::clicked, this, [this] { OnSign(true); });
    connect(m_signOut, &QPushButton::clicked, this, [this] { OnSign(false); });
    Refresh();
}

int CPresenceIMAccountWindow::ImType() const { return m_network->currentIndex() + 1; }

void CPresenceIMAccountWindow::ShowGateway(int imType)
{
    if (imType < IM_TYPE_YAHOO || imType > IM_TYPE_GTALK) {
        ZLOG(LOG_ERROR, "No Case Matched-IM Settings");
        return;
    }
    m_network->setCurrentIndex(imType - 1);
    Refresh();
    show();
    raise();
}

void CPresenceIMAccountWindow::ImStatus(int imType, int, int)
{
    if (imType == ImType())
        Refresh();
}

void CPresenceIMAccountWindow::Refresh()
{
    const GatewayStatus s = m_handler.Gateway(ImType());
    m_refreshing = true;
    m_startUp->setChecked(s.loginAtStartUp == 1);
    m_refreshing = false;
    m_delete->setEnabled(s.loginInfo == 1);
    m_signIn->setEnabled(s.loginInfo == 1 && s.signedIn != 1);
    m_signOut->setEnabled(s.signedIn == 1);
    const QString state = s.signedIn == 1 ? tr("Signed in") : s.loginInfo == 1 ? tr("Signed out") : tr("No account");
    ShowStatusLine(m_state, state);
}

void CPresenceIMAccountWindow::OnAdd()
{
    std::string refusal;
    const int r = m_handler.AddIMAccount(ImType(), m_user->text().trimmed().toStdString(),
                                         m_password->text().toStdString(), m_startUp->isChecked() ? 1 : 0, refusal);
    if (r == -3) {
        SetMessage(QString::fromStdString(refusal));
        return;
    }
    m_password->clear();
    m_registering = r == 0 ? ImType() : 0;
    SetMessage(r == 0 ? tr("Registering the account...") : QString());
    Refresh();
}

void CPresenceIMAccountWindow::Registered(int imType, bool registered)
{
    if (imType != m_registering)
        return;
    m_registering = 0;
    if (imType == ImType())
        SetMessage(registered ? tr("Account registered") : tr("The gateway refused the account"));
    Refresh();
}

void CPresenceIMAccountWindow::SignedOut()
{
    if (m_registering == 0)
        return;
    // The answer will not come on a closed connection.
    if (m_registering == ImType())
        SetMessage(tr("Not registered: the connection was lost"));
    m_registering = 0;
}

void CPresenceIMAccountWindow::OnDelete()
{
    m_handler.DeleteIMAccount(ImType());
    SetMessage(tr("Account deleted"));
    Refresh();
}

void CPresenceIMAccountWindow::OnStartUp(bool on)
{
    // Only a registered account's choice is stored; before that it goes with the registration.
    if (m_refreshing || m_handler.Gateway(ImType()).loginInfo != 1)
        return;
    m_handler.SetIMLoginAtStartUp(ImType(), on ? 1 : 0);
}

void CPresenceIMAccountWindow::OnSign(bool in)
{
    auto* d = new CIMDetails;
    d->imType = ImType();
    d->presence = in ? PRESENCE_AVAILABLE : PRESENCE_OFFLINE;
    m_handler.HandleGUIPresenceData(in ? PRESENCE_COMMAND_XMPP_SEND_IM_PRESENCE : PRESENCE_COMMAND_XMPP_SET_IM_SIGNOUT,
                                    d);
    SetMessage(in ? tr("Signing in...") : tr("Signing out..."));
}

void CPresenceIMAccountWindow::SetMessage(const QString& text) { ShowStatusLine(m_message, text); }

QString CPresenceIMAccountWindow::Message() const { return m_message->text(); }
QString CPresenceIMAccountWindow::State() const { return m_state->text(); }
