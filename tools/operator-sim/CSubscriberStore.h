#pragma once
// What the operator keeps: accounts (balances, VoIP number, inbox, address book, what the
// portal shows), the newest version and the advertisement items, in one data file that is
// rewritten atomically after every change. Not locked: its owner serialises the requests.
#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CSubscriberStore {
public:
    static constexpr std::size_t kFieldCount = 18;
    static constexpr std::size_t kMaxField = 255;

    struct Entry {
        long sno = 0;
        long long changed = 0;
        std::array<std::string, kFieldCount> fields; // name ... comments, in reply order
    };
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    struct Account {
        std::string balance = "0.00";
        std::string smsBalance = "0";
        std::string lvl3;
        std::string inbox = "0";
        long long deletedAt = 0;
        long nextSno = 1;
        std::vector<Entry> entries;
        // What the portal pages show: SMS received (from, text) and missed calls (from, when).
        Pairs sms;
        Pairs missed;
    };

    // Field tags in reply order (after <sno>).
    static const std::array<const char*, kFieldCount>& FieldTags();

    // Missing file: an empty store that the first change creates. false with a message on error.
    bool Load(const std::string& path, std::string& error);

    Account* Find(const std::string& userId);
    // The entry of that sno, end() when there is none.
    static std::vector<Entry>::iterator FindEntry(Account& account, long long sno);
    // Replaces the account by `changed` and stores it; on failure the account stays as it was.
    bool Commit(Account& account, Account& changed, std::string& error);
    // A change time later than every one before, in milliseconds.
    long long NextStamp();

    long long Clock() const { return m_clock; }
    const std::string& Version() const { return m_version; }
    const std::string& DownloadLink() const { return m_downloadLink; }
    const Pairs& Ads() const { return m_ads; }

private:
    bool Save(std::string& error);

    std::string m_path;
    std::string m_version = "zeloraTALK Version 3.1.2";
    std::string m_downloadLink;
    Pairs m_ads;
    long long m_clock = 0;
    std::map<std::string, Account> m_accounts;
};
