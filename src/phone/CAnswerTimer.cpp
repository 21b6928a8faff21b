#include "phone/CAnswerTimer.h"

#include "app/CLogger.h"

CAnswerTimer::CAnswerTimer(std::function<void()> onExpired) : m_onExpired(std::move(onExpired)) { }

CAnswerTimer::~CAnswerTimer()
{
    ZLOG_SCOPE();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool CAnswerTimer::Arm(std::chrono::milliseconds wait)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    // The thread is started by the first use: most runs never choose automatically.
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread(&CAnswerTimer::ThreadProc, this);
        } catch (const std::exception&) {
            ZLOG(LOG_ERROR, "Unable to start the answer timer");
            return false;
        }
    }
    m_deadline = Clock::now() + wait;
    m_armed = true;
    m_cv.notify_all();
    return true;
}

void CAnswerTimer::Cancel()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_armed = false;
    m_cv.notify_all();
}

bool CAnswerTimer::Armed() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_armed;
}

void CAnswerTimer::ThreadProc()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (!m_armed) {
            m_cv.wait(lock, [this] { return m_stop || m_armed; });
            continue;
        }
        if (m_cv.wait_until(lock, m_deadline) == std::cv_status::timeout && m_armed && !m_stop &&
            Clock::now() >= m_deadline) {
            m_armed = false;
            lock.unlock();
            m_onExpired();
            lock.lock();
        }
    }
}
