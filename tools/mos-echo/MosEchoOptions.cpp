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
           "                [--late-by MS] [--burst N] [--burst-timeout MS] [--duplicate]\n"
           "                [--pad BYTES]\n";
}

namespace {

// The options that take a whole number, with their upper bound.
struct CountOption {
    const char* name;
    unsigned long max;
    unsigned MosEchoOptions::*field;
};
constexpr unsigned long kMaxMs = 600000;
constexpr CountOption kCountOptions[] = {
    {"--drop-every", 1000000, &MosEchoOptions::dropEvery},
    {"--delay", kMaxMs, &MosEchoOptions::delayMs},
    {"--late-every", 1000000, &MosEchoOptions::lateEvery},
    {"--late-by", kMaxMs, &MosEchoOptions::lateByMs},
    {"--burst", 100000, &MosEchoOptions::burst},
    {"--burst-timeout", kMaxMs, &MosEchoOptions::burstTimeoutMs},
    {"--pad", 1024, &MosEchoOptions::pad},
};

// Returns false for an unknown name; `ok` tells whether the value parsed.
bool ParseValue(const std::string& name, const std::string& value, MosEchoOptions& o, bool& ok)
{
    unsigned long u = 0;
    for (const CountOption& c : kCountOptions) {
        if (name == c.name) {
            ok = ParseUnsigned(value, c.max, u);
            o.*c.field = static_cast<unsigned>(u);
            return true;
        }
    }
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
    } else {
        return false;
    }
    return true;
}

} // namespace

bool ParseMosEchoOptions(const std::vector<std::string>& args, MosEchoOptions& o, std::string& error)
{
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
        bool ok = false;
        if (!ParseValue(name, value, o, ok)) {
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
