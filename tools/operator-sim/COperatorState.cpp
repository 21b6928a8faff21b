#include "COperatorState.h"

#include "CPortalPages.h"
#include "UrlForm.h"

#include "platform/XmlText.h"
#include "web/WebApi.h"

// Narrow text only: bytes pass through as they are.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* kHexDigits = "0123456789ABCDEF";

// Field values may hold anything; the file keeps them one per line and '|'-separated.
std::string Encode(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (c < 0x21 || c == 0x7F || c == '%' || c == '|' || c == ';' || c == '#' || c == '=') {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool Decode(const std::string& value, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size()) {
            return false;
        }
        const int high = HexValue(value[i + 1]);
        const int low = HexValue(value[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool ParseLong(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 18) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    value = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

// "sms.N = from|text" and "missed.N = from|when": 1 read, 0 not such a line, -1 malformed.
int LoadPair(const std::string& key, const std::string& value, COperatorState::Account& account)
{
    auto* list = key.rfind("sms.", 0) == 0 ? &account.sms : key.rfind("missed.", 0) == 0 ? &account.missed : nullptr;
    if (list == nullptr) {
        return 0;
    }
    auto parts = Split(value, '|');
    std::pair<std::string, std::string> item;
    if (parts.size() != 2 || !Decode(parts[0], item.first) || !Decode(parts[1], item.second)) {
        return -1;
    }
    list->push_back(std::move(item));
    return 1;
}

void SavePairs(const char* name, const std::vector<std::pair<std::string, std::string>>& list, std::string& text)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        text += std::string(name) + "." + std::to_string(i + 1) + " = " + Encode(list[i].first) + "|" +
            Encode(list[i].second) + "\n";
    }
}

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The request form, whose values are not escaped: each value runs to the next expected key.
struct Form {
    std::string action;
    std::string transId;
    std::string userId;
    std::string lastCheckTs;
    std::string data;
    std::string name;
    std::string sno;
    std::string timeStamp;
};

bool ParseForm(const std::string& plain, Form& form)
{
    if (plain.rfind("action=", 0) != 0) {
        return false;
    }
    const std::size_t actionEnd = plain.find("&transId=");
    const std::size_t apiUser = plain.find("&apiUserName=", actionEnd == std::string::npos ? 0 : actionEnd);
    const std::size_t userPos = plain.find("&userId=", apiUser == std::string::npos ? 0 : apiUser);
    const std::size_t stampPos = plain.rfind("&timeStamp=");
    if (actionEnd == std::string::npos || apiUser == std::string::npos || userPos == std::string::npos ||
        stampPos == std::string::npos || stampPos < userPos) {
        return false;
    }
    form.action = plain.substr(7, actionEnd - 7);
    form.transId = plain.substr(actionEnd + 9, apiUser - actionEnd - 9);
    const std::size_t userStart = userPos + 8;
    form.timeStamp = plain.substr(stampPos + 11);
    std::size_t userEnd = stampPos;
    auto between = [&](const char* key, std::string& out, std::size_t end) -> std::size_t {
        std::size_t at = plain.find(key, userStart);
        if (at == std::string::npos || at > end) {
            return std::string::npos;
        }
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
        if (snoPos == std::string::npos || snoPos < userStart || snoPos > stampPos) {
            return false;
        }
        form.sno = plain.substr(snoPos + 5, stampPos - snoPos - 5);
        userEnd = between("&name=", form.name, snoPos);
    }
    if (userEnd == std::string::npos) {
        return false;
    }
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
    if (start == std::string::npos) {
        return true;
    }
    start += open.size();
    std::size_t end = entry.find(close, start);
    if (end == std::string::npos) {
        return false;
    }
    value = entry.substr(start, end - start);
    return value.size() <= COperatorState::kMaxField && value.find('<') == std::string::npos;
}

bool ParseEntry(const std::string& data, COperatorState::Entry& entry, std::string& sno)
{
    const std::size_t open = data.find("<entry>");
    const std::size_t close = data.rfind("</entry>");
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    const std::string inner = data.substr(open + 7, close - open - 7);
    const auto& tags = COperatorState::FieldTags();
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (!EntryField(inner, tags[i], entry.fields[i])) {
            return false;
        }
    }
    return EntryField(inner, "sno", sno);
}

bool SameContact(const COperatorState::Entry& a, const COperatorState::Entry& b)
{
    // name, first, middle and last name together say who the contact is.
    for (std::size_t i : {0u, 7u, 8u, 9u}) {
        const std::string& x = a.fields[i];
        const std::string& y = b.fields[i];
        if (x.size() != y.size()) {
            return false;
        }
        for (std::size_t k = 0; k < x.size(); ++k) {
            char p = x[k];
            char q = y[k];
            if (p >= 'A' && p <= 'Z') {
                p = static_cast<char>(p + 32);
            }
            if (q >= 'A' && q <= 'Z') {
                q = static_cast<char>(q + 32);
            }
            if (p != q) {
                return false;
            }
        }
    }
    return true;
}

std::string SafeTransId(const std::string& transId)
{
    if (transId.empty() || transId.size() > 16) {
        return "0";
    }
    for (char c : transId) {
        if (c < '0' || c > '9') {
            return "0";
        }
    }
    return transId;
}

} // namespace

