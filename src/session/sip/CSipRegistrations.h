#pragma once
// The user agent's registrations: REGISTERs built and sent, their challenges answered, their refreshes
// timed, their answers turned into events. Runs under the user agent's lock.
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "session/sip/OsipPtr.h"

namespace zelora {

class CSipUserAgent;

class CSipRegistrations {
public:
    explicit CSipRegistrations(CSipUserAgent& agent);
    ~CSipRegistrations();
    CSipRegistrations(const CSipRegistrations&) = delete;
    CSipRegistrations& operator=(const CSipRegistrations&) = delete;

    // The registration id, a new one or the one already kept for this From and proxy; -1 on failure.
    int BuildInitial(const char* from, const char* proxy, const char* contact, int expires, osip_message_t** out);
    // Takes `msg` over in every case; null builds the next REGISTER itself.
    int Send(int rid, osip_message_t* msg);
    // Answers the last challenge to `rid` with the credentials: 0 when the retry is out.
    int Retry(int rid);
    void OnResponse(int rid, osip_transaction_t* tr, osip_message_t* msg);
    void OnNoFinalAnswer(int rid, osip_transaction_t* tr);
    // Sends the refreshes that are due.
    void RefreshDue();
    // When the next refresh is due; time_point::max() when none is.
    std::chrono::steady_clock::time_point NextRefresh() const;
    // Whether `tid` is the latest transaction of `rid` (kept so its answer can be retried).
    bool IsCurrent(int rid, int tid);
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    struct Registration {
        int rid = 0;
        std::string from;
        std::string proxy;
        OsipMessagePtr last; // last REGISTER sent
        OsipMessagePtr challenge; // last 401/407
        int tid = 0;
        int retries = 0;
        int lastStatus = 0;
        int expires = 3600;
        bool refreshing = false; // the REGISTER in flight is our own refresh
        Clock::time_point refreshAt{}; // zero: nothing to refresh
    };

    Registration* Find(int rid);
    int Retry(Registration& reg);
    int SendRegister(Registration& reg, osip_message_t* msg);
    void ScheduleRefresh(Registration& reg, const osip_message_t* ok);
    // A REGISTER cloned from the last one gets the Contact of today's local address.
    void FollowLocalAddress(osip_message_t* msg, int expires);

    CSipUserAgent& m_agent;
    int m_nextRid = 1;
    std::map<int, std::unique_ptr<Registration>> m_registrations;
};

} // namespace zelora
