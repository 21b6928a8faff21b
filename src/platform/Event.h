#pragma once
// Manual-reset event with a timed wait, as the Windows event object behaves.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zelora {

class Event {
public:
    explicit Event(bool initiallySet = false) : m_set(initiallySet) { }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // true when the event is set within the time (a negative time waits without limit).
    bool Wait(int milliseconds = -1) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    bool m_set;
};

} // namespace zelora