const std::array<const char*, COperatorState::kFieldCount>& COperatorState::FieldTags()
{
    static const std::array<const char*, kFieldCount> tags = {
        "name",     "email",     "voip",        "mobile",   "home", "business", "title", "firstname", "middlename",
        "lastname", "birthdate", "companyname", "altemail", "fax",  "pager",    "icq",   "website",   "comments"};
    return tags;
}

bool COperatorState::Load(const std::string& path, std::string& error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_path = path;
    if (access(path.c_str(), F_OK) != 0) {
        return true;
    }
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile(path.c_str()) < 0) {
        error = "cannot read the data file";
        return false;
    }
    m_version = ini.GetValue("server", "version", m_version.c_str());
    m_downloadLink = ini.GetValue("server", "downloadlink", "");
    long long clock = 0;
    if (ParseLong(ini.GetValue("server", "clock", "0"), clock)) {
        m_clock = clock;
    }
    m_ads.clear();
    for (int i = 1; i < 1000; ++i) {
        const char* value = ini.GetValue("server", ("ad" + std::to_string(i)).c_str(), nullptr);
        if (value == nullptr) {
            break;
        }
        auto parts = Split(value, '|');
        std::string text;
        std::string link;
        if (parts.size() != 2 || !Decode(parts[0], text) || !Decode(parts[1], link)) {
            error = "bad advertisement line";
            return false;
        }
        m_ads.emplace_back(text, link);
    }
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    for (const auto& section : sections) {
        std::string name = section.pItem;
        if (name.rfind("user:", 0) != 0) {
            continue;
        }
        std::string userId;
        if (!Decode(name.substr(5), userId)) {
            error = "bad user section " + name;
            return false;
        }
        Account account;
        account.balance = ini.GetValue(section.pItem, "balance", "0.00");
        account.smsBalance = ini.GetValue(section.pItem, "smsbalance", "0");
        account.lvl3 = ini.GetValue(section.pItem, "lvl3", "");
        account.inbox = ini.GetValue(section.pItem, "inbox", "0");
        long long number = 0;
        if (ParseLong(ini.GetValue(section.pItem, "deletedat", "0"), number)) {
            account.deletedAt = number;
        }
        if (ParseLong(ini.GetValue(section.pItem, "nextsno", "1"), number)) {
            account.nextSno = static_cast<long>(number);
        }
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(section.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& key : keys) {
            std::string keyName = key.pItem;
            const int pairs = LoadPair(keyName, ini.GetValue(section.pItem, key.pItem, ""), account);
            if (pairs < 0) {
                error = "bad line " + keyName;
                return false;
            }
            if (pairs > 0 || keyName.rfind("entry.", 0) != 0) {
                continue;
            }
            Entry entry;
            long long sno = 0;
            auto parts = Split(ini.GetValue(section.pItem, key.pItem, ""), '|');
            if (!ParseLong(keyName.substr(6), sno) || parts.size() != kFieldCount + 1 ||
                !ParseLong(parts[0], entry.changed)) {
                error = "bad entry " + keyName;
                return false;
            }
            entry.sno = static_cast<long>(sno);
            for (std::size_t i = 0; i < kFieldCount; ++i) {
                if (!Decode(parts[i + 1], entry.fields[i])) {
                    error = "bad entry field in " + keyName;
                    return false;
                }
            }
            if (entry.sno >= account.nextSno) {
                account.nextSno = entry.sno + 1;
            }
            account.entries.push_back(std::move(entry));
        }
        m_accounts[userId] = std::move(account);
    }
    return true;
}

