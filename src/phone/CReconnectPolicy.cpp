#include "phone/CReconnectPolicy.h"

#include <algorithm>

#include "app/CLogger.h"

namespace {
constexpr int kRefusalsBeforeGivingUp = 3;
}

void CReconnectPolicy::SignInStarted()
{
    ZLOG_SCOPE();
    m_state = State::SigningIn;
    m_inFlight = false;
    m_attempts = 0;
    m_refusals = 0;
    SetStatus("");
}

void CReconnectPolicy::SignedOut()
{
    ZLOG_SCOPE();
    m_state = State::Idle;
    m_inFlight = false;
    SetStatus("");
}

void CReconnectPolicy::OnRegistered(Clock::time_point now)
{
    ZLOG_SCOPE();
    if (m_state == State::Idle)
        return; // the answer to an unregistration
    m_state = State::Registered;
    m_lastRegister = now;
    m_inFlight = false;
    m_attempts = 0;
    m_refusals = 0;
    SetStatus("");
}

bool CReconnectPolicy::OnRegistrationTimeout(Clock::time_point now)
{
    ZLOG_SCOPE();
    m_inFlight = false;
    if (m_state == State::Registered) {
        StartRecovery(now, now, "re-registration timed out");
        return true;
    }
    if (m_state == State::Recovering) {
        ScheduleRetry(now);
        return true;
    }
    m_state = State::Idle;
    return false;
}

void CReconnectPolicy::OnRegistrationFailure(Clock::time_point now)
{
    ZLOG_SCOPE();
    m_inFlight = false;
    if (m_state != State::Recovering && m_state != State::Registered)
        return;
    if (++m_refusals >= kRefusalsBeforeGivingUp) {
        ZLOG(LOG_ERROR, "registration refused %d times, recovery stops", m_refusals);
        SignedOut();
        return;
    }
    if (m_state == State::Registered)
        StartRecovery(now, now + Backoff(0), "registration refused");
    else
        ScheduleRetry(now);
}

void CReconnectPolicy::OnConnectionLost(Clock::time_point now)
{
    ZLOG_SCOPE();
    if (m_state == State::Registered)
        StartRecovery(now, now, "connection lost");
    else if (m_state == State::Recovering && !m_inFlight)
        m_nextAttempt = std::min(m_nextAttempt, now);
}

void CReconnectPolicy::OnAttemptFailed(Clock::time_point now)
{
    ZLOG_SCOPE();
    m_inFlight = false;
    if (m_state == State::Recovering)
        ScheduleRetry(now);
}

bool CReconnectPolicy::OnLocalAddress(const std::string& address, Clock::time_point now)
{
    if (address.empty() || address == m_localAddress)
        return false;
    const bool first = m_localAddress.empty();
    m_localAddress = address;
    if (first)
        return false;
    ZLOG(LOG_WARNING, "local address is now %s", address.c_str());
    if (m_state == State::Recovering) {
        m_nextAttempt = now; // the new network may well reach the registrar
        return false;
    }
    if (m_state != State::Registered)
        return false;
    SetStatus("Network changed. Signing in again...");
    m_inFlight = true;
    m_sentAt = now;
    m_lastRegister = now;
    return true;
}

bool CReconnectPolicy::Tick(Clock::time_point now, Clock::duration late)
{
    if (m_state == State::Registered) {
        if (late >= m_settings.sleepThreshold) {
            ZLOG(LOG_WARNING, "woke %lld ms late: signing in again",
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(late).count()));
            SetStatus("Reconnecting...");
            m_inFlight = true;
            m_sentAt = now;
            m_lastRegister = now;
            return true;
        }
        if (m_inFlight && now - m_sentAt >= m_settings.answerTimeout) {
            // Its retransmissions go on; the user learns now that the line is down.
            StartRecovery(now, Clock::time_point::max(), "re-registration unanswered");
            m_inFlight = true;
            m_attempts = 1;
            return false;
        }
        if (!m_inFlight && now - m_lastRegister >= m_settings.bindingCheck) {
            m_inFlight = true;
            m_sentAt = now;
            m_lastRegister = now;
            return true;
        }
        return false;
    }
    if (m_state != State::Recovering)
        return false;
    if (m_inFlight) {
        // Unanswered for the answer time: failed. The next attempt waits its backoff rather than
        // the half minute a SIP transaction takes to give up on a registrar that is gone.
        if (now - m_sentAt >= m_settings.answerTimeout) {
            m_inFlight = false;
            ScheduleRetry(now);
        }
        return false;
    }
    if (late >= m_settings.sleepThreshold || now >= m_nextAttempt) {
        ++m_attempts;
        m_inFlight = true;
        m_sentAt = now;
        SetStatus("Reconnecting...");
        return true;
    }
    return false;
}

CReconnectPolicy::Seconds CReconnectPolicy::Backoff(int attempts) const
{
    const int shift = std::clamp(attempts - 1, 0, 16);
    return std::min(Seconds(1LL << shift), m_settings.maxBackoff);
}

bool CReconnectPolicy::TakeStatus(std::string& text)
{
    if (!m_statusChanged)
        return false;
    m_statusChanged = false;
    text = m_status;
    return true;
}

void CReconnectPolicy::StartRecovery(Clock::time_point now, Clock::time_point firstAttempt, const char* reason)
{
    ZLOG_SCOPE();
    ZLOG(LOG_WARNING, "signed-in line lost (%s): recovering", reason);
    m_state = State::Recovering;
    m_attempts = 0;
    m_inFlight = false;
    m_nextAttempt = firstAttempt;
    (void)now;
    SetStatus("Connection lost. Reconnecting...");
}

void CReconnectPolicy::ScheduleRetry(Clock::time_point now)
{
    const Seconds wait = Backoff(std::max(m_attempts, 1));
    m_nextAttempt = now + wait;
    ZLOG(LOG_INFO, "attempt %d failed, next in %lld s", m_attempts, static_cast<long long>(wait.count()));
    SetStatus("Reconnecting in " + std::to_string(wait.count()) + " s...");
}

void CReconnectPolicy::SetStatus(std::string text)
{
    if (text == m_status)
        return;
    m_status = std::move(text);
    m_statusChanged = true;
}
