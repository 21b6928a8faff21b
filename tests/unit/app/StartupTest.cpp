#include "app/CCommandLineArgument.h"
#include "app/CSettings.h"
#include "app/CzeloraTALKApp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "SysBlockFixture.h"
#include "TempDir.h"

using namespace std::chrono_literals;

TEST(CommandLine, LinksTheDesktopHandsOverAndTheFirstOneWins)
{
    struct Case {
        const char* parameter;
        const char* number; // null: not a link with a number
    } cases[] = {
        {"callto:123", "123"},
        {"  CALLTO: 123 ", "123"},
        {"callto://1234", "1234"},
        {"callto:echo", "echo"},
        {"sip:alice@host", "alice"},
        {"SIP:1002@127.0.0.1;transport=udp", "1002"},
        {"sips:bob@example.org?subject=x", "bob"},
        {"tel:+49 30 123", "+4930123"},
        {"tel:+1-(555)-0100;ext=7", "+15550100"},
        {"callto123", nullptr},
        {"callto:", nullptr},
        {"mailto:alice@host", nullptr},
        {"--minimized", nullptr},
    };
    for (const Case& c : cases) {
        std::string number = "unchanged";
        EXPECT_EQ(CCommandLineArgument::ParseParameter(c.parameter, number), c.number != nullptr) << c.parameter;
        EXPECT_EQ(number, c.number != nullptr ? c.number : "unchanged") << c.parameter;
    }
    CCommandLineArgument line({"--minimized", "callto:", "tel:555", "callto:777"});
    EXPECT_TRUE(line.Found());
    EXPECT_EQ(line.Number(), "555");
    EXPECT_FALSE(CCommandLineArgument({"-x", "mailto:a@b"}).Found());
}

namespace {

class AppStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_dir.Path() / "run");
        chmod((m_dir.Path() / "run").c_str(), 0700);
        std::filesystem::create_directories(m_dir.Path() / "drive");
        m_exe = m_dir.File("drive/zeloraTALK");
        TempDir::Write(m_exe, "program");
        // The drive holding the program, as /sys would describe it: a fixed disk on USB.
        struct stat st { };
        ASSERT_EQ(stat(m_exe.c_str(), &st), 0);
        AddSysDisk(m_usb.Path(), kUsbBus, "sdb", major(st.st_dev), minor(st.st_dev), false, 0);
        AddSysDisk(m_sata.Path(), kSataBus, "sda", major(st.st_dev), minor(st.st_dev), false, 0);
    }
    void TearDown() override { CSettings::SetFromFile(false); }

    CzeloraTALKApp::Options Options(const std::string& sysRoot, std::vector<std::string> parameters)
    {
        CzeloraTALKApp::Options options;
        options.parameters = std::move(parameters);
        options.sysRoot = sysRoot;
        options.executable = m_exe;
        options.initInet = [this]() { return m_inetResult; };
        options.exitInet = [this]() { ++m_inetExits; };
        return options;
    }

    TempDir m_dir, m_usb, m_sata;
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_dir.File("run")};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir.File("home-data")};
    ScopedEnv m_state{"XDG_STATE_HOME", m_dir.File("home-state")};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.File("home-config")};
    ScopedEnv m_deployment{"ZELORA_DEPLOYMENT", std::string(ZELORA_TEST_RESOURCES) + "/deployment.ini"};
    std::string m_exe;
    int m_inetResult = 1;
    int m_inetExits = 0;
};

} // namespace

// A program on a fixed USB disk keeps settings, data and log beside itself, listens as the
// first start, and a later start (registry mode, another process) hands its number over and
// ends without running any window.
TEST_F(AppStartup, PortableStartReceivesTheNumberOfALaterStart)
{
    const std::string folder = m_dir.File("drive") + "/";
    CzeloraTALKApp app(Options(m_usb.Path().string(), {"CALLTO: 123"}));
    EXPECT_TRUE(app.Portable());
    EXPECT_TRUE(CSettings::FromFile());
    EXPECT_EQ(app.ProgramFolder(), folder);
    EXPECT_EQ(app.CommandLine().Number(), "123");
    EXPECT_TRUE(std::filesystem::exists(folder + "Settings.ini"));
    std::string appPath;
    EXPECT_EQ(CSettings::Instance().ReadAppPath(appPath), 1);
    EXPECT_EQ(appPath, folder);
    EXPECT_EQ(std::string(getenv("XDG_DATA_HOME")).rfind(folder, 0), 0u);

    std::string received;
    int windows = 0;
    const int rc = app.Run([&](CzeloraTALKApp& running) {
        ++windows;
        pid_t later = fork();
        if (later == 0) {
            CzeloraTALKApp second(Options(m_sata.Path().string(), {"sip:1002@127.0.10.1"}));
            int code = second.Run([](CzeloraTALKApp&) { return 42; });
            _exit(!second.Portable() && code == CzeloraTALKApp::kExitOk ? 0 : 1);
        }
        zelora::SingleInstance::Block block{};
        if (running.Instance().ReceiveOne(block, 5s) == zelora::SingleInstance::Connection::kComplete)
            received = zelora::SingleInstance::BlockText(block);
        int status = -1;
        waitpid(later, &status, 0);
        return status == 0 ? 7 : 8;
    });
    EXPECT_EQ(rc, 7) << "the later start did not hand over and end";
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(received, "1002");
    EXPECT_EQ(m_inetExits, 1);
    EXPECT_TRUE(std::filesystem::exists(folder + "user/log/zeloraTALK/zeloraTALK.log"));
}

// No HTTP client: the program ends before any window, with the HTTP client shut down and the
// reason in the log; a removable flash drive would not have made it portable either.
TEST_F(AppStartup, NoHttpClientEndsTheStart)
{
    m_inetResult = -1;
    std::string error;
    {
        CzeloraTALKApp app(Options(m_sata.Path().string(), {}));
        EXPECT_FALSE(app.Portable());
        EXPECT_FALSE(CSettings::FromFile());
        bool window = false;
        EXPECT_EQ(app.Run(
                      [&](CzeloraTALKApp&) {
                          window = true;
                          return 0;
                      },
                      &error),
                  CzeloraTALKApp::kExitFailed);
        EXPECT_FALSE(window);
    }
    EXPECT_EQ(error, "Unable to init Inet");
    EXPECT_EQ(m_inetExits, 1);
    const std::string log = TempDir::Read(m_dir.File("home-state/zeloraTALK/zeloraTALK.log"));
    EXPECT_NE(log.find("Unable to init Inet"), std::string::npos);
    EXPECT_NE(log.find("Exiting Logger"), std::string::npos);
}
