#include "CWebServiceApi.h"

#include "SimText.h"

#include "web/WebApi.h"

#include <cstring>
#include <utility>

namespace {

using Form = CWebServiceApi::Form;
using Entry = CSubscriberStore::Entry;

bool ParseForm(const std::string& plain, Form& form)
{
    if (plain.rfind("action=", 0) != 0)
        return false;
    const std::size_t actionEnd = plain.find("&transId=");
    const std::size_t apiUser = plain.find("&apiUserName=", actionEnd == std::string::npos ? 0 : actionEnd);
    const std::size_t userPos = plain.find("&userId=", apiUser == std::string::npos ? 0 : apiUser);
    const std::size_t stampPos = plain.rfind("&timeStamp=");
    if (actionEnd == std::string::npos || apiUser == std::string::npos || userPos == std::string::npos ||
        stampPos == std::string::npos || stampPos < userPos)
        return false;
    form.action = plain.substr(7, actionEnd - 7);
    form.transId = plain.substr(actionEnd + 9, apiUser - actionEnd - 9);
    const std::size_t userStart = userPos + 8;
    form.timeStamp = plain.substr(stampPos + 11);
    std::size_t userEnd = stampPos;
    auto between = [&](const char* key, std::string& out, std::size_t end) -> std::size_t {
        std::size_t at = plain.find(key, userStart);
        if (at == std::string::npos || at > end)
            return std::string::npos;
        const std::size_t start = at + std::strlen(key);
        out = plain.substr(start, end - start);
        return at;
    };
    if (form.action == "_qrylist") {
        userEnd = between("&lastcheckts=", form.lastCheckTs, stampPos);
    } else if (form.action == "_addent" || form.action == "_updent") {
        userEnd = between("&data=", form.data, stampPos);
    } else if (form.action == "_delent") {
        const std::size_t snoPos = plain.rfind("&sno=");
        if (snoPos == std::string::npos || snoPos < userStart || snoPos > stampPos)
            return false;
        form.sno = plain.substr(snoPos + 5, stampPos - snoPos - 5);
        userEnd = between("&name=", form.name, snoPos);
    }
    if (userEnd == std::string::npos)
        return false;
    form.userId = plain.substr(userStart, userEnd - userStart);
    return true;
}

// Inner text of <tag>...</tag> in an entry; absent tags are empty.
bool EntryField(const std::string& entry, const std::string& tag, std::string& value)
{
    value.clear();
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag + ">";
    std::size_t start = entry.find(open);
    if (start == std::string::npos)
        return true;
    start += open.size();
    std::size_t end = entry.find(close, start);
    if (end == std::string::npos)
        return false;
    value = entry.substr(start, end - start);
    return value.size() <= CSubscriberStore::kMaxField && value.find('<') == std::string::npos;
}

bool ParseEntry(const std::string& data, Entry& entry, std::string& sno)
{
    const std::size_t open = data.find("<entry>");
    const std::size_t close = data.rfind("</entry>");
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    const std::string inner = data.substr(open + 7, close - open - 7);
    const auto& tags = CSubscriberStore::FieldTags();
    for (std::size_t i = 0; i < tags.size(); ++i)
        if (!EntryField(inner, tags[i], entry.fields[i]))
            return false;
    return EntryField(inner, "sno", sno);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameContact(const Entry& a, const Entry& b)
{
    // name, first, middle and last name together say who the contact is.
    for (std::size_t i : {0u, 7u, 8u, 9u}) {
        const std::string& x = a.fields[i];
        const std::string& y = b.fields[i];
        if (x.size() != y.size())
            return false;
        for (std::size_t k = 0; k < x.size(); ++k)
            if (Lower(x[k]) != Lower(y[k]))
                return false;
    }
    return true;
}

std::string SafeTransId(const std::string& transId)
{
    long long ignored = 0;
    return transId.size() <= 16 && ParseDecimal(transId, ignored) ? transId : "0";
}

} // namespace

std::string CWebServiceApi::Envelope(const std::string& transId, int code, const std::string& desc,
                                     const std::string& payload)
{
    return "<result><transId>" + transId + "</transId><status>" + (code < 0 ? "failure" : "success") +
        "</status><code>" + std::to_string(code) + "</code><desc>" + desc + "</desc><data>" + payload +
        "</data></result>";
}

std::string CWebServiceApi::AddressBookPayload(const Account& account, long long since, bool complete) const
{
    std::string payload = "<timestamp>" + std::to_string(m_store.Clock()) + "</timestamp><addressbook>";
    const auto& tags = CSubscriberStore::FieldTags();
    for (const Entry& entry : account.entries) {
        if (!complete && entry.changed <= since)
            continue;
        payload += "<entry><sno>" + std::to_string(entry.sno) + "</sno>";
        for (std::size_t i = 0; i < CSubscriberStore::kFieldCount; ++i)
            payload += std::string("<") + tags[i] + ">" + entry.fields[i] + "</" + tags[i] + ">";
        payload += "</entry>";
    }
    return payload + "</addressbook>";
}

void CWebServiceApi::FailNext(int httpStatus, int count)
{
    m_failStatus = httpStatus;
    m_failCount = count;
}

std::string CWebServiceApi::RequestCounts() const
{
    std::string text;
    for (const auto& [action, count] : m_requests)
        text += action + " " + std::to_string(count) + "\n";
    return text;
}

std::string CWebServiceApi::Handle(const std::string& body, bool oversize, int& httpStatus)
{
    static const std::map<std::string, Handler> kActions = {
        {"_getbal", &CWebServiceApi::Balance},      {"_getlvl3", &CWebServiceApi::VoipNumber},
        {"_qrysms", &CWebServiceApi::Inbox},        {"_initaddbk", &CWebServiceApi::AddressBook},
        {"_qrylist", &CWebServiceApi::AddressBook}, {"_addent", &CWebServiceApi::AddEntry},
        {"_updent", &CWebServiceApi::UpdateEntry},  {"_delent", &CWebServiceApi::DeleteEntry},
        {"_delAll", &CWebServiceApi::DeleteAll}};
    httpStatus = 200;
    if (oversize) {
        httpStatus = 413;
        return Envelope("0", -2, "Request too large", "");
    }
    if (m_failCount > 0) {
        --m_failCount;
        httpStatus = m_failStatus;
        return "Failing on purpose\n";
    }
    std::string plain;
    Form form;
    if (body.rfind("msg=", 0) != 0 || zelora::web::DecodeRequestBody(body, plain) != 1 || !ParseForm(plain, form))
        return Envelope("0", -2, "Bad request", "");
    const std::string transId = SafeTransId(form.transId);
    Count(form.action.substr(0, CSubscriberStore::kMaxField));
    if (form.action == "_getver")
        return Envelope(transId, 0, "Version",
                        "<versionnumber>" + m_store.Version() + "</versionnumber><downloadlink>" +
                            m_store.DownloadLink() + "</downloadlink>");
    auto action = kActions.find(form.action);
    if (action == kActions.end())
        return Envelope(transId, -4, "Unknown action", "");
    Account* account = m_store.Find(form.userId);
    if (account == nullptr)
        return Envelope(transId, -1, "Unknown user", "");
    return (this->*action->second)(form, transId, *account);
}

std::string CWebServiceApi::Balance(const Form&, const std::string& transId, Account& account)
{
    return Envelope(transId, 0, "Balance",
                    "<balance>" + account.balance + "</balance><smsbalance>" + account.smsBalance + "</smsbalance>");
}

std::string CWebServiceApi::VoipNumber(const Form& form, const std::string& transId, Account& account)
{
    return Envelope(transId, 0, "Voip number", "<lvl3>" + account.lvl3 + "</lvl3><userid>" + form.userId + "</userid>");
}

std::string CWebServiceApi::Inbox(const Form&, const std::string& transId, Account& account)
{
    return Envelope(transId, 0, "Inbox", "<balance>" + account.inbox + "</balance>");
}

std::string CWebServiceApi::AddressBook(const Form& form, const std::string& transId, Account& account)
{
    long long since = 0;
    // A deletion since the client's last look leaves it only the whole book to compare.
    const bool complete =
        form.action == "_initaddbk" || !ParseDecimal(form.lastCheckTs, since) || account.deletedAt > since;
    return Envelope(transId, complete ? 1001 : 0, "Address book", AddressBookPayload(account, since, complete));
}

std::string CWebServiceApi::Store(const std::string& transId, Account& account, Account& changed,
                                  const std::string& desc, const std::string& payload)
{
    std::string error;
    if (!m_store.Commit(account, changed, error))
        return Envelope(transId, -6, "Unable to store", "");
    return Envelope(transId, 0, desc, payload);
}

std::string CWebServiceApi::DeleteAll(const Form&, const std::string& transId, Account& account)
{
    Account changed = account;
    changed.entries.clear();
    changed.deletedAt = m_store.NextStamp();
    return Store(transId, account, changed, "Deleted", "");
}

std::string CWebServiceApi::DeleteEntry(const Form& form, const std::string& transId, Account& account)
{
    long long sno = 0;
    if (!ParseDecimal(form.sno, sno))
        return Envelope(transId, -2, "Bad request", "");
    Account changed = account;
    auto entry = CSubscriberStore::FindEntry(changed, sno);
    if (entry == changed.entries.end())
        return Envelope(transId, -3, "No such entry", "");
    changed.entries.erase(entry);
    changed.deletedAt = m_store.NextStamp();
    return Store(transId, account, changed, "Deleted", "<sno>" + form.sno + "</sno>");
}

std::string CWebServiceApi::AddEntry(const Form& form, const std::string& transId, Account& account)
{
    Entry entry;
    std::string snoText;
    if (!ParseEntry(form.data, entry, snoText))
        return Envelope(transId, -2, "Bad entry", "");
    for (const Entry& existing : account.entries)
        if (SameContact(existing, entry))
            return Envelope(transId, -1005, "User name already exist", "");
    Account changed = account;
    entry.sno = changed.nextSno++;
    entry.changed = m_store.NextStamp();
    changed.entries.push_back(entry);
    return Store(transId, account, changed, "Stored", "<sno>" + std::to_string(entry.sno) + "</sno>");
}

std::string CWebServiceApi::UpdateEntry(const Form& form, const std::string& transId, Account& account)
{
    Entry entry;
    std::string snoText;
    long long sno = 0;
    if (!ParseEntry(form.data, entry, snoText) || !ParseDecimal(snoText, sno))
        return Envelope(transId, -2, "Bad entry", "");
    Account changed = account;
    auto existing = CSubscriberStore::FindEntry(changed, sno);
    if (existing == changed.entries.end())
        return Envelope(transId, -3, "No such entry", "");
    entry.sno = existing->sno;
    entry.changed = m_store.NextStamp();
    *existing = entry;
    return Store(transId, account, changed, "Stored", "<sno>" + std::to_string(entry.sno) + "</sno>");
}
