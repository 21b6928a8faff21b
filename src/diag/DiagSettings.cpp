// zelora-diag commands for the cipher and the settings file.
#include "diag/DiagCommand.h"

#include "app/CEncryptDecrypt.h"
#include "app/Deployment.h"
#include "platform/HexString.h"
#include "app/MXFileHelper.h"

#include <filesystem>
#include <ostream>

namespace {

// The user-visible texts of the settings code, printed once by the command that failed.
std::string g_lastMessage;

void keepMessage(const char* text, bool) { g_lastMessage = text; }

std::string keyFor(const std::string& name)
{
    if (name == "web")
        return CEncryptDecrypt::kWebDataKey;
    if (name == "settings")
        return CEncryptDecrypt::kSettingsFileKey;
    if (name == "tunnel")
        return CEncryptDecrypt::kTunnelKey;
    return name;
}

// "--key NAME TEXT..." -> key and the rest joined by blanks.
bool takeKeyAndText(DiagArgs args, std::string& key, std::string& text, std::ostream& err, const char* usage)
{
    std::string name;
    if (!DiagTakeOption(args, "--key", name) || args.empty()) {
        err << "usage: zelora-diag " << usage << "\n";
        return false;
    }
    key = keyFor(name);
    text.clear();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i != 0)
            text.push_back(' ');
        text += args[i];
    }
    return true;
}

constexpr const char* kEncryptUsage = "encrypt --key web|settings|tunnel|<literal key> <plain text>";
constexpr const char* kDecryptUsage = "decrypt --key web|settings|tunnel|<literal key> <hex>";
constexpr const char* kSettingsUsage = "settings-file read <path> | settings-file write <path> [Tag=value ...]";

int encryptCommand(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    std::string key;
    std::string text;
    if (!takeKeyAndText(args, key, text, err, kEncryptUsage))
        return 1;
    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> bytes;
    int rc = cipher.Encrypt(text, key, bytes);
    if (rc < 0) {
        err << "Unable to encrypt data (" << (rc == -2 ? "key must have 1 to 16 characters" : "empty text") << ")\n";
        return 1;
    }
    out << zelora::MakeHexString(bytes) << "\n";
    return 0;
}

int decryptCommand(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    std::string key;
    std::string hex;
    if (!takeKeyAndText(args, key, hex, err, kDecryptUsage))
        return 1;
    std::vector<std::uint8_t> bytes;
    if (zelora::ParseHexStrict(hex, bytes) < 0) {
        err << "Unable to decrypt data (not a hexadecimal text)\n";
        return 1;
    }
    CEncryptDecrypt cipher;
    std::string plain;
    int rc = cipher.Decrypt(bytes.data(), bytes.size(), key, plain);
    if (rc < 0) {
        const char* why = rc == -1 ? "no data"
            : rc == -2             ? "key must have 1 to 16 characters"
                                   : "length is not a multiple of 8 bytes";
        err << "Unable to decrypt data (" << why << ")\n";
        return 1;
    }
    out << plain << "\n";
    return 0;
}

int settingsFileCommand(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() < 2 || (args[0] != "read" && args[0] != "write") || (args[0] == "read" && args.size() != 2)) {
        err << "usage: zelora-diag " << kSettingsUsage << "\n";
        return 1;
    }
    MXFileHelper::SetMessageBoxHandler(&keepMessage);
    const std::string& path = args[1];
    MXFileHelper helper;
    if (args[0] == "read") {
        g_lastMessage.clear();
        int rc = helper.ReadSettingsFile(path);
        if (rc < 0) {
            err << (g_lastMessage.empty() ? "Unable to read settings file " + path : g_lastMessage) << "\n";
            return 1;
        }
        std::string value;
        for (const std::string& tag : MXFileHelper::TagNames()) {
            helper.GetValueText(tag, value);
            out << tag << "=" << value << "\n";
        }
        return 0;
    }

    // The defaults name the operator's servers: without the deployment values there are none.
    Deployment::Get();
    if (!Deployment::IsLoaded()) {
        err << Deployment::LastError() << "\n";
        return 1;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    helper.SetDefaults(folder.empty() ? std::string(".") : folder.string());
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::size_t eq = args[i].find('=');
        if (eq == std::string::npos) {
            err << "Expected Tag=value, got " << args[i] << "\n";
            return 1;
        }
        std::string tag = args[i].substr(0, eq);
        int rc = helper.SetValueText(tag, std::string_view(args[i]).substr(eq + 1));
        if (rc == -1) {
            err << "Unknown tag " << tag << "\n";
            return 1;
        }
        if (rc == -2) {
            err << "Tag " << tag << " takes a whole number\n";
            return 1;
        }
    }
    g_lastMessage.clear();
    int rc = helper.WriteSettingsFile(path);
    if (rc < 0) {
        err << (g_lastMessage.empty() ? "Unable to write settings file " + path : g_lastMessage) << "\n";
        return 1;
    }
    out << "Written " << path << "\n";
    return 0;
}

DiagRegistrar encryptReg("encrypt", kEncryptUsage, &encryptCommand);
DiagRegistrar decryptReg("decrypt", kDecryptUsage, &decryptCommand);
DiagRegistrar settingsReg("settings-file", kSettingsUsage, &settingsFileCommand);

} // namespace
