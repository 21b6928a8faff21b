#include "app/MXRegistry.h"

#include "app/CLogger.h"
#include "app/Deployment.h"
#include "platform/Registry.h"

namespace {
std::string folderWithSlash(const std::string& folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
}
} // namespace

MXRegistry::MXRegistry() : m_registry(zelora::Registry::CurrentUser()), m_useDeployment(true) { }

MXRegistry::MXRegistry(zelora::Registry& registry, std::string sipServer, std::string tunnelServer)
    : m_registry(registry), m_sipServer(std::move(sipServer)), m_tunnelServer(std::move(tunnelServer)),
      m_useDeployment(false)
{
}

std::string MXRegistry::JoinKey(std::string_view subKey)
{
    std::string key(kBaseKey);
    key.append(subKey);
    return key;
}

int MXRegistry::CreateKey(std::string_view subKey)
{
    ZLOG_SCOPE();
    if (m_registry.CreateKey(JoinKey(subKey)) != 0) {
        ZLOG(LOG_ERROR, "Unable to create registry key %s", JoinKey(subKey).c_str());
        return -1;
    }
    return 1;
}

int MXRegistry::ReadString(std::string_view subKey, std::string_view name, std::string& out)
{
    ZLOG_SCOPE();
    std::string text;
    if (m_registry.GetString(JoinKey(subKey), name, text) != 0)
        return -1;
    // The value fills a 255-byte buffer with its terminator.
    if (text.size() > kMaxString)
        text.resize(kMaxString);
    out = std::move(text);
    return 0;
}

int MXRegistry::ReadBinary(std::string_view subKey, std::string_view name, std::vector<std::uint8_t>& out,
                           std::size_t& size)
{
    ZLOG_SCOPE();
    std::vector<std::uint8_t> bytes;
    if (m_registry.GetBinary(JoinKey(subKey), name, bytes) != 0)
        return -1;
    if (bytes.size() > size) {
        ZLOG(LOG_ERROR, "Value %.*s holds %zu bytes, room for %zu", static_cast<int>(name.size()), name.data(),
             bytes.size(), size);
        return -1;
    }
    size = bytes.size();
    out = std::move(bytes);
    return 0;
}

int MXRegistry::ReadDword(std::string_view subKey, std::string_view name, std::uint32_t& out)
{
    ZLOG_SCOPE();
    return m_registry.GetDword(JoinKey(subKey), name, out) == 0 ? 0 : -1;
}

int MXRegistry::WriteString(std::string_view subKey, std::string_view name, std::string_view text)
{
    ZLOG_SCOPE();
    if (text.size() > kMaxString) {
        ZLOG(LOG_ERROR, "Value %.*s longer than %zu characters", static_cast<int>(name.size()), name.data(),
             kMaxString);
        return -1;
    }
    return m_registry.SetString(JoinKey(subKey), name, text) == 0 ? 0 : -1;
}

int MXRegistry::WriteBinary(std::string_view subKey, std::string_view name, const std::vector<std::uint8_t>& data)
{
    ZLOG_SCOPE();
    if (data.size() > kMaxBinary) {
        ZLOG(LOG_ERROR, "Value %.*s longer than %zu bytes", static_cast<int>(name.size()), name.data(), kMaxBinary);
        return -1;
    }
    return m_registry.SetBinary(JoinKey(subKey), name, data.data(), data.size()) == 0 ? 0 : -1;
}

int MXRegistry::WriteDword(std::string_view subKey, std::string_view name, std::uint32_t value)
{
    ZLOG_SCOPE();
    return m_registry.SetDword(JoinKey(subKey), name, value) == 0 ? 0 : -1;
}

int MXRegistry::ReadOrCreateString(std::string_view subKey, std::string_view name, std::string& value,
                                   std::string_view def)
{
    ZLOG_SCOPE();
    std::string read;
    if (ReadString(subKey, name, read) == 0 && !read.empty()) {
        value = std::move(read);
        return 1;
    }
    std::string fallback(def.substr(0, kMaxString));
    if (CreateKey(subKey) != 1)
        return kCreateKeyFailed;
    if (WriteString(subKey, name, fallback) != 0) {
        ZLOG(LOG_ERROR, "Unable to write default of %.*s", static_cast<int>(name.size()), name.data());
        return kWriteDefaultFailed;
    }
    value = std::move(fallback);
    return 1;
}

