#include "addressbook/CViewContactsDlg.h"

#include "addressbook/AddressBookStore.h"
#include "addressbook/CAddressBookNetStatusDlg.h"
#include "addressbook/CContactUpload.h"
#include "app/CLogger.h"

CViewContactsDlg::CViewContactsDlg(CViewContactsView& view, AddressBookStore& store, CContactUpload& upload,
                                   CContactsPhone& phone)
    : m_view(view), m_store(store), m_upload(upload), m_phone(phone)
{
}

std::array<std::string, CViewContactsDlg::kColumnCount> CViewContactsDlg::Columns(const ContactRecord& r)
{
    return {r.firstName, r.middleName, r.lastName, r.voip,  r.mobile,  r.home,
            r.business,  r.fax,        r.pager,    r.email, r.altEmail};
}

void CViewContactsDlg::Refresh()
{
    ZLOG_SCOPE();
    m_rows.clear();
    for (const auto& [position, r] : m_store.LiveEntries())
        m_rows.push_back(Row{position, Columns(r), r.presence});
    m_view.ShowList();
}

std::optional<ContactRecord> CViewContactsDlg::Selected(std::size_t row)
{
    if (row >= m_rows.size())
        return std::nullopt;
    std::optional<ContactRecord> r = m_store.GetByPosition(m_rows[row].position);
    if (!r || !r->IsLive())
        return std::nullopt;
    return r;
}

void CViewContactsDlg::OnEdit(std::optional<std::size_t> selection)
{
    ZLOG_SCOPE();
    if (!selection || *selection >= m_rows.size()) {
        m_view.MessageBox("Please select any contact from list to edit");
        return;
    }
    std::optional<ContactRecord> r = Selected(*selection);
    if (!r) {
        m_view.MessageBox("Unable to edit entry");
        return;
    }
    m_view.OpenEdit(*r);
    Refresh();
}

void CViewContactsDlg::OnDelete(std::optional<std::size_t> selection)
{
    ZLOG_SCOPE();
    if (!selection || *selection >= m_rows.size()) {
        m_view.MessageBox("Please select any contact from list to delete");
        return;
    }
    if (!m_view.AskYesNo("Are you sure that you want to delete this contact?"))
        return;
    std::optional<ContactRecord> r = Selected(*selection);
    if (!r) {
        m_view.MessageBox("Unable to delete entry");
        return;
    }
    std::string entryNumber;
    if (!m_upload.Run(CAddressBookNetStatusDlg::KIND_DELETE, *r, entryNumber))
        return;
    // Found again by its number: another process may have moved it meanwhile.
    int position = m_store.Find(std::strtol(r->entryNumber.c_str(), nullptr, 10));
    if (position >= 0)
        m_store.MarkDeleted(static_cast<std::size_t>(position));
    Refresh();
}

void CViewContactsDlg::OnDeleteAll()
{
    ZLOG_SCOPE();
    Refresh();
    if (m_rows.empty()) {
        m_view.MessageBox("Contact list is blank. Please add a contact");
        return;
    }
    if (!m_view.AskYesNo("Are you sure you want to delete all contacts?"))
        return;
    std::string entryNumber;
    if (!m_upload.Run(CAddressBookNetStatusDlg::KIND_DELETE_ALL, ContactRecord{}, entryNumber))
        return;
    m_store.DeleteAll();
    Refresh();
}

void CViewContactsDlg::OnCall(std::optional<std::size_t> selection, int column)
{
    ZLOG_SCOPE();
    if (!selection || *selection >= m_rows.size()) {
        m_view.MessageBox("Please select any contact form list to make call");
        return;
    }
    if (column < COLUMN_VOIP || column > COLUMN_BUSINESS || m_rows[*selection].columns[column].empty()) {
        m_view.MessageBox("Please select any valid item to make call");
        return;
    }
    if (m_phone.IsCallInProgress()) {
        m_view.MessageBox("Cannot call when call is in progress");
        return;
    }
    m_phone.Call(m_rows[*selection].columns[column]);
    m_view.Close();
}

void CViewContactsDlg::OnSms(std::optional<std::size_t> selection, int column)
{
    ZLOG_SCOPE();
    if (!selection || *selection >= m_rows.size()) {
        m_view.MessageBox("Please select any contact form list to send sms");
        return;
    }
    if (column < COLUMN_VOIP || column > COLUMN_BUSINESS || m_rows[*selection].columns[column].empty()) {
        m_view.MessageBox("Please select any valid item to send sms");
        return;
    }
    m_phone.Sms(m_rows[*selection].columns[column]);
    m_view.Close();
}
