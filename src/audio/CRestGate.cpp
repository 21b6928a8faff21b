#include "audio/CRestGate.h"

void CRestGate::Wake()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_woken = true;
    }
    m_changed.notify_one();
}

void CRestGate::Close()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closed = true;
    }
    m_changed.notify_all();
}

void CRestGate::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = false;
    m_woken = false;
}

bool CRestGate::Rest()
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [this] { return m_woken || m_closed; });
    m_woken = false;
    return !m_closed;
}
