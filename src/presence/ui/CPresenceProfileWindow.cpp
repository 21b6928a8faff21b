#include "presence/ui/CPresenceProfileWindow.h"

#include "presence/ui/CPresenceAvatar.h"
#include "presence/ui/PresenceControls.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

using Member = std::function<std::string&(PresenceProfileFields&)>;
using Rows = std::vector<std::pair<const char*, Member>>;

Rows AddressRows(PresenceProfileAddress PresenceProfileFields::*place,
                 PresenceProfileNumbers PresenceProfileFields::*numbers)
{
    return {{"Street", [place](PresenceProfileFields& f) -> std::string& { return (f.*place).street; }},
            {"City", [place](PresenceProfileFields& f) -> std::string& { return (f.*place).locality; }},
            {"State", [place](PresenceProfileFields& f) -> std::string& { return (f.*place).region; }},
            {"Zip Code", [place](PresenceProfileFields& f) -> std::string& { return (f.*place).pcode; }},
            {"Country", [place](PresenceProfileFields& f) -> std::string& { return (f.*place).country; }},
            {"Phone", [numbers](PresenceProfileFields& f) -> std::string& { return (f.*numbers).phone; }},
            {"Mobile", [numbers](PresenceProfileFields& f) -> std::string& { return (f.*numbers).mobile; }},
            {"Fax", [numbers](PresenceProfileFields& f) -> std::string& { return (f.*numbers).fax; }},
            {"Pager", [numbers](PresenceProfileFields& f) -> std::string& { return (f.*numbers).pager; }}};
}

Member Plain(std::string PresenceProfileFields::*m)
{
    return [m](PresenceProfileFields& f) -> std::string& { return f.*m; };
}

} // namespace

