#pragma once
// One place to read and write a setting wherever it lives: the registry (installed on a
// hard disk) or the enciphered settings file (run from a removable drive). Every reader
// of a setting goes through here, so the settings-from-file flag is checked once.
//
// Results follow the registry accessors: 1 on success, a negative code on failure.
// In file mode the values come from MXFileHelper::Instance() (loaded by the start-up with
// LoadSettings), and writers change them and save the file (negative: the save's code).
// In registry mode readers are read-or-create (a missing value is created with its default).
//
//   CSettings& s = CSettings::Instance();
//   CSettings::SetFromFile(true);          // start-up decided: removable drive
//   CSettingsAccount account;
//   if (s.ReadAccount(account) < 0) ...    // user id, plain password, auto-login, remember-me
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Registry.h"

class MXRegistry;
class MXFileHelper;

struct CSettingsAccount {
    std::string userId;
    std::string password; // plain text; the registry keeps it enciphered
    int autoLogin = 0;
    int rememberMe = 0;
};

struct CSettingsHttpProxy {
    std::string httpProxyIp;
    int httpProxyPort = 0;
    int httpUseProxy = 0;
    int httpUseTunnel = 0; // 0 SIP over UDP, 1 tunnel, 2 automatic
    std::string httpTunnelIp;
    int lastConnection = 0; // the way the automatic choice last signed in by
};

class CSettings {
public:
    static constexpr int kDecryptFailed = -10; // stored password cannot be deciphered
    static constexpr int kEncryptFailed = -11; // password cannot be enciphered for storing

    // Holds the registry writes of the settings calls made while it lives (the defaults that
    // readers create, one by one) to one atomic write at its end. Nothing in file mode.
    class Batch {
    public:
        explicit Batch(CSettings& settings);

    private:
        std::optional<zelora::Registry::Batch> m_batch;
    };

    // Process-wide: the HKCU registry and MXFileHelper::Instance().
    static CSettings& Instance();
    CSettings(MXRegistry& registry, MXFileHelper& file, std::string programFolder);

    // The settings-from-file flag (process-wide, set once by the start-up).
    static void SetFromFile(bool fromFile);
    static bool FromFile();

    // The program's folder: the default of AppPath and the home of Settings.ini.
    void SetProgramFolder(const std::string& folder);
    const std::string& ProgramFolder() const { return m_programFolder; }

    int ReadServer(std::string& ip, std::string& port);
    int ReadAppPath(std::string& path);
    int ReadRingTone(std::string& path);
    int WriteRingTone(const std::string& path);
    int ReadAudioSettings(std::string& payloads);
    int ReadDialedFromWeb(std::string& number);
    int WriteDialedFromWeb(const std::string& number);
    // `stamp` holds the caller's current value on entry (the default when none is stored).
    int ReadLastCheckTS(std::string& stamp);
    int WriteLastCheckTS(const std::string& stamp);
    // Password deciphered with the web-data key (kDecryptFailed: "Unable to decrypt password").
    int ReadAccount(CSettingsAccount& account);
    // Password enciphered with the web-data key; an empty password stores an empty value.
    int WriteAccount(const CSettingsAccount& account);
    int ReadHttpProxy(CSettingsHttpProxy& proxy);
    int WriteHttpProxy(const CSettingsHttpProxy& proxy);
    int ReadLogger(int& level, int& size);
    // 1 with the old value when it was stored, 2 when it was not; it is reset to 0 either way.
    int ReadIsFirstTime(int& oldValue);
    // Web SMS settings exist only in the file; in registry mode they are empty and "80".
    int ReadSmsServer(std::string& requestPage, std::string& serverIp, std::string& serverPort);

private:
    int SaveFile(); // caller holds m_lock

    std::recursive_mutex m_lock; // the file values are shared by every thread
    MXRegistry& m_registry;
    MXFileHelper& m_file;
    std::string m_programFolder;
};
