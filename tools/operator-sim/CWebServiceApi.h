#pragma once
// The operator's web service: the POSTed request decoded, its action looked up in a table of
// one handler each, the reply in the service's XML envelope. Anything malformed gets an error
// reply and changes nothing. Not locked: its owner serialises the requests.
#include <map>
#include <string>

#include "CSubscriberStore.h"

class CWebServiceApi {
public:
    explicit CWebServiceApi(CSubscriberStore& store) : m_store(store) { }

    // POST body of the web-service path; returns the reply text, sets the HTTP status.
    std::string Handle(const std::string& body, bool oversize, int& httpStatus);
    // The next `count` requests get that HTTP status and no reply.
    void FailNext(int httpStatus, int count);
    // A request that is not the web service's own, counted with its actions.
    void Count(const std::string& action) { ++m_requests[action]; }
    // "action count" lines of the requests so far, for tests that check how often the phone asks.
    std::string RequestCounts() const;

    // The fields of a request, whose values are not escaped: each runs to the next expected key.
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

private:
    using Account = CSubscriberStore::Account;
    using Entry = CSubscriberStore::Entry;
    using Handler = std::string (CWebServiceApi::*)(const Form& form, const std::string& transId, Account& account);

    std::string Balance(const Form& form, const std::string& transId, Account& account);
    std::string VoipNumber(const Form& form, const std::string& transId, Account& account);
    std::string Inbox(const Form& form, const std::string& transId, Account& account);
    std::string AddressBook(const Form& form, const std::string& transId, Account& account);
    std::string DeleteAll(const Form& form, const std::string& transId, Account& account);
    std::string DeleteEntry(const Form& form, const std::string& transId, Account& account);
    std::string AddEntry(const Form& form, const std::string& transId, Account& account);
    std::string UpdateEntry(const Form& form, const std::string& transId, Account& account);
    // Stores the changed account: the reply for success, or the storage failure.
    std::string Store(const std::string& transId, Account& account, Account& changed, const std::string& desc,
                      const std::string& payload);

    static std::string Envelope(const std::string& transId, int code, const std::string& desc,
                                const std::string& payload);
    std::string AddressBookPayload(const Account& account, long long since, bool complete) const;

    CSubscriberStore& m_store;
    std::map<std::string, int> m_requests;
    int m_failStatus = 0;
    int m_failCount = 0;
};
