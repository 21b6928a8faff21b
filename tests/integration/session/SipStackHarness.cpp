#include "SipStackHarness.h"

#include <cstdlib>
#include <sstream>

#include "session/sdp/CMXSdpNegotiator.h"

namespace zelora::test {

std::string SlotAddress(int slot, int index) { return "127.0.1." + std::to_string(slot * 5 + index); }

int EventRecorder::Callback(int status, void* context, SESSION_EVENT_INFO* record)
{
    auto* self = static_cast<EventRecorder*>(context);
    StackEvent e;
    e.status = status;
    e.hasRecord = record != nullptr;
    if (record != nullptr)
        e.record = *record;
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_events.push_back(e);
        self->m_taken.push_back(false);
    }
    self->m_changed.notify_all();
    return 0;
}

std::optional<StackEvent> EventRecorder::Wait(int status, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::optional<StackEvent> found;
    m_changed.wait_for(lock, timeout, [&] {
        for (std::size_t i = 0; i < m_events.size(); ++i) {
            if (!m_taken[i] && m_events[i].status == status) {
                m_taken[i] = true;
                found = m_events[i];
                return true;
            }
        }
        return false;
    });
    return found;
}

std::vector<StackEvent> EventRecorder::All()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

std::string EventRecorder::Describe()
{
    std::ostringstream s;
    s << "statuses seen:";
    for (const StackEvent& e : All())
        s << " " << e.status << (e.hasRecord ? "" : "(no record)") << "[" << e.record.statusCode << "]";
    return s.str();
}

StackHarness::StackHarness(const std::string& localIp, const std::string& proxyIp, const std::string& codecs)
    : m_localIp(localIp), m_proxyIp(proxyIp)
{
    m_codecCount = CMXSdpNegotiator::BuildCodecList(codecs, m_codecs, MAX_CODEC_COUNT);
    // The user-agent layer binds to this address and the stack offers it as media address.
    setenv(CMXSipStack::kLocalAddressVariable, localIp.c_str(), 1);
    m_stack = std::make_unique<CMXSipStack>();
}

StackHarness::~StackHarness() { m_stack.reset(); }

int StackHarness::Init()
{
    return m_stack->Init(m_proxyIp.c_str(), m_proxyIp.c_str(), "5060", &EventRecorder::Callback, &m_events,
                         ProtocolLogPath().c_str(), m_codecs, m_codecCount, "zeloraTALK test", 5060);
}

int StackHarness::Register(const std::string& user, const std::string& password, int expiry)
{
    return m_stack->Register(user.c_str(), user.c_str(), password.c_str(), expiry, nullptr, nullptr, 0);
}

std::chrono::milliseconds StackHarness::Destroy()
{
    auto start = std::chrono::steady_clock::now();
    m_stack.reset();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

} // namespace zelora::test
