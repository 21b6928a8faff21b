#include "web/CMXXMLParser.h"

#include "app/CLogger.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view TrimBlank(std::string_view v)
{
    while (!v.empty() && IsBlank(v.front())) {
        v.remove_prefix(1);
    }
    while (!v.empty() && IsBlank(v.back())) {
        v.remove_suffix(1);
    }
    return v;
}

std::string Bounded(std::string_view v, std::size_t limit) { return std::string(v.substr(0, limit)); }

// Inner text of the first open tag at or after `from` and the first close tag after it.
bool FindInner(const std::string& text, const std::string& open, const std::string& close, std::size_t from,
               std::size_t& innerStart, std::size_t& innerEnd)
{
    if (open.empty() || close.empty() || from > text.size()) {
        return false;
    }
    std::size_t start = text.find(open, from);
    if (start == std::string::npos) {
        return false;
    }
    innerStart = start + open.size();
    std::size_t end = text.find(close, innerStart);
    if (end == std::string::npos) {
        return false;
    }
    innerEnd = end;
    return true;
}

} // namespace

int CMXXMLParser::GetNextTag(const std::string& openTag, const std::string& text, const std::string& closeTag,
                             std::string* out)
{
    std::size_t begin = 0;
    std::size_t end = 0;
    if (!FindInner(text, openTag, closeTag, 0, begin, end)) {
        return -1;
    }
    std::string_view inner = TrimBlank(std::string_view(text).substr(begin, end - begin));
    if (out != nullptr) {
        out->assign(inner);
    }
    return static_cast<int>(inner.size());
}

int CMXXMLParser::GetNextTag(const std::string& openTag, const std::string& text, const std::string& closeTag,
                             char* out, std::size_t size)
{
    std::string inner;
    int length = GetNextTag(openTag, text, closeTag, &inner);
    if (length >= 0 && out != nullptr && size > 0) {
        std::size_t n = std::min(inner.size(), size - 1);
        std::memcpy(out, inner.data(), n);
        out[n] = '\0';
    }
    return length;
}

int CMXXMLParser::GetTagData(const std::string& openTag, const std::string& text, const std::string& closeTag,
                             std::string& out, std::size_t& position)
{
    std::size_t begin = 0;
    std::size_t end = 0;
    if (!FindInner(text, openTag, closeTag, position, begin, end)) {
        return -1;
    }
    std::string_view inner = TrimBlank(std::string_view(text).substr(begin, end - begin));
    out.assign(inner);
    position = begin;
    return static_cast<int>(inner.size());
}

int CMXXMLParser::CodeValue() const { return std::atoi(m_code.c_str()); }

int CMXXMLParser::ParseXMLData(const std::string& replyText)
{
    ZLOG_SCOPE();
    m_replyText = replyText;
    if (GetNextTag("<result>", m_replyText, "</result>", nullptr) < 0) {
        ZLOG(LOG_INFO, "Unable to find %s %s tag", "<result>", "</result>");
        return -1;
    }
    struct Envelope {
        const char* open;
        const char* close;
        std::string* field;
    } envelope[] = {
        {"<transId>", "</transId>", &m_transId},
        {"<status>", "</status>", &m_status},
        {"<code>", "</code>", &m_code},
        {"<desc>", "</desc>", &m_desc},
    };
    for (const Envelope& e : envelope) {
        char buffer[kFieldBuffer];
        if (GetNextTag(e.open, m_replyText, e.close, buffer, sizeof(buffer)) < 0) {
            ZLOG(LOG_INFO, "Unable to find %s %s tag", e.open, e.close);
            return -1;
        }
        e.field->assign(buffer);
    }
    std::string payload;
    if (GetNextTag("<data>", m_replyText, "</data>", &payload) < 0) {
        ZLOG(LOG_INFO, "Unable to find %s %s tag", "<data>", "</data>");
        return -1;
    }
    m_replyText = std::move(payload);
    FindSerialNO();
    FindVersionNo();
    FindBalance();
    FindVoipNumber();
    FindUserID();
    UpdateAddressBook(m_replyText);
    return 1;
}

