#include "CSubscriberStore.h"

#include "SimText.h"

#include "platform/HexString.h"
#include "platform/ProfileFile.h"

// Narrow text only: bytes pass through as they are.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

// Field values may hold anything; the file keeps them one per line and '|'-separated.
std::string Encode(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (c < 0x21 || c == 0x7F || c == '%' || c == '|' || c == ';' || c == '#' || c == '=') {
            out += '%';
            zelora::AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool Decode(const std::string& value, std::string& out) { return PercentDecode(value, false, out); }

// The account's values are stored escaped; one written by hand with a bare '%' stays as it is.
std::string DecodeValue(const char* stored)
{
    std::string value;
    return Decode(stored, value) ? value : std::string(stored);
}

// "from|text" or "from|when", as the advertisement, SMS and missed-call lines hold them.
bool DecodePair(const std::string& value, std::pair<std::string, std::string>& item)
{
    auto parts = SplitText(value, '|');
    return parts.size() == 2 && Decode(parts[0], item.first) && Decode(parts[1], item.second);
}

std::string EncodePair(const std::pair<std::string, std::string>& item)
{
    return Encode(item.first) + "|" + Encode(item.second);
}

// "sms.N = from|text" and "missed.N = from|when": 1 read, 0 not such a line, -1 malformed.
int LoadPair(const std::string& key, const std::string& value, CSubscriberStore::Account& account)
{
    auto* list = key.rfind("sms.", 0) == 0 ? &account.sms : key.rfind("missed.", 0) == 0 ? &account.missed : nullptr;
    if (list == nullptr)
        return 0;
    std::pair<std::string, std::string> item;
    if (!DecodePair(value, item))
        return -1;
    list->push_back(std::move(item));
    return 1;
}

void SavePairs(const char* name, const CSubscriberStore::Pairs& list, std::string& text)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        text += std::string(name) + "." + std::to_string(i + 1) + " = " + EncodePair(list[i]) + "\n";
}

// "entry.SNO = changed|name|...|comments"
bool LoadEntry(const std::string& key, const std::string& value, CSubscriberStore::Entry& entry, std::string& error)
{
    long long sno = 0;
    auto parts = SplitText(value, '|');
    if (!ParseDecimal(key.substr(6), sno) || parts.size() != CSubscriberStore::kFieldCount + 1 ||
        !ParseDecimal(parts[0], entry.changed)) {
        error = "bad entry " + key;
        return false;
    }
    entry.sno = static_cast<long>(sno);
    for (std::size_t i = 0; i < CSubscriberStore::kFieldCount; ++i) {
        if (!Decode(parts[i + 1], entry.fields[i])) {
            error = "bad entry field in " + key;
            return false;
        }
    }
    return true;
}

bool LoadUser(CSimpleIniA& ini, const char* section, CSubscriberStore::Account& account, std::string& error)
{
    account.balance = DecodeValue(ini.GetValue(section, "balance", "0.00"));
    account.smsBalance = DecodeValue(ini.GetValue(section, "smsbalance", "0"));
    account.lvl3 = DecodeValue(ini.GetValue(section, "lvl3", ""));
    account.inbox = DecodeValue(ini.GetValue(section, "inbox", "0"));
    long long number = 0;
    if (ParseDecimal(ini.GetValue(section, "deletedat", "0"), number))
        account.deletedAt = number;
    if (ParseDecimal(ini.GetValue(section, "nextsno", "1"), number))
        account.nextSno = static_cast<long>(number);
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(section, keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& key : keys) {
        const std::string keyName = key.pItem;
        const std::string value = ini.GetValue(section, key.pItem, "");
        const int pairs = LoadPair(keyName, value, account);
        if (pairs < 0) {
            error = "bad line " + keyName;
            return false;
        }
        if (pairs > 0 || keyName.rfind("entry.", 0) != 0)
            continue;
        CSubscriberStore::Entry entry;
        if (!LoadEntry(keyName, value, entry, error))
            return false;
        account.nextSno = std::max(account.nextSno, entry.sno + 1);
        account.entries.push_back(std::move(entry));
    }
    return true;
}

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

const std::array<const char*, CSubscriberStore::kFieldCount>& CSubscriberStore::FieldTags()
{
    static const std::array<const char*, kFieldCount> tags = {
        "name",     "email",     "voip",        "mobile",   "home", "business", "title", "firstname", "middlename",
        "lastname", "birthdate", "companyname", "altemail", "fax",  "pager",    "icq",   "website",   "comments"};
    return tags;
}

bool CSubscriberStore::Load(const std::string& path, std::string& error)
{
    m_path = path;
    if (access(path.c_str(), F_OK) != 0)
        return true;
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile(path.c_str()) < 0) {
        error = "cannot read the data file";
        return false;
    }
    m_version = ini.GetValue("server", "version", m_version.c_str());
    m_downloadLink = ini.GetValue("server", "downloadlink", "");
    long long clock = 0;
    if (ParseDecimal(ini.GetValue("server", "clock", "0"), clock))
        m_clock = clock;
    m_ads.clear();
    for (int i = 1; i < 1000; ++i) {
        const char* value = ini.GetValue("server", ("ad" + std::to_string(i)).c_str(), nullptr);
        if (value == nullptr)
            break;
        std::pair<std::string, std::string> ad;
        if (!DecodePair(value, ad)) {
            error = "bad advertisement line";
            return false;
        }
        m_ads.push_back(std::move(ad));
    }
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    for (const auto& section : sections) {
        const std::string name = section.pItem;
        if (name.rfind("user:", 0) != 0)
            continue;
        std::string userId;
        if (!Decode(name.substr(5), userId)) {
            error = "bad user section " + name;
            return false;
        }
        Account account;
        if (!LoadUser(ini, section.pItem, account, error))
            return false;
        m_accounts[userId] = std::move(account);
    }
    return true;
}

bool CSubscriberStore::Save(std::string& error)
{
    std::string text = "[server]\n";
    text += "version = " + m_version + "\n";
    text += "downloadlink = " + m_downloadLink + "\n";
    text += "clock = " + std::to_string(m_clock) + "\n";
    for (std::size_t i = 0; i < m_ads.size(); ++i)
        text += "ad" + std::to_string(i + 1) + " = " + EncodePair(m_ads[i]) + "\n";
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
            for (const std::string& field : entry.fields)
                text += "|" + Encode(field);
            text += "\n";
        }
        SavePairs("sms", account.sms, text);
        SavePairs("missed", account.missed, text);
    }
    if (zelora::ReplaceFileContents(m_path, text) != 0) {
        error = "cannot write the data file";
        return false;
    }
    return true;
}

CSubscriberStore::Account* CSubscriberStore::Find(const std::string& userId)
{
    auto it = m_accounts.find(userId);
    return it == m_accounts.end() ? nullptr : &it->second;
}

std::vector<CSubscriberStore::Entry>::iterator CSubscriberStore::FindEntry(Account& account, long long sno)
{
    return std::find_if(account.entries.begin(), account.entries.end(), [sno](const Entry& e) { return e.sno == sno; });
}

bool CSubscriberStore::Commit(Account& account, Account& changed, std::string& error)
{
    std::swap(account, changed);
    if (Save(error))
        return true;
    std::swap(account, changed);
    return false;
}

long long CSubscriberStore::NextStamp()
{
    const long long now = NowMs();
    m_clock = now > m_clock ? now : m_clock + 1;
    return m_clock;
}
