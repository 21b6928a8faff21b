#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "cli/CCliApp.h"
#include "cli/CCliProtocol.h"
#include "cli/CCliView.h"
#include "app/CLogger.h"
#include "phone/CWebPhoneDuties.h"
#include "phone/CzeloraTALKDlg.h"
#include "PhoneTestSupport.h"

using namespace phonetest;

namespace {

TEST(CliProtocol, QuoteEscapesQuotesAndBackslashesAndKeepsOneLine)
{
    EXPECT_EQ(CCliProtocol::Quote("plain"), "\"plain\"");
    EXPECT_EQ(CCliProtocol::Quote("say \"hi\" \\o/"), "\"say \\\"hi\\\" \\\\o/\"");
    EXPECT_EQ(CCliProtocol::Quote("two\nlines\r"), "\"two lines \"");
    EXPECT_EQ(CCliProtocol::Quote(""), "\"\"");
}

TEST(CliProtocol, SplitReadsPlainAndQuotedWords)
{
    std::vector<std::string> w;
    ASSERT_TRUE(CCliProtocol::Split("  login 1001   \"pass word\" remember\r", w));
    EXPECT_EQ(w, (std::vector<std::string>{"login", "1001", "pass word", "remember"}));
    ASSERT_TRUE(CCliProtocol::Split("login \"a\\\"b\\\\c\" \"\"", w));
    EXPECT_EQ(w, (std::vector<std::string>{"login", "a\"b\\c", ""}));
    EXPECT_FALSE(CCliProtocol::Split("login \"open", w));
    EXPECT_FALSE(CCliProtocol::Split("login \"a\\", w));
    ASSERT_TRUE(CCliProtocol::Split("   ", w));
    EXPECT_TRUE(w.empty());
}

TEST(CliProtocol, EventLineCarriesOnlyTheFieldsThatAreSet)
{
    EXPECT_EQ(CCliProtocol::EventLine(1, nullptr), "EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL");
    SESSION_EVENT_INFO r = Record(3, 200);
    CopyText(r.codecName, "PCMA");
    CopyText(r.codecPayload, "8");
    CopyText(r.rtpIp, "127.0.6.50");
    CopyText(r.rtpPort, "30002");
    CopyText(r.fromUserName, "10 02");
    CopyText(r.responseMessage, "OK \"fine\"");
    EXPECT_EQ(CCliProtocol::EventLine(9, &r),
              "EVENT 9 MXSS_STATUS_OUTGOING_CALL_ANSWERED cid=3 code=200 codec=PCMA payload=8 rtp=127.0.6.50:30002 "
              "from=10_02 reason=\"OK \\\"fine\\\"\"");
    SESSION_EVENT_INFO bare = Record(0, 0);
    EXPECT_EQ(CCliProtocol::EventLine(17, &bare), "EVENT 17 MXSS_STATUS_CALL_CLOSED");
}

TEST(CliProtocol, StateAndDisplayLines)
{
    EXPECT_EQ(CCliProtocol::StateLine(true, 3, "10\"2"), "STATE signed_in=1 call_state=3 dial=\"10\\\"2\"");
    EXPECT_EQ(CCliProtocol::DisplayLine({"", "1002", "Connected - 00:00:01"}),
              "DISPLAY \"\" \"1002\" \"Connected - 00:00:01\"");
    EXPECT_EQ(CCliProtocol::MessageLine("Please Sign In "), "MESSAGE \"Please Sign In \"");
}

TEST(CliProtocol, NumbersAndKeyValues)
{
    int v = -1;
    EXPECT_TRUE(CCliProtocol::ParseNumber("255", 0, 255, v));
    EXPECT_EQ(v, 255);
    EXPECT_FALSE(CCliProtocol::ParseNumber("256", 0, 255, v));
    EXPECT_FALSE(CCliProtocol::ParseNumber("-1", 0, 255, v));
    EXPECT_FALSE(CCliProtocol::ParseNumber("12a", 0, 255, v));
    EXPECT_FALSE(CCliProtocol::ParseNumber("", 0, 255, v));
    EXPECT_FALSE(CCliProtocol::ParseNumber("99999999999", 0, 255, v));
    std::string value;
    EXPECT_TRUE(CCliProtocol::TakeValue("host=10.0.0.1", "host", value));
    EXPECT_EQ(value, "10.0.0.1");
    EXPECT_TRUE(CCliProtocol::TakeValue("host=", "host", value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(CCliProtocol::TakeValue("hostname=x", "host", value));
    EXPECT_FALSE(CCliProtocol::TakeValue("host", "host", value));
}

// Tells when the window's core lets its protocol go.
class WatchedProtocol : public FakeProtocol {
public:
    explicit WatchedProtocol(std::function<void()>& gone) : m_gone(gone) { }
    ~WatchedProtocol() override
    {
        if (m_gone)
            m_gone();
    }

private:
    std::function<void()>& m_gone;
};

// The console phone's commands against the real controllers and a fake protocol.
class CliAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        out = open_memstream(&buffer, &size);
        ASSERT_NE(out, nullptr);
        view = std::make_unique<CCliView>(out);
        CzeloraTALKDlg::Options options;
        options.startThreads = false;
        options.protocolFactory = [this](bool, const TunnelSettings&) {
            auto p = std::make_unique<WatchedProtocol>(protocolGone);
            protocol = p.get();
            return std::unique_ptr<CSessionProtocol>(std::move(p));
        };
        dlg = std::make_unique<CzeloraTALKDlg>(*view, audio, temp.Settings(), TestDeployment(), options);
        ASSERT_EQ(dlg->OnInitDialog(), 0);
        MXLoginDlg::Account account{
            [this] { return dlg->GetUserId(); },
            [this] { return dlg->GetPassword(); },
            [this](const std::string& u, const std::string& p) { dlg->RegisterSoftPhone(u, p); },
            {}};
        login = std::make_unique<MXLoginDlg>(*view, temp.Settings(), account, "");
        proxy =
            std::make_unique<CProxySettingsDlg>(*view, temp.Settings(), [] { return std::optional<std::string>(); });
        app = std::make_unique<CCliApp>(*dlg, *view, *login, *proxy);
        Output();
    }
    void TearDown() override
    {
        protocolGone = nullptr;
        app.reset();
        dlg.reset();
        std::fclose(out);
        std::free(buffer);
    }
    // What was written since the last call.
    std::string Output()
    {
        std::fflush(out);
        std::string all(buffer, size);
        std::string fresh = all.substr(seen);
        seen = all.size();
        return fresh;
    }
    void Run(const std::string& line)
    {
        app->Execute(line);
        dlg->DrainMessages();
    }

    TempSettings temp;
    FakeAudio audio;
    char* buffer = nullptr;
    size_t size = 0;
    size_t seen = 0;
    FILE* out = nullptr;
    std::unique_ptr<CCliView> view;
    FakeProtocol* protocol = nullptr;
    std::function<void()> protocolGone;
    std::unique_ptr<CzeloraTALKDlg> dlg;
    std::unique_ptr<MXLoginDlg> login;
    std::unique_ptr<CProxySettingsDlg> proxy;
    std::unique_ptr<CCliApp> app;
};

TEST_F(CliAppTest, UnknownAndMalformedCommandsChangeNothing)
{
    for (const char* line : {"frobnicate", "dial", "dial 1 2", "key", "key 12", "key !", "volume speaker 256",
                             "volume loud 3", "login 1001", "login 1001 pw maybe", "proxy-settings tunnel=2 proxy=0",
                             "proxy-settings proxy=1 tunnel=1", "status now", "login \"open"}) {
        Run(line);
        EXPECT_EQ(Output(), "MESSAGE \"Unknown command\"\n") << line;
    }
    Run("");
    EXPECT_EQ(Output(), "");
    Run("status");
    EXPECT_EQ(Output(), "STATE signed_in=0 call_state=0 dial=\"\"\n");
    EXPECT_EQ(protocol->Count("Register"), 0);
    EXPECT_EQ(audio.Count("Speaker"), 0);
}

TEST_F(CliAppTest, LoginDialKeysAndStatus)
{
    Run("login 1001 pw1001 remember auto");
    const Call* reg = protocol->Last("Register");
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->args[1], "1001");
    CSettingsAccount stored;
    temp.Settings().ReadAccount(stored);
    EXPECT_EQ(stored.autoLogin, 1);
    EXPECT_EQ(stored.password, "pw1001");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    dlg->DrainMessages();
    Output();
    Run("status");
    EXPECT_EQ(Output(), "STATE signed_in=1 call_state=0 dial=\"\"\n");
    Run("key 4");
    Run("key #");
    Run("status");
    std::string shown = Output();
    EXPECT_NE(shown.find("DISPLAY \"\" \"4#\" \"\"\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("STATE signed_in=1 call_state=0 dial=\"4#\"\n"), std::string::npos) << shown;
    Run("dial 1002");
    EXPECT_EQ(protocol->Last("Invite")->args[1], "1002");
    Output();
    Run("dial 1003");
    EXPECT_EQ(Output(), "MESSAGE \"Can not dial while call in progress\"\n");
    EXPECT_EQ(protocol->Count("Invite"), 1);
    Run("hangup");
    Run("volume speaker 200");
    Run("volume mic 0");
    EXPECT_TRUE(audio.Has("Speaker 200"));
    EXPECT_TRUE(audio.Has("Mic 0"));
}

