#include "platform/PlatformLog.h"
#include "platform/Registry.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <mutex>

#include <sys/wait.h>
#include <unistd.h>
#include <thread>
#include <vector>

using zelora::Registry;
using zelora::RegType;
using zelora::RegValue;

namespace {
constexpr const char* kKey = "Software\\zeloraTALK\\zeloraTALK\\Config";

std::vector<std::string> g_reports;
std::mutex g_reportsLock;
void collect(int level, const char* method, const char* text)
{
    std::lock_guard<std::mutex> lock(g_reportsLock);
    g_reports.push_back(std::to_string(level) + " " + method + " " + text);
}

std::size_t filesIn(const std::filesystem::path& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}
} // namespace

TEST(Registry, TypedValuesSurviveReopen)
{
    TempDir dir;
    std::string path = dir.File("registry.ini");
    const std::string awkward = "  50% = [odd]\nline two\r\t;#\xC3\xA9 ";
    const std::vector<std::uint8_t> bytes = {0x00, 0xFF, 0x10, 0x0A, 0x3D};
    {
        Registry reg;
        ASSERT_EQ(Registry::kLoaded, reg.Open(path, false));
        ASSERT_EQ(0, reg.SetString(kKey, "Config1", awkward));
        ASSERT_EQ(0, reg.SetString(kKey, "Empty", ""));
        ASSERT_EQ(0, reg.SetDword(kKey, "AutoLogin", 0xFFFFFFFFu));
        ASSERT_EQ(0, reg.SetBinary(kKey, "Config2", bytes.data(), bytes.size()));
        ASSERT_EQ(0, reg.SetBinary(kKey, "Nothing", nullptr, 0));
        ASSERT_EQ(0, reg.SetString(kKey, "Name=With;Marks", "x"));
    }
    Registry reg;
    ASSERT_EQ(Registry::kLoaded, reg.Open(path, false));
    std::string text;
    ASSERT_EQ(0, reg.GetString(kKey, "Config1", text));
    EXPECT_EQ(awkward, text);
    ASSERT_EQ(0, reg.GetString(kKey, "Empty", text));
    EXPECT_EQ("", text);
    std::uint32_t dword = 0;
    ASSERT_EQ(0, reg.GetDword(kKey, "AutoLogin", dword));
    EXPECT_EQ(0xFFFFFFFFu, dword);
    std::vector<std::uint8_t> read;
    ASSERT_EQ(0, reg.GetBinary(kKey, "Config2", read));
    EXPECT_EQ(bytes, read);
    ASSERT_EQ(0, reg.GetBinary(kKey, "Nothing", read));
    EXPECT_TRUE(read.empty());
    ASSERT_EQ(0, reg.GetString(kKey, "Name=With;Marks", text));
    EXPECT_EQ("x", text);
    // Binary values are hex in the file.
    EXPECT_NE(std::string::npos, TempDir::Read(path).find("Config2=hex:00FF100A3D"));
}

TEST(Registry, LookupIgnoresCaseAndReportsMissingAndWrongType)
{
    TempDir dir;
    Registry reg;
    reg.Open(dir.File("registry.ini"), false);
    ASSERT_EQ(0, reg.SetDword("Software\\A\\B", "Value", 7));
    std::uint32_t v = 0;
    EXPECT_EQ(0, reg.GetDword("software\\a\\b\\", "VALUE", v));
    EXPECT_EQ(7u, v);
    EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\A\\B"));
    std::string s;
    EXPECT_EQ(Registry::kWrongType, reg.GetString("Software\\A\\B", "Value", s));
    EXPECT_EQ(Registry::kMissing, reg.GetDword("Software\\A\\B", "Other", v));
    EXPECT_EQ(Registry::kMissing, reg.GetDword("Software\\A\\C", "Value", v));
    // Writing under another case keeps one value, with the first spelling.
    ASSERT_EQ(0, reg.SetDword("SOFTWARE\\a\\b", "value", 9));
    ASSERT_EQ(1u, reg.ValueNames("Software\\A\\B").size());
    EXPECT_EQ("Value", reg.ValueNames("Software\\A\\B")[0]);
    EXPECT_EQ(0, reg.GetDword("Software\\A\\B", "Value", v));
    EXPECT_EQ(9u, v);
}

