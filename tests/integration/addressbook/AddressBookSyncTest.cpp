// The address book end to end: two console phones of the same user (each with its own home
// folder) signed in through Kamailio, and operator-sim as the operator's web service. A contact
// added in one phone reaches the operator and, by the other phone's periodic query (60 s as
// shipped, 5 s here), the other phone; the operator's own edit and delete reach the phone;
// -1005 and a 404 change nothing.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "KamailioPeer.h"
#include "PhoneTestPeers.h"
#include "WebPeers.h"

using namespace phone_it;
using zelora::test::KamailioPeer;

namespace {

const std::string kWeb = "127.0.41.10", kSip = "127.0.41.11", kPhoneA = "127.0.41.12", kPhoneB = "127.0.41.13";

const char* kOperatorData = R"([server]
version = zeloraTALK Version 3.1.2

[user:1001]
balance = 1.00
smsbalance = 0
lvl3 = 4930111222
inbox = 0
)";

std::string WithWebHost(std::string text)
{
    const std::string unused = "127.0.6.253";
    for (std::size_t at = text.find(unused); at != std::string::npos; at = text.find(unused, at + kWeb.size()))
        text.replace(at, unused.size(), kWeb);
    // The queries come round every 5 s instead of every minute.
    if (const std::size_t web = text.find("[web]\n"); web != std::string::npos)
        text.insert(web + 6, "query_interval = 5\n");
    return text;
}

// The phone's CONTACT lines, from one "contacts" command.
std::vector<std::string> Contacts(CliPhone& cli)
{
    cli.Mark();
    cli.Send("contacts");
    std::vector<std::string> out;
    if (cli.WaitFor("CONTACTS ", 10s).empty())
        return out;
    for (const std::string& line : cli.Pending())
        if (line.rfind("CONTACT pos=", 0) == 0)
            out.push_back(line);
    cli.Mark();
    return out;
}

bool HasContact(const std::vector<std::string>& lines, const std::string& text)
{
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

// Polls "contacts" until `done` holds (the query has to come round).
bool WaitForContacts(CliPhone& cli, const std::function<bool(const std::vector<std::string>&)>& done,
                     std::chrono::seconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (done(Contacts(cli)))
            return true;
        std::this_thread::sleep_for(1s);
    }
    return false;
}

