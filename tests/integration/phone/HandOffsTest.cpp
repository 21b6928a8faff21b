// The two hand-offs to outside programs, against the real stand-ins of tools/: the remote-storage
// plug-in library loaded and called, and the PIM-sync plug-in program found through the machine's
// App Paths key, started and found again in /proc at shut-down.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/CSettings.h"
#include "phone/CKVOutlookPluginHandler.h"
#include "phone/CKVRemoteStorageHandler.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class HandOffs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::string(STORAGE_PLUGIN_PATH), "") << "tools/storage-plugin is not built";
        ASSERT_NE(std::string(PIM_SYNC_PLUGIN_PATH), "") << "tools/pim-sync-plugin is not built";
        m_dir = fs::temp_directory_path() /
            ("zelora-handoffs-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        ASSERT_EQ(m_machine.Open((m_dir / "machine.ini").string(), false), zelora::Registry::kLoaded);
    }
    void TearDown() override
    {
        for (pid_t pid : m_started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        fs::remove_all(m_dir);
    }

    // The plug-in program copied under a name of this test's own, so that no other run's
    // plug-in can be taken for it.
    std::string InstallPlugin()
    {
        fs::path copy = m_dir / ("PimSync" + std::to_string(getpid()));
        fs::copy_file(PIM_SYNC_PLUGIN_PATH, copy);
        EXPECT_EQ(m_machine.SetString(CKVOutlookPluginHandler::kAppPathKey, CKVOutlookPluginHandler::kDefaultValue,
                                      copy.string()),
                  0);
        return copy.string();
    }
    // `asUser` >= 0: the program runs as that user (needs root).
    pid_t StartDirectly(const std::string& path, int asUser = -1)
    {
        pid_t pid = fork();
        if (pid == 0) {
            if (asUser >= 0 && (setgid(static_cast<gid_t>(asUser)) != 0 || setuid(static_cast<uid_t>(asUser)) != 0))
                _exit(126);
            execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        m_started.push_back(pid);
        return pid;
    }
    static bool Alive(pid_t pid) { return kill(pid, 0) == 0 && waitpid(pid, nullptr, WNOHANG) == 0; }
    static std::string Read(const fs::path& file)
    {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    template <class Condition>
    static bool WaitFor(Condition condition)
    {
        for (int i = 0; i < 100; ++i) {
            if (condition())
                return true;
            std::this_thread::sleep_for(30ms);
        }
        return false;
    }

    fs::path m_dir;
    zelora::Registry m_machine;
    std::vector<pid_t> m_started;
};

TEST_F(HandOffs, RemoteStorageGetsTheNumberAndTheProxyCutTo63CharactersThenRuns)
{
    const fs::path record = m_dir / "storage.txt";
    setenv("ZELORA_STORAGE_RECORD", record.c_str(), 1);
    CSettingsHttpProxy proxy;
    proxy.httpProxyIp = std::string(60, 'p') + "0123456789"; // 70 characters
    proxy.httpProxyPort = 3128;

    // A missing plug-in and a library without the entry points are passed over.
    EXPECT_EQ(CKVRemoteStorageHandler((m_dir / "absent.so").string()).Open("4930111222", proxy), 1);
    EXPECT_EQ(CKVRemoteStorageHandler("").Open("4930111222", proxy), 1);
    EXPECT_FALSE(fs::exists(record));

    EXPECT_EQ(CKVRemoteStorageHandler(STORAGE_PLUGIN_PATH).Open("4930111222", proxy), 1);
    EXPECT_EQ(Read(record), "25 subscriber=4930111222 host=" + proxy.httpProxyIp.substr(0, 63) + " port=3128\n26\n");

    const TARN_PROXY_INFO info = CKVRemoteStorageHandler::ProxyRecord(proxy);
    EXPECT_EQ(info.proxyHost[63], '\0');
    EXPECT_EQ(std::string(info.proxyHost), proxy.httpProxyIp.substr(0, 63));
    unsetenv("ZELORA_STORAGE_RECORD");
}

TEST_F(HandOffs, WithoutThePluginKeyTheBoxShowsAndShutDownTouchesNoProcess)
{
    // A plug-in program runs, but the machine does not name it.
    const std::string path = InstallPlugin();
    ASSERT_EQ(m_machine.DeleteValue(CKVOutlookPluginHandler::kAppPathKey, CKVOutlookPluginHandler::kDefaultValue), 0);
    pid_t running = StartDirectly(path);
    ASSERT_TRUE(WaitFor([&] { return zelora::ProcessList::FindByExecutableName(fs::path(path).filename()) > 0; }));

    CKVOutlookPluginHandler handler(&m_machine);
    EXPECT_FALSE(handler.Found());
    std::vector<std::string> boxes;
    EXPECT_EQ(handler.Start([&](const char* text) { boxes.emplace_back(text); }), 0);
    ASSERT_EQ(boxes, std::vector<std::string>{"You would need to install PIM Sync plug-in to enjoy this feature"});
    EXPECT_EQ(handler.Stop(), 0);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(Alive(running));

    // A value without a folder counts as not installed either.
    ASSERT_EQ(m_machine.SetString(CKVOutlookPluginHandler::kAppPathKey, CKVOutlookPluginHandler::kDefaultValue,
                                  fs::path(path).filename().string()),
              0);
    EXPECT_FALSE(CKVOutlookPluginHandler(&m_machine).Found());
    EXPECT_EQ(CKVOutlookPluginHandler(&m_machine).Stop(), 0);
    EXPECT_TRUE(Alive(running));
}

TEST_F(HandOffs, InstalledPluginStartsOnItsOwnAndShutDownEndsItOnlyWhenItRuns)
{
    const std::string path = InstallPlugin();
    const fs::path record = m_dir / "pim.txt";
    setenv("ZELORA_PIM_RECORD", record.c_str(), 1);
    CKVOutlookPluginHandler handler(&m_machine);
    ASSERT_TRUE(handler.Found());
    EXPECT_EQ(handler.PluginFileName(), fs::path(path).filename().string());

    // Installed, not running: shut-down finds nothing and does nothing.
    EXPECT_EQ(handler.Stop(), 0);

    // A descriptor of the phone's without close-on-exec, as a library might leave one.
    const int leaked = dup(STDERR_FILENO);
    ASSERT_GT(leaked, 2);
    bool boxShown = false;
    EXPECT_EQ(handler.Start([&](const char*) { boxShown = true; }), 1);
    close(leaked);
    EXPECT_FALSE(boxShown);
    pid_t pid = -1;
    ASSERT_TRUE(
        WaitFor([&] { return (pid = zelora::ProcessList::FindByExecutableName(handler.PluginFileName())) > 0; }));
    // It holds nothing of the phone's open but the standard three.
    std::vector<int> fds;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        fds.push_back(std::stoi(entry.path().filename().string()));
    std::sort(fds.begin(), fds.end());
    EXPECT_EQ(fds, (std::vector<int>{0, 1, 2}));
    // Detached: not a child of this process, and the lookup ignores case.
    EXPECT_NE(getppid(), pid);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    std::string upper = handler.PluginFileName();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(zelora::ProcessList::FindByExecutableName(upper), pid);

    // Ended only once it is up, so that it can tell its end.
    ASSERT_TRUE(WaitFor([&] { return Read(record).find("started") != std::string::npos; }));
    EXPECT_EQ(CKVOutlookPluginHandler(&m_machine).Stop(), 1);
    ASSERT_TRUE(WaitFor([&] { return Read(record).find("ended " + std::to_string(pid)) != std::string::npos; }));
    EXPECT_EQ(Read(record), "started " + std::to_string(pid) + "\nended " + std::to_string(pid) + "\n");
    EXPECT_TRUE(WaitFor([&] { return zelora::ProcessList::FindByExecutableName(handler.PluginFileName()) < 0; }));
    unsetenv("ZELORA_PIM_RECORD");
}

TEST_F(HandOffs, ShutDownLeavesAnotherUsersProgramOfTheSameNameAlone)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "starting a program as another user needs root";
    const std::string path = InstallPlugin();
    pid_t theirs = StartDirectly(path, 65534);
    ASSERT_TRUE(WaitFor([&] {
        std::ifstream status("/proc/" + std::to_string(theirs) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("Uid:", 0) == 0)
                return line.find("65534") != std::string::npos;
        return false;
    }));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(Alive(theirs)) << "the plug-in did not run as the other user";
    EXPECT_EQ(zelora::ProcessList::FindByExecutableName(fs::path(path).filename()), -1);
    EXPECT_EQ(CKVOutlookPluginHandler(&m_machine).Stop(), 0);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(Alive(theirs));
}

TEST_F(HandOffs, PluginThatCannotStartReportsTheSystemError)
{
    const fs::path gone = m_dir / "Missing" / "OutlookPlugin";
    ASSERT_EQ(m_machine.SetString(CKVOutlookPluginHandler::kAppPathKey, CKVOutlookPluginHandler::kDefaultValue,
                                  gone.string()),
              0);
    CKVOutlookPluginHandler handler(&m_machine);
    ASSERT_TRUE(handler.Found());
    EXPECT_EQ(handler.Start([](const char*) {}), -ENOENT);
    // A file that is not a program goes to the desktop's open action; without one it fails too.
    EXPECT_LT(zelora::ProcessList::Open(""), 0);
}

} // namespace
