#pragma once
// A window's private message queue: any thread posts, the owner's thread drains and dispatches.
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace zelora {

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_COPYDATA = 0x004A;

struct Message {
    unsigned msg = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    // Owned data that travels with the message (WM_COPYDATA blocks, texts from worker threads).
    std::string data;
};

class MessageQueue {
public:
    // Beyond this many pending messages a post is refused rather than growing without bound.
    static constexpr std::size_t kMaxPending = 10000;

    bool Post(unsigned msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0, std::string data = {});
    // Waits up to `milliseconds` (negative: no limit) for a message; false on time-out or close.
    bool Get(Message& out, int milliseconds);
    bool TryGet(Message& out);
    // Dispatches everything pending now; returns how many messages were handled.
    std::size_t Drain(const std::function<void(const Message&)>& handler);
    std::size_t Pending() const;
    // Wakes every waiter; later posts are refused.
    void Close();
    bool IsClosed() const;
    // Called after each successful post (from the posting thread): lets a GUI loop wake up.
    void SetNotifier(std::function<void()> notifier);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Message> m_queue;
    std::function<void()> m_notifier;
    bool m_closed = false;
};

// The Windows shape of the call, for code that posts to a window.
inline bool PostMessage(MessageQueue* target, unsigned msg, std::intptr_t wParam, std::intptr_t lParam)
{
    return target != nullptr && target->Post(msg, wParam, lParam);
}

} // namespace zelora