int CMXXMLParser::FindPair(const char* open, const char* close, std::string& first, const char* open2,
                           const char* close2, std::string& second)
{
    first.clear();
    std::size_t begin = 0;
    std::size_t end = 0;
    if (!FindInner(m_replyText, open, close, 0, begin, end)) {
        return -1;
    }
    first = Bounded(std::string_view(m_replyText).substr(begin, end - begin), kMaxFieldText);
    int last = static_cast<int>(first.size());
    second.clear();
    std::size_t begin2 = 0;
    std::size_t end2 = 0;
    if (!FindInner(m_replyText, open2, close2, end, begin2, end2)) {
        return last;
    }
    second = Bounded(std::string_view(m_replyText).substr(begin2, end2 - begin2), kMaxFieldText);
    return static_cast<int>(second.size());
}

int CMXXMLParser::FindOne(const char* open, const char* close, std::string& field)
{
    field.clear();
    std::size_t begin = 0;
    std::size_t end = 0;
    if (!FindInner(m_replyText, open, close, 0, begin, end)) {
        return -1;
    }
    field = Bounded(std::string_view(m_replyText).substr(begin, end - begin), kMaxFieldText);
    return static_cast<int>(field.size());
}

int CMXXMLParser::FindBalance()
{
    ZLOG_SCOPE();
    return FindPair("<balance>", "</balance>", m_balance, "<smsbalance>", "</smsbalance>", m_smsBalance);
}

int CMXXMLParser::FindVersionNo()
{
    ZLOG_SCOPE();
    return FindPair("<versionnumber>", "</versionnumber>", m_versionNumber, "<downloadlink>", "</downloadlink>",
                    m_downloadLink);
}

int CMXXMLParser::FindVoipNumber()
{
    ZLOG_SCOPE();
    return FindOne("<lvl3>", "</lvl3>", m_voipNumber);
}

int CMXXMLParser::FindUserID()
{
    ZLOG_SCOPE();
    return FindOne("<userid>", "</userid>", m_userId);
}

int CMXXMLParser::FindSerialNO()
{
    ZLOG_SCOPE();
    return FindOne("<sno>", "</sno>", m_entryNumber);
}

bool CMXXMLParser::ReadEntry(const std::string& payload, std::size_t& position, WebContact& record)
{
    struct Field {
        const char* open;
        const char* close;
        std::string WebContact::*member;
    } static const fields[] = {
        {"<sno>", "</sno>", &WebContact::entryNumber},
        {"<name>", "</name>", &WebContact::name},
        {"<email>", "</email>", &WebContact::email},
        {"<voip>", "</voip>", &WebContact::voip},
        {"<mobile>", "</mobile>", &WebContact::mobile},
        {"<home>", "</home>", &WebContact::home},
        {"<business>", "</business>", &WebContact::business},
        {"<title>", "</title>", &WebContact::title},
        {"<firstname>", "</firstname>", &WebContact::firstName},
        {"<middlename>", "</middlename>", &WebContact::middleName},
        {"<lastname>", "</lastname>", &WebContact::lastName},
        {"<birthdate>", "</birthdate>", &WebContact::birthDate},
        {"<companyname>", "</companyname>", &WebContact::companyName},
        {"<altemail>", "</altemail>", &WebContact::altEmail},
        {"<fax>", "</fax>", &WebContact::fax},
        {"<pager>", "</pager>", &WebContact::pager},
        {"<icq>", "</icq>", &WebContact::icq},
        {"<website>", "</website>", &WebContact::website},
        {"<comments>", "</comments>", &WebContact::comments},
    };
    record = WebContact{};
    std::string value;
    for (const Field& f : fields) {
        if (GetTagData(f.open, payload, f.close, value, position) < 0) {
            ZLOG(LOG_INFO, "Unable to find %s %s tag", f.open, f.close);
            return false;
        }
        record.*f.member = Bounded(value, kMaxFieldText);
    }
    return true;
}

