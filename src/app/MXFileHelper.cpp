#include "app/MXFileHelper.h"

#include "app/CEncryptDecrypt.h"
#include "app/CLogger.h"
#include "app/Deployment.h"
#include "platform/HexString.h"
#include "platform/ProfileFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

struct Tag {
    const char* name;
    std::string MXSettingsData::*text;
    int MXSettingsData::*number;
};

// The order of the elements in the file.
constexpr Tag kTags[] = {
    {"AppPath", &MXSettingsData::appPath, nullptr},
    {"DialedFromWeb", &MXSettingsData::dialedFromWeb, nullptr},
    {"IsFirstTime", nullptr, &MXSettingsData::isFirstTime},
    {"LastCheckTS", &MXSettingsData::lastCheckTS, nullptr},
    {"ProxyIp", &MXSettingsData::proxyIp, nullptr},
    {"ProxyPort", &MXSettingsData::proxyPort, nullptr},
    {"RingTonePath", &MXSettingsData::ringTonePath, nullptr},
    {"AudioSettings", &MXSettingsData::audioSettings, nullptr},
    {"AutoLogin", nullptr, &MXSettingsData::autoLogin},
    {"UserName", &MXSettingsData::userName, nullptr},
    {"UserPassword", &MXSettingsData::userPassword, nullptr},
    {"RememberMe", nullptr, &MXSettingsData::rememberMe},
    {"HttpProxyIp", &MXSettingsData::httpProxyIp, nullptr},
    {"HttpProxyPort", nullptr, &MXSettingsData::httpProxyPort},
    {"HttpTunnelIp", &MXSettingsData::httpTunnelIp, nullptr},
    {"HttpUseProxy", nullptr, &MXSettingsData::httpUseProxy},
    {"HttpUseTunnel", nullptr, &MXSettingsData::httpUseTunnel},
    {"LogLevel", nullptr, &MXSettingsData::logLevel},
    {"LogSize", nullptr, &MXSettingsData::logSize},
    {"SMSRequestPage", &MXSettingsData::smsRequestPage, nullptr},
    {"SMSServerIp", &MXSettingsData::smsServerIp, nullptr},
    {"SMSServerPort", &MXSettingsData::smsServerPort, nullptr},
};
static_assert(sizeof kTags / sizeof kTags[0] == MXFileHelper::kTagCount);

std::atomic<MXMessageBoxHandler> g_messageBox{nullptr};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// What a text value becomes after a save and a load.
std::string asRead(const std::string& value)
{
    return std::string(trimBlanks(value).substr(0, MXFileHelper::kMaxValue));
}

std::string folderWithSlash(const std::string& folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
}

} // namespace

MXFileHelper::MXFileHelper() : m_useDeployment(true) { }

MXFileHelper::MXFileHelper(std::string sipServer, std::string tunnelServer)
    : m_sipServer(std::move(sipServer)), m_tunnelServer(std::move(tunnelServer)), m_useDeployment(false)
{
}

MXFileHelper& MXFileHelper::Instance()
{
    static MXFileHelper helper;
    return helper;
}

void MXFileHelper::SetMessageBoxHandler(MXMessageBoxHandler handler) { g_messageBox.store(handler); }

void MXFileHelper::ShowMessage(const char* text, bool isError)
{
    MXMessageBoxHandler handler = g_messageBox.load();
    if (handler != nullptr)
        handler(text, isError);
    else
        std::fprintf(stderr, "%s\n", text);
}

void MXFileHelper::SetFolder(const std::string& programFolder) { m_folder = programFolder; }

std::string MXFileHelper::FilePath() const
{
    return (std::filesystem::path(m_folder.empty() ? "." : m_folder) / kFileName).string();
}

void MXFileHelper::SetDefaults(const std::string& programFolder)
{
    ZLOG_SCOPE();
    MXSettingsData d;
    d.appPath = folderWithSlash(programFolder);
    d.ringTonePath = d.appPath + "ringin.wav";
    d.proxyIp = m_useDeployment ? Deployment::Get().sipDefaultServer : m_sipServer;
    d.httpTunnelIp = m_useDeployment ? Deployment::Get().tunnelServer : m_tunnelServer;
    m_data = std::move(d);
}

int MXFileHelper::GetNextTag(std::string_view text, std::string_view tag, std::string& value)
{
    ZLOG_SCOPE();
    std::string open = "<" + std::string(tag) + ">";
    std::string close = "</" + std::string(tag) + ">";
    std::size_t start = text.find(open);
    if (start == std::string_view::npos)
        return -1;
    start += open.size();
    std::size_t end = text.find(close, start);
    if (end == std::string_view::npos)
        return -1;
    value = std::string(trimBlanks(text.substr(start, end - start)).substr(0, kMaxValue));
    return 0;
}

int MXFileHelper::ParseSettings(std::string_view text)
{
    ZLOG_SCOPE();
    std::string value;
    for (const Tag& t : kTags) {
        if (GetNextTag(text, t.name, value) != 0) {
            std::string open = std::string("<") + t.name + ">";
            std::string close = std::string("</") + t.name + ">";
            ZLOG(LOG_ERROR, "Unable to find %s %s tag", open.c_str(), close.c_str());
            return kParseFailed;
        }
        if (t.text != nullptr)
            m_data.*t.text = value;
        else
            m_data.*t.number = std::atoi(value.c_str());
    }
    // Optional: files written before it existed lack it.
    if (GetNextTag(text, kLastConnectionTag, value) == 0)
        m_data.lastConnection = std::atoi(value.c_str());
    return kOk;
}