TEST_F(CliAppTest, ProxySettingsCommandStoresThroughTheSettingsWindow)
{
    Run("proxy-settings tunnel=1 proxy=1 host=10.0.0.3 port=3128");
    EXPECT_EQ(Output(), "MESSAGE \"Your settings is saved and it will take effect after you restart your zelora\"\n");
    CSettingsHttpProxy stored;
    temp.Settings().ReadHttpProxy(stored);
    EXPECT_EQ(stored.httpUseTunnel, 1);
    EXPECT_EQ(stored.httpProxyIp, "10.0.0.3");
    EXPECT_EQ(stored.httpProxyPort, 3128);
    Run("proxy-settings tunnel=1 proxy=1 port=3128");
    EXPECT_EQ(Output(), "MESSAGE \"Enter Proxy Address\"\n");
}

TEST_F(CliAppTest, QuitWithoutACallClosesAndDuringACallHangsUpFirst)
{
    Run("login 1001 pw1001");
    protocol->Raise(MXSS_STATUS_REGISTRATION_SUCCESSFUL, nullptr);
    Run("dial 1002");
    SESSION_EVENT_INFO trying = Record(7, 100);
    protocol->Raise(MXSS_STATUS_CALL_PROCEEDING, &trying);
    EXPECT_FALSE(app->Execute("quit"));
    EXPECT_EQ(protocol->Count("HangUp"), 1);
    EXPECT_FALSE(view->IsClosed());
    SESSION_EVENT_INFO released = Record(7);
    protocol->Raise(MXSS_STATUS_CALL_RELEASED, &released);
    dlg->DrainMessages();
    EXPECT_TRUE(view->IsClosed());
}

