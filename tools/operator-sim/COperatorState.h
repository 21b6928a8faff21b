#pragma once
// The operator's web side as the simulator keeps it: accounts, the newest version, the
// advertisement items and per-user address books, persisted in one data file that is
// rewritten atomically after every change. Every request is treated as hostile: anything
// malformed gets an error reply and changes nothing.
#include <array>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class COperatorState {
public:
    static constexpr std::size_t kFieldCount = 18;
    static constexpr std::size_t kMaxField = 255;
    static constexpr std::size_t kMaxBody = 16 * 1024;
    // Portal sign-in links older or newer than this are refused.
    static constexpr long long kPortalWindowMs = 10LL * 60 * 1000;

    struct Entry {
        long sno = 0;
        long long changed = 0;
        std::array<std::string, kFieldCount> fields; // name ... comments, in reply order
    };
    struct Account {
        std::string balance = "0.00";
        std::string smsBalance = "0";
        std::string lvl3;
        std::string inbox = "0";
        long long deletedAt = 0;
        long nextSno = 1;
        std::vector<Entry> entries;
        // What the portal pages show: SMS received (from, text) and missed calls (from, when).
        std::vector<std::pair<std::string, std::string>> sms;
        std::vector<std::pair<std::string, std::string>> missed;
    };

    // Field tags in reply order (after <sno>).
    static const std::array<const char*, kFieldCount>& FieldTags();

    // Missing file: an empty state that the first change creates. false with a message on error.
    bool Load(const std::string& path, std::string& error);

    // POST body of the web-service path; returns the reply text, sets the HTTP status.
    std::string HandleWebService(const std::string& body, bool oversize, int& httpStatus);
    std::string HandleAds();
    // "action count" lines of the requests so far (advertisements as "ads"), for tests that
    // check how often the phone asks.
    std::string RequestCounts();
    // Test control of the operator's side (POST /control/addressbook, an URL-encoded form):
    //   op=add&user=U&<tag>=<value>...        a new entry (the reply carries its sno)
    //   op=update&user=U&sno=N&<tag>=<value>  fields named change, the others stay
    //   op=delete&user=U&sno=N                the entry goes
    //   op=fail&status=404&count=1            the next `count` web-service requests get that status
    std::string HandleControl(const std::string& body, int& httpStatus);
    // msg parameter of the portal's auto-login page; returns HTML (see CPortalPages).
    std::string HandlePortal(const std::string& msgHex, int& httpStatus);

private:
    std::string Envelope(const std::string& transId, int code, const std::string& desc,
                         const std::string& payload) const;
    std::string AddressBookPayload(const Account& account, long long since, bool complete) const;
    long long NextStamp();
    bool Save(std::string& error);

    std::mutex m_lock;
    std::string m_path;
    std::string m_version = "zeloraTALK Version 3.1.2";
    std::string m_downloadLink;
    std::vector<std::pair<std::string, std::string>> m_ads;
    long long m_clock = 0;
    std::map<std::string, Account> m_accounts;
    std::map<std::string, int> m_requests;
    int m_failStatus = 0;
    int m_failCount = 0;
};