void CMXXMLParser::UpdateAddressBook(const std::string& payload)
{
    ZLOG_SCOPE();
    m_appliedEntries = 0;
    m_addressBookComplete = false;
    std::string timestamp;
    std::size_t position = 0;
    if (GetTagData("<timestamp>", payload, "</timestamp>", timestamp, position) < 0) {
        return;
    }
    const std::size_t bookStart = payload.find("<addressbook>", position);
    if (bookStart == std::string::npos || payload.find("</addressbook>", bookStart) == std::string::npos) {
        return;
    }
    if (m_store == nullptr) {
        return;
    }
    timestamp = Bounded(timestamp, kMaxFieldText);
    bool broken = false;
    bool first = true;
    std::size_t searchFrom = bookStart;
    for (;;) {
        const std::size_t entryStart = payload.find("<entry>", searchFrom);
        if (entryStart == std::string::npos) {
            break;
        }
        const std::size_t entryEnd = payload.find("</entry>", entryStart);
        if (entryEnd == std::string::npos) {
            break;
        }
        WebContact record;
        // The entry's own text bounds its fields: one without an element must not take the next entry's.
        const std::string entry = payload.substr(entryStart, entryEnd - entryStart);
        std::size_t fieldPosition = 0;
        if (!ReadEntry(entry, fieldPosition, record)) {
            broken = true;
            break;
        }
        // A complete book replaces the local one, but only once there is an entry to
        // replace it with: a reply broken in its first entry must not wipe the book.
        if (first && CodeValue() == 1001) {
            m_store->EmptyAddressBook();
        }
        first = false;
        const long number = std::strtol(record.entryNumber.c_str(), nullptr, 10);
        if (m_store->FindByEntryNumber(number) >= 0) {
            m_store->UpdateEntry(record);
        } else {
            m_store->AddEntry(record);
        }
        ++m_appliedEntries;
        searchFrom = entryEnd;
    }
    if (broken) {
        // The old time stamp stays, so the next query brings the unapplied changes again.
        ZLOG(LOG_ERROR, "Error address book reply broken after %d entries", m_appliedEntries);
        return;
    }
    if (m_store->StoreLastCheckTimestamp(timestamp) < 0) {
        ZLOG(LOG_ERROR, "Error storing last check timestamp");
        return;
    }
    m_addressBookComplete = true;
}

int CMXXMLParser::ParseXMLAdsData(const std::string& replyText)
{
    ZLOG_SCOPE();
    static const std::string listOpen = "&lt;list&gt;";
    static const std::string listClose = "&lt;/list&gt;";
    static const std::string itemOpen = "&lt;item&gt;";
    static const std::string itemClose = "&lt;/item&gt;";
    if (GetNextTag(listOpen, replyText, listClose, nullptr) < 0) {
        ZLOG(LOG_INFO, "Unable to find %s %s tag", listOpen.c_str(), listClose.c_str());
        return -1;
    }
    std::size_t from = 0;
    for (;;) {
        std::size_t begin = 0;
        std::size_t end = 0;
        if (!FindInner(replyText, itemOpen, itemClose, from, begin, end)) {
            return -1;
        }
        // The item's own text bounds its fields: an item without a link must not borrow the next one's.
        const std::string item = replyText.substr(begin, end - begin);
        std::string text;
        std::string link;
        std::size_t position = 0;
        if (GetTagData("&lt;txt&gt;", item, "&lt;/txt&gt;", text, position) < 0 ||
            GetTagData("&lt;url&gt;", item, "&lt;/url&gt;", link, position) < 0) {
            return -2;
        }
        m_adsItems.emplace_back(Bounded(text, kMaxFieldText), Bounded(link, kMaxFieldText));
        from = end + itemClose.size();
    }
}