TEST(Registry, DeleteKeyTakesSubkeysAndNothingElse)
{
    TempDir dir;
    Registry reg;
    reg.Open(dir.File("registry.ini"), false);
    reg.SetDword("Software\\A", "x", 1);
    reg.SetDword("Software\\A\\Sub", "y", 2);
    reg.SetDword("Software\\AB", "z", 3);
    ASSERT_EQ(0, reg.DeleteKey("software\\a"));
    EXPECT_FALSE(reg.KeyExists("Software\\A"));
    EXPECT_FALSE(reg.KeyExists("Software\\A\\Sub"));
    EXPECT_TRUE(reg.KeyExists("Software\\AB"));
    EXPECT_EQ(Registry::kMissing, reg.DeleteValue("Software\\AB", "none"));
    EXPECT_EQ(0, reg.DeleteValue("Software\\AB", "Z"));
    std::uint32_t v = 0;
    EXPECT_EQ(Registry::kMissing, reg.GetDword("Software\\AB", "z", v));
}

TEST(Registry, DamagedFileIsMovedAsideNeverOverwritten)
{
    g_reports.clear();
    zelora::SetPlatformLogHook(&collect);
    TempDir dir;
    std::string path = dir.File("registry.ini");
    const std::string first = "[Software\\X]\nName=dword:zz\n";
    TempDir::Write(path, first);
    Registry reg;
    EXPECT_EQ(Registry::kMovedAside, reg.Open(path, false));
    EXPECT_EQ(path + ".corrupt", reg.MovedAsideTo());
    EXPECT_EQ(first, TempDir::Read(path + ".corrupt"));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(reg.KeyExists("Software\\X"));
    ASSERT_FALSE(g_reports.empty());
    EXPECT_EQ('1', g_reports.back()[0]);
    EXPECT_NE(std::string::npos, g_reports.back().find("damaged"));

    // The registry works on; a second damaged file does not replace the first one.
    ASSERT_EQ(0, reg.SetDword("Software\\Y", "v", 1));
    const std::string second = "value before any key=sz:x\n";
    TempDir::Write(path, second);
    EXPECT_EQ(Registry::kMovedAside, reg.Open(path, false));
    EXPECT_EQ(path + ".corrupt.1", reg.MovedAsideTo());
    EXPECT_EQ(first, TempDir::Read(path + ".corrupt"));
    EXPECT_EQ(second, TempDir::Read(path + ".corrupt.1"));
    zelora::SetPlatformLogHook(nullptr);
}

TEST(Registry, EveryKindOfDamageIsDetected)
{
    const char* damaged[] = {
        "[Software\\X\nName=sz:a\n", // unterminated key
        "[Software\\X]\nName=dwo", // cut in the middle of a line
        "[Software\\X]\nName=hex:ABC\n", // odd hex digits
        "[Software\\X]\nName=hex:GG\n", // not hex
        "[Software\\X]\nName=dword:123456789\n", // more than 32 bits
        "[Software\\X]\nName=qword:1\n", // unknown type
        "[Software\\X]\nName=sz:50%\n", // broken escape
        "[Software\\X]\njust text\n",
        "[]\n",
    };
    TempDir dir;
    for (const char* text : damaged) {
        std::string path = dir.File("registry.ini");
        std::filesystem::remove(path + ".corrupt");
        TempDir::Write(path, text);
        Registry reg;
        EXPECT_EQ(Registry::kMovedAside, reg.Open(path, false)) << text;
    }
    // Comments, blank lines and CR LF line ends are fine.
    std::string path = dir.File("fine.ini");
    TempDir::Write(path, "; note\r\n\r\n[Software\\X]\r\n# other\r\nName=sz:a b \r\n");
    Registry reg;
    ASSERT_EQ(Registry::kLoaded, reg.Open(path, false));
    std::string v;
    ASSERT_EQ(0, reg.GetString("Software\\X", "Name", v));
    EXPECT_EQ("a b ", v);
}

