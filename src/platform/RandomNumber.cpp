#include "platform/RandomNumber.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <sys/random.h>

namespace zelora {

std::uint32_t RandomNumber()
{
    std::uint32_t value = 0;
    for (;;) {
        ssize_t n = ::getrandom(&value, sizeof value, 0);
        if (n == static_cast<ssize_t>(sizeof value))
            return value;
        if (n < 0 && errno != EINTR)
            break;
    }
    // No kernel source (a seccomp filter): distinct numbers still, from the clock and a counter.
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t x = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) +
        counter.fetch_add(0x9E3779B97F4A7C15ULL);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::uint32_t>(x ^ (x >> 31));
}

} // namespace zelora
