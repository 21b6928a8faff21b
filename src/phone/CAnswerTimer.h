#pragma once
// One pending deadline with a callback: armed when a registration is sent, cancelled when its
// answer comes. Its thread blocks until the deadline or a change; the callback runs on that
// thread without the timer's lock, so it may arm or cancel again (it should only post).
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CAnswerTimer {
public:
    using Clock = std::chrono::steady_clock;

    explicit CAnswerTimer(std::function<void()> onExpired);
    ~CAnswerTimer();
    CAnswerTimer(const CAnswerTimer&) = delete;
    CAnswerTimer& operator=(const CAnswerTimer&) = delete;

    // (Re)starts the deadline; false when the thread could not be started.
    bool Arm(std::chrono::milliseconds wait);
    void Cancel();
    bool Armed() const;

private:
    void ThreadProc();

    std::function<void()> m_onExpired;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_armed = false;
    bool m_stop = false;
    Clock::time_point m_deadline{};
    std::thread m_thread;
};
