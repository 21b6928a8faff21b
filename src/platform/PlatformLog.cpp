#include "platform/PlatformLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace zelora {
namespace {
std::atomic<PlatformLogHook> g_hook{nullptr};
}

void SetPlatformLogHook(PlatformLogHook hook) { g_hook.store(hook, std::memory_order_release); }

PlatformLogHook GetPlatformLogHook() { return g_hook.load(std::memory_order_acquire); }

void PlatformLog(int level, const char* method, const char* format, ...)
{
    PlatformLogHook hook = g_hook.load(std::memory_order_acquire);
    if (hook == nullptr)
        return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    hook(level, method != nullptr ? method : "", text);
}

} // namespace zelora