int MXRegistry::ReadOrCreateDword(std::string_view subKey, std::string_view name, std::uint32_t& value,
                                  std::uint32_t def)
{
    ZLOG_SCOPE();
    std::uint32_t read = 0;
    if (ReadDword(subKey, name, read) == 0) {
        value = read;
        return 1;
    }
    if (CreateKey(subKey) != 1)
        return kCreateKeyFailed;
    if (WriteDword(subKey, name, def) != 0) {
        ZLOG(LOG_ERROR, "Unable to write default of %.*s", static_cast<int>(name.size()), name.data());
        return kWriteDefaultFailed;
    }
    value = def;
    return 1;
}

int MXRegistry::GetLastCheckTS(std::string& value)
{
    ZLOG_SCOPE();
    std::string current = value;
    return ReadOrCreateString("", "LastCheckTS", value, current);
}

int MXRegistry::GetProxyIpPort(std::string& ip, std::string& port)
{
    ZLOG_SCOPE();
    std::string builtIn = m_useDeployment ? Deployment::Get().sipDefaultServer : m_sipServer;
    int rc = ReadOrCreateString("", "ProxyIp", ip, builtIn);
    if (rc != 1)
        return rc;
    return ReadOrCreateString("", "ProxyPort", port, kDefaultProxyPort);
}

int MXRegistry::GetDialedFromWeb(std::string& value)
{
    ZLOG_SCOPE();
    return ReadOrCreateString("", "DialedFromWeb", value, "");
}

int MXRegistry::GetAppPath(std::string& value, const std::string& programFolder)
{
    ZLOG_SCOPE();
    return ReadOrCreateString("", "AppPath", value, folderWithSlash(programFolder));
}

int MXRegistry::GetRingTone(std::string& value, const std::string& appPath)
{
    ZLOG_SCOPE();
    return ReadOrCreateString("", "RingTone", value, appPath + kRingToneFile);
}

int MXRegistry::GetAudioSettings(std::string& value)
{
    ZLOG_SCOPE();
    return ReadOrCreateString(kCodecKey, "AudioSettings", value, kDefaultAudioSettings);
}

int MXRegistry::GetConfig(MXConfigGroup& group)
{
    ZLOG_SCOPE();
    int rc = ReadOrCreateString(kConfigKey, "Config1", group.userId, "");
    if (rc != 1)
        return rc;
    std::vector<std::uint8_t> bytes;
    std::size_t size = kMaxBinary;
    if (ReadBinary(kConfigKey, "Config2", bytes, size) == 0) {
        group.password = std::move(bytes);
    } else {
        if (CreateKey(kConfigKey) != 1)
            return kCreateKeyFailed;
        // Refuse to replace a stored value that is merely too long to read.
        std::vector<std::uint8_t> existing;
        if (m_registry.GetBinary(JoinKey(kConfigKey), "Config2", existing) != 0 &&
            WriteBinary(kConfigKey, "Config2", {}) != 0)
            return kWriteDefaultFailed;
        group.password.clear();
    }
    rc = ReadOrCreateDword(kConfigKey, "AutoLogin", group.autoLogin, 0);
    if (rc != 1)
        return rc;
    return ReadOrCreateDword(kConfigKey, "RememberMe", group.rememberMe, 0);
}