CPresenceProfileWindow::CPresenceProfileWindow(Save save, QWidget* parent)
    : QWidget(parent, Qt::Window), m_save(std::move(save))
{
    setWindowTitle(m_save ? tr("My Profile") : tr("Profile"));
    setAccessibleName(windowTitle());
    m_pages = new QTabWidget(this);
    m_pages->setAccessibleName(QStringLiteral("Profile pages"));
    m_pages->addTab(Page({{"First Name", Plain(&PresenceProfileFields::given)},
                          {"Middle Name", Plain(&PresenceProfileFields::middle)},
                          {"Last Name", Plain(&PresenceProfileFields::family)},
                          {"Nick Name", Plain(&PresenceProfileFields::nick)},
                          {"E-mail", Plain(&PresenceProfileFields::email)}},
                         true),
                    tr("Personal"));
    Rows work = {{"Company", Plain(&PresenceProfileFields::org)},
                 {"Title", Plain(&PresenceProfileFields::title)},
                 {"Web Page", Plain(&PresenceProfileFields::url)}};
    for (auto& row : AddressRows(&PresenceProfileFields::work, &PresenceProfileFields::workNumbers))
        work.push_back(row);
    m_pages->addTab(Page(work, false), tr("Bussiness"));
    m_pages->addTab(Page(AddressRows(&PresenceProfileFields::home, &PresenceProfileFields::homeNumbers), false),
                    tr("Home"));
    m_status = PresenceStatusLine(QStringLiteral("Profile status"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(m_status);
    if (m_save) {
        m_saveButton = PresenceButton(tr("Save"), tr("Store the profile on the server"), this);
        connect(m_saveButton, &QPushButton::clicked, this, &CPresenceProfileWindow::OnSave);
        layout->addWidget(m_saveButton);
    }
}

QWidget* CPresenceProfileWindow::Page(const Rows& rows, bool withAvatar)
{
    auto* page = new QWidget(m_pages);
    auto* form = new QFormLayout(page);
    for (const auto& [label, member] : rows) {
        auto* edit = new QLineEdit(page);
        edit->setReadOnly(!m_save);
        // Names repeat between the business and home pages: the page is part of the name.
        edit->setAccessibleName(m_pages->count() == 2       ? QStringLiteral("Home ") + label
                                    : m_pages->count() == 1 ? QStringLiteral("Business ") + label
                                                            : QString::fromUtf8(label));
        edit->setObjectName(edit->accessibleName());
        connect(edit, &QLineEdit::textEdited, this, [this] { m_edited = true; });
        form->addRow(tr(label), edit);
        m_fields.push_back({edit, member});
    }
    if (withAvatar) {
        m_picture = new QLabel(page);
        m_picture->setAccessibleName(QStringLiteral("Picture"));
        m_picture->setFixedSize(CPresenceAvatar::kMaxSide, CPresenceAvatar::kMaxSide);
        m_picture->setFrameShape(QFrame::Box);
        m_picture->setAlignment(Qt::AlignCenter);
        form->addRow(tr("Picture"), m_picture);
        if (m_save) {
            auto* pick = PresenceButton(tr(kSelectAvatar), tr("Choose a picture for your profile"), page);
            connect(pick, &QPushButton::clicked, this, &CPresenceProfileWindow::OnSelectAvatar);
            form->addRow(QString(), pick);
        }
    }
    return page;
}

void CPresenceProfileWindow::ShowProfile(const QString& jid, const PresenceProfileFields& fields)
{
    if (!m_save)
        setWindowTitle(tr("Profile - %1").arg(jid));
    PresenceProfileFields copy = fields;
    for (Field& f : m_fields)
        f.edit->setText(QString::fromStdString(f.member(copy)));
    m_photo = QByteArray::fromStdString(fields.photo);
    ShowPhoto();
    m_edited = false;
    SetStatus(QString());
    show();
    raise();
}

PresenceProfileFields CPresenceProfileWindow::Fields() const
{
    PresenceProfileFields f;
    for (const Field& field : m_fields)
        field.member(f) = field.edit->text().trimmed().toStdString();
    f.photo = m_photo.toStdString();
    return f;
}

void CPresenceProfileWindow::ShowPhoto()
{
    QPixmap picture;
    if (!m_photo.isEmpty() && picture.loadFromData(m_photo)) {
        m_picture->setPixmap(picture.scaled(m_picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        // A screen reader says what the picture is, as a sighted user sees that there is one.
        m_picture->setAccessibleDescription(tr("Picture of %1 by %2").arg(picture.width()).arg(picture.height()));
    } else {
        m_picture->setText(m_photo.isEmpty() ? tr("No picture") : tr("Unreadable picture"));
        m_picture->setAccessibleDescription(m_picture->text());
    }
}

bool CPresenceProfileWindow::TakeAvatar(const QString& path)
{
    QByteArray jpeg;
    if (!CPresenceAvatar::ToJpeg(path, jpeg)) {
        SetStatus(QString::fromUtf8(CPresenceAvatar::kInvalid));
        return false;
    }
    m_photo = jpeg;
    m_edited = true;
    ShowPhoto();
    SetStatus(QString());
    return true;
}

void CPresenceProfileWindow::OnSelectAvatar()
{
    const QString path = QFileDialog::getOpenFileName(this, tr(kSelectAvatar), QString(), CPresenceAvatar::Filter());
    if (!path.isEmpty())
        TakeAvatar(path);
}

void CPresenceProfileWindow::OnSave()
{
    if (!m_save(Fields())) {
        SetStatus(tr("Unable to save the profile"));
        return;
    }
    m_saveButton->setEnabled(false);
    SetStatus(tr("Saving..."));
}

void CPresenceProfileWindow::Stored(bool ok)
{
    if (m_saveButton != nullptr)
        m_saveButton->setEnabled(true);
    SetStatus(ok ? tr("Profile saved") : tr("Unable to save the profile"));
}

void CPresenceProfileWindow::SetStatus(const QString& text) { ShowStatusLine(m_status, text); }

bool CPresenceProfileWindow::Saving() const { return m_saveButton != nullptr && !m_saveButton->isEnabled(); }

QString CPresenceProfileWindow::Status() const { return m_status->text(); }
