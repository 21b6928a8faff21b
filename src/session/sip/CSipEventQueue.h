#pragma once
// Events waiting for eXosip_event_wait; its own lock so waiting never needs the big lock.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "session/sip/eXosip.h"

namespace zelora {

class CSipEventQueue {
public:
    ~CSipEventQueue() { Clear(); }

    // New zeroed event; the messages given are cloned (null stays null).
    static eXosip_event_t* Make(eXosip_event_type_t type, const osip_message_t* request, const osip_message_t* response,
                                const osip_message_t* ack);
    static void Free(eXosip_event_t* event);

    void Push(eXosip_event_t* event);
    // Oldest event, or null after `timeout` or once Stop() was called.
    eXosip_event_t* Pop(std::chrono::milliseconds timeout);
    void Stop();
    // The waiting Pop (or the next one) returns null at once when nothing is queued.
    void Interrupt();
    void Clear();
    size_t Size();

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<eXosip_event_t*> m_events;
    bool m_stopped = false;
    bool m_interrupted = false;
};

} // namespace zelora