int MXRegistry::GetHttpProxy(MXHttpProxyGroup& group)
{
    ZLOG_SCOPE();
    int rc = ReadOrCreateDword(kHttpProxyKey, "HttpProxyPort", group.httpProxyPort, 0);
    if (rc == 1)
        rc = ReadOrCreateString(kHttpProxyKey, "HttpProxyIP", group.httpProxyIp, "");
    if (rc == 1)
        rc = ReadOrCreateDword(kHttpProxyKey, "HttpUseProxy", group.httpUseProxy, 0);
    if (rc == 1)
        rc = ReadOrCreateDword(kHttpProxyKey, "HttpUseTunnel", group.httpUseTunnel, 0);
    if (rc == 1) {
        std::string builtIn = m_useDeployment ? Deployment::Get().tunnelServer : m_tunnelServer;
        rc = ReadOrCreateString(kHttpProxyKey, "HttpTunnelIP", group.httpTunnelIp, builtIn);
    }
    if (rc == 1)
        rc = ReadOrCreateDword(kHttpProxyKey, "LastConnection", group.lastConnection, 0);
    if (rc != 1)
        ZLOG(LOG_ERROR, "Unable to read HTTP proxy settings");
    return rc;
}

int MXRegistry::GetLogger(MXLoggerGroup& group)
{
    ZLOG_SCOPE();
    int rc = ReadOrCreateDword(kLoggerKey, "LogLevel", group.logLevel, 7);
    if (rc != 1)
        return rc;
    return ReadOrCreateDword(kLoggerKey, "LogFileSize", group.logFileSize, 7);
}

int MXRegistry::WriteLastCheckTS(std::string_view value)
{
    ZLOG_SCOPE();
    if (CreateKey("") != 1)
        return -1;
    return WriteString("", "LastCheckTS", value) == 0 ? 1 : -2;
}

int MXRegistry::WriteRingTone(std::string_view value)
{
    ZLOG_SCOPE();
    if (CreateKey("") != 1)
        return -1;
    return WriteString("", "RingTone", value) == 0 ? 1 : -2;
}

int MXRegistry::WriteDialedFromWeb(std::string_view value)
{
    ZLOG_SCOPE();
    if (CreateKey("") != 1)
        return -1;
    return WriteString("", "DialedFromWeb", value) == 0 ? 1 : -2;
}

int MXRegistry::WriteConfig(const MXConfigGroup& group)
{
    ZLOG_SCOPE();
    // The group goes to disk in one write: all of the account or none of it.
    zelora::Registry::Batch batch(m_registry);
    if (CreateKey(kConfigKey) != 1)
        return -1;
    if (WriteDword(kConfigKey, "AutoLogin", group.autoLogin) != 0)
        return -2;
    if (WriteDword(kConfigKey, "RememberMe", group.rememberMe) != 0)
        return -3;
    if (WriteString(kConfigKey, "Config1", group.userId) != 0)
        return -4;
    if (WriteBinary(kConfigKey, "Config2", group.password) != 0)
        return -5;
    // Nothing reached the disk: the first value is the one that failed.
    return batch.Commit() == 0 ? 1 : -2;
}

int MXRegistry::WriteHttpProxy(const MXHttpProxyGroup& group)
{
    ZLOG_SCOPE();
    zelora::Registry::Batch batch(m_registry);
    if (CreateKey(kHttpProxyKey) != 1)
        return -1;
    if (WriteDword(kHttpProxyKey, "HttpProxyPort", group.httpProxyPort) != 0)
        return -2;
    if (WriteDword(kHttpProxyKey, "HttpUseTunnel", group.httpUseTunnel) != 0)
        return -3;
    if (WriteDword(kHttpProxyKey, "HttpUseProxy", group.httpUseProxy) != 0)
        return -4;
    if (WriteString(kHttpProxyKey, "HttpProxyIP", group.httpProxyIp) != 0)
        return -5;
    if (WriteString(kHttpProxyKey, "HttpTunnelIP", group.httpTunnelIp) != 0)
        return -6;
    if (WriteDword(kHttpProxyKey, "LastConnection", group.lastConnection) != 0)
        return -7;
    return batch.Commit() == 0 ? 1 : -2;
}

int MXRegistry::IsFirstTime(std::uint32_t& oldValue)
{
    ZLOG_SCOPE();
    std::uint32_t read = 0;
    bool existed = ReadDword("", "IsFirstTime", read) == 0;
    if (CreateKey("") != 1)
        return kCreateKeyFailed;
    if (WriteDword("", "IsFirstTime", 0) != 0)
        return kWriteDefaultFailed;
    if (!existed)
        return 2;
    oldValue = read;
    return 1;
}