TEST(Registry, WritesAreAtomicAndAFailedWriteChangesNothing)
{
    TempDir dir;
    std::string path = dir.File("registry.ini");
    Registry reg;
    reg.Open(path, false);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(0, reg.SetDword(kKey, "N" + std::to_string(i), static_cast<std::uint32_t>(i)));
    // Only the file and its lock file: no temporary files left behind.
    EXPECT_EQ(2u, filesIn(dir.Path()));
    EXPECT_TRUE(std::filesystem::exists(path + ".lock"));
    EXPECT_EQ(reg.Serialize(), TempDir::Read(path));

    // The file's place taken by a folder: the rename fails, memory and disk stay as they were.
    std::filesystem::remove(path);
    std::filesystem::create_directories(std::filesystem::path(path) / "blocker");
    EXPECT_EQ(-1, reg.SetString(kKey, "Config1", "lost?"));
    std::string s;
    EXPECT_EQ(Registry::kMissing, reg.GetString(kKey, "Config1", s));
    EXPECT_EQ(-1, reg.CreateKey("Software\\New"));
    EXPECT_FALSE(reg.KeyExists("Software\\New"));
    EXPECT_EQ(-1, reg.DeleteKey(kKey));
    EXPECT_TRUE(reg.KeyExists(kKey));
    EXPECT_EQ(2u, filesIn(dir.Path()));
}

