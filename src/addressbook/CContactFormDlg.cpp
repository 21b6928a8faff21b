#include "addressbook/CContactFormDlg.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "addressbook/AddressBookStore.h"
#include "addressbook/CAddContactDlg.h"
#include "addressbook/CAddressBookNetStatusDlg.h"
#include "addressbook/CContactUpload.h"
#include "addressbook/CEditContactDlg.h"
#include "addressbook/ContactLine.h"
#include "app/CLogger.h"

namespace {

std::string Trim(const std::string& s)
{
    const char* blanks = " \t\r\n\v\f";
    std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return {};
    std::size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

ContactFormFields::Date LocalToday()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

} // namespace

CContactFormDlg::CContactFormDlg(CContactFormView& view, AddressBookStore& store, CContactUpload& upload, Today today)
    : m_view(view), m_store(store), m_upload(upload), m_today(today ? std::move(today) : Today(&LocalToday))
{
}

std::optional<ContactRecord> CContactFormDlg::Check(const ContactFormFields& in)
{
    ZLOG_SCOPE();
    if (!in.readable) {
        m_view.MessageBox("Unable to get data from fields");
        return std::nullopt;
    }
    ContactRecord r;
    r.firstName = Trim(in.firstName);
    r.title = Trim(in.title);
    r.middleName = Trim(in.middleName);
    r.lastName = Trim(in.lastName);
    r.email = Trim(in.email);
    r.voip = Trim(in.voip);
    r.mobile = Trim(in.mobile);
    r.home = Trim(in.home);
    r.business = Trim(in.business);
    r.altEmail = Trim(in.altEmail);
    r.fax = Trim(in.fax);
    r.pager = Trim(in.pager);
    r.icq = Trim(in.icq);
    r.website = Trim(in.website);
    r.companyName = Trim(in.companyName);
    r.comments = Trim(in.comments);
    if (r.firstName.empty()) {
        m_view.MessageBox("Please enter First Name");
        m_view.Focus(CContactFormView::FIELD_FIRST_NAME);
        return std::nullopt;
    }
    if (r.email.empty()) {
        m_view.MessageBox("Please enter email");
        m_view.Focus(CContactFormView::FIELD_EMAIL);
        return std::nullopt;
    }
    const std::pair<const std::string*, const char*> bars[] = {
        {&r.email, "Bar Sign(|) is not allowed in any fields"},
        {&r.voip, "Bar Sign(|) is not allowed in VOIP number"},
        {&r.mobile, "Bar Sign(|) is not allowed in mobile number"},
        {&r.home, "Bar Sign(|) is not allowed in home number"},
        {&r.business, "Bar Sign(|) is not allowed in business number"},
        {&r.firstName, "Bar Sign(|) is not allowed in title"},
        {&r.title, "Bar Sign(|) is not allowed in title"},
        {&r.middleName, "Bar Sign(|) is not allowed in Middle Name"},
        {&r.lastName, "Bar Sign(|) is not allowed in Last Name"},
        {&r.altEmail, "Bar Sign(|) is not allowed in Alternate E-Mail"},
        {&r.fax, "Bar Sign(|) is not allowed in Fax Number"},
        {&r.pager, "Bar Sign(|) is not allowed in Pager Number"},
        {&r.icq, "Bar Sign(|) is not allowed in ICQ"},
        {&r.website, "Bar Sign(|) is not allowed in Website"},
        {&r.companyName, "Bar Sign(|) is not allowed in Company Name"},
        {&r.comments, "Bar Sign(|) is not allowed in Comments"},
    };
    for (const auto& [field, message] : bars) {
        if (field->find('|') != std::string::npos) {
            m_view.MessageBox(message);
            return std::nullopt;
        }
    }
    if (r.comments.find_first_of("\r\n") != std::string::npos) {
        m_view.MessageBox("Enter is not allowed in Comments");
        return std::nullopt;
    }
    if (in.birthDate && !(*in.birthDate == m_today())) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d-%02d-%02d", in.birthDate->year, in.birthDate->month, in.birthDate->day);
        r.birthDate = text;
    } else {
        r.birthDate = " ";
    }
    r.name = " ";
    // A field over 255 characters, or a contact whose line would pass the
    // 765 characters read back, would not survive the file.
    if (const char* problem = ContactLine::RecordProblem(r)) {
        m_view.MessageBox(std::string("The contact is too long to be stored (") + problem + ")");
        return std::nullopt;
    }
    return r;
}

ContactFormFields CContactFormDlg::FieldsOf(const ContactRecord& r)
{
    ContactFormFields f;
    f.firstName = r.firstName;
    f.title = r.title;
    f.middleName = r.middleName;
    f.lastName = r.lastName;
    f.email = r.email;
    f.voip = r.voip;
    f.mobile = r.mobile;
    f.home = r.home;
    f.business = r.business;
    f.altEmail = r.altEmail;
    f.fax = r.fax;
    f.pager = r.pager;
    f.icq = r.icq;
    f.website = r.website;
    f.companyName = r.companyName;
    f.comments = r.comments;
    int y = 0, m = 0, d = 0;
    if (std::sscanf(r.birthDate.c_str(), "%d-%d-%d", &y, &m, &d) == 3)
        f.birthDate = ContactFormFields::Date{y, m, d};
    return f;
}

bool CAddContactDlg::OnOK(const ContactFormFields& fields)
{
    ZLOG_SCOPE();
    std::optional<ContactRecord> r = Check(fields);
    if (!r)
        return false;
    std::string entryNumber;
    if (!m_upload.Run(CAddressBookNetStatusDlg::KIND_ADD, *r, entryNumber) || entryNumber.empty())
        return false;
    r->entryNumber = entryNumber;
    if (m_store.Add(*r) != 0)
        ZLOG(LOG_ERROR, "Unable to add entry %s locally", entryNumber.c_str());
    m_view.Close();
    return true;
}

CEditContactDlg::CEditContactDlg(CContactFormView& view, AddressBookStore& store, CContactUpload& upload,
                                 ContactRecord entry, Today today)
    : CContactFormDlg(view, store, upload, std::move(today)), m_entry(std::move(entry))
{
}

std::string CEditContactDlg::Title() const
{
    if (m_entry.firstName.empty())
        return "Edit Contact - ";
    return "Edit Contact - " + m_entry.firstName + " " + m_entry.middleName + " " + m_entry.lastName;
}

bool CEditContactDlg::OnOK(const ContactFormFields& fields)
{
    ZLOG_SCOPE();
    std::optional<ContactRecord> r = Check(fields);
    if (!r)
        return false;
    r->entryNumber = m_entry.entryNumber;
    std::string entryNumber;
    if (!m_upload.Run(CAddressBookNetStatusDlg::KIND_UPDATE, *r, entryNumber))
        return false;
    if (m_store.Update(*r) != 0) {
        m_view.MessageBox("Can not update entry. Entry in local file!");
        return false;
    }
    m_view.Close();
    return true;
}
