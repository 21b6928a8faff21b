#include "cli/CCliAddressBook.h"

#include <cstdio>

#include "addressbook/CAddContactDlg.h"
#include "addressbook/CEditContactDlg.h"
#include "app/CLogger.h"
#include "cli/CCliProtocol.h"
#include "cli/CCliView.h"
#include "phone/CzeloraTALKDlg.h"

namespace {

const char* KindWord(int kind)
{
    static const char* words[] = {"add", "update", "delete", "deleteall"};
    return kind >= 0 && kind <= 3 ? words[kind] : "add";
}

int NumberColumn(const std::string& word)
{
    if (word == "voip")
        return CViewContactsDlg::COLUMN_VOIP;
    if (word == "mobile")
        return CViewContactsDlg::COLUMN_MOBILE;
    if (word == "home")
        return CViewContactsDlg::COLUMN_HOME;
    if (word == "business")
        return CViewContactsDlg::COLUMN_BUSINESS;
    return -1;
}

} // namespace

CCliAddressBook::CCliAddressBook(CCliView& view, CzeloraTALKDlg& dlg, AddressBookStore& store, std::string serviceHost)
    : m_view(view), m_dlg(dlg), m_store(store), m_upload(*this, std::move(serviceHost), std::string())
{
}

std::string CCliAddressBook::ContactLine(std::size_t position, const ContactRecord& r)
{
    const std::pair<const char*, const std::string*> fields[] = {
        {"first", &r.firstName},   {"middle", &r.middleName}, {"last", &r.lastName},
        {"title", &r.title},       {"email", &r.email},       {"altemail", &r.altEmail},
        {"voip", &r.voip},         {"mobile", &r.mobile},     {"home", &r.home},
        {"business", &r.business}, {"fax", &r.fax},           {"pager", &r.pager},
        {"icq", &r.icq},           {"website", &r.website},   {"company", &r.companyName},
        {"birth", &r.birthDate},   {"comments", &r.comments}};
    std::string line = "CONTACT pos=" + std::to_string(position) + " sno=" + r.entryNumber;
    for (const auto& [key, value] : fields)
        line += std::string(" ") + key + "=" + CCliProtocol::Quote(*value);
    return line;
}

