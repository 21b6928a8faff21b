#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "StoreTestSupport.h"
#include "addressbook/ContactLine.h"

using namespace abtest;

namespace {

std::string Line(ContactRecord r)
{
    r.flag = '1';
    return ContactLine::Format(r);
}

struct Store : ::testing::Test {
    TempFolder dir;
    FakeSettings settings;
    std::unique_ptr<AddressBookStore> store;

    void SetUp() override { Reopen(); }
    void Reopen()
    {
        store = std::make_unique<AddressBookStore>(dir.path.string(), "zelora", "presence.example", settings.Hooks());
        ASSERT_EQ(store->Load("1001"), 1);
    }
    std::filesystem::path File() const { return dir.path / "zeloraTALKAddress1001.ini"; }
    void WriteFile(const std::string& body) { std::ofstream(File()) << "[zeloraTALK]\n" << body; }
};

TEST(ContactLineFormat, WritesFlagNineteenFieldsAndAFinalBar)
{
    ContactRecord r = Contact("17", "Ann");
    r.flag = '1';
    r.lastName = "Lee";
    r.comments = "hi";
    EXPECT_EQ(ContactLine::Format(r), "1|17| |a@b.c||||||Ann||Lee||||||| |hi|");
    ContactRecord back;
    ASSERT_TRUE(ContactLine::Parse(ContactLine::Format(r), back));
    EXPECT_EQ(back.entryNumber, "17");
    EXPECT_EQ(back.firstName, "Ann");
    EXPECT_EQ(back.lastName, "Lee");
    EXPECT_EQ(back.comments, "hi");
    EXPECT_EQ(back.flag, '1');
}

TEST(ContactLineFormat, KeysHaveThreeDigitsThenFour)
{
    EXPECT_EQ(ContactLine::Key(0), "Entry000");
    EXPECT_EQ(ContactLine::Key(999), "Entry999");
    EXPECT_EQ(ContactLine::Key(1000), "Entry1000");
    EXPECT_EQ(ContactLine::Key(1234), "Entry1234");
}

TEST(ContactLineFormat, RefusesFieldsThatBreakTheLine)
{
    ContactRecord r = Contact("1", "A|B");
    EXPECT_STREQ(ContactLine::RecordProblem(r), "first name");
    r = Contact("1", "A");
    r.comments = "x\ny";
    EXPECT_STREQ(ContactLine::RecordProblem(r), "comments");
    r = Contact("1", std::string(256, 'x'));
    EXPECT_STREQ(ContactLine::RecordProblem(r), "first name");
    r = Contact("1", std::string(255, 'x'));
    EXPECT_EQ(ContactLine::RecordProblem(r), nullptr);
    r.comments = std::string(255, 'c');
    r.website = std::string(255, 'w');
    EXPECT_STREQ(ContactLine::RecordProblem(r), "whole line");
}

TEST_F(Store, AddWritesLiveLinesUnderTheirPositions)
{
    EXPECT_TRUE(settings.pending); // nothing live was read
    EXPECT_EQ(store->Add(Contact("11", "Ann")), 0);
    EXPECT_EQ(store->Add(Contact("12", "Bob")), 0);
    std::string text = ReadAll(File());
    EXPECT_NE(text.find("Entry000 = 1|11| |a@b.c|"), std::string::npos) << text;
    EXPECT_NE(text.find("Entry001 = 1|12|"), std::string::npos) << text;
    Reopen();
    EXPECT_FALSE(settings.pending);
    EXPECT_EQ(store->Find(12), 1);
    EXPECT_EQ(store->GetByPosition(0)->firstName, "Ann");
    EXPECT_FALSE(store->GetByPosition(2).has_value());
}

TEST_F(Store, DeletedPositionIsReusedByTheNextAdd)
{
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(store->Add(Contact(std::to_string(100 + i), "N" + std::to_string(i))), 0);
    ASSERT_EQ(store->MarkDeleted(2), 0);
    EXPECT_NE(ReadAll(File()).find("Entry002 = 0|102|"), std::string::npos);
    EXPECT_EQ(store->Find(102), -1);
    // Update of a number that exists only as a deleted entry.
    EXPECT_EQ(store->Update(Contact("102", "Again")), -1);
    ASSERT_EQ(store->Add(Contact("200", "New")), 0);
    EXPECT_NE(ReadAll(File()).find("Entry002 = 1|200|"), std::string::npos);
    EXPECT_EQ(store->Find(200), 2);
    EXPECT_EQ(store->Count(), 5u);
}

TEST_F(Store, UpdateRewritesTheLiveEntryByNumber)
{
    ASSERT_EQ(store->Add(Contact("7", "Ann")), 0);
    ContactRecord r = Contact("7", "Anna");
    r.mobile = "0170";
    EXPECT_EQ(store->Update(r), 0);
    EXPECT_EQ(store->Update(Contact("8", "Nobody")), -1);
    Reopen();
    EXPECT_EQ(store->GetByPosition(0)->firstName, "Anna");
    EXPECT_EQ(store->GetByPosition(0)->mobile, "0170");
}

TEST_F(Store, MissingEntry000LoadsEmptyAndSetsPending)
{
    WriteFile("Entry001 = " + Line(Contact("5", "A")) + "\n");
    Reopen();
    EXPECT_EQ(store->Count(), 0u);
    EXPECT_TRUE(settings.pending);
}

TEST_F(Store, ShortLineBetweenTwoGoodOnesIsAPlaceholderThatStaysUntouched)
{
    const std::string good0 = Line(Contact("1", "A"));
    const std::string shortLine = "1|2| |b@x|"; // ends after its e-mail field
    const std::string good2 = Line(Contact("3", "C"));
    WriteFile("Entry000 = " + good0 + "\nEntry001 = " + shortLine + "\nEntry002 = " + good2 + "\n");
    Reopen();
    EXPECT_EQ(store->Count(), 3u);
    EXPECT_EQ(store->Find(1), 0);
    EXPECT_EQ(store->Find(3), 2); // positions stay equal to keys
    EXPECT_EQ(store->Find(2), -1);
    EXPECT_EQ(store->LiveEntries().size(), 2u);
    EXPECT_EQ(store->MarkDeleted(1), -1);
    // Changes to the later entry land on its own key; the short line is never rewritten nor reused.
    ASSERT_EQ(store->MarkDeleted(0), 0);
    ASSERT_EQ(store->Add(Contact("9", "Z")), 0); // reuses 0, not the placeholder
    ASSERT_EQ(store->Add(Contact("10", "Y")), 0); // appended at 3
    ASSERT_EQ(store->Update(Contact("3", "CC")), 0);
    std::string text = ReadAll(File());
    EXPECT_NE(text.find("Entry000 = 1|9|"), std::string::npos) << text;
    EXPECT_NE(text.find("Entry001 = " + shortLine + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Entry002 = 1|3| |a@b.c||||||CC|"), std::string::npos) << text;
    EXPECT_NE(text.find("Entry003 = 1|10|"), std::string::npos) << text;
}

TEST_F(Store, LineLongerThan765CharactersLosesItsTailAndIsKept)
{
    // 766 characters: the read stops before the final "|".
    ContactRecord longOne = Contact("4", "D");
    const std::size_t frame = Line(longOne).size();
    // The comments field is what the read cuts: no field check here, the file is made by hand.
    longOne.comments = std::string(766 - frame, 'c');
    std::string line = Line(longOne);
    ASSERT_EQ(line.size(), 766u);
    const std::string good = Line(Contact("5", "E"));
    WriteFile("Entry000 = " + line + "\nEntry001 = " + good + "\n");
    Reopen();
    EXPECT_EQ(store->Count(), 2u);
    EXPECT_EQ(store->Find(4), -1);
    EXPECT_EQ(store->Find(5), 1);
    ASSERT_EQ(store->MarkDeleted(1), 0);
    EXPECT_NE(ReadAll(File()).find("Entry000 = " + line + "\n"), std::string::npos);
    // 765 characters are read in full.
    ContactRecord fitting = Contact("4", "D");
    fitting.comments = std::string(255, 'c');
    fitting.website = std::string(255, 'w');
    fitting.companyName = std::string(765 - frame - 510, 'n');
    std::string fits = Line(fitting);
    ASSERT_EQ(fits.size(), 765u);
    WriteFile("Entry000 = " + fits + "\n");
    Reopen();
    EXPECT_EQ(store->Find(4), 0);
    EXPECT_EQ(store->GetByPosition(0)->comments.size(), 255u);
}

TEST_F(Store, KeysPast1000HaveFourDigits)
{
    std::string body;
    for (int i = 0; i < 1003; ++i)
        body +=
            ContactLine::Key(static_cast<std::size_t>(i)) + " = " + Line(Contact(std::to_string(i + 1), "F")) + "\n";
    WriteFile(body);
    Reopen();
    EXPECT_EQ(store->Count(), 1003u);
    EXPECT_EQ(store->Find(1001), 1000);
    ASSERT_EQ(store->MarkDeleted(1001), 0);
    EXPECT_NE(ReadAll(File()).find("Entry1001 = 0|1002|"), std::string::npos);
    ASSERT_EQ(store->Add(Contact("5000", "Last")), 0);
    EXPECT_NE(ReadAll(File()).find("Entry1001 = 1|5000|"), std::string::npos);
}

TEST_F(Store, RefusesRecordsThatWouldBreakTheFormat)
{
    EXPECT_EQ(store->Add(Contact("1", "A|B")), -2);
    ContactRecord r = Contact("1", "A");
    r.comments = "one\r\ntwo";
    EXPECT_EQ(store->Add(r), -2);
    EXPECT_EQ(store->Count(), 0u);
    WebContact web;
    web.entryNumber = "3";
    web.firstName = "Bar|Man";
    EXPECT_EQ(store->AddEntry(web), -2);
    EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(Store, DeleteAllAndEmpty)
{
    ASSERT_EQ(store->Add(Contact("1", "A")), 0);
    ASSERT_EQ(store->DeleteAll(), 0);
    EXPECT_EQ(store->Count(), 0u);
    EXPECT_EQ(ReadAll(File()).find("Entry000"), std::string::npos);
    ASSERT_EQ(store->Add(Contact("2", "B")), 0);
    store->EmptyAddressBook();
    EXPECT_EQ(store->Count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(Store, FirstTimeDeletesOldBooksAndTheCallHistory)
{
    ASSERT_EQ(store->Add(Contact("1", "A")), 0);
    std::ofstream(dir.path / "zeloraTALKAddress2002.ini") << "[zeloraTALK]\n";
    std::ofstream(dir.path / "zeloraTALKCallHistory.ini") << "x";
    std::ofstream(dir.path / "other.ini") << "x";
    settings.isFirstTimeResult = 1;
    settings.isFirstTimeValue = 0;
    Reopen();
    EXPECT_EQ(store->Count(), 1u);
    settings.isFirstTimeResult = 2; // missing
    Reopen();
    EXPECT_EQ(store->Count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "zeloraTALKAddress2002.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir.path / "zeloraTALKCallHistory.ini"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / "other.ini"));
}

TEST_F(Store, SetPresenceNeedsTheBrandWordAndAnAt)
{
    ASSERT_EQ(store->Add(Contact("1", "A", "Ann@Presence.Example")), 0);
    EXPECT_EQ(store->SetPresence("ann@jabber.other", 2), -1);
    EXPECT_EQ(store->SetPresence("zelora-ann", 2), -2);
    EXPECT_EQ(store->SetPresence("ann@zelora.chat/res", 3), 1);
    EXPECT_EQ(store->GetByPosition(0)->presence, 3);
}

TEST_F(Store, LooksUpANumberAmongTheFour)
{
    ContactRecord r = Contact("1", "Ann");
    r.lastName = "Lee";
    r.home = "0301234";
    ASSERT_EQ(store->Add(r), 0);
    std::string name;
    int type = 0;
    ASSERT_TRUE(store->LookupNumber("0301234", name, type));
    EXPECT_EQ(name, "Ann Lee");
    EXPECT_EQ(type, 3);
    EXPECT_FALSE(store->LookupNumber("999", name, type));
}

TEST_F(Store, TwoStoresOfTheSameUserDoNotLoseEachOthersLines)
{
    AddressBookStore other(dir.path.string(), "zelora", "p", settings.Hooks());
    ASSERT_EQ(other.Load("1001"), 1);
    ASSERT_EQ(store->Add(Contact("1", "A")), 0);
    ASSERT_EQ(other.Add(Contact("2", "B")), 0); // sees entry 1 first: goes to position 1
    ASSERT_EQ(store->Add(Contact("3", "C")), 0);
    ASSERT_EQ(other.MarkDeleted(0), 0);
    Reopen();
    EXPECT_EQ(store->Find(1), -1);
    EXPECT_EQ(store->Find(2), 1);
    EXPECT_EQ(store->Find(3), 2);
}

TEST_F(Store, TwoProcessesAddingAtOnceLoseNothing)
{
    constexpr int kEach = 100;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            FakeSettings own;
            AddressBookStore s(dir.path.string(), "zelora", "p", own.Hooks());
            s.Load("1001");
            for (int i = 0; i < kEach; ++i)
                if (s.Add(Contact(std::to_string(c * 1000 + i), "P")) != 0)
                    _exit(1);
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Reopen();
    EXPECT_EQ(store->LiveEntries().size(), 2u * kEach);
}

TEST_F(Store, KillDuringAThousandAddsLosesNoAcceptedEntry)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        FakeSettings own;
        AddressBookStore s(dir.path.string(), "zelora", "p", own.Hooks());
        s.Load("1001");
        for (int i = 1; i <= 1000; ++i) {
            if (s.Add(Contact(std::to_string(i), "K")) != 0)
                _exit(1);
            // Accepted: on disk before the next request goes out.
            int n = i;
            if (write(fds[1], &n, sizeof n) != sizeof n)
                _exit(2);
        }
        _exit(0);
    }
    close(fds[1]);
    int last = 0, n = 0;
    // Let it run a while, then kill it in the middle of its work.
    while (last < 150 && read(fds[0], &n, sizeof n) == sizeof n)
        last = n;
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(fds[0], &n, sizeof n) == sizeof n)
        last = n;
    close(fds[0]);
    ASSERT_GE(last, 150);
    Reopen();
    std::set<std::string> present;
    for (const auto& [position, r] : store->LiveEntries())
        present.insert(r.entryNumber);
    for (int i = 1; i <= last; ++i)
        EXPECT_TRUE(present.count(std::to_string(i))) << "accepted entry " << i << " lost";
    EXPECT_LE(present.size(), static_cast<std::size_t>(last) + 1);
    EXPECT_EQ(store->Count(), present.size()); // no torn line
}

} // namespace
