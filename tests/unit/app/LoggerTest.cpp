#include "app/CLogger.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> lines(const std::string& path)
{
    std::vector<std::string> out;
    std::istringstream in(TempDir::Read(path));
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::uintmax_t sizeOf(const std::string& path) { return std::filesystem::file_size(path); }

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_dir.File("phone.log");
        CLogger::SetLevel(LOG_INFO);
        CLogger::SetMaxFileSize(1048576);
        ASSERT_EQ(1, CLogger::Open(m_path));
    }
    void TearDown() override
    {
        CLogger::Exit();
        CLogger::SetLevel(LOG_INFO);
        CLogger::SetMaxFileSize(1048576);
    }
    TempDir m_dir;
    std::string m_path;
};

} // namespace

TEST_F(LoggerTest, LineFormatAndLevelNames)
{
    ASSERT_EQ(1, CLogger::Log(LOG_ERROR, "", 42, "CzeloraTALKDlg::OnInitDialog", "Init GUI failed %d", 5));
    ASSERT_EQ(1, CLogger::Log(LOG_DATA, "", 7, "C::M", "data"));
    ASSERT_EQ(1, CLogger::Log(4, "src.cpp", 8, "C::M", "four"));
    auto got = lines(m_path);
    ASSERT_EQ(3u, got.size());
    std::regex shape(
        R"(^\[\d\d-\d\d-\d\d \d\d:\d\d:\d\d\]\[LOG_ERROR\]\[\]\[CzeloraTALKDlg::OnInitDialog\]\[42\] Init GUI failed 5$)");
    EXPECT_TRUE(std::regex_match(got[0], shape)) << got[0];
    EXPECT_NE(std::string::npos, got[1].find("][Unknown][][C::M][7] data"));
    EXPECT_NE(std::string::npos, got[2].find("][Unknown][src.cpp][C::M][8] four"));
    EXPECT_STREQ("LOG_ERROR", CLogger::GetLevelName(1));
    EXPECT_STREQ("LOG_WARNING", CLogger::GetLevelName(2));
    EXPECT_STREQ("LOG_DEBUG", CLogger::GetLevelName(3));
    EXPECT_STREQ("Unknown", CLogger::GetLevelName(6));
    EXPECT_STREQ("LOG_INFO", CLogger::GetLevelName(7));
    EXPECT_STREQ("Unknown", CLogger::GetLevelName(0));
    EXPECT_STREQ("Unknown", CLogger::GetLevelName(8));
}

TEST_F(LoggerTest, CallsAboveTheThresholdWriteNothing)
{
    CLogger::SetLevel(LOG_DEBUG);
    EXPECT_EQ(1, CLogger::Log(LOG_INFO, "", 1, "C::M", "hidden"));
    EXPECT_EQ(1, CLogger::Log(LOG_DATA, "", 1, "C::M", "hidden"));
    EXPECT_EQ(0u, sizeOf(m_path));
    EXPECT_EQ(1, CLogger::Log(LOG_DEBUG, "", 1, "C::M", "shown"));
    ASSERT_EQ(1u, lines(m_path).size());
    EXPECT_NE(std::string::npos, lines(m_path)[0].find("[LOG_DEBUG]"));
}

namespace {
// The names in the log come from the enclosing scope, whatever namespace it is in.
namespace sample {
struct CSample {
    static int Run(bool early)
    {
        ZLOG_SCOPE();
        if (early)
            return 1;
        ZLOG(LOG_WARNING, "late %s", "path");
        return 2;
    }
};
} // namespace sample
} // namespace

TEST_F(LoggerTest, ScopeLogsEnteringAndLeavingOnEveryPath)
{
    auto run = [](bool early) { return sample::CSample::Run(early); };
    run(true);
    run(false);
    auto got = lines(m_path);
    ASSERT_EQ(5u, got.size());
    EXPECT_NE(std::string::npos, got[0].find("[LOG_INFO][][CSample::Run]"));
    EXPECT_NE(std::string::npos, got[0].find("] ********Entering********"));
    EXPECT_NE(std::string::npos, got[1].find("] ########Leaving########"));
    EXPECT_NE(std::string::npos, got[3].find("[LOG_WARNING][][CSample::Run]"));
    EXPECT_NE(std::string::npos, got[4].find("] ########Leaving########"));
    // The trace lines carry the line of the scope, not 0.
    EXPECT_EQ(std::string::npos, got[0].find("][0] "));
}