TEST_F(CliAppTest, RunEndsAtEndOfInput)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const char script[] = "status\nbogus\n";
    ASSERT_EQ(write(fds[1], script, sizeof script - 1), static_cast<ssize_t>(sizeof script - 1));
    close(fds[1]);
    EXPECT_EQ(app->Run(fds[0]), 0);
    close(fds[0]);
    EXPECT_TRUE(view->IsClosed());
    EXPECT_EQ(Output(), "STATE signed_in=0 call_state=0 dial=\"\"\nMESSAGE \"Unknown command\"\n");
}

TEST_F(CliAppTest, HelpListsEachCommandOnceInTheProtocolsLineForm)
{
    Run("help");
    std::istringstream lines(Output());
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_EQ(line.rfind("HELP \"", 0), 0u) << line;
        names.push_back(line.substr(6, line.find_first_of(" \"", 6) - 6));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"help", "login", "logout", "dial", "answer", "hangup", "redial", "key",
                                        "volume", "proxy-settings", "status", "quit"}));
    Run("help me");
    EXPECT_EQ(Output(), "MESSAGE \"Unknown command\"\n");
}

TEST_F(CliAppTest, CloseWindowDetachesTheWebSideBeforeTheCoreGoes)
{
    CWebPhoneDuties web(WebEndpoints{});
    ASSERT_TRUE(web.Attach(*dlg));
    ASSERT_NE(web.Client(), nullptr);
    bool coreGone = false, webStillAttached = false;
    protocolGone = [&] {
        coreGone = true;
        // What a late probe report would reach: a client that still calls the window.
        webStillAttached = web.Client() != nullptr;
    };
    CCliApp::CloseWindow(*dlg, &web);
    EXPECT_TRUE(coreGone);
    EXPECT_FALSE(webStillAttached);
    EXPECT_EQ(web.Client(), nullptr);
    EXPECT_FALSE(web.IsSignedIn());
}

// What `action` writes to stdout and stderr (through files of `dir`).
std::pair<std::string, std::string> Printed(const std::filesystem::path& dir, const std::function<void()>& action)
{
    std::string texts[2];
    int saved[2];
    for (int fd : {1, 2}) {
        std::fflush(nullptr);
        saved[fd - 1] = dup(fd);
        int file = open((dir / std::to_string(fd)).c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
        dup2(file, fd);
        close(file);
    }
    action();
    std::fflush(nullptr);
    for (int fd : {1, 2}) {
        dup2(saved[fd - 1], fd);
        close(saved[fd - 1]);
        std::ifstream in(dir / std::to_string(fd));
        texts[fd - 1].assign(std::istreambuf_iterator<char>(in), {});
    }
    return {texts[0], texts[1]};
}

TEST(CliLogger, RotationAndShutdownNoticesStayOffTheProtocolStream)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zelora-cli-log-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    CCliApp::RouteLoggerNotices();
    ASSERT_EQ(CLogger::Open((dir / "cli.log").string()), 1);
    CLogger::SetMaxFileSize(1);
    const auto [printed, notices] = Printed(dir, [] {
        CLogger::Log(LOG_ERROR, "", 1, "CliLogger::Test", "first");
        // The file is past its limit now: this line rotates it.
        CLogger::Log(LOG_ERROR, "", 2, "CliLogger::Test", "second");
        CLogger::Exit();
    });
    CLogger::SetNoticeStream(nullptr);
    CLogger::SetMaxFileSize(1048576);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(printed, "");
    EXPECT_NE(notices.find("Create new log file"), std::string::npos) << notices;
    EXPECT_NE(notices.find("Shutting down log system."), std::string::npos) << notices;
}

} // namespace
