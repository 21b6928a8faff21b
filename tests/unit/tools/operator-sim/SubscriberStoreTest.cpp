// The simulator's data file through its control page: values that need escaping survive a
// restart, a change that cannot be stored leaves the account as it was, a broken file is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "COperatorRoutes.h"
#include "CSubscriberStore.h"
#include "TempDir.h"

namespace {

COperatorRoutes::Reply Control(COperatorRoutes& routes, const std::string& body)
{
    COperatorRoutes::Request request;
    request.path = "/control/addressbook";
    request.verb = "POST";
    request.body = body;
    request.argument = [](const char*) { return nullptr; };
    return routes.Route(request);
}

const char* kSeed = "[server]\nversion = zeloraTALK Version 3.1.2\n\n"
                    "[user:alice]\nbalance = 12.50\nlvl3 = 4930 111\nnextsno = 1\n";

} // namespace

TEST(SubscriberStore, EscapedValuesSurviveRestartsAndFailedChangesRollBack)
{
    TempDir dir;
    const std::string data = dir.File("operator.ini");
    TempDir::Write(data, kSeed);
    {
        COperatorRoutes routes;
        std::string error;
        ASSERT_TRUE(routes.Load(data, error)) << error;
        // '%', '|', '=', '#', ';' and a line break are the file's own syntax.
        auto added = Control(routes, "op=add&user=alice&name=A%25B%7CC%3DD&comments=x%23y%3Bz%0Anext&voip=1+2");
        EXPECT_EQ(added.status, 200u) << added.text;
        EXPECT_EQ(added.text, "sno=1\n");
        EXPECT_EQ(Control(routes, "op=update&user=alice&sno=1&email=a%40b").status, 200u);
        EXPECT_EQ(Control(routes, "op=add&user=alice&name=%4").text, "bad form\n");
        EXPECT_EQ(Control(routes, "op=delete&user=alice&sno=7").status, 404u);
    }
    // Twice through the file: a value written escaped must come back as it was, every time.
    for (int round = 0; round < 2; ++round) {
        CSubscriberStore store;
        std::string error;
        ASSERT_TRUE(store.Load(data, error)) << error;
        CSubscriberStore::Account* alice = store.Find("alice");
        ASSERT_NE(alice, nullptr);
        EXPECT_EQ(alice->balance, "12.50");
        EXPECT_EQ(alice->lvl3, "4930 111");
        ASSERT_EQ(alice->entries.size(), 1u);
        const auto& fields = alice->entries[0].fields;
        EXPECT_EQ(fields[0], "A%B|C=D");
        EXPECT_EQ(fields[1], "a@b");
        EXPECT_EQ(fields[2], "1 2");
        EXPECT_EQ(fields[17], "x#y;z\nnext");
        CSubscriberStore::Account changed = *alice;
        changed.nextSno = 5;
        ASSERT_TRUE(store.Commit(*alice, changed, error)) << error;
    }

    // The data file's folder is gone: changes are refused and the account stays as it was.
    std::filesystem::create_directory(dir.Path() / "sub");
    const std::string moved = dir.File("sub/operator.ini");
    std::filesystem::copy_file(data, moved);
    COperatorRoutes routes;
    std::string error;
    ASSERT_TRUE(routes.Load(moved, error)) << error;
    std::filesystem::remove_all(dir.Path() / "sub");
    auto refused = Control(routes, "op=add&user=alice&name=B");
    EXPECT_EQ(refused.status, 500u);
    EXPECT_EQ(refused.text, "unable to store: cannot write the data file\n");
    EXPECT_EQ(Control(routes, "op=update&user=alice&sno=5&name=C").text, "no such entry\n");
    EXPECT_EQ(Control(routes, "op=update&user=alice&sno=1&name=C").status, 500u);

    TempDir::Write(dir.File("broken.ini"), "[user:bob]\nentry.1 = 5|too|few\n");
    CSubscriberStore broken;
    EXPECT_FALSE(broken.Load(dir.File("broken.ini"), error));
    EXPECT_EQ(error, "bad entry entry.1");
}
