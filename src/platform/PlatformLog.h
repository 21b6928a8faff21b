#pragma once
#include "platform/LogName.h"

// The platform layer sits below the logger, so it reports through a hook that the
// application installs at start-up. Without a hook, nothing is formatted or written.
namespace zelora {

// level follows the logger's numbers: 1 error, 2 warning, 3 debug, 7 info.
using PlatformLogHook = void (*)(int level, const char* method, const char* text);

void SetPlatformLogHook(PlatformLogHook hook);
PlatformLogHook GetPlatformLogHook();

void PlatformLog(int level, const char* method, const char* format, ...) __attribute__((format(printf, 3, 4)));

} // namespace zelora

// A line under the enclosing method's name.
#define PLATFORM_LOG(level, ...) ::zelora::PlatformLog((level), ZLOG_METHOD, __VA_ARGS__)
