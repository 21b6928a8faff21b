#pragma once
// The settings kept in the current user's registry under Software\zeloraTALK\zeloraTALK\.
//
// Raw operations: CreateKey 1/-1; Read* 0, -1 when the key or value is missing;
// Write* 0/-1. Typed accessors return 1 on success and a negative code on failure; they
// read the value and, when it is missing or empty, create the key, write the default and
// hand the default back (-3 the key could not be created, -4 writing a default failed).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelora {
class Registry;
}

struct MXConfigGroup {
    std::string userId; // Config1
    std::vector<std::uint8_t> password; // Config2: the password enciphered with the web-data key
    std::uint32_t autoLogin = 0;
    std::uint32_t rememberMe = 0;
};

struct MXHttpProxyGroup {
    std::uint32_t httpProxyPort = 0;
    std::string httpProxyIp;
    std::uint32_t httpUseProxy = 0;
    std::uint32_t httpUseTunnel = 0; // 0 SIP over UDP, 1 tunnel, 2 automatic
    std::string httpTunnelIp;
    std::uint32_t lastConnection = 0; // the way the automatic choice last signed in by
};

struct MXLoggerGroup {
    std::uint32_t logLevel = 7;
    std::uint32_t logFileSize = 7;
};

class MXRegistry {
public:
    static constexpr const char* kBaseKey = "Software\\zeloraTALK\\zeloraTALK\\";
    static constexpr const char* kConfigKey = "Config";
    static constexpr const char* kCodecKey = "Codec";
    static constexpr const char* kHttpProxyKey = "HttpProxy";
    static constexpr const char* kLoggerKey = "Logger";
    static constexpr const char* kDefaultProxyPort = "5060";
    static constexpr const char* kDefaultAudioSettings = "0,8,97,100,101,102,103,";
    static constexpr const char* kRingToneFile = "ringin.wav";
    // Strings are read into 255-byte buffers: at most 254 characters and the terminator.
    static constexpr std::size_t kMaxString = 254;
    static constexpr std::size_t kMaxBinary = 255;

    static constexpr int kCreateKeyFailed = -3;
    static constexpr int kWriteDefaultFailed = -4;

    // The process-wide HKCU registry and the built-in addresses of the deployment.
    MXRegistry();
    // An explicit registry and built-in SIP and tunnel server addresses.
    MXRegistry(zelora::Registry& registry, std::string sipServer, std::string tunnelServer);

    // Raw operations; subKey is relative to the base key ("" for the base key itself).
    int CreateKey(std::string_view subKey);
    int ReadString(std::string_view subKey, std::string_view name, std::string& out);
    // `size` in: the room the caller has; out: the bytes delivered. -1 also when the value is larger.
    int ReadBinary(std::string_view subKey, std::string_view name, std::vector<std::uint8_t>& out, std::size_t& size);
    int ReadDword(std::string_view subKey, std::string_view name, std::uint32_t& out);
    int WriteString(std::string_view subKey, std::string_view name, std::string_view text);
    int WriteBinary(std::string_view subKey, std::string_view name, const std::vector<std::uint8_t>& data);
    int WriteDword(std::string_view subKey, std::string_view name, std::uint32_t value);

    // Read-or-create accessors. `value` for LastCheckTS holds the caller's current value on entry,
    // which is the default written when the registry has none.
    int GetLastCheckTS(std::string& value);
    int GetProxyIpPort(std::string& ip, std::string& port);
    int GetDialedFromWeb(std::string& value);
    // Default: the program's folder (ending in '/').
    int GetAppPath(std::string& value, const std::string& programFolder);
    // Default: AppPath followed by "ringin.wav".
    int GetRingTone(std::string& value, const std::string& appPath);
    int GetAudioSettings(std::string& value);
    int GetConfig(MXConfigGroup& group);
    int GetHttpProxy(MXHttpProxyGroup& group);
    int GetLogger(MXLoggerGroup& group);

    // Writers: 1, or -1 the key could not be created, then one code per value in the order
    // written (Config: AutoLogin -2, RememberMe -3, Config1 -4, Config2 -5;
    // HttpProxy: HttpProxyPort -2, HttpUseTunnel -3, HttpUseProxy -4, HttpProxyIP -5, HttpTunnelIP -6,
    // LastConnection -7).
    int WriteLastCheckTS(std::string_view value);
    int WriteRingTone(std::string_view value);
    int WriteDialedFromWeb(std::string_view value);
    int WriteConfig(const MXConfigGroup& group);
    int WriteHttpProxy(const MXHttpProxyGroup& group);

    // Reads IsFirstTime and writes 0: 1 with the old value when it existed, 2 when it did not,
    // -4 when writing 0 failed.
    int IsFirstTime(std::uint32_t& oldValue);

    static std::string JoinKey(std::string_view subKey);
    // The registry the settings live in (for holding a run of writes in one batch).
    zelora::Registry& Store() { return m_registry; }

private:
    int ReadOrCreateString(std::string_view subKey, std::string_view name, std::string& value, std::string_view def);
    int ReadOrCreateDword(std::string_view subKey, std::string_view name, std::uint32_t& value, std::uint32_t def);

    zelora::Registry& m_registry;
    std::string m_sipServer;
    std::string m_tunnelServer;
    bool m_useDeployment;
};