bool CCliAddressBook::ApplyFields(const std::vector<std::string>& words, std::size_t from, ContactFormFields& f)
{
    const std::pair<const char*, std::string*> fields[] = {
        {"first", &f.firstName},   {"middle", &f.middleName}, {"last", &f.lastName},
        {"title", &f.title},       {"email", &f.email},       {"altemail", &f.altEmail},
        {"voip", &f.voip},         {"mobile", &f.mobile},     {"home", &f.home},
        {"business", &f.business}, {"fax", &f.fax},           {"pager", &f.pager},
        {"icq", &f.icq},           {"website", &f.website},   {"company", &f.companyName},
        {"comments", &f.comments}};
    for (std::size_t i = from; i < words.size(); ++i) {
        std::string value;
        bool known = false;
        for (const auto& [key, target] : fields) {
            if (CCliProtocol::TakeValue(words[i], key, value) || words[i] == std::string(key) + "=") {
                *target = value;
                known = true;
                break;
            }
        }
        if (known)
            continue;
        if (CCliProtocol::TakeValue(words[i], "birth", value) || words[i] == "birth=") {
            int y = 0, m = 0, d = 0;
            char tail = 0;
            if (value.empty() || value == " ") {
                f.birthDate.reset();
            } else if (std::sscanf(value.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3 && m >= 1 && m <= 12 &&
                       d >= 1 && d <= 31) {
                f.birthDate = ContactFormFields::Date{y, m, d};
            } else {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

std::optional<std::size_t> CCliAddressBook::RowOf(CViewContactsDlg& window, const std::string& sno)
{
    for (std::size_t i = 0; i < window.Rows().size(); ++i) {
        std::optional<ContactRecord> r = m_store.GetByPosition(window.Rows()[i].position);
        if (r && r->entryNumber == sno)
            return i;
    }
    return std::nullopt;
}

bool CCliAddressBook::Execute(const std::vector<std::string>& w)
{
    ZLOG_SCOPE();
    if (w.empty())
        return false;
    const std::string& cmd = w[0];
    m_upload.SetUserId(m_dlg.GetUserId());
    auto unknown = [this]() {
        m_view.WriteLine(CCliProtocol::MessageLine("Unknown command"));
        return true;
    };
    if (cmd == "contacts" && w.size() == 1) {
        auto live = m_store.LiveEntries();
        for (const auto& [position, r] : live)
            m_view.WriteLine(ContactLine(position, r));
        m_view.WriteLine("CONTACTS " + std::to_string(live.size()));
        return true;
    }
    if (cmd == "contact-add") {
        ContactFormFields fields;
        if (!ApplyFields(w, 1, fields))
            return unknown();
        CAddContactDlg form(*this, m_store, m_upload);
        form.OnInitDialog();
        form.OnOK(fields);
        return true;
    }
    CViewContactsDlg window(*this, m_store, m_upload, *this);
    window.OnInitDialog();
    if (cmd == "contact-edit" && w.size() >= 2) {
        ContactFormFields probe;
        if (!ApplyFields(w, 2, probe))
            return unknown();
        m_editWords = &w;
        window.OnEdit(RowOf(window, w[1]));
        m_editWords = nullptr;
    } else if (cmd == "contact-delete" && w.size() == 2) {
        window.OnDelete(RowOf(window, w[1]));
    } else if (cmd == "contact-delete-all" && w.size() == 1) {
        window.OnDeleteAll();
    } else if ((cmd == "contact-call" || cmd == "contact-sms") && w.size() == 3) {
        int column = NumberColumn(w[2]);
        if (column < 0)
            return unknown();
        if (cmd == "contact-call")
            window.OnCall(RowOf(window, w[1]), column);
        else
            window.OnSms(RowOf(window, w[1]), column);
    } else if (cmd.rfind("contact", 0) == 0) {
        return unknown();
    } else {
        return false;
    }
    return true;
}

void CCliAddressBook::OpenEdit(const ContactRecord& entry)
{
    ContactFormFields fields = CContactFormDlg::FieldsOf(entry);
    if (m_editWords != nullptr)
        ApplyFields(*m_editWords, 2, fields);
    CEditContactDlg form(*this, m_store, m_upload, entry);
    form.OnInitDialog();
    form.OnOK(fields);
}

void CCliAddressBook::MessageBox(const std::string& text) { m_view.WriteLine(CCliProtocol::MessageLine(text)); }

bool CCliAddressBook::AskYesNo(const std::string& text)
{
    // The console's commands stand for answering Yes.
    m_view.WriteLine(CCliProtocol::MessageLine(text));
    return true;
}

bool CCliAddressBook::IsCallInProgress() { return m_dlg.GetCallState() != 0; }

void CCliAddressBook::Call(const std::string& number)
{
    m_dlg.SetDialField(number);
    m_dlg.OnBnClickedButtonCall();
}

void CCliAddressBook::Sms(const std::string& number)
{
    // The SMS page's link builder comes with the portal windows; the number travels with 0x414.
    m_dlg.Queue().Post(CzeloraTALKDlg::WM_SHOW_SMS_DIALOG, 0, 0, number);
}

void CCliAddressBook::SetStatusText(int kind, const std::string& text)
{
    m_view.WriteLine(std::string("UPLOAD ") + KindWord(kind) + " " + CCliProtocol::Quote(text));
}

void CCliAddressBook::Ended(int kind, bool ok)
{
    m_view.WriteLine(std::string("UPLOAD ") + KindWord(kind) + (ok ? " OK" : " FAILED"));
}
