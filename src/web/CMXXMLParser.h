#pragma once
// Reader of the web service's tag-structured replies. Elements do not nest: the first
// open tag and the first close tag after it win. Lives for one reply.
#include "web/IAddressBookStore.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class CMXXMLParser {
public:
    static constexpr std::size_t kFieldBuffer = 255; // envelope texts keep 254 characters
    static constexpr std::size_t kMaxFieldText = 255;

    // The address-book side of replies goes to this store; none: address-book changes are skipped.
    explicit CMXXMLParser(IAddressBookStore* store = nullptr) : m_store(store) { }

    // 1, or -1 when <result> or an envelope element is missing.
    int ParseXMLData(const std::string& replyText);

    // Length of the trimmed inner text or -1. With an out buffer, copies at most size-1
    // characters and terminates.
    static int GetNextTag(const std::string& openTag, const std::string& text, const std::string& closeTag, char* out,
                          std::size_t size);
    static int GetNextTag(const std::string& openTag, const std::string& text, const std::string& closeTag,
                          std::string* out);
    // As GetNextTag from `position`; leaves `position` at the first character of the inner text.
    static int GetTagData(const std::string& openTag, const std::string& text, const std::string& closeTag,
                          std::string& out, std::size_t& position);

    // Each returns the length of the last text found or -1.
    int FindBalance();
    int FindVersionNo();
    int FindVoipNumber();
    int FindUserID();
    int FindSerialNO();
    // Applies <timestamp> + <addressbook> changes to the store.
    void UpdateAddressBook(const std::string& payload);

    // Items of an HTML-escaped advertisement list; -1 no list or list ended, -2 item incomplete.
    int ParseXMLAdsData(const std::string& replyText);

    const std::string& ReplyText() const { return m_replyText; }
    const std::string& TransId() const { return m_transId; }
    const std::string& Status() const { return m_status; }
    const std::string& Code() const { return m_code; }
    int CodeValue() const;
    const std::string& Desc() const { return m_desc; }
    const std::string& Balance() const { return m_balance; }
    const std::string& EntryNumber() const { return m_entryNumber; }
    const std::string& VersionNumber() const { return m_versionNumber; }
    const std::string& DownloadLink() const { return m_downloadLink; }
    const std::string& VoipNumber() const { return m_voipNumber; }
    const std::string& UserId() const { return m_userId; }
    const std::string& SmsBalance() const { return m_smsBalance; }
    const std::vector<std::pair<std::string, std::string>>& AdsItems() const { return m_adsItems; }
    void ClearAdsItems() { m_adsItems.clear(); }
    // Entries applied by the last UpdateAddressBook; true when its block was complete.
    int AppliedEntries() const { return m_appliedEntries; }
    bool AddressBookComplete() const { return m_addressBookComplete; }

private:
    int FindOne(const char* open, const char* close, std::string& field);
    int FindPair(const char* open, const char* close, std::string& first, const char* open2, const char* close2,
                 std::string& second);
    bool ReadEntry(const std::string& payload, std::size_t& position, WebContact& record);

    IAddressBookStore* m_store;
    std::string m_replyText;
    std::string m_transId;
    std::string m_status;
    std::string m_code;
    std::string m_desc;
    std::string m_balance;
    std::string m_entryNumber;
    std::string m_versionNumber;
    std::string m_downloadLink;
    std::string m_voipNumber;
    std::string m_userId;
    std::string m_smsBalance;
    std::vector<std::pair<std::string, std::string>> m_adsItems;
    int m_appliedEntries = 0;
    bool m_addressBookComplete = false;
};
