#pragma once
// A library's entry points loaded at the first call from any thread, the outcome kept for every
// later one; a failure is reported once, through the caller (the platform layer has no log).
#include <mutex>
#include <string>

namespace zelora {

template <class Api>
class LoadOnce {
public:
    // `fill(api, error)` loads; `report(error)` hears of a failure once. Null and `error` set
    // on failure, on this call and every later one.
    template <class Fill, class Report>
    const Api* Get(std::string& error, Fill&& fill, Report&& report)
    {
        std::call_once(m_once, [&] {
            m_ok = fill(m_api, m_error);
            if (!m_ok)
                report(m_error);
        });
        if (!m_ok)
            error = m_error;
        return m_ok ? &m_api : nullptr;
    }

private:
    std::once_flag m_once;
    Api m_api{};
    bool m_ok = false;
    std::string m_error;
};

} // namespace zelora
