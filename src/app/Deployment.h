#pragma once
// The operator's endpoints and brand values, read from deployment.ini in the resource
// folder (or the file named by ZELORA_DEPLOYMENT). Code never hard-codes an operator host:
// it asks Deployment::Get().
//
//   [sip]       default_server other_server_1 other_server_2
//               registrar_check (optional: seconds between the checks that a signed-in phone is
//               still known to the registrar, default 120)
//   [tunnel]    server
//   [web]       service_host portal_host ads_host probe_site home_page signup_page
//               password_reset_page shop_page
//               query_interval (optional: seconds between the address-book and inbox queries of a
//               signed-in phone, default 60)
//   [presence]  domain gateway_yahoo gateway_msn gateway_gtalk brand_word mail_domain mail_web_host
//               server port (optional: the host the XMPP client connects to, empty = the domain;
//               default port 5222)
//   [plugins]   remote_storage (optional: the remote-storage plug-in library, empty = none)
//
// Every other key must be present; a missing one is an error that names it ("[web] shop_page").
#include <string>

struct DeploymentValues {
    std::string sipDefaultServer;
    std::string sipOtherServer1;
    std::string sipOtherServer2;
    std::string tunnelServer;
    std::string webServiceHost;
    std::string portalHost;
    std::string adsHost;
    std::string probeSite;
    std::string homePage;
    std::string signupPage;
    std::string passwordResetPage;
    std::string shopPage;
    std::string presenceDomain;
    std::string gatewayYahoo;
    std::string gatewayMsn;
    std::string gatewayGtalk;
    std::string brandWord;
    std::string mailDomain;
    std::string mailWebHost;
    std::string presenceServer;
    int presencePort = 5222;
    int registrarCheck = 120;
    int webQueryInterval = 60;
    std::string remoteStoragePlugin;
};

class Deployment {
public:
    static constexpr const char* kFileName = "deployment.ini";
    static constexpr int kOk = 0;
    static constexpr int kUnreadable = -1; // file missing or not an INI file
    static constexpr int kMissingKey = -2; // error text names the key

    // Reads one file; on failure `error` says why ("Missing deployment value [sip] default_server in ...").
    static int LoadFile(const std::string& path, DeploymentValues& out, std::string& error);

    // Process-wide values: loads ZELORA_DEPLOYMENT when set, else <resourceFolder>/deployment.ini
    // (an empty folder means the built-in resource folder). Call once at start-up, before threads
    // read the values; later calls reload. 0 or a negative code (error filled in and logged).
    static int Init(const std::string& resourceFolder, std::string* error = nullptr);
    // The loaded values. When nothing was loaded yet, loads from the default place first;
    // if that fails, every value is empty and the failure is logged.
    static const DeploymentValues& Get();
    static bool IsLoaded();
    static std::string LastError();
    // The folder holding sounds, skins and deployment.ini when no other is given.
    static std::string DefaultResourceFolder();
};