TEST_F(LoggerTest, RotatesAtExactlyTheMaximumSize)
{
    ASSERT_EQ(1, CLogger::Log(LOG_INFO, "", 1, "C::M", "line A"));
    auto afterA = static_cast<long>(sizeOf(m_path));
    // One byte below the limit: no rotation.
    CLogger::SetMaxFileSize(afterA + 1);
    EXPECT_EQ(0, CLogger::IsNewLogFileRequired());
    ASSERT_EQ(1, CLogger::Log(LOG_INFO, "", 2, "C::M", "line B"));
    EXPECT_FALSE(std::filesystem::exists(m_path + ".old"));
    // Exactly at the limit: the next call rotates first.
    CLogger::SetMaxFileSize(static_cast<long>(sizeOf(m_path)));
    EXPECT_EQ(1, CLogger::IsNewLogFileRequired());
    ASSERT_EQ(1, CLogger::Log(LOG_INFO, "", 3, "C::M", "line C"));
    auto old = lines(m_path + ".old");
    auto fresh = lines(m_path);
    ASSERT_EQ(2u, old.size());
    EXPECT_NE(std::string::npos, old[0].find("line A"));
    EXPECT_NE(std::string::npos, old[1].find("line B"));
    ASSERT_EQ(1u, fresh.size());
    EXPECT_NE(std::string::npos, fresh[0].find("line C"));

    // A second rotation replaces the earlier backup.
    CLogger::SetMaxFileSize(static_cast<long>(sizeOf(m_path)));
    ASSERT_EQ(1, CLogger::Log(LOG_INFO, "", 4, "C::M", "line D"));
    old = lines(m_path + ".old");
    ASSERT_EQ(1u, old.size());
    EXPECT_NE(std::string::npos, old[0].find("line C"));
    ASSERT_EQ(1u, lines(m_path).size());
    EXPECT_NE(std::string::npos, lines(m_path)[0].find("line D"));
}

TEST_F(LoggerTest, FailedRotationClosesTheLogForGood)
{
    ASSERT_EQ(1, CLogger::Log(LOG_INFO, "", 1, "C::M", "before"));
    // The folder disappears: the file cannot be opened again after the rename.
    std::filesystem::path sub = m_dir.Path() / "gone";
    std::filesystem::create_directories(sub);
    std::string path = (sub / "x.log").string();
    ASSERT_EQ(1, CLogger::Open(path));
    ASSERT_EQ(1, CLogger::Log(LOG_INFO, "", 1, "C::M", "first"));
    std::filesystem::remove_all(sub);
    CLogger::SetMaxFileSize(1);
    EXPECT_EQ(-1, CLogger::Log(LOG_INFO, "", 2, "C::M", "lost"));
    EXPECT_EQ(2, CLogger::Log(LOG_ERROR, "", 3, "C::M", "after"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Logger, NoFileOpenReturnsTwoAndCreatesNothing)
{
    TempDir dir;
    ScopedEnv state("XDG_STATE_HOME", dir.Path().string());
    CLogger::Exit();
    EXPECT_EQ(2, CLogger::Log(LOG_ERROR, "", 1, "C::M", "nowhere"));
    EXPECT_EQ(2, CLogger::Log(LOG_INFO, "", 1, "C::M", "nowhere"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    // The default place is under XDG_STATE_HOME, folder created on opening.
    EXPECT_EQ(dir.File("zeloraTALK/zelora-test.log"), CLogger::DefaultPath("zelora-test"));
    ASSERT_EQ(1, CLogger::OpenDefault("zelora-test"));
    EXPECT_EQ(1, CLogger::Log(LOG_ERROR, "", 1, "C::M", "somewhere"));
    EXPECT_EQ(1u, lines(dir.File("zeloraTALK/zelora-test.log")).size());
    CLogger::Exit();
    EXPECT_EQ(-1, CLogger::Open(""));
    EXPECT_EQ(-1, CLogger::Open(dir.File(std::string(300, 'a'))));
}

TEST_F(LoggerTest, LinesOfManyThreadsNeverInterleave)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 300;
    // Rotation happens under the same lock, in the middle of the run.
    CLogger::SetMaxFileSize(20000);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
                CLogger::Log(LOG_DEBUG, "", i, "CWorker::Run", "thread %d line %d %s", t, i, "payload-payload");
        });
    for (auto& th : threads)
        th.join();
    std::regex shape(R"(^\[[^\]]+\]\[LOG_DEBUG\]\[\]\[CWorker::Run\]\[\d+\] thread \d line \d+ payload-payload$)");
    std::size_t count = 0;
    for (const auto& file : {m_path + ".old", m_path})
        for (const auto& line : lines(file)) {
            EXPECT_TRUE(std::regex_match(line, shape)) << line;
            ++count;
        }
    // Older rotations were thrown away; what is left is whole lines only, the newest file full.
    EXPECT_GT(count, 0u);
    EXPECT_LE(count, static_cast<std::size_t>(kThreads * kEach));
}