bool COperatorState::Save(std::string& error)
{
    std::string text = "[server]\n";
    text += "version = " + m_version + "\n";
    text += "downloadlink = " + m_downloadLink + "\n";
    text += "clock = " + std::to_string(m_clock) + "\n";
    for (std::size_t i = 0; i < m_ads.size(); ++i) {
        text += "ad" + std::to_string(i + 1) + " = " + Encode(m_ads[i].first) + "|" + Encode(m_ads[i].second) + "\n";
    }
    for (const auto& [userId, account] : m_accounts) {
        text += "\n[user:" + Encode(userId) + "]\n";
        text += "balance = " + Encode(account.balance) + "\n";
        text += "smsbalance = " + Encode(account.smsBalance) + "\n";
        text += "lvl3 = " + Encode(account.lvl3) + "\n";
        text += "inbox = " + Encode(account.inbox) + "\n";
        text += "deletedat = " + std::to_string(account.deletedAt) + "\n";
        text += "nextsno = " + std::to_string(account.nextSno) + "\n";
        for (const Entry& entry : account.entries) {
            text += "entry." + std::to_string(entry.sno) + " = " + std::to_string(entry.changed);
            for (const std::string& field : entry.fields) {
                text += "|" + Encode(field);
            }
            text += "\n";
        }
        SavePairs("sms", account.sms, text);
        SavePairs("missed", account.missed, text);
    }
    const std::string temp = m_path + ".tmp";
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0 &&
        fsync(fileno(file)) == 0;
    if (std::fclose(file) != 0 || !written || std::rename(temp.c_str(), m_path.c_str()) != 0) {
        error = std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

long long COperatorState::NextStamp()
{
    const long long now = NowMs();
    m_clock = now > m_clock ? now : m_clock + 1;
    return m_clock;
}

std::string COperatorState::Envelope(const std::string& transId, int code, const std::string& desc,
                                     const std::string& payload) const
{
    return "<result><transId>" + transId + "</transId><status>" + (code < 0 ? "failure" : "success") +
        "</status><code>" + std::to_string(code) + "</code><desc>" + desc + "</desc><data>" + payload +
        "</data></result>";
}

std::string COperatorState::AddressBookPayload(const Account& account, long long since, bool complete) const
{
    std::string payload = "<timestamp>" + std::to_string(m_clock) + "</timestamp><addressbook>";
    const auto& tags = FieldTags();
    for (const Entry& entry : account.entries) {
        if (!complete && entry.changed <= since) {
            continue;
        }
        payload += "<entry><sno>" + std::to_string(entry.sno) + "</sno>";
        for (std::size_t i = 0; i < kFieldCount; ++i) {
            payload += std::string("<") + tags[i] + ">" + entry.fields[i] + "</" + tags[i] + ">";
        }
        payload += "</entry>";
    }
    return payload + "</addressbook>";
}

std::string COperatorState::HandleWebService(const std::string& body, bool oversize, int& httpStatus)
{
    std::lock_guard<std::mutex> lock(m_lock);
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
    if (body.rfind("msg=", 0) != 0 || zelora::web::DecodeRequestBody(body, plain) != 1) {
        return Envelope("0", -2, "Bad request", "");
    }
    Form form;
    if (!ParseForm(plain, form)) {
        return Envelope("0", -2, "Bad request", "");
    }
    const std::string transId = SafeTransId(form.transId);
    ++m_requests[form.action.substr(0, kMaxField)];
    if (form.action == "_getver") {
        return Envelope(transId, 0, "Version",
                        "<versionnumber>" + m_version + "</versionnumber><downloadlink>" + m_downloadLink +
                            "</downloadlink>");
    }
    static const char* known[] = {"_getbal", "_getlvl3", "_qrysms", "_initaddbk", "_qrylist",
                                  "_addent", "_updent",  "_delent", "_delAll"};
    bool isKnown = false;
    for (const char* action : known) {
        isKnown = isKnown || form.action == action;
    }
    if (!isKnown) {
        return Envelope(transId, -4, "Unknown action", "");
    }
    auto it = m_accounts.find(form.userId);
    if (it == m_accounts.end()) {
        return Envelope(transId, -1, "Unknown user", "");
    }
    Account& account = it->second;
    if (form.action == "_getbal") {
        return Envelope(transId, 0, "Balance",
                        "<balance>" + account.balance + "</balance><smsbalance>" + account.smsBalance +
                            "</smsbalance>");
    }
    if (form.action == "_getlvl3") {
        return Envelope(transId, 0, "Voip number",
                        "<lvl3>" + account.lvl3 + "</lvl3><userid>" + form.userId + "</userid>");
    }
    if (form.action == "_qrysms") {
        return Envelope(transId, 0, "Inbox", "<balance>" + account.inbox + "</balance>");
    }
    if (form.action == "_initaddbk" || form.action == "_qrylist") {
        long long since = 0;
        const bool complete =
            form.action == "_initaddbk" || !ParseLong(form.lastCheckTs, since) || account.deletedAt > since;
        return Envelope(transId, complete ? 1001 : 0, "Address book", AddressBookPayload(account, since, complete));
    }
    std::string error;
    if (form.action == "_delAll") {
        Account changed = account;
        changed.entries.clear();
        changed.deletedAt = NextStamp();
        std::swap(account, changed);
        if (!Save(error)) {
            std::swap(account, changed);
            return Envelope(transId, -6, "Unable to store", "");
        }
        return Envelope(transId, 0, "Deleted", "");
    }
    long long sno = 0;
    if (form.action == "_delent") {
        if (!ParseLong(form.sno, sno)) {
            return Envelope(transId, -2, "Bad request", "");
        }
        Account changed = account;
        auto entry = std::find_if(changed.entries.begin(), changed.entries.end(),
                                  [sno](const Entry& e) { return e.sno == sno; });
        if (entry == changed.entries.end()) {
            return Envelope(transId, -3, "No such entry", "");
        }
        changed.entries.erase(entry);
        changed.deletedAt = NextStamp();
        std::swap(account, changed);
        if (!Save(error)) {
            std::swap(account, changed);
            return Envelope(transId, -6, "Unable to store", "");
        }
        return Envelope(transId, 0, "Deleted", "<sno>" + form.sno + "</sno>");
    }
    Entry entry;
    std::string snoText;
    if (!ParseEntry(form.data, entry, snoText)) {
        return Envelope(transId, -2, "Bad entry", "");
    }
    Account changed = account;
    if (form.action == "_addent") {
        for (const Entry& existing : changed.entries) {
            if (SameContact(existing, entry)) {
                return Envelope(transId, -1005, "User name already exist", "");
            }
        }
        entry.sno = changed.nextSno++;
        entry.changed = NextStamp();
        changed.entries.push_back(entry);
    } else {
        if (!ParseLong(snoText, sno)) {
            return Envelope(transId, -2, "Bad entry", "");
        }
        auto existing = std::find_if(changed.entries.begin(), changed.entries.end(),
                                     [sno](const Entry& e) { return e.sno == sno; });
        if (existing == changed.entries.end()) {
            return Envelope(transId, -3, "No such entry", "");
        }
        entry.sno = existing->sno;
        entry.changed = NextStamp();
        *existing = entry;
    }
    std::swap(account, changed);
    if (!Save(error)) {
        std::swap(account, changed);
        return Envelope(transId, -6, "Unable to store", "");
    }
    return Envelope(transId, 0, "Stored", "<sno>" + std::to_string(entry.sno) + "</sno>");
}

std::string COperatorState::RequestCounts()
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::string text;
    for (const auto& [action, count] : m_requests) {
        text += action + " " + std::to_string(count) + "\n";
    }
    return text;
}

std::string COperatorState::HandleAds()
{
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_requests["ads"];
    std::string list = "&lt;list&gt;";
    for (const auto& [text, link] : m_ads) {
        list += "&lt;item&gt;&lt;txt&gt;" + zelora::EscapeXml(text) + "&lt;/txt&gt;&lt;url&gt;" +
            zelora::EscapeXml(link) + "&lt;/url&gt;&lt;/item&gt;";
    }
    list += "&lt;/list&gt;";
    return "<html><body><pre>" + list + "</pre></body></html>";
}

std::string COperatorState::HandlePortal(const std::string& msgHex, int& httpStatus)
{
    std::lock_guard<std::mutex> lock(m_lock);
    zelora::web::CPortalLink::Request request;
    if (msgHex.size() > 2 * kMaxBody || zelora::web::CPortalLink::Read(msgHex, request) != 1) {
        return CPortalPages::BadLink(httpStatus);
    }
    auto it = m_accounts.find(request.userId);
    if (it == m_accounts.end()) {
        return CPortalPages::Render(request, nullptr, kPortalWindowMs, httpStatus);
    }
    const CPortalPages::Subscriber subscriber{it->second.lvl3, it->second.sms, it->second.missed};
    return CPortalPages::Render(request, &subscriber, kPortalWindowMs, httpStatus);
}

std::string COperatorState::HandleControl(const std::string& body, int& httpStatus)
{
    std::lock_guard<std::mutex> lock(m_lock);
    httpStatus = 400;
    std::map<std::string, std::string> form;
    std::string error;
    if (!ParseUrlForm(body, kMaxField, form, error)) {
        return error + "\n";
    }
    const std::string op = form["op"];
    if (op == "fail") {
        long long status = 0, count = 0;
        if (!ParseLong(form["status"], status) || status < 100 || status > 599 || !ParseLong(form["count"], count)) {
            return "bad fail\n";
        }
        m_failStatus = static_cast<int>(status);
        m_failCount = static_cast<int>(count);
        httpStatus = 200;
        return "ok\n";
    }
    auto it = m_accounts.find(form["user"]);
    if (it == m_accounts.end()) {
        httpStatus = 404;
        return "no such user\n";
    }
    Account changed = it->second;
    const auto& tags = FieldTags();
    long long sno = 0;
    if (op == "add") {
        Entry entry;
        for (std::size_t i = 0; i < tags.size(); ++i) {
            entry.fields[i] = form[tags[i]];
        }
        entry.sno = changed.nextSno++;
        entry.changed = NextStamp();
        sno = entry.sno;
        changed.entries.push_back(entry);
    } else if (op == "update" || op == "delete") {
        if (!ParseLong(form["sno"], sno)) {
            return "bad sno\n";
        }
        auto entry = std::find_if(changed.entries.begin(), changed.entries.end(),
                                  [sno](const Entry& e) { return e.sno == sno; });
        if (entry == changed.entries.end()) {
            httpStatus = 404;
            return "no such entry\n";
        }
        if (op == "delete") {
            changed.entries.erase(entry);
            changed.deletedAt = NextStamp();
        } else {
            for (std::size_t i = 0; i < tags.size(); ++i) {
                if (form.count(tags[i]) != 0) {
                    entry->fields[i] = form[tags[i]];
                }
            }
            entry->changed = NextStamp();
        }
    } else {
        return "unknown op\n";
    }
    std::swap(it->second, changed);
    error.clear();
    if (!Save(error)) {
        std::swap(it->second, changed);
        httpStatus = 500;
        return "unable to store: " + error + "\n";
    }
    httpStatus = 200;
    return "sno=" + std::to_string(sno) + "\n";
}
