#include "platform/Event.h"

namespace zelora {

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_cv.notify_all();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

bool Event::Wait(int milliseconds) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (milliseconds < 0) {
        m_cv.wait(lock, [this] { return m_set; });
        return true;
    }
    return m_cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_set; });
}

} // namespace zelora
