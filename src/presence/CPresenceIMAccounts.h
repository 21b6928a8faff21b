#pragma once
// The gateway accounts as the presence settings file keeps them (section "IMDetails":
// login information available and sign-in at start-up, per gateway) and the account
// dialog's rules for a new account.
#include <array>
#include <string>

struct GatewayStatus {
    int loginInfo = 0;
    int loginAtStartUp = 0;
    int signedIn = 0;
};
using GatewayTable = std::array<GatewayStatus, 4>; // by IM type, 0 the presence service

namespace zelora {
class ProfileFile;
}

class CPresenceIMAccounts {
public:
    static constexpr const char* kSection = "IMDetails";

    // "presenceSettings_<VoIP number>.ini" in the presence data folder.
    static std::string SettingsFile(const std::string& voipNumber);
    // Reads both keys of the three gateways into `table`; a missing file reads as 0.
    static void Load(const std::string& path, GatewayTable& table);
    // The same from a file loaded already.
    static void Load(const zelora::ProfileFile& file, GatewayTable& table);
    // Writes both keys of one gateway; 0 written, -1 an IM type outside 1 to 3 ("No Case
    // Matched-IM Settings"), -2 the file could not be written.
    static int Store(const std::string& path, int imType, int loginInfo, int loginAtStartUp);
    // null when the account may be registered, else the text the dialog shows.
    static const char* Refusal(int imType, const std::string& userName, const std::string& password);
};
