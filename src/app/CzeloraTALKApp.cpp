#include "app/CzeloraTALKApp.h"

#include <cstdlib>
#include <filesystem>

#include "app/CLogger.h"
#include "app/CSettings.h"
#include "app/CStartup.h"
#include "app/MXFileHelper.h"
#include "platform/RemovableDrive.h"

namespace {

std::string folderOf(const std::string& executable)
{
    std::error_code ec;
    std::filesystem::path exe =
        executable.empty() ? std::filesystem::read_symlink("/proc/self/exe", ec) : std::filesystem::path(executable);
    std::string folder = ec ? std::string(".") : exe.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

CzeloraTALKApp::CzeloraTALKApp(Options options)
    : m_options(std::move(options)), m_programFolder(folderOf(m_options.executable)),
      m_commandLine(m_options.parameters)
{
    const std::string exe = m_options.executable.empty() ? "/proc/self/exe" : m_options.executable;
    m_portable = zelora::RemovableDrive::IsPortable(zelora::RemovableDrive::ForFile(exe, m_options.sysRoot));
    CSettings& settings = CSettings::Instance();
    settings.SetProgramFolder(m_programFolder);
    CSettings::SetFromFile(m_portable);
    if (m_portable) {
        UsePortableFolders(m_programFolder);
        // A damaged file shows its messages and leaves the defaults: the start goes on.
        MXFileHelper::Instance().LoadSettings(m_programFolder);
        MXFileHelper::Instance().Data().appPath = m_programFolder;
    }
}

CzeloraTALKApp::~CzeloraTALKApp()
{
    m_instance.reset();
    ZLOG(LOG_INFO, "Exiting Logger");
    CLogger::Exit();
}

void CzeloraTALKApp::UsePortableFolders(const std::string& programFolder)
{
    // Everything the program writes follows these variables: data and log stay on the drive.
    static constexpr const char* kFolders[][2] = {
        {"XDG_DATA_HOME", "data"}, {"XDG_STATE_HOME", "log"}, {"XDG_CONFIG_HOME", "config"}};
    for (const auto& [variable, name] : kFolders) {
        std::string folder = programFolder + "user/" + name;
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        setenv(variable, folder.c_str(), 1);
    }
}

void CzeloraTALKApp::ReadLoggerValues()
{
    ZLOG_SCOPE();
    // Read as every start does; the logger keeps its built-in threshold and size.
    int level = 7, size = 7;
    if (CSettings::Instance().ReadLogger(level, size) < 0)
        ZLOG(LOG_WARNING, "Unable to read logger settings");
    ZLOG(LOG_DEBUG, "Logger settings: level %d, size %d", level, size);
}

int CzeloraTALKApp::Run(const std::function<int(CzeloraTALKApp&)>& window, std::string* error)
{
    std::string why;
    const int started = CStartup::Init(kProgram, {}, &why);
    ZLOG_SCOPE();
    if (started == -2) {
        if (error != nullptr)
            *error = why;
        return kExitFailed;
    }
    m_instance = std::make_unique<zelora::SingleInstance>(zelora::SingleInstance::DefaultPath(kProgram));
    const int claim = m_instance->Claim(zelora::SingleInstance::MakeBlock(m_commandLine.Number()));
    if (claim == zelora::SingleInstance::kHandedOver) {
        ZLOG(LOG_INFO, "Another zeloraTALK runs: number handed over");
        return kExitOk;
    }
    if (claim < 0)
        ZLOG(LOG_WARNING, "Running without single-instance guard (%d)", claim);
    ReadLoggerValues();
    if (m_options.initInet && m_options.initInet() != 1) {
        ZLOG(LOG_INFO, "Unable to init Inet");
        if (m_options.exitInet)
            m_options.exitInet();
        if (error != nullptr)
            *error = "Unable to init Inet";
        return kExitFailed;
    }
    const int rc = window(*this);
    if (m_options.exitInet)
        m_options.exitInet();
    return rc;
}
