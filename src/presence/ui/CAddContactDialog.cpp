#include "presence/ui/CAddContactDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "presence/CGUIPresenceHandler.h"

namespace {

QPushButton* Button(const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setAccessibleName(caption);
    b->setToolTip(caption);
    b->setAccessibleDescription(caption);
    b->setAutoDefault(false);
    return b;
}

} // namespace

CAddContactDialog::CAddContactDialog(Mode mode, const std::vector<std::string>& groups, QWidget* parent)
    : QDialog(parent)
{
    const bool request = mode == MODE_REQUEST;
    setWindowTitle(request ? "Subscription request" : "Add contact");
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setAccessibleDescription("Request text");
    m_text->setWordWrap(true);
    m_text->setVisible(request);
    layout->addWidget(m_text);
    auto* form = new QFormLayout;
    m_id = new QLineEdit(this);
    m_id->setAccessibleName("Contact ID");
    m_id->setReadOnly(request);
    m_name = new QLineEdit(this);
    m_name->setAccessibleName("Contact name");
    m_group = new QComboBox(this);
    m_group->setEditable(true);
    m_group->setAccessibleName("Group");
    m_group->addItem(CGUIPresenceHandler::kDefaultGroup);
    for (const std::string& g : groups)
        if (g != CGUIPresenceHandler::kDefaultGroup)
            m_group->addItem(QString::fromStdString(g));
    form->addRow("ID", m_id);
    form->addRow("Name", m_name);
    form->addRow("Group", m_group);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    m_accept = Button(request ? "Accept" : "Add", this);
    m_reject = Button(request ? "Deny" : "Cancel", this);
    buttons->addStretch();
    buttons->addWidget(m_accept);
    buttons->addWidget(m_reject);
    layout->addLayout(buttons);
    if (!request) {
        connect(m_accept, &QPushButton::clicked, this, &QDialog::accept);
        connect(m_reject, &QPushButton::clicked, this, &QDialog::reject);
    }
}

void CAddContactDialog::SetRequest(const std::string& jid, const std::string& text)
{
    m_id->setText(QString::fromStdString(jid));
    QString shown = QString::fromStdString(jid) + " wants to see your status.";
    if (!text.empty())
        shown += "\n" + QString::fromStdString(text);
    m_text->setText(shown);
    m_text->setAccessibleName(shown);
    m_name->setText(QString::fromStdString(jid.substr(0, jid.find('@'))));
}

std::string CAddContactDialog::Id() const { return m_id->text().trimmed().toStdString(); }
std::string CAddContactDialog::Name() const { return m_name->text().trimmed().toStdString(); }
std::string CAddContactDialog::Group() const
{
    const std::string g = m_group->currentText().trimmed().toStdString();
    return g.empty() ? CGUIPresenceHandler::kDefaultGroup : g;
}
