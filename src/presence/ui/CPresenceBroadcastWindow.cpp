#include "presence/ui/CPresenceBroadcastWindow.h"

#include "presence/ui/PresenceControls.h"

#include "presence/PresenceCodes.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CPresenceBroadcastWindow::CPresenceBroadcastWindow(Send send, QWidget* parent)
    : QWidget(parent, Qt::Window), m_sendMessage(std::move(send))
{
    setWindowTitle(tr("Broadcast Message"));
    setAccessibleName(windowTitle());
    m_contacts = new QListWidget(this);
    m_contacts->setAccessibleName(QStringLiteral("Contacts"));
    m_text = new QPlainTextEdit(this);
    m_text->setAccessibleName(QStringLiteral("Broadcast text"));
    m_send = PresenceButton(tr("Send"), tr("Send the message to every chosen contact"), this);
    m_message = PresenceStatusLine(QStringLiteral("Broadcast message"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Send to:"), this));
    layout->addWidget(m_contacts, 2);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_send);
    layout->addWidget(m_message);
    connect(m_send, &QPushButton::clicked, this, &CPresenceBroadcastWindow::SendToChosen);
}

void CPresenceBroadcastWindow::ShowContacts(const std::vector<RosterEntry>& contacts)
{
    m_contacts->clear();
    for (const RosterEntry& e : contacts) {
        auto* item = new QListWidgetItem(QString::fromStdString(e.name.empty() ? e.jid : e.name + " <" + e.jid + ">"),
                                         m_contacts);
        item->setData(Qt::UserRole, QString::fromStdString(e.jid));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    SetMessage(QString());
}

int CPresenceBroadcastWindow::SendToChosen()
{
    const std::string text = m_text->toPlainText().toStdString();
    std::vector<std::string> chosen;
    for (int i = 0; i < m_contacts->count(); ++i)
        if (m_contacts->item(i)->checkState() == Qt::Checked)
            chosen.push_back(m_contacts->item(i)->data(Qt::UserRole).toString().toStdString());
    if (chosen.empty()) {
        SetMessage(QString::fromUtf8(kNoContact));
        return 0;
    }
    if (text.empty()) {
        SetMessage(QString::fromUtf8(kNoText));
        return 0;
    }
    int sent = 0;
    for (const std::string& jid : chosen) {
        auto m = std::make_unique<CChatMessage>();
        m->peerJid = jid;
        m->body = BoundedText(text, kPresenceBodyMax);
        m->kind = MESSAGE_KIND_NORMAL;
        sent += m_sendMessage(std::move(m)) ? 1 : 0;
    }
    SetMessage(sent == static_cast<int>(chosen.size()) ? tr("Sent to %1 contact(s)").arg(sent)
                                                       : tr("Unable to send to every contact"));
    if (sent > 0)
        m_text->clear();
    return sent;
}

void CPresenceBroadcastWindow::SetMessage(const QString& text) { ShowStatusLine(m_message, text); }

QString CPresenceBroadcastWindow::Message() const { return m_message->text(); }
