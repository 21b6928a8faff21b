#include "platform/MessageQueue.h"

namespace zelora {

bool MessageQueue::Post(unsigned msg, std::intptr_t wParam, std::intptr_t lParam, std::string data)
{
    std::function<void()> notify;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed || m_queue.size() >= kMaxPending)
            return false;
        m_queue.push_back(Message{msg, wParam, lParam, std::move(data)});
        notify = m_notifier;
    }
    m_cv.notify_one();
    if (notify)
        notify();
    return true;
}

bool MessageQueue::Get(Message& out, int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return !m_queue.empty() || m_closed; };
    if (milliseconds < 0)
        m_cv.wait(lock, ready);
    else if (!m_cv.wait_for(lock, std::chrono::milliseconds(milliseconds), ready))
        return false;
    if (m_queue.empty())
        return false;
    out = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

bool MessageQueue::TryGet(Message& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty())
        return false;
    out = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

std::size_t MessageQueue::Drain(const std::function<void(const Message&)>& handler)
{
    std::deque<Message> batch;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        batch.swap(m_queue);
    }
    for (const Message& m : batch)
        handler(m);
    return batch.size();
}

std::size_t MessageQueue::Pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

void MessageQueue::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_cv.notify_all();
}

bool MessageQueue::IsClosed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

void MessageQueue::SetNotifier(std::function<void()> notifier)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notifier = std::move(notifier);
}

} // namespace zelora
