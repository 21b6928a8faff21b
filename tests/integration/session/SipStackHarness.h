#pragma once
// A CMXSipStack with a recording callback, on its own loopback address.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "session/CMXSipStack.h"
#include "PeerProcess.h"

namespace zelora::test {

// Loopback addresses of one test: 127.0.1.(5*slot + 1 .. 5*slot + 4), slots 0 to 18.
std::string SlotAddress(int slot, int index);

struct StackEvent {
    int status = 0;
    bool hasRecord = false;
    SESSION_EVENT_INFO record{};
};

class EventRecorder {
public:
    static int Callback(int status, void* context, SESSION_EVENT_INFO* record);
    // The first recorded event with this status after the ones already taken by Wait.
    std::optional<StackEvent> Wait(int status, std::chrono::milliseconds timeout);
    std::vector<StackEvent> All();
    std::string Describe();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<StackEvent> m_events;
    std::vector<bool> m_taken;
};

class StackHarness {
public:
    // The stack's SIP socket and media address are `localIp`; `proxyIp` is the server.
    StackHarness(const std::string& localIp, const std::string& proxyIp, const std::string& codecs = "102,8,0,");
    ~StackHarness();
    int Init();
    int Register(const std::string& user, const std::string& password, int expiry = 3600);
    CMXSipStack& Stack() { return *m_stack; }
    EventRecorder& Events() { return m_events; }
    // Destroys the stack now (unregistration and all); returns how long it took.
    std::chrono::milliseconds Destroy();
    const std::string& LocalIp() const { return m_localIp; }
    const std::string& ProxyIp() const { return m_proxyIp; }
    const CODEC_INFO* Codecs() const { return m_codecs; }
    // The protocol log file the stack writes its library trace to.
    std::string ProtocolLogPath() const { return m_logDir.Path() + "/sip.log"; }

private:
    std::string m_localIp;
    std::string m_proxyIp;
    TempDir m_logDir{"zelora-sip-log"};
    CODEC_INFO m_codecs[MAX_CODEC_COUNT] = {};
    int m_codecCount = 0;
    EventRecorder m_events;
    std::unique_ptr<CMXSipStack> m_stack;
};

} // namespace zelora::test
