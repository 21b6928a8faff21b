#include "presence/ui/CPresenceInviteWindow.h"

#include "presence/ui/PresenceControls.h"

#include "presence/CPresenceInvite.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

CPresenceInviteWindow::CPresenceInviteWindow(std::string host, unsigned port, std::string userId, QWidget* parent)
    : QWidget(parent, Qt::Window), m_invite(std::make_unique<CPresenceInvite>(std::move(host), port)),
      m_userId(std::move(userId))
{
    setWindowTitle(tr("Invite a Contact"));
    setAccessibleName(windowTitle());
    m_address = new QLineEdit(this);
    m_address->setAccessibleName(QStringLiteral("E-mail address"));
    m_send = PresenceButton(tr("Invite"), tr("Send an invitation by e-mail"), this);
    m_status = PresenceStatusLine(QStringLiteral("Invitation status"), this);
    auto* form = new QFormLayout(this);
    form->addRow(tr("E-mail address"), m_address);
    form->addRow(QString(), m_send);
    form->addRow(m_status);
    connect(m_send, &QPushButton::clicked, this, &CPresenceInviteWindow::OnSend);
    connect(m_address, &QLineEdit::returnPressed, this, &CPresenceInviteWindow::OnSend);
}

// The request's thread ends before the window's fields go.
CPresenceInviteWindow::~CPresenceInviteWindow() { m_invite.reset(); }

void CPresenceInviteWindow::OnSend()
{
    QPointer<CPresenceInviteWindow> self(this);
    const int sent = m_invite->Send(m_address->text().trimmed().toStdString(), m_userId, [self](const std::string& t) {
        const QString text = QString::fromStdString(t);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, text] {
                if (self)
                    self->Finished(text);
            },
            Qt::QueuedConnection);
    });
    if (sent == 1) {
        Finished(tr("Sending the invitation..."));
        m_send->setEnabled(false);
    } else if (sent == -2) {
        Finished(tr("Enter a valid e-mail address"));
    } else if (sent == -1) {
        Finished(QString::fromUtf8(CPresenceInvite::kFailed));
    }
}

void CPresenceInviteWindow::Finished(const QString& text)
{
    m_send->setEnabled(true);
    ShowStatusLine(m_status, text);
}

QString CPresenceInviteWindow::Status() const { return m_status->text(); }
