#pragma once
// The New Contact and Edit Contact forms: the contact's fields, a date picker for the birth
// date and the comments; OK runs the form's check and upload, and the form closes once the
// change is stored.
#include <QDialog>
#include <map>
#include <memory>
#include <optional>

#include "addressbook/CContactFormDlg.h"

class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CContactFormWindow : public QDialog, public CContactFormView {
    Q_OBJECT
public:
    // `entry` given: the Edit Contact form on it; none: New Contact.
    CContactFormWindow(AddressBookStore& store, CContactUpload& upload, std::optional<ContactRecord> entry,
                       QWidget* parent = nullptr, CContactFormDlg::Today today = {});
    ~CContactFormWindow() override;

    ContactFormFields Fields() const;
    // An edit field by its label ("First Name", "E-Mail" ...), or null.
    QLineEdit* FieldEdit(const QString& label) const;
    QDateEdit* BirthDate() const { return m_birthDate; }
    QPlainTextEdit* Comments() const { return m_comments; }
    QPushButton* OkButton() const { return m_ok; }

    // CContactFormView
    void MessageBox(const std::string& text) override;
    void Focus(CContactFormView::Field field) override;
    void SetTitle(const std::string& title) override;
    void Close() override;

private:
    void Fill(const ContactFormFields& fields);
    void OnOK();

    std::unique_ptr<CContactFormDlg> m_dlg;
    std::map<QString, QLineEdit*> m_fields;
    QDateEdit* m_birthDate = nullptr;
    QPlainTextEdit* m_comments = nullptr;
    QPushButton* m_ok = nullptr;
};
