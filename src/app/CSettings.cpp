#include "app/CSettings.h"

#include "app/CEncryptDecrypt.h"
#include "app/CLogger.h"
#include "app/MXFileHelper.h"
#include "app/MXRegistry.h"

#include <atomic>
#include <filesystem>

namespace {
std::atomic<bool> g_fromFile{false};

std::string executableFolder()
{
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return ".";
    return exe.parent_path().string();
}
} // namespace

CSettings& CSettings::Instance()
{
    static MXRegistry registry;
    static CSettings settings(registry, MXFileHelper::Instance(), executableFolder());
    return settings;
}

CSettings::CSettings(MXRegistry& registry, MXFileHelper& file, std::string programFolder)
    : m_registry(registry), m_file(file), m_programFolder(std::move(programFolder))
{
}

void CSettings::SetFromFile(bool fromFile) { g_fromFile.store(fromFile); }

bool CSettings::FromFile() { return g_fromFile.load(); }

void CSettings::SetProgramFolder(const std::string& folder)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_programFolder = folder;
}

CSettings::Batch::Batch(CSettings& settings)
{
    if (!FromFile())
        m_batch.emplace(settings.m_registry.Store());
}

int CSettings::SaveFile()
{
    if (m_file.Folder().empty())
        m_file.SetFolder(m_programFolder);
    int rc = m_file.SaveSettings();
    return rc < 0 ? rc : 1;
}

int CSettings::ReadServer(std::string& ip, std::string& port)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.GetProxyIpPort(ip, port);
    ip = m_file.Data().proxyIp;
    port = m_file.Data().proxyPort;
    return 1;
}

int CSettings::ReadAppPath(std::string& path)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.GetAppPath(path, m_programFolder);
    path = m_file.Data().appPath;
    return 1;
}

int CSettings::ReadRingTone(std::string& path)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FromFile()) {
        path = m_file.Data().ringTonePath;
        return 1;
    }
    std::string appPath;
    int rc = m_registry.GetAppPath(appPath, m_programFolder);
    if (rc != 1)
        return rc;
    return m_registry.GetRingTone(path, appPath);
}

int CSettings::WriteRingTone(const std::string& path)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.WriteRingTone(path);
    m_file.Data().ringTonePath = path;
    return SaveFile();
}

int CSettings::ReadAudioSettings(std::string& payloads)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.GetAudioSettings(payloads);
    payloads = m_file.Data().audioSettings;
    return 1;
}

int CSettings::ReadDialedFromWeb(std::string& number)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.GetDialedFromWeb(number);
    number = m_file.Data().dialedFromWeb;
    return 1;
}

int CSettings::WriteDialedFromWeb(const std::string& number)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.WriteDialedFromWeb(number);
    m_file.Data().dialedFromWeb = number;
    return SaveFile();
}

int CSettings::ReadLastCheckTS(std::string& stamp)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.GetLastCheckTS(stamp);
    stamp = m_file.Data().lastCheckTS;
    return 1;
}

int CSettings::WriteLastCheckTS(const std::string& stamp)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile())
        return m_registry.WriteLastCheckTS(stamp);
    m_file.Data().lastCheckTS = stamp;
    return SaveFile();
}

int CSettings::ReadAccount(CSettingsAccount& account)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FromFile()) {
        const MXSettingsData& d = m_file.Data();
        account.userId = d.userName;
        account.password = d.userPassword;
        account.autoLogin = d.autoLogin;
        account.rememberMe = d.rememberMe;
        return 1;
    }
    MXConfigGroup group;
    int rc = m_registry.GetConfig(group);
    if (rc != 1)
        return rc;
    account.userId = group.userId;
    account.autoLogin = static_cast<int>(group.autoLogin);
    account.rememberMe = static_cast<int>(group.rememberMe);
    account.password.clear();
    if (!group.password.empty()) {
        CEncryptDecrypt cipher;
        std::string plain;
        if (cipher.Decrypt(group.password.data(), group.password.size(), CEncryptDecrypt::kWebDataKey, plain) < 0) {
            ZLOG(LOG_ERROR, "Unable to decrypt password");
            return kDecryptFailed;
        }
        account.password = plain;
    }
    return 1;
}

