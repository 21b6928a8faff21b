// Runs the built zelora-diag program and checks what it prints and returns.
#include "app/CEncryptDecrypt.h"
#include "app/HexString.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

struct DiagRun {
    int code = -1;
    std::string out;
    std::string err;
};

DiagRun runDiag(const std::vector<std::string>& args)
{
    TempDir dir;
    std::string outPath = dir.File("out");
    std::string errPath = dir.File("err");
    std::vector<std::string> all = {ZELORA_DIAG};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    DiagRun run;
    int rc = posix_spawn(&pid, ZELORA_DIAG, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << ZELORA_DIAG;
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = TempDir::Read(outPath);
    run.err = TempDir::Read(errPath);
    return run;
}

class DiagSettings : public ::testing::Test {
protected:
    // The program may write its log; keep it out of the user's folders.
    TempDir m_home;
    ScopedEnv m_state{"XDG_STATE_HOME", m_home.Path().string()};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_home.Path().string()};
};

} // namespace

TEST_F(DiagSettings, EncryptPrintsUpperCaseHexForEachKeyForm)
{
    DiagRun r = runDiag({"encrypt", "--key", "web", "abc"});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ("6D5CE2DBADA58354BA1E0AAD8159B73D\n", r.out);
    r = runDiag({"encrypt", "--key", "settings", "Zq"});
    EXPECT_EQ("60F08C967141C62C\n", r.out);
    r = runDiag({"encrypt", "--key", "tunnel", "secret1"});
    EXPECT_EQ("C4BFBCABFC265B857FFCC79665BF2A1A7E82248FEBC8A51A01C3A5B56FB96719\n", r.out);
    // A literal key, and a text of several words.
    r = runDiag({"encrypt", "--key", "abc", "hello", "world"});
    ASSERT_EQ(0, r.code);
    CEncryptDecrypt cipher;
    std::vector<std::uint8_t> expected;
    cipher.Encrypt("hello world", "abc", expected);
    EXPECT_EQ(zelora::MakeHexString(expected) + "\n", r.out);
}

TEST_F(DiagSettings, DecryptRoundTripsAndExplainsFailures)
{
    DiagRun r = runDiag({"decrypt", "--key", "web", "6D5CE2DBADA58354BA1E0AAD8159B73D"});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ("abc\n", r.out);
    r = runDiag({"decrypt", "--key", "web", "6D5CE2DBADA58354BA1E0AAD8159B7"});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find("Unable to decrypt data"));
    r = runDiag({"decrypt", "--key", "web", "XYZ0"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("not a hexadecimal text"));
    r = runDiag({"encrypt", "--key", "12345678901234567", "abc"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("Unable to encrypt data"));
    r = runDiag({"encrypt", "abc"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("usage:"));
}

TEST_F(DiagSettings, SettingsFileWriteThenReadInFileOrder)
{
    TempDir dir;
    std::string path = dir.File("Settings.ini");
    DiagRun r = runDiag({"settings-file", "write", path, "UserName=alice", "HttpProxyPort=3128", "UserPassword= pw "});
    ASSERT_EQ(0, r.code) << r.err;
    ASSERT_TRUE(std::filesystem::exists(path));
    r = runDiag({"settings-file", "read", path});
    ASSERT_EQ(0, r.code) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(22u, lines.size());
    EXPECT_EQ("AppPath=" + dir.Path().string() + "/", lines[0]);
    EXPECT_EQ("IsFirstTime=1", lines[2]);
    EXPECT_EQ("ProxyPort=5060", lines[5]);
    EXPECT_EQ("UserName=alice", lines[9]);
    EXPECT_EQ("UserPassword=pw", lines[10]);
    EXPECT_EQ("HttpProxyPort=3128", lines[13]);
    EXPECT_EQ("LogSize=1", lines[18]);
    EXPECT_EQ("SMSServerPort=80", lines[21]);
    EXPECT_EQ('\n', r.out.back());
}

TEST_F(DiagSettings, SettingsFileFailuresExitOne)
{
    TempDir dir;
    DiagRun r = runDiag({"settings-file", "read", dir.File("missing.ini")});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("Unable to read settings file"));
    TempDir::Write(dir.File("bad.ini"), "NOT HEX");
    r = runDiag({"settings-file", "read", dir.File("bad.ini")});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("Unable to decrypt file\n", r.err);
    r = runDiag({"settings-file", "write", dir.File("x.ini"), "Bogus=1"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("Unknown tag Bogus"));
    r = runDiag({"settings-file", "write", dir.File("x.ini"), "LogSize=big"});
    EXPECT_EQ(1, r.code);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.ini")));
    r = runDiag({"settings-file", "write", dir.File("x.ini"), "UserName=a</UserName>"});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("Unable to Save data\n", r.err);
}

TEST_F(DiagSettings, WriteNeedsTheDeploymentValues)
{
    TempDir dir;
    TempDir::Write(dir.File("deployment.ini"), "[sip]\ndefault_server = 127.0.7.1\n");
    ScopedEnv env("ZELORA_DEPLOYMENT", dir.File("deployment.ini"));
    DiagRun r = runDiag({"settings-file", "write", dir.File("Settings.ini")});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("[sip] other_server_1")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("Settings.ini")));
}
