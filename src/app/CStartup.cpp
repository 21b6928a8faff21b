#include "app/CStartup.h"

#include "app/CLogger.h"
#include "app/Deployment.h"
#include "platform/PlatformLog.h"

namespace {
void forwardPlatformLog(int level, const char* method, const char* text)
{
    CLogger::Log(level, "", 0, method, "%s", text);
}
} // namespace

void CStartup::InstallPlatformLogHook() { zelora::SetPlatformLogHook(&forwardPlatformLog); }

int CStartup::Init(const std::string& program, const std::string& resourceFolder, std::string* error)
{
    InstallPlatformLogHook();
    int rc = 1;
    if (CLogger::OpenDefault(program) != 1)
        rc = -1;
    ZLOG_SCOPE();
    std::string why;
    if (Deployment::Init(resourceFolder, &why) != Deployment::kOk) {
        if (error != nullptr)
            *error = why;
        return -2;
    }
    return rc;
}
