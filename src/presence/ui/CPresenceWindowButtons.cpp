// The presence window's buttons: adding contacts and groups, the status message, the preferences and the
// mapping of address-book contacts into the roster.
#include "presence/ui/CPresenceWindow.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>

#include "presence/CGUIPresenceHandler.h"
#include "presence/CPresenceSettings.h"
#include "presence/CRosterTreeRules.h"
#include "presence/IPresenceDialogs.h"
#include "presence/PresenceCodes.h"
#include "presence/ui/CAddContactDialog.h"
#include "presence/ui/CCustomTreeCtrl.h"
#include "presence/ui/CPresencePreferencesDialog.h"

void CPresenceWindow::OnAddContact()
{
    if (!m_controller)
        return;
    CAddContactDialog dialog(CAddContactDialog::MODE_ADD, m_tree->GetGroupStringList(), this);
    while (dialog.exec() == QDialog::Accepted) {
        std::string jid;
        const std::string name = dialog.Name(), group = dialog.Group();
        if (const char* refusal = m_controller->AddNewContact(dialog.Id(), name, group, jid)) {
            QMessageBox::warning(this, "zeloraTALK", refusal);
            continue;
        }
        const PersonalContact p = Mapped(jid);
        m_tree->AddRosterContactTreeNode(group, jid, name, p.id, p.name,
                                         CRosterTreeRules::GetIMTypeAgaintRosterContactID(jid), 0, PRESENCE_OFFLINE, "",
                                         CRosterTreeRules::kPending);
        return;
    }
}

void CPresenceWindow::OnAddGroup()
{
    bool ok = false;
    const QString name = QInputDialog::getText(this, "Add group", "Group name", QLineEdit::Normal, {}, &ok).trimmed();
    if (ok && !name.isEmpty() && m_tree->AddGroupTreeNode(name.toStdString()) == nullptr)
        QMessageBox::information(this, "zeloraTALK", "The group exists already.");
}

void CPresenceWindow::OnStatusMessage()
{
    const std::string text = m_statusMessage->text().toStdString();
    if (!m_controller || text == m_controller->PersonalStatusMessage())
        return;
    m_controller->SetPersonalStatusMessage(text);
    m_settings.Values().personalStatusMessage = text;
    m_settings.WriteSettings();
    m_controller->OnPersonalPresenceStatus(m_status->currentIndex());
}

void CPresenceWindow::OnSettings()
{
    CPresencePreferencesDialog dialog(m_settings.Values(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int oldFont = m_settings.Values().contactListFont;
    m_settings.Values() = dialog.Values();
    if (m_settings.WriteSettings() != 0)
        QMessageBox::warning(this, "zeloraTALK", "Unable to save the presence settings");
    if (m_handler != nullptr)
        m_handler->SetNotifySettings(m_settings.Notify());
    if (m_dialogs != nullptr)
        m_dialogs->ApplyChatSettings(m_settings.Chat());
    if (oldFont != m_settings.Values().contactListFont)
        QMessageBox::information(this, "zeloraTALK",
                                 "Your new settings will take effect when you next restart the client");
}

void CPresenceWindow::OnMapContacts()
{
    if (!m_controller || m_book == nullptr)
        return;
    std::vector<PersonalContact> offer;
    for (PersonalContact& c : m_book->MappableContacts())
        if (!m_tree->HasContact(c.jid))
            offer.push_back(std::move(c));
    if (offer.empty()) {
        ShowInformation("zeloraTALK", "No Contact Found for Mapping");
        return;
    }
    QStringList names;
    for (const PersonalContact& c : offer)
        names << QString::fromStdString(c.name + " <" + c.jid + ">");
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, "Map Contacts", "Add to your contacts", names, 0, false, &ok);
    const int index = static_cast<int>(names.indexOf(chosen));
    if (!ok || index < 0)
        return;
    std::string jid;
    const PersonalContact& c = offer[index];
    if (m_controller->AddNewContact(c.jid, c.name, CGUIPresenceHandler::kDefaultGroup, jid) == nullptr)
        m_tree->AddRosterContactTreeNode(CGUIPresenceHandler::kDefaultGroup, jid, c.name, c.id, c.name, 0, 0,
                                         PRESENCE_OFFLINE, "", CRosterTreeRules::kPending);
}
