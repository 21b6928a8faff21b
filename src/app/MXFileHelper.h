#pragma once
// The enciphered settings file "Settings.ini" used when the program runs from a removable
// drive. Its plain text is, in the order of MXSettingsData, "<Tag>value</Tag>" for every
// tag with nothing between the elements (integers as "%i"); the text is enciphered with the
// settings-file key and the cipher bytes written as upper-case hex: one line, no line end.
// The file lives in the program folder handed to LoadSettings.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct MXSettingsData {
    std::string appPath;
    std::string dialedFromWeb;
    int isFirstTime = 1;
    std::string lastCheckTS;
    std::string proxyIp;
    std::string proxyPort = "5060";
    std::string ringTonePath;
    std::string audioSettings = "0,8,97,100,101,102,103,";
    int autoLogin = 0;
    std::string userName;
    std::string userPassword; // plain inside the enciphered file
    int rememberMe = 0;
    std::string httpProxyIp;
    int httpProxyPort = 0;
    std::string httpTunnelIp;
    int httpUseProxy = 0;
    int httpUseTunnel = 0; // 0 SIP over UDP, 1 tunnel, 2 automatic
    int lastConnection = 0; // the way the automatic choice last signed in by
    int logLevel = 1;
    int logSize = 1;
    std::string smsRequestPage;
    std::string smsServerIp;
    std::string smsServerPort = "80";
};

// A user-visible text (message box). The core has no windows: the GUI installs a handler,
// the console programs print. Without a handler the text goes to standard error.
using MXMessageBoxHandler = void (*)(const char* text, bool isError);

class MXFileHelper {
public:
    static constexpr const char* kFileName = "Settings.ini";
    static constexpr std::size_t kMaxValue = 255;
    static constexpr std::size_t kTagCount = 22;
    static constexpr const char* kLastConnectionTag = "LastConnection"; // optional, after the others

    // Results besides those of SaveSettings and CEncryptDecrypt::Decrypt (-1..-3).
    static constexpr int kOk = 0;
    static constexpr int kOpenFailed = -1; // SaveSettings: the file cannot be written
    static constexpr int kEncryptFailed = -2; // SaveSettings: "Unable to encrypt data"
    static constexpr int kReadFailed = -5; // LoadSettings: the file exists but cannot be read
    static constexpr int kBadHex = -6; // LoadSettings: not a hex text ("Unable to decrypt file")
    static constexpr int kParseFailed = -7; // LoadSettings/ParseSettings: a tag is missing
    static constexpr int kUnsafeValue = -8; // SaveSettings: a value would not read back as written

    // Built-in SIP and tunnel server addresses from the deployment values.
    MXFileHelper();
    MXFileHelper(std::string sipServer, std::string tunnelServer);

    // The values every program part reads when settings come from the file.
    static MXFileHelper& Instance();

    // Sets the defaults for `programFolder`, then reads <programFolder>/Settings.ini, or writes
    // it with the defaults when it does not exist. 0 or a negative code (see above).
    int LoadSettings(const std::string& programFolder);
    // Takes every tag in order from the plain text; stops at the first missing one, keeping
    // the values before it. 0, or kParseFailed.
    int ParseSettings(std::string_view text);
    // Writes the current values to the file of the last LoadSettings (or SetFolder).
    // 0, kOpenFailed, kEncryptFailed, kUnsafeValue.
    int SaveSettings();

    // The same steps on a named file, for tools: read (no defaults set, nothing created;
    // a missing file is kReadFailed) and write.
    int ReadSettingsFile(const std::string& path);
    int WriteSettingsFile(const std::string& path);

    // Values by tag name, as text ("%i" for integers), in the order of the file.
    static const std::vector<std::string>& TagNames();
    bool GetValueText(std::string_view tag, std::string& out) const;
    // 0, -1 unknown tag, -2 an integer tag given something other than a number.
    int SetValueText(std::string_view tag, std::string_view value);

    // The text between the first "<tag>" of the whole text and the first "</tag>" after it,
    // blanks trimmed, at most 255 characters. 0, or -1 when either tag is missing.
    static int GetNextTag(std::string_view text, std::string_view tag, std::string& value);

    void SetDefaults(const std::string& programFolder);
    void SetFolder(const std::string& programFolder);
    std::string FilePath() const;
    const std::string& Folder() const { return m_folder; }
    std::string BuildText() const;

    MXSettingsData& Data() { return m_data; }
    const MXSettingsData& Data() const { return m_data; }

    static void SetMessageBoxHandler(MXMessageBoxHandler handler);
    static void ShowMessage(const char* text, bool isError);

private:
    std::string m_sipServer;
    std::string m_tunnelServer;
    bool m_useDeployment;
    std::string m_folder;
    MXSettingsData m_data;
};
