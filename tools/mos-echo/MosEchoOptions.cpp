#include "MosEchoOptions.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long& out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > max)
        return false;
    out = v;
    return true;
}

bool ParseDouble(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool ParseInt32(const std::string& text, std::int32_t& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

} // namespace

const char* MosEchoUsage()
{
    return "usage: mos-echo [--address A] [--port P] [--interval SECONDS] [--value V]\n"
           "                [--allowed N] [--drop-every N] [--delay MS] [--late-every N]\n"
           "                [--late-by MS] [--burst N]\n"
           "                [--burst-timeout MS] [--duplicate] [--pad BYTES]\n";
}

bool ParseMosEchoOptions(const std::vector<std::string>& args, MosEchoOptions& o, std::string& error)
{
    constexpr unsigned long kMaxMs = 600000;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            error.clear();
            return false;
        }
        if (name == "--duplicate") {
            o.duplicate = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "missing value for " + name;
            return false;
        }
        const std::string& value = args[++i];
        unsigned long u = 0;
        bool ok = true;
        if (name == "--address") {
            in_addr a{};
            ok = inet_pton(AF_INET, value.c_str(), &a) == 1;
            o.address = value;
        } else if (name == "--port") {
            ok = ParseUnsigned(value, 65535, u);
            o.port = static_cast<std::uint16_t>(u);
        } else if (name == "--interval") {
            ok = ParseDouble(value, o.baseInterval);
        } else if (name == "--value") {
            ok = ParseDouble(value, o.serverValue);
        } else if (name == "--allowed") {
            ok = ParseInt32(value, o.allowedCount);
        } else if (name == "--drop-every") {
            ok = ParseUnsigned(value, 1000000, u);
            o.dropEvery = static_cast<unsigned>(u);
        } else if (name == "--delay") {
            ok = ParseUnsigned(value, kMaxMs, u);
            o.delayMs = static_cast<unsigned>(u);
        } else if (name == "--late-every") {
            ok = ParseUnsigned(value, 1000000, u);
            o.lateEvery = static_cast<unsigned>(u);
        } else if (name == "--late-by") {
            ok = ParseUnsigned(value, kMaxMs, u);
            o.lateByMs = static_cast<unsigned>(u);
        } else if (name == "--burst") {
            ok = ParseUnsigned(value, 100000, u);
            o.burst = static_cast<unsigned>(u);
        } else if (name == "--burst-timeout") {
            ok = ParseUnsigned(value, kMaxMs, u);
            o.burstTimeoutMs = static_cast<unsigned>(u);
        } else if (name == "--pad") {
            ok = ParseUnsigned(value, 1024, u);
            o.pad = static_cast<unsigned>(u);
        } else {
            error = "unknown option " + name;
            return false;
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    return true;
}
