// zelora-diag mos probe, run as a program against mos-echo.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "EchoPeer.h"

namespace {

struct RunResult {
    int status = -1;
    std::string output;
};

RunResult RunDiag(const std::string& arguments, const std::string& program = ZELORA_DIAG_PATH)
{
    RunResult r;
    const std::string command = program + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buf[256];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        r.output.append(buf, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(QuvaneDiag, ProbePrintsTheScoreWithOneDecimal)
{
    EchoPeer peer;
    std::string error;
    ASSERT_TRUE(peer.Start("127.0.5.21", {"--drop-every", "10"}, error)) << error;

    // Found through the environment variable...
    setenv("ZELORA_QUVANE_PATH", QUVANE_LIBRARY_PATH, 1);
    RunResult r = RunDiag("mos probe 127.0.5.21 " + std::to_string(peer.Port()));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "2.4\n");

    // ...and, without it, beside the program in the build tree's layout.
    unsetenv("ZELORA_QUVANE_PATH");
    r = RunDiag("mos probe 127.0.5.21 " + std::to_string(peer.Port()));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "2.4\n");
    EXPECT_EQ(peer.Stop(), 0);
}

TEST(QuvaneDiag, BadArgumentsFailWithAMessage)
{
    RunResult r = RunDiag("mos probe 127.0.5.22 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Invalid port"), std::string::npos) << r.output;

    r = RunDiag("mos probe 127.0.5.22");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("usage"), std::string::npos) << r.output;
}

TEST(QuvaneDiag, MissingLibraryIsReported)
{
    // Copy the program where neither the library nor its build layout is.
    const std::string pattern = (std::filesystem::temp_directory_path() / "quvane-diag-XXXXXX").string();
    std::vector<char> dir(pattern.begin(), pattern.end());
    dir.push_back('\0');
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::filesystem::path home(dir.data());
    std::filesystem::copy_file(ZELORA_DIAG_PATH, home / "zelora-diag");
    std::filesystem::permissions(home / "zelora-diag", std::filesystem::perms::owner_all);
    setenv("ZELORA_QUVANE_PATH", (home / "missing.so").c_str(), 1);
    const RunResult r = RunDiag("mos probe 127.0.5.22 5000", (home / "zelora-diag").string());
    unsetenv("ZELORA_QUVANE_PATH");
    std::filesystem::remove_all(home);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Cannot load libQuvane.so"), std::string::npos) << r.output;
}

} // namespace