TEST(AddressBookSync, ContactsTravelBetweenTwoPhonesOfTheSameUserAndTheOperator)
{
    PhoneUnderTest a("book-a", kPhoneA, kSip, "127.0.6.254", 0);
    PhoneUnderTest b("book-b", kPhoneB, kSip, "127.0.6.254", 0);
    std::ofstream(a.Home() + "/deployment.ini") << WithWebHost(DeploymentText(kSip, "127.0.6.254"));
    std::ofstream(b.Home() + "/deployment.ini") << WithWebHost(DeploymentText(kSip, "127.0.6.254"));
    std::ofstream(a.Home() + "/operator.ini") << kOperatorData;
    SimProcess sim(OPERATOR_SIM_PATH, kWeb, a.Home() + "/operator.ini");
    const std::string simError = sim.Start();
    ASSERT_EQ(simError, "") << simError << " (operator-sim is built by this project's tools)";
    KamailioPeer kamailio;
    KamailioPeer::Options options;
    options.ip = kSip;
    ASSERT_EQ(kamailio.Start(options), "");
    ASSERT_EQ(a.Start(), "");
    ASSERT_EQ(b.Start(), "");
    CliPhone& ca = a.Cli();
    CliPhone& cb = b.Cli();
    ASSERT_EQ(a.SignIn("1001", "pw1001"), "");
    ASSERT_EQ(b.SignIn("1001", "pw1001"), "");
    // B's first synchronisation (its book is empty) has run before A adds anything.
    ASSERT_TRUE(WaitForContacts(
        cb, [&](const auto&) { return !b.LogLines("Address book received").empty(); }, 20s))
        << cb.Transcript();

    ca.Mark();
    ca.Send("contact-add first=Ann last=\"Lee Smith\" email=ann@example.com mobile=0170 comments=\"a&b\"");
    ASSERT_NE(ca.WaitFor("UPLOAD add OK", 15s), "") << ca.Transcript();
    EXPECT_NE(ca.Seen("UPLOAD add \"Operation successfull.\""), false) << ca.Transcript();
    auto mine = Contacts(ca);
    ASSERT_EQ(mine.size(), 1u) << ca.Transcript();
    EXPECT_NE(mine[0].find("CONTACT pos=0 sno=1 first=\"Ann\" middle=\"\" last=\"Lee Smith\""), std::string::npos)
        << mine[0];
    EXPECT_NE(mine[0].find("comments=\"a&b\""), std::string::npos) << mine[0];
    // On the operator's side too.
    std::string operatorData;
    {
        std::ifstream in(a.Home() + "/operator.ini");
        operatorData.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_NE(operatorData.find("entry.1 = "), std::string::npos) << operatorData;
    // The operator adds one of its own.
    ASSERT_EQ(sim.Control("op=add&user=1001&name=+&firstname=Bob&email=bob%40example.com&voip=2002"), "sno=2\n");

    // B hears of both by its query.
    EXPECT_TRUE(WaitForContacts(
        cb,
        [](const auto& lines) {
            return HasContact(lines, "sno=1 first=\"Ann\"") && HasContact(lines, "sno=2 first=\"Bob\"");
        },
        30s))
        << cb.Transcript();

    // The operator edits Ann and deletes Bob: B follows by its next query.
    ASSERT_EQ(sim.Control("op=update&user=1001&sno=1&mobile=0999"), "sno=1\n");
    ASSERT_EQ(sim.Control("op=delete&user=1001&sno=2"), "sno=2\n");
    EXPECT_TRUE(WaitForContacts(
        cb,
        [](const auto& lines) {
            return lines.size() == 1 && HasContact(lines, "sno=1 first=\"Ann\"") &&
                HasContact(lines, "mobile=\"0999\"");
        },
        30s))
        << cb.Transcript();

    // The same name again: -1005, nothing added.
    ca.Mark();
    ca.Send("contact-add first=Ann last=\"Lee Smith\" email=other@example.com");
    EXPECT_NE(ca.WaitFor("UPLOAD add \"User name (Ann) already exist\"", 15s), "") << ca.Transcript();
    EXPECT_NE(ca.WaitFor("UPLOAD add FAILED", 5s), "") << ca.Transcript();
    // A 404 changes nothing either.
    ASSERT_EQ(sim.Control("op=fail&status=404&count=1"), "ok\n");
    ca.Mark();
    ca.Send("contact-delete 1");
    EXPECT_NE(ca.WaitFor("UPLOAD delete \"Requested page not found.\"", 15s), "") << ca.Transcript();
    EXPECT_NE(ca.WaitFor("UPLOAD delete FAILED", 5s), "") << ca.Transcript();
    // A's own query may have brought the operator's Bob meanwhile; Ann is there once.
    mine = Contacts(ca);
    EXPECT_EQ(std::count_if(mine.begin(), mine.end(),
                            [](const std::string& line) { return line.find("first=\"Ann\"") != std::string::npos; }),
              1)
        << ca.Transcript();
    EXPECT_TRUE(HasContact(mine, "sno=1 first=\"Ann\""));

    // Form rules reach the console as message lines.
    ca.Mark();
    ca.Send("contact-add first=\"A|B\" email=x@y");
    EXPECT_NE(ca.WaitFor("MESSAGE \"Bar Sign(|) is not allowed in title\"", 5s), "") << ca.Transcript();
    EXPECT_EQ(ca.Stop(), 0);
    EXPECT_EQ(cb.Stop(), 0);
}

} // namespace
