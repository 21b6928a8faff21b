#include "presence/ui/CPresencePreferencesDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

using P = PresencePreferences;

struct CheckRow {
    const char* caption;
    int P::*field;
};
struct TextRow {
    const char* caption;
    std::string P::*field;
};

const CheckRow kChatChecks[] = {{"Enable chat history", &P::isDisableHistory},
                                {"Show time in chat", &P::isShowTime},
                                {"Chat tabs appear on top", &P::isTabOnTop}};
const CheckRow kSoundChecks[] = {{"Sound when a message arrives", &P::isSoundMessageArrive},
                                 {"Sound when a message is sent", &P::isSoundMessageSent},
                                 {"Sound when a contact goes offline", &P::isSoundOffline},
                                 {"Sound on an invitation", &P::isSoundInvitation}};
const TextRow kSoundTexts[] = {{"Message arrives sound", &P::newMessageSoundFile},
                               {"Message sent sound", &P::sentMessageSoundFile},
                               {"Contact offline sound", &P::offlineSoundFile},
                               {"Invitation sound", &P::invitationSoundFile}};
const CheckRow kNotifyChecks[] = {{"Pop-up for arriving messages", &P::isToastPopup},
                                  {"Bring the chat window to the front", &P::isBringFront},
                                  {"Pop-up when a contact goes offline", &P::isNotifyOffline},
                                  {"Pop-up when a contact comes online", &P::isNotifyOnline},
                                  {"Check for updates", &P::isCheckUpdate},
                                  {"Show presence in the address book", &P::isNotifyPresenceOnAddressBook}};
const TextRow kTransferTexts[] = {{"Transfer time-out", &P::transferTimeout},
                                  {"Transfer folder", &P::defaultDirectory}};

} // namespace

CPresencePreferencesDialog::CPresencePreferencesDialog(const PresencePreferences& values, QWidget* parent)
    : QDialog(parent), m_values(values)
{
    setWindowTitle("Presence preferences");
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);
    auto section = [&](const char* title) {
        auto* box = new QGroupBox(title, this);
        auto* form = new QFormLayout(box);
        layout->addWidget(box);
        return form;
    };
    auto checks = [&](QFormLayout* form, const auto& rows) {
        for (const CheckRow& s : rows) {
            auto* box = new QCheckBox(s.caption, this);
            box->setAccessibleName(s.caption);
            box->setChecked(m_values.*s.field == 1);
            form->addRow(box);
            m_checks.push_back({box, s.field});
        }
    };
    auto texts = [&](QFormLayout* form, const auto& rows) {
        for (const TextRow& s : rows) {
            auto* edit = new QLineEdit(QString::fromStdString(m_values.*s.field), this);
            edit->setAccessibleName(s.caption);
            form->addRow(s.caption, edit);
            m_texts.push_back({edit, s.field});
        }
    };
    auto number = [&](QFormLayout* form, const char* caption, int P::*field, int max) {
        auto* box = new QSpinBox(this);
        box->setRange(0, max);
        box->setValue(m_values.*field);
        box->setAccessibleName(caption);
        form->addRow(caption, box);
        m_numbers.push_back({box, field});
    };
    QFormLayout* chat = section("Chat");
    checks(chat, kChatChecks);
    number(chat, "Chat font size", &P::chatFont, 72);
    number(chat, "Contact list font size", &P::contactListFont, 72);
    QFormLayout* sound = section("Sounds");
    checks(sound, kSoundChecks);
    texts(sound, kSoundTexts);
    checks(section("Notification"), kNotifyChecks);
    texts(section("File transfer"), kTransferTexts);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : buttons->buttons()) {
        b->setAccessibleName(b->text().remove('&'));
        b->setToolTip(b->accessibleName());
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

PresencePreferences CPresencePreferencesDialog::Values() const
{
    PresencePreferences v = m_values;
    for (const Check& c : m_checks)
        v.*c.field = c.box->isChecked() ? 1 : 0;
    for (const Text& t : m_texts)
        v.*t.field = t.edit->text().toStdString();
    for (const Number& n : m_numbers)
        v.*n.field = n.box->value();
    return v;
}
