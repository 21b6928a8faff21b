#include "platform/ProfileFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using zelora::ProfileFile;

TEST(ProfileFile, MissingFileAndKeysGiveTheDefault)
{
    TempDir dir;
    std::string path = dir.File("prefs.ini");
    EXPECT_EQ("fallback", zelora::GetPrivateProfileString("General", "Sound", "fallback", path));
    EXPECT_EQ(42, zelora::GetPrivateProfileInt("General", "Volume", 42, path));
    ProfileFile file(path);
    EXPECT_EQ(0, file.Load());
    EXPECT_TRUE(file.Sections().empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ProfileFile, WritesPersistAndNamesIgnoreCase)
{
    TempDir dir;
    std::string path = dir.File("prefs.ini");
    ASSERT_EQ(0, zelora::WritePrivateProfileString("General", "Sound", "ring.wav", path));
    ASSERT_EQ(0, zelora::WritePrivateProfileString("GENERAL", "volume", "17", path));
    ASSERT_EQ(0, zelora::WritePrivateProfileString("Contact1", "Name", "Bob", path));
    EXPECT_EQ("ring.wav", zelora::GetPrivateProfileString("general", "SOUND", "", path));
    EXPECT_EQ(17, zelora::GetPrivateProfileInt("General", "Volume", 0, path));
    ProfileFile file(path);
    ASSERT_EQ(0, file.Load());
    EXPECT_EQ((std::vector<std::string>{"General", "Contact1"}), file.Sections());
    EXPECT_EQ((std::vector<std::string>{"Sound", "volume"}), file.Keys("general"));
    // Overwriting keeps one key.
    ASSERT_EQ(0, file.WriteString("general", "Sound", "other.wav"));
    ProfileFile again(path);
    ASSERT_EQ(0, again.Load());
    EXPECT_EQ("other.wav", again.GetString("General", "Sound", ""));
    EXPECT_EQ(2u, again.Keys("General").size());
    // Text that is not a number reads as 0, as the Windows call does.
    ASSERT_EQ(0, again.WriteString("General", "Bad", "abc"));
    EXPECT_EQ(0, again.GetInt("General", "Bad", 5));
}

TEST(ProfileFile, DeleteSectionAndKey)
{
    TempDir dir;
    std::string path = dir.File("book.ini");
    zelora::WritePrivateProfileString("A", "k1", "1", path);
    zelora::WritePrivateProfileString("A", "k2", "2", path);
    zelora::WritePrivateProfileString("B", "k1", "3", path);
    ASSERT_EQ(0, zelora::DeletePrivateProfileSection("a", path));
    EXPECT_EQ("none", zelora::GetPrivateProfileString("A", "k1", "none", path));
    EXPECT_EQ("3", zelora::GetPrivateProfileString("B", "k1", "none", path));
    // An empty key name deletes the section, as on Windows.
    ASSERT_EQ(0, zelora::WritePrivateProfileString("B", "", "", path));
    EXPECT_EQ("none", zelora::GetPrivateProfileString("B", "k1", "none", path));
    ProfileFile file(path);
    ASSERT_EQ(0, file.Load());
    EXPECT_TRUE(file.Sections().empty());
    ASSERT_EQ(0, file.WriteString("C", "x", "1"));
    ASSERT_EQ(0, file.DeleteKey("c", "X"));
    EXPECT_FALSE(file.HasKey("C", "x"));
    EXPECT_EQ(0, file.DeleteKey("C", "missing"));
}

TEST(ProfileFile, RefusesWhatWouldNotReadBackAndKeepsDamagedFiles)
{
    TempDir dir;
    std::string path = dir.File("prefs.ini");
    ProfileFile file(path);
    ASSERT_EQ(0, file.WriteString("S", "k", "v"));
    const std::string before = TempDir::Read(path);
    EXPECT_EQ(-1, file.WriteString("S", "k", "two\nlines"));
    EXPECT_EQ(-1, file.WriteString("S", "a=b", "x"));
    EXPECT_EQ(-1, file.WriteString("S]", "k", "x"));
    EXPECT_EQ(-1, file.WriteString("", "k", "x"));
    EXPECT_EQ(before, TempDir::Read(path));
    EXPECT_EQ("v", file.GetString("S", "k", ""));

    // A file with NUL bytes is not a profile; writing to it must not replace it.
    std::string damaged("[S]\nk=v\0\0junk", 13);
    TempDir::Write(path, damaged);
    EXPECT_EQ(-2, ProfileFile(path).Load());
    EXPECT_EQ(-1, zelora::WritePrivateProfileString("S", "k", "new", path));
    EXPECT_EQ(damaged, TempDir::Read(path));
}

TEST(ProfileFile, ReplaceFileContentsIsAllOrNothing)
{
    TempDir dir;
    std::string path = dir.File("data.txt");
    ASSERT_EQ(0, zelora::ReplaceFileContents(path, "first"));
    ASSERT_EQ(0, zelora::ReplaceFileContents(path, std::string(100000, 'x')));
    EXPECT_EQ(std::string(100000, 'x'), TempDir::Read(path));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(1u, entries);
    // No such folder: fails, and nothing appears.
    EXPECT_EQ(-1, zelora::ReplaceFileContents(dir.File("no/such/file"), "x"));
    std::string out;
    EXPECT_EQ(-1, zelora::ReadFileContents(dir.File("missing"), out));
    EXPECT_EQ(-2, zelora::ReadFileContents(dir.Path().string(), out));
}

TEST(ProfileFile, SectionLineWithoutItsBracketEndsAtTheLineEnd)
{
    TempDir dir;
    std::string path = dir.File("deployment.ini");
    ASSERT_EQ(0, zelora::ReplaceFileContents(path, "[Servers\r\nsip=127.0.0.1\n[Brand]\nword=zelora\n"));
    ASSERT_EQ(0, zelora::WritePrivateProfileString("Brand", "home", "x", path));
    // Twice, since each save once wrote the name back as lines of its own.
    ASSERT_EQ(0, zelora::WritePrivateProfileString("Brand", "home", "y", path));
    ProfileFile file(path);
    ASSERT_EQ(0, file.Load());
    EXPECT_EQ((std::vector<std::string>{"Servers", "Brand"}), file.Sections());
    EXPECT_EQ("127.0.0.1", file.GetString("Servers", "sip", ""));
    EXPECT_EQ("zelora", file.GetString("Brand", "word", ""));
    EXPECT_EQ("y", file.GetString("Brand", "home", ""));
}

TEST(ProfileFile, ByteOrderMarkAtALineStartIsDroppedAndTheRestRoundTrips)
{
    TempDir dir;
    std::string path = dir.File("presenceSettings_1001.ini");
    // Marks at the start, doubled, after blanks, before a section of a second file and inside a value.
    const std::string bom = "\xEF\xBB\xBF";
    ASSERT_EQ(0,
              zelora::ReplaceFileContents(
                  path, bom + bom + " " + bom + "lead=1\n[A]\r" + bom + "k=v\n  " + bom + "[B]\nx=" + bom + "y\n"));
    for (int save = 0; save < 2; ++save) {
        ASSERT_EQ(0, zelora::WritePrivateProfileString("Notification", "nShowPopUp", std::to_string(save), path));
        ProfileFile file(path);
        ASSERT_EQ(0, file.Load());
        EXPECT_EQ("1", file.GetString("", "lead", "")) << save;
        EXPECT_EQ("v", file.GetString("A", "k", "")) << save;
        EXPECT_EQ(bom + "y", file.GetString("B", "x", "")) << save;
        EXPECT_EQ(std::to_string(save), file.GetString("Notification", "nShowPopUp", ""));
    }
}
