#include "app/Deployment.h"

#include "app/CLogger.h"
#include "platform/ProfileFile.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#ifndef ZELORA_RESOURCE_DIR
#define ZELORA_RESOURCE_DIR "resources"
#endif

namespace {

struct Field {
    const char* section;
    const char* key;
    std::string DeploymentValues::*member;
};

constexpr Field kFields[] = {
    {"sip", "default_server", &DeploymentValues::sipDefaultServer},
    {"sip", "other_server_1", &DeploymentValues::sipOtherServer1},
    {"sip", "other_server_2", &DeploymentValues::sipOtherServer2},
    {"tunnel", "server", &DeploymentValues::tunnelServer},
    {"web", "service_host", &DeploymentValues::webServiceHost},
    {"web", "portal_host", &DeploymentValues::portalHost},
    {"web", "ads_host", &DeploymentValues::adsHost},
    {"web", "probe_site", &DeploymentValues::probeSite},
    {"web", "home_page", &DeploymentValues::homePage},
    {"web", "signup_page", &DeploymentValues::signupPage},
    {"web", "password_reset_page", &DeploymentValues::passwordResetPage},
    {"web", "shop_page", &DeploymentValues::shopPage},
    {"presence", "domain", &DeploymentValues::presenceDomain},
    {"presence", "gateway_yahoo", &DeploymentValues::gatewayYahoo},
    {"presence", "gateway_msn", &DeploymentValues::gatewayMsn},
    {"presence", "gateway_gtalk", &DeploymentValues::gatewayGtalk},
    {"presence", "brand_word", &DeploymentValues::brandWord},
    {"presence", "mail_domain", &DeploymentValues::mailDomain},
    {"presence", "mail_web_host", &DeploymentValues::mailWebHost},
};

// Written once by Init (at start-up, before other threads read), then only read.
std::mutex g_lock;
DeploymentValues g_values;
std::string g_error;
bool g_loaded = false;
bool g_tried = false;

std::string chooseFile(const std::string& resourceFolder)
{
    const char* env = std::getenv("ZELORA_DEPLOYMENT");
    if (env != nullptr && env[0] != '\0')
        return env;
    std::string folder = resourceFolder.empty() ? Deployment::DefaultResourceFolder() : resourceFolder;
    return (std::filesystem::path(folder) / Deployment::kFileName).string();
}

int loadLocked(const std::string& resourceFolder)
{
    g_tried = true;
    DeploymentValues values;
    std::string error;
    int rc = Deployment::LoadFile(chooseFile(resourceFolder), values, error);
    if (rc != Deployment::kOk) {
        g_error = error;
        ZLOG(LOG_ERROR, "%s", error.c_str());
        return rc;
    }
    g_values = std::move(values);
    g_error.clear();
    g_loaded = true;
    return rc;
}

} // namespace

int Deployment::LoadFile(const std::string& path, DeploymentValues& out, std::string& error)
{
    ZLOG_SCOPE();
    error.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "Unable to read deployment file " + path;
        return kUnreadable;
    }
    zelora::ProfileFile file(path);
    if (file.Load() != 0) {
        error = "Unable to read deployment file " + path;
        return kUnreadable;
    }
    DeploymentValues values;
    for (const Field& f : kFields) {
        if (!file.HasKey(f.section, f.key)) {
            error = std::string("Missing deployment value [") + f.section + "] " + f.key + " in " + path;
            return kMissingKey;
        }
        values.*f.member = file.GetString(f.section, f.key, "");
    }
    values.presenceServer = file.GetString("presence", "server", "");
    values.presencePort = file.GetInt("presence", "port", 5222);
    values.registrarCheck = file.GetInt("sip", "registrar_check", 120);
    if (values.registrarCheck < 1)
        values.registrarCheck = 120;
    values.webQueryInterval = file.GetInt("web", "query_interval", 60);
    if (values.webQueryInterval < 1)
        values.webQueryInterval = 60;
    values.remoteStoragePlugin = file.GetString("plugins", "remote_storage", "");
    out = std::move(values);
    return kOk;
}

int Deployment::Init(const std::string& resourceFolder, std::string* error)
{
    ZLOG_SCOPE();
    std::lock_guard<std::mutex> lock(g_lock);
    int rc = loadLocked(resourceFolder);
    if (error != nullptr)
        *error = g_error;
    return rc;
}

const DeploymentValues& Deployment::Get()
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_tried)
        loadLocked({});
    return g_values;
}

bool Deployment::IsLoaded()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_loaded;
}

std::string Deployment::LastError()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_error;
}

std::string Deployment::DefaultResourceFolder()
{
    // Beside an installed program first, then the source tree the build came from.
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const auto& candidate :
             {exe.parent_path() / "resources", exe.parent_path() / ".." / "share" / "zeloraTALK"})
            if (std::filesystem::is_regular_file(candidate / kFileName, ec))
                return candidate.lexically_normal().string();
    }
    return ZELORA_RESOURCE_DIR;
}
