#include "presence/CFifo.h"

#include "app/CLogger.h"
#include "presence/CPresenceData.h"
#include "presence/PresenceCodes.h"

CFifo::~CFifo() { DiscardAll(); }

std::size_t CFifo::DiscardAll()
{
    std::deque<CFifoMessage*> queued;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        queued.swap(m_queue);
    }
    for (CFifoMessage* m : queued) {
        if (m->command == PRESENCE_COMMAND_XMPP_CLOSE_CHAT_SESSION)
            m->data = nullptr; // a session pointer, not a record
        PresenceRelease(m);
    }
    return queued.size();
}

int CFifo::WriteMessage(CFifoMessage* message)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(message);
    }
    m_arrived.notify_one();
    return kWritten;
}

int CFifo::Readmessage(CFifoMessage*& message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty()) {
        message = nullptr;
        return kEmpty;
    }
    message = m_queue.front();
    m_queue.pop_front();
    return kRead;
}

int CFifo::WaitMessage(CFifoMessage*& message, int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_arrived.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return !m_queue.empty(); })) {
        message = nullptr;
        return kEmpty;
    }
    message = m_queue.front();
    m_queue.pop_front();
    return kRead;
}

std::size_t CFifo::Size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

CFifo& CFifo::XmppFifo()
{
    static CFifo fifo;
    return fifo;
}

CFifo& CFifo::GuiFifo()
{
    static CFifo fifo;
    return fifo;
}

void PresenceWrite(CFifo& fifo, std::int32_t command, CPresenceData* data)
{
    fifo.WriteMessage(new CFifoMessage{command, data});
}

void PresenceRelease(CFifoMessage* message)
{
    if (message == nullptr)
        return;
    delete message->data;
    delete message;
}