TEST(Registry, MissingFolderIsCreatedOnFirstWrite)
{
    TempDir dir;
    std::string path = (dir.Path() / "a" / "zeloraTALK" / "registry.ini").string();
    Registry reg;
    EXPECT_EQ(Registry::kLoaded, reg.Open(path, false));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(0, reg.CreateKey(kKey));
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(Registry, LocalMachineIsReadOnly)
{
    TempDir dir;
    std::string path = dir.File("hklm.ini");
    const std::string text = "[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\sync.exe]\nPath=sz:/opt/sync\n";
    TempDir::Write(path, text);
    ScopedEnv env("ZELORA_HKLM_FILE", path);
    EXPECT_EQ(path, Registry::DefaultMachinePath());
    Registry::ReopenDefaults();
    Registry& hklm = Registry::LocalMachine();
    EXPECT_TRUE(hklm.IsReadOnly());
    std::string v;
    ASSERT_EQ(0, hklm.GetString("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\sync.exe", "path", v));
    EXPECT_EQ("/opt/sync", v);
    EXPECT_EQ(-1, hklm.SetString("Software\\X", "a", "b"));
    EXPECT_EQ(-1, hklm.CreateKey("Software\\X"));
    EXPECT_EQ(-1, hklm.DeleteKey("Software"));
    EXPECT_EQ(text, TempDir::Read(path));

    // A damaged machine file is ignored but left where it is.
    TempDir::Write(path, "garbage\n");
    Registry other;
    EXPECT_EQ(Registry::kDamaged, other.Open(path, true));
    EXPECT_EQ("garbage\n", TempDir::Read(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".corrupt"));
}

TEST(Registry, CurrentUserFollowsXdgConfigHome)
{
    TempDir dir;
    ScopedEnv env("XDG_CONFIG_HOME", dir.Path().string());
    EXPECT_EQ(dir.File("zeloraTALK/registry.ini"), Registry::DefaultUserPath());
    Registry::ReopenDefaults();
    ASSERT_EQ(0, Registry::CurrentUser().SetString(kKey, "Config1", "alice"));
    EXPECT_TRUE(std::filesystem::exists(dir.File("zeloraTALK/registry.ini")));
    {
        ScopedEnv relative("XDG_CONFIG_HOME", "not/absolute");
        ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ("/home/someone/.config/zeloraTALK/registry.ini", Registry::DefaultUserPath());
    }
    Registry::ReopenDefaults();
}

TEST(Registry, ConcurrentWritersLoseNothing)
{
    TempDir dir;
    std::string path = dir.File("registry.ini");
    Registry reg;
    reg.Open(path, false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&reg, t] {
            for (int i = 0; i < 25; ++i) {
                std::string key = "Software\\T" + std::to_string(t);
                reg.SetDword(key, "v" + std::to_string(i), static_cast<std::uint32_t>(t * 100 + i));
                std::uint32_t back = 0;
                reg.GetDword(key, "v" + std::to_string(i), back);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    Registry reread;
    ASSERT_EQ(Registry::kLoaded, reread.Open(path, false));
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 25; ++i) {
            std::uint32_t v = 0;
            ASSERT_EQ(0, reread.GetDword("Software\\T" + std::to_string(t), "v" + std::to_string(i), v));
            EXPECT_EQ(static_cast<std::uint32_t>(t * 100 + i), v);
        }
    }
}

// The desktop program and the console program of one user share the file: each process
// holds its own copy, and neither may write the other's changes away.
TEST(Registry, ProcessesSharingTheFileLoseNothingOfEachOther)
{
    TempDir dir;
    std::string path = dir.File("registry.ini");
    {
        Registry seed;
        seed.Open(path, false);
        ASSERT_EQ(0, seed.SetString("Software\\Shared", "kept", "before"));
    }
    constexpr int kProcesses = 3;
    constexpr int kWrites = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Opened before the others write: a copy that goes stale at once.
            Registry reg;
            reg.Open(path, false);
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                std::string name = "p" + std::to_string(p) + "v" + std::to_string(i);
                failures += reg.SetDword("Software\\Shared", name, static_cast<std::uint32_t>(i)) != 0;
                if (i == kWrites / 2)
                    failures += reg.DeleteValue("Software\\Shared", "p" + std::to_string(p) + "v0") != 0;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Registry reread;
    ASSERT_EQ(Registry::kLoaded, reread.Open(path, false));
    std::string kept;
    EXPECT_EQ(0, reread.GetString("Software\\Shared", "kept", kept));
    EXPECT_EQ("before", kept);
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kWrites; ++i) {
            std::uint32_t v = 99;
            std::string name = "p" + std::to_string(p) + "v" + std::to_string(i);
            // Each process's own delete holds too.
            EXPECT_EQ(i == 0 ? Registry::kMissing : 0, reread.GetDword("Software\\Shared", name, v)) << name;
        }
    }
}

TEST(Registry, MutatedFilesEitherLoadOrMoveAsideAndWhatLoadsWritesBackTheSame)
{
    TempDir dir;
    std::string path = dir.File("registry.ini");
    Registry seed;
    seed.Open(path, false);
    seed.SetString(kKey, "Config1", "alice % = ]");
    seed.SetDword(kKey, "AutoLogin", 1);
    const std::uint8_t bytes[] = {0xDE, 0xAD, 0xBE, 0xEF};
    seed.SetBinary(kKey, "Config2", bytes, sizeof bytes);
    const std::string good = TempDir::Read(path);
    std::uint32_t rng = 12345;
    auto next = [&rng] { return rng = rng * 1103515245u + 12345u; };
    const char alphabet[] = "[]=:%\\\n\r;#aZ09 \x01\xff";
    for (int round = 0; round < 300; ++round) {
        std::string text = good;
        int edits = 1 + static_cast<int>(next() % 4);
        for (int e = 0; e < edits; ++e) {
            std::size_t at = next() % (text.size() + 1);
            char c = alphabet[next() % (sizeof alphabet - 1)];
            switch (next() % 3) {
            case 0:
                text.insert(at, 1, c);
                break;
            case 1:
                if (at < text.size())
                    text[at] = c;
                break;
            default:
                if (at < text.size())
                    text.erase(at, 1);
                break;
            }
        }
        std::filesystem::remove(path + ".corrupt");
        TempDir::Write(path, text);
        Registry reg;
        int rc = reg.Open(path, false);
        ASSERT_TRUE(rc == Registry::kLoaded || rc == Registry::kMovedAside) << rc;
        if (rc == Registry::kMovedAside) {
            EXPECT_EQ(text, TempDir::Read(path + ".corrupt"));
            continue;
        }
        // What was understood is written out in a form that reads back identically.
        std::string once = reg.Serialize();
        TempDir::Write(path, once);
        Registry again;
        ASSERT_EQ(Registry::kLoaded, again.Open(path, false)) << once;
        EXPECT_EQ(once, again.Serialize());
    }
}

