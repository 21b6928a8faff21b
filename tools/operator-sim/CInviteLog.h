#pragma once
// The presence service's mail page: a contact invited by e-mail (to, username, invite=true),
// recorded so that a test sees the request arrive. Nothing is mailed.
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

class CInviteLog {
public:
    static constexpr std::size_t kMaxField = 255;
    static constexpr std::size_t kKept = 100;

    // POST body of the mail page; the reply text, with the HTTP status set.
    std::string Handle(const std::string& body, int& httpStatus);
    // "invite <count>", then "invited <address> <user>" lines of the last kKept, oldest
    // first, for GET /sim/requests.
    std::string Lines();

private:
    std::mutex m_lock;
    std::deque<std::string> m_lines;
    int m_count = 0;
};
