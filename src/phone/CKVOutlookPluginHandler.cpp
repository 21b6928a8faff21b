#include "phone/CKVOutlookPluginHandler.h"

#include "app/CLogger.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"

CKVOutlookPluginHandler::CKVOutlookPluginHandler(const zelora::Registry* machine)
{
    ZLOG_SCOPE();
    const zelora::Registry& registry = machine != nullptr ? *machine : zelora::Registry::LocalMachine();
    std::string path;
    if (registry.GetString(kAppPathKey, kDefaultValue, path) != 0 || path.empty()) {
        ZLOG(LOG_DEBUG, "PIM sync plug-in not installed");
        return;
    }
    if (path.size() > kMaxPath)
        path.resize(kMaxPath);
    // A path is cut at its last separator; the Windows one is honoured as well as ours.
    std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos) {
        ZLOG(LOG_ERROR, "PIM sync plug-in path has no folder: %s", path.c_str());
        return;
    }
    m_pluginPath = path;
    m_pluginFileName = path.substr(separator + 1);
    m_found = 1;
}

int CKVOutlookPluginHandler::Launch() const
{
    ZLOG_SCOPE();
    int rc = zelora::ProcessList::Open(m_pluginPath);
    if (rc != 1)
        ZLOG(LOG_ERROR, "Unable to start %s (%d)", m_pluginPath.c_str(), rc);
    return rc;
}

int CKVOutlookPluginHandler::Stop() const
{
    ZLOG_SCOPE();
    if (!Found())
        return 0;
    pid_t pid = zelora::ProcessList::FindByExecutableName(m_pluginFileName);
    if (pid < 0)
        return 0;
    int rc = zelora::ProcessList::Terminate(pid);
    if (rc != 0) {
        ZLOG(LOG_ERROR, "Unable to end %s (%d)", m_pluginFileName.c_str(), rc);
        return rc;
    }
    ZLOG(LOG_DEBUG, "Ended %s, process %d", m_pluginFileName.c_str(), static_cast<int>(pid));
    return 1;
}
