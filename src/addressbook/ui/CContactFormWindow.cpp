#include "addressbook/ui/CContactFormWindow.h"

#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "addressbook/CAddContactDlg.h"
#include "addressbook/CEditContactDlg.h"
#include "phone/ui/MessageBoxes.h"

namespace {

// The form's text fields in screen order: label, and the member of the form's fields.
struct TextField {
    const char* label;
    std::string ContactFormFields::*member;
};
const TextField kTextFields[] = {
    {"First Name", &ContactFormFields::firstName},
    {"Title", &ContactFormFields::title},
    {"Middle Name", &ContactFormFields::middleName},
    {"Last Name", &ContactFormFields::lastName},
    {"E-Mail", &ContactFormFields::email},
    {"Alternate E-Mail", &ContactFormFields::altEmail},
    {"VOIP Number", &ContactFormFields::voip},
    {"Mobile Number", &ContactFormFields::mobile},
    {"Home Number", &ContactFormFields::home},
    {"Business Number", &ContactFormFields::business},
    {"Fax Number", &ContactFormFields::fax},
    {"Pager Number", &ContactFormFields::pager},
    {"ICQ", &ContactFormFields::icq},
    {"Website", &ContactFormFields::website},
    {"Company Name", &ContactFormFields::companyName},
};

QLabel* LabelFor(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

CContactFormWindow::CContactFormWindow(AddressBookStore& store, CContactUpload& upload,
                                       std::optional<ContactRecord> entry, QWidget* parent,
                                       CContactFormDlg::Today today)
    : QDialog(parent)
{
    setModal(true);
    auto* grid = new QGridLayout;
    int index = 0;
    for (const TextField& f : kTextFields) {
        auto* edit = new QLineEdit(this);
        edit->setAccessibleName(f.label);
        // The file's fields hold 255 characters.
        edit->setMaxLength(255);
        m_fields[f.label] = edit;
        const int row = index / 2, column = (index % 2) * 2;
        grid->addWidget(LabelFor(f.label, edit, this), row, column);
        grid->addWidget(edit, row, column + 1);
        ++index;
    }
    const int next = (index + 1) / 2;
    m_birthDate = new QDateEdit(QDate::currentDate(), this);
    m_birthDate->setCalendarPopup(true);
    m_birthDate->setDisplayFormat("yyyy-MM-dd");
    m_birthDate->setAccessibleName("Birth Date");
    m_birthDate->setToolTip("Left at today's date: no birth date");
    m_birthDate->setAccessibleDescription(m_birthDate->toolTip());
    grid->addWidget(LabelFor("Birth Date", m_birthDate, this), next, 0);
    grid->addWidget(m_birthDate, next, 1);
    m_comments = new QPlainTextEdit(this);
    m_comments->setAccessibleName("Comments");
    m_comments->setFixedHeight(60);
    grid->addWidget(LabelFor("Comments", m_comments, this), next + 1, 0);
    grid->addWidget(m_comments, next + 1, 1, 1, 3);

    m_ok = new QPushButton("OK", this);
    m_ok->setAccessibleName("OK");
    m_ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setAccessibleName("Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, &CContactFormWindow::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (entry) {
        Fill(CContactFormDlg::FieldsOf(*entry));
        m_dlg = std::make_unique<CEditContactDlg>(*this, store, upload, std::move(*entry), std::move(today));
    } else {
        m_dlg = std::make_unique<CAddContactDlg>(*this, store, upload, std::move(today));
    }
    m_dlg->OnInitDialog();
}

CContactFormWindow::~CContactFormWindow() = default;

void CContactFormWindow::Fill(const ContactFormFields& fields)
{
    for (const TextField& f : kTextFields)
        m_fields[f.label]->setText(QString::fromStdString(fields.*f.member));
    m_comments->setPlainText(QString::fromStdString(fields.comments));
    if (fields.birthDate)
        m_birthDate->setDate(QDate(fields.birthDate->year, fields.birthDate->month, fields.birthDate->day));
}

ContactFormFields CContactFormWindow::Fields() const
{
    ContactFormFields out;
    for (const TextField& f : kTextFields)
        out.*f.member = m_fields.at(f.label)->text().toStdString();
    out.comments = m_comments->toPlainText().toStdString();
    const QDate date = m_birthDate->date();
    out.readable = date.isValid();
    // The check compares the picked date with today: today's date stands for none.
    out.birthDate = ContactFormFields::Date{date.year(), date.month(), date.day()};
    return out;
}

QLineEdit* CContactFormWindow::FieldEdit(const QString& label) const
{
    auto it = m_fields.find(label);
    return it == m_fields.end() ? nullptr : it->second;
}

void CContactFormWindow::OnOK() { m_dlg->OnOK(Fields()); }

void CContactFormWindow::MessageBox(const std::string& text)
{
    messageboxes::Show(this, text, CzeloraTALKView::ICON_ERROR);
}

void CContactFormWindow::Focus(CContactFormView::Field field)
{
    QLineEdit* edit = m_fields[field == FIELD_FIRST_NAME ? "First Name" : "E-Mail"];
    edit->setFocus(Qt::OtherFocusReason);
}

void CContactFormWindow::SetTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
    setAccessibleName(windowTitle());
}

void CContactFormWindow::Close() { accept(); }