std::string MXFileHelper::BuildText() const
{
    std::string text;
    text.reserve(2048);
    char number[16];
    for (const Tag& t : kTags) {
        text.append("<").append(t.name).append(">");
        if (t.text != nullptr) {
            text.append(m_data.*t.text);
        } else {
            std::snprintf(number, sizeof number, "%i", m_data.*t.number);
            text.append(number);
        }
        text.append("</").append(t.name).append(">");
    }
    // Only written once known, so that files stay readable by programs that predate it.
    if (m_data.lastConnection != 0) {
        std::snprintf(number, sizeof number, "%i", m_data.lastConnection);
        text.append("<").append(kLastConnectionTag).append(">").append(number);
        text.append("</").append(kLastConnectionTag).append(">");
    }
    return text;
}

int MXFileHelper::SaveSettings()
{
    ZLOG_SCOPE();
    return WriteSettingsFile(FilePath());
}

int MXFileHelper::WriteSettingsFile(const std::string& path)
{
    ZLOG_SCOPE();
    std::string text = BuildText();

    // A value holding a tag of the file would read back as something else (or break the
    // whole file): refuse to write it rather than lose the settings on the next start.
    MXFileHelper check(m_sipServer, m_tunnelServer);
    if (check.ParseSettings(text) != kOk) {
        ZLOG(LOG_ERROR, "Settings text does not read back");
        ShowMessage("Unable to Save data", true);
        return kUnsafeValue;
    }
    for (const Tag& t : kTags) {
        bool same = t.text != nullptr ? check.m_data.*t.text == asRead(m_data.*t.text)
                                      : check.m_data.*t.number == m_data.*t.number;
        if (!same) {
            ZLOG(LOG_ERROR, "Value of %s does not read back as written", t.name);
            ShowMessage("Unable to Save data", true);
            return kUnsafeValue;
        }
    }

    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> bytes;
    if (cipher.Encrypt(text, CEncryptDecrypt::kSettingsFileKey, bytes) < 0) {
        ZLOG(LOG_ERROR, "Unable to encrypt data");
        ShowMessage("Unable to Save data", true);
        return kEncryptFailed;
    }
    std::string hex = zelora::MakeHexString(bytes);
    if (zelora::ReplaceFileContents(path, hex) != 0) {
        ZLOG(LOG_ERROR, "Unable to open settings file %s", path.c_str());
        return kOpenFailed;
    }
    return kOk;
}

int MXFileHelper::LoadSettings(const std::string& programFolder)
{
    ZLOG_SCOPE();
    SetDefaults(programFolder);
    m_folder = programFolder;
    std::error_code ec;
    if (!std::filesystem::exists(FilePath(), ec)) {
        m_data.isFirstTime = 1;
        int rc = SaveSettings();
        m_data.isFirstTime = 0;
        return rc;
    }
    int rc = ReadSettingsFile(FilePath());
    if (m_data.httpTunnelIp.empty())
        m_data.httpTunnelIp = m_useDeployment ? Deployment::Get().tunnelServer : m_tunnelServer;
    return rc;
}

int MXFileHelper::ReadSettingsFile(const std::string& path)
{
    ZLOG_SCOPE();
    int rc = kOk;
    std::string hex;
    if (zelora::ReadFileContents(path, hex) < 0) {
        ZLOG(LOG_ERROR, "Unable to read settings file %s", path.c_str());
        ShowMessage(("Unable to read settings file " + path).c_str(), true);
        return kReadFailed;
    }

    std::vector<std::uint8_t> bytes;
    std::string plain;
    CEncryptDecrypt cipher;
    if (zelora::ParseHexStrict(trimBlanks(hex), bytes) < 0) {
        ZLOG(LOG_ERROR, "Unable to decrypt file");
        ShowMessage("Unable to decrypt file", true);
        rc = kBadHex;
    } else if (int dec = cipher.Decrypt(bytes.data(), bytes.size(), CEncryptDecrypt::kSettingsFileKey, plain);
               dec < 0) {
        ZLOG(LOG_ERROR, "Unable to decrypt file");
        ShowMessage("Unable to decrypt file", true);
        rc = dec;
    } else if (ParseSettings(plain) != kOk) {
        ShowMessage("Unable to parse settings...", true);
        rc = kParseFailed;
    }
    return rc;
}

const std::vector<std::string>& MXFileHelper::TagNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const Tag& t : kTags)
            all.emplace_back(t.name);
        return all;
    }();
    return names;
}

bool MXFileHelper::GetValueText(std::string_view tag, std::string& out) const
{
    for (const Tag& t : kTags) {
        if (tag != t.name)
            continue;
        out = t.text != nullptr ? m_data.*t.text : std::to_string(m_data.*t.number);
        return true;
    }
    return false;
}

int MXFileHelper::SetValueText(std::string_view tag, std::string_view value)
{
    for (const Tag& t : kTags) {
        if (tag != t.name)
            continue;
        if (t.text != nullptr) {
            m_data.*t.text = std::string(value);
            return 0;
        }
        std::string digits(value);
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(digits.c_str(), &end, 10);
        if (digits.empty() || end == nullptr || *end != '\0' || errno != 0 || n < INT_MIN || n > INT_MAX)
            return -2;
        m_data.*t.number = static_cast<int>(n);
        return 0;
    }
    return -1;
}