TEST(Registry, BatchWritesOnceOnTopOfWhatOthersWroteAndAFailureLosesNothingOnDisk)
{
    TempDir dir;
    std::string path = dir.File("registry.ini");
    {
        Registry seed;
        seed.Open(path, false);
        ASSERT_EQ(0, seed.SetString(kKey, "kept", "before"));
        ASSERT_EQ(0, seed.SetString(kKey, "gone", "soon"));
    }
    const std::string onDisk = TempDir::Read(path);
    Registry reg;
    reg.Open(path, false);
    {
        Registry::Batch outer(reg);
        ASSERT_EQ(0, reg.SetDword(kKey, "a", 1));
        {
            Registry::Batch inner(reg);
            ASSERT_EQ(0, reg.SetString(kKey, "b", "two"));
            ASSERT_EQ(0, reg.DeleteValue(kKey, "gone"));
            EXPECT_EQ(Registry::kMissing, reg.DeleteValue(kKey, "gone"));
            EXPECT_EQ(0, inner.Commit()); // the outer batch still holds the writes
        }
        // Reads see the batch's own writes; the file (a crash now) still has what it had.
        std::uint32_t a = 0;
        std::string s;
        EXPECT_EQ(0, reg.GetDword(kKey, "a", a));
        EXPECT_EQ(1u, a);
        EXPECT_EQ(Registry::kMissing, reg.GetString(kKey, "gone", s));
        EXPECT_EQ(onDisk, TempDir::Read(path));

        // Another process writes the same file meanwhile.
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Registry other;
            other.Open(path, false);
            _exit(other.SetString("Software\\Other", "theirs", "x") == 0 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(0, outer.Commit());
        EXPECT_EQ(0, outer.Commit()); // once only
    }
    Registry reread;
    ASSERT_EQ(Registry::kLoaded, reread.Open(path, false));
    std::string s;
    EXPECT_EQ(0, reread.GetString("Software\\Other", "theirs", s));
    EXPECT_EQ(0, reread.GetString(kKey, "kept", s));
    EXPECT_EQ(0, reread.GetString(kKey, "b", s));
    EXPECT_EQ("two", s);
    EXPECT_EQ(Registry::kMissing, reread.GetString(kKey, "gone", s));
    EXPECT_EQ(reread.Serialize(), reg.Serialize());

    // A batch whose write fails: what is held goes back to the file's values.
    std::filesystem::remove(path);
    std::filesystem::create_directories(std::filesystem::path(path) / "blocker");
    {
        Registry::Batch batch(reg);
        ASSERT_EQ(0, reg.SetString(kKey, "late", "lost"));
        EXPECT_EQ(-1, batch.Commit());
    }
    EXPECT_EQ(Registry::kMissing, reg.GetString(kKey, "late", s));
    EXPECT_EQ(0, reg.GetString(kKey, "b", s));
}
