#include "TunnelLog.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

void TunnelLog(const char* format, ...)
{
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tmNow{};
    localtime_r(&now, &tmNow);
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tmNow);
    std::fprintf(stderr, "[%s] tunnel-server: ", stamp);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
