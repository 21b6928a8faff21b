#include "quvane/CQuvaneState.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace quvane {

namespace {
// The largest whole number of seconds whose milliseconds fit the timer.
constexpr double kMaxTimerSeconds = static_cast<double>(UINT_MAX / 1000u);
} // namespace

CQuvaneState& CQuvaneState::Instance()
{
    static CQuvaneState state;
    return state;
}

void CQuvaneState::Keep(const ServerValues& values)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_values = values;
}

double CQuvaneState::ServerValue() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_values.serverValue;
}

int CQuvaneState::ReprobeCounter() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_counter;
}

unsigned CQuvaneState::ReprobeDelayMs(double baseInterval, int n, std::uint64_t draw)
{
    const std::uint64_t span = n >= 64 ? UINT64_MAX : (std::uint64_t{1} << n) - 1;
    const std::uint64_t k = (span == 0 ? 0 : draw % span) + 1;
    const double delay = baseInterval * static_cast<double>(k);
    // Whole seconds as the "%f" text of the delay reads, so 2.9999999
    // becomes 3 the way the printed value does.
    char text[400];
    std::snprintf(text, sizeof text, "%f", delay);
    double seconds = std::floor(std::strtod(text, nullptr));
    if (!(seconds >= 0.0))
        seconds = 0.0;
    if (seconds > kMaxTimerSeconds)
        seconds = kMaxTimerSeconds;
    return static_cast<unsigned>(seconds) * 1000u;
}

double CQuvaneState::ScheduleReprobe(const QuvaneTimerHost& host)
{
    unsigned ms = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_counter < INT_MAX)
            ++m_counter;
        const int n = m_counter;
        if (m_values.allowedCount < n) {
            m_counter = 0;
            return -2.0;
        }
        std::mt19937_64 generator(
            static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
        ms = ReprobeDelayMs(m_values.baseInterval, n, generator());
    }
    // Outside the lock: the host may well probe again from its callback.
    host.setTimer(host.context, 1, ms);
    return 1.0;
}

} // namespace quvane
