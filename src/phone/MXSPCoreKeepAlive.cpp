// The session core's keep-alive thread: the countdown to re-registration, the recovery of a lost
// line and the ping. Protocol operations that may wait on the network run outside the core's lock.
#include "phone/MXSPCore.h"

#include <time.h>

#include "app/CLogger.h"

namespace {

// CLOCK_BOOTTIME goes on while the machine is suspended and while the process is stopped, so
// a wait that overran by much is a sleep, whatever the monotonic clock says.
std::chrono::milliseconds BootTime()
{
    timespec ts{};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
        clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::chrono::milliseconds(static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

constexpr std::chrono::milliseconds kTick{1000};
constexpr int kAddressCheckTicks = 5;

} // namespace

bool MXSPCore::IsRecovering() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_recovery.Recovering();
}

void MXSPCore::PublishRecoveryStatus()
{
    std::string text;
    if (m_recovery.TakeStatus(text) && m_recoveryStatus)
        m_recoveryStatus(text);
}

void MXSPCore::ReRegister()
{
    ZLOG_SCOPE();
    CSessionProtocol* protocol = nullptr;
    std::string displayName, userId, password;
    int expiry = 0;
    // Keeps the protocol from being replaced while it is used without the core's lock.
    std::lock_guard<std::mutex> swapGuard(m_protocolSwap);
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        protocol = m_protocol.get();
        displayName = m_displayName;
        userId = m_userId;
        password = m_password;
        expiry = m_expiry;
        m_countdown = m_expiry - kMinExpiry;
        m_registered = false; // no ping until it is answered
    }
    // The protocol object lives until replaced (not while m_protocolSwap is held) or until the
    // destructor, which stops this thread first.
    int result = protocol == nullptr || userId.empty()
        ? -1
        : protocol->Register(displayName.c_str(), userId.c_str(), password.c_str(), expiry, nullptr, nullptr, 0);
    if (result < 0) {
        m_lastError = 400016;
        ZLOG(LOG_ERROR, "Register failed %d", result);
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        m_recovery.OnAttemptFailed(CReconnectPolicy::Clock::now());
        PublishRecoveryStatus();
    }
}

void MXSPCore::KeepAliveTick(std::chrono::milliseconds late)
{
    bool reRegister = false;
    bool ping = false;
    // The lookup touches no lock and waits on no network; the tunnel has its own connection.
    std::string address;
    if (++m_ticks % kAddressCheckTicks == 0 && m_localAddressTowards) {
        bool tunnel = false;
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            tunnel = m_tunnel;
        }
        if (!tunnel)
            address = m_localAddressTowards(m_proxyHost);
    }
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_countdown != kCountdownOff && --m_countdown < 1)
            reRegister = true;
        if (m_recovery.OnLocalAddress(address, CReconnectPolicy::Clock::now()))
            reRegister = true;
        if (m_recovery.Tick(CReconnectPolicy::Clock::now(), late))
            reRegister = true;
        PublishRecoveryStatus();
        ping = !reRegister && m_countdown % 30 == 0 && m_registered && m_protocol != nullptr;
    }
    if (reRegister)
        ReRegister();
    if (!ping)
        return;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_protocol != nullptr && m_protocol->SendPing() < 0) {
        m_lastError = 400017;
        ZLOG(LOG_ERROR, "SendPing failed");
    }
}

void MXSPCore::KeepAliveThreadProc()
{
    ZLOG_SCOPE();
    std::chrono::milliseconds before = BootTime();
    while (!m_stop.Wait(static_cast<int>(kTick.count()))) {
        std::chrono::milliseconds now = BootTime();
        std::chrono::milliseconds late = now - before - kTick;
        before = now;
        KeepAliveTick(late > std::chrono::milliseconds::zero() ? late : std::chrono::milliseconds::zero());
    }
    m_stopped = true;
}