int CSettings::WriteAccount(const CSettingsAccount& account)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FromFile()) {
        MXSettingsData& d = m_file.Data();
        d.userName = account.userId;
        d.userPassword = account.password;
        d.autoLogin = account.autoLogin;
        d.rememberMe = account.rememberMe;
        return SaveFile();
    }
    MXConfigGroup group;
    group.userId = account.userId;
    group.autoLogin = static_cast<std::uint32_t>(account.autoLogin);
    group.rememberMe = static_cast<std::uint32_t>(account.rememberMe);
    if (!account.password.empty()) {
        CEncryptDecrypt cipher;
        if (cipher.Encrypt(account.password, CEncryptDecrypt::kWebDataKey, group.password) < 0) {
            ZLOG(LOG_ERROR, "Unable to encrypt data");
            return kEncryptFailed;
        }
    }
    return m_registry.WriteConfig(group);
}

int CSettings::ReadHttpProxy(CSettingsHttpProxy& proxy)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FromFile()) {
        const MXSettingsData& d = m_file.Data();
        proxy.httpProxyIp = d.httpProxyIp;
        proxy.httpProxyPort = d.httpProxyPort;
        proxy.httpUseProxy = d.httpUseProxy;
        proxy.httpUseTunnel = d.httpUseTunnel;
        proxy.httpTunnelIp = d.httpTunnelIp;
        proxy.lastConnection = d.lastConnection;
        return 1;
    }
    MXHttpProxyGroup group;
    int rc = m_registry.GetHttpProxy(group);
    proxy.httpProxyIp = group.httpProxyIp;
    proxy.httpProxyPort = static_cast<int>(group.httpProxyPort);
    proxy.httpUseProxy = static_cast<int>(group.httpUseProxy);
    proxy.httpUseTunnel = static_cast<int>(group.httpUseTunnel);
    proxy.httpTunnelIp = group.httpTunnelIp;
    proxy.lastConnection = static_cast<int>(group.lastConnection);
    return rc;
}

int CSettings::WriteHttpProxy(const CSettingsHttpProxy& proxy)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FromFile()) {
        MXSettingsData& d = m_file.Data();
        d.httpProxyIp = proxy.httpProxyIp;
        d.httpProxyPort = proxy.httpProxyPort;
        d.httpUseProxy = proxy.httpUseProxy;
        d.httpUseTunnel = proxy.httpUseTunnel;
        d.httpTunnelIp = proxy.httpTunnelIp;
        d.lastConnection = proxy.lastConnection;
        return SaveFile();
    }
    MXHttpProxyGroup group;
    group.httpProxyIp = proxy.httpProxyIp;
    group.httpProxyPort = static_cast<std::uint32_t>(proxy.httpProxyPort);
    group.httpUseProxy = static_cast<std::uint32_t>(proxy.httpUseProxy);
    group.httpUseTunnel = static_cast<std::uint32_t>(proxy.httpUseTunnel);
    group.httpTunnelIp = proxy.httpTunnelIp;
    group.lastConnection = static_cast<std::uint32_t>(proxy.lastConnection);
    return m_registry.WriteHttpProxy(group);
}

int CSettings::ReadLogger(int& level, int& size)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FromFile()) {
        level = m_file.Data().logLevel;
        size = m_file.Data().logSize;
        return 1;
    }
    MXLoggerGroup group;
    int rc = m_registry.GetLogger(group);
    if (rc != 1)
        return rc;
    level = static_cast<int>(group.logLevel);
    size = static_cast<int>(group.logFileSize);
    return 1;
}

int CSettings::ReadIsFirstTime(int& oldValue)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!FromFile()) {
        std::uint32_t value = 0;
        int rc = m_registry.IsFirstTime(value);
        if (rc == 1)
            oldValue = static_cast<int>(value);
        return rc;
    }
    oldValue = m_file.Data().isFirstTime;
    if (oldValue != 0) {
        m_file.Data().isFirstTime = 0;
        int rc = SaveFile();
        if (rc < 0)
            return rc;
    }
    return 1;
}

int CSettings::ReadSmsServer(std::string& requestPage, std::string& serverIp, std::string& serverPort)
{
    ZLOG_SCOPE();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (FromFile()) {
        requestPage = m_file.Data().smsRequestPage;
        serverIp = m_file.Data().smsServerIp;
        serverPort = m_file.Data().smsServerPort;
    } else {
        requestPage.clear();
        serverIp.clear();
        serverPort = "80";
    }
    return 1;
}
