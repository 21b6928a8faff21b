#include "presence/CPresenceIMAccounts.h"

#include "app/CLogger.h"
#include "platform/ProfileFile.h"
#include "presence/CPresenceChatHistoryLogger.h"
#include "presence/PresenceCodes.h"

#include <filesystem>

namespace {

struct Keys {
    const char* loginInfo;
    const char* atStartUp;
};

const Keys kKeys[] = {{nullptr, nullptr},
                      {"nIsIMYahooLoginInformationAvailable", "nIsIMYahooLoginAtStartUpEnabled"},
                      {"nIsIMMSNLoginInformationAvailable", "nIsIMMSNLoginAtStartUpEnabled"},
                      {"nIsIMGoogleTalkLoginInformationAvailable", "nIsIMGoogleTalkLoginAtStartUpEnabled"}};

} // namespace

std::string CPresenceIMAccounts::SettingsFile(const std::string& voipNumber)
{
    return CPresenceChatHistoryLogger::PresenceDataFolder() + "presenceSettings_" + voipNumber + ".ini";
}

void CPresenceIMAccounts::Load(const std::string& path, GatewayTable& table)
{
    ZLOG_SCOPE();
    zelora::ProfileFile file(path);
    if (file.Load() != 0)
        ZLOG(LOG_ERROR, "Unable to read the presence settings %s", path.c_str());
    Load(file, table);
}

void CPresenceIMAccounts::Load(const zelora::ProfileFile& file, GatewayTable& table)
{
    for (int type = IM_TYPE_YAHOO; type <= IM_TYPE_GTALK; ++type) {
        table[type].loginInfo = file.GetInt(kSection, kKeys[type].loginInfo, 0) == 1 ? 1 : 0;
        table[type].loginAtStartUp = file.GetInt(kSection, kKeys[type].atStartUp, 0) == 1 ? 1 : 0;
    }
}

int CPresenceIMAccounts::Store(const std::string& path, int imType, int loginInfo, int loginAtStartUp)
{
    ZLOG_SCOPE();
    if (imType < IM_TYPE_YAHOO || imType > IM_TYPE_GTALK) {
        ZLOG(LOG_ERROR, "No Case Matched-IM Settings");
        return -1;
    }
    std::error_code ignored; // a missing folder shows as the write's failure
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    zelora::ProfileFile file(path);
    // A file that cannot be read is not overwritten: its other settings would be lost.
    if (file.Load() != 0 || file.WriteString(kSection, kKeys[imType].loginInfo, loginInfo == 1 ? "1" : "0") < 0 ||
        file.WriteString(kSection, kKeys[imType].atStartUp, loginAtStartUp == 1 ? "1" : "0") < 0) {
        ZLOG(LOG_ERROR, "Unable to write the presence settings %s", path.c_str());
        return -2;
    }
    return 0;
}

const char* CPresenceIMAccounts::Refusal(int imType, const std::string& userName, const std::string& password)
{
    if (userName.empty())
        return "Enter Username";
    if (password.empty())
        return "Enter Password";
    if (imType == IM_TYPE_MSN && userName.find('@') == std::string::npos)
        return "Enter complete id";
    return nullptr;
}
