#include "session/sip/CSipEventQueue.h"

#include <cstdio>
#include <cstring>

#include "app/CLogger.h"

namespace zelora {

namespace {

osip_message_t* Clone(const osip_message_t* msg)
{
    osip_message_t* copy = nullptr;
    if (msg != nullptr && osip_message_clone(msg, &copy) != 0)
        copy = nullptr;
    return copy;
}

} // namespace

eXosip_event_t* CSipEventQueue::Make(eXosip_event_type_t type, const osip_message_t* request,
                                     const osip_message_t* response, const osip_message_t* ack)
{
    ZLOG_SCOPE();
    auto* event = static_cast<eXosip_event_t*>(std::calloc(1, sizeof(eXosip_event_t)));
    if (event == nullptr)
        return nullptr;
    event->type = type;
    event->request = Clone(request);
    event->response = Clone(response);
    event->ack = Clone(ack);
    if (response != nullptr && response->reason_phrase != nullptr)
        std::snprintf(event->textinfo, sizeof event->textinfo, "%s", response->reason_phrase);
    else if (request != nullptr && request->sip_method != nullptr)
        std::snprintf(event->textinfo, sizeof event->textinfo, "%s", request->sip_method);
    return event;
}

void CSipEventQueue::Free(eXosip_event_t* event)
{
    ZLOG_SCOPE();
    if (event == nullptr)
        return;
    if (event->request != nullptr)
        osip_message_free(event->request);
    if (event->response != nullptr)
        osip_message_free(event->response);
    if (event->ack != nullptr)
        osip_message_free(event->ack);
    std::free(event);
}

void CSipEventQueue::Push(eXosip_event_t* event)
{
    ZLOG_SCOPE();
    if (event == nullptr)
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopped) {
            Free(event);
            return;
        }
        m_events.push_back(event);
    }
    m_ready.notify_one();
}

eXosip_event_t* CSipEventQueue::Pop(std::chrono::milliseconds timeout)
{
    ZLOG_SCOPE();
    std::unique_lock<std::mutex> guard(m_lock);
    if (timeout.count() > 0)
        m_ready.wait_for(guard, timeout, [this] { return m_stopped || m_interrupted || !m_events.empty(); });
    if (m_stopped || m_events.empty()) {
        m_interrupted = false;
        return nullptr;
    }
    eXosip_event_t* event = m_events.front();
    m_events.pop_front();
    return event;
}

void CSipEventQueue::Stop()
{
    ZLOG_SCOPE();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopped = true;
    }
    m_ready.notify_all();
}

void CSipEventQueue::Interrupt()
{
    ZLOG_SCOPE();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_interrupted = true;
    }
    m_ready.notify_all();
}

void CSipEventQueue::Clear()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_lock);
    for (eXosip_event_t* event : m_events)
        Free(event);
    m_events.clear();
}

size_t CSipEventQueue::Size()
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events.size();
}

} // namespace zelora
