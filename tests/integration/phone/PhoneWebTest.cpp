// The console phone signed in through Kamailio fetches what the operator's web service knows
// about the account (operator-sim on its own address) and shows it.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <thread>

#include "KamailioPeer.h"
#include "PhoneTestPeers.h"
#include "WebPeers.h"

using namespace phone_it;
using zelora::test::KamailioPeer;

namespace {

const char* kOperatorData = R"([server]
version = zeloraTALK Version 3.1.3
downloadlink = http://127.0.6.150/setup.exe
ad1 = Cheap%20calls|http://127.0.6.150/calls

[user:1001]
balance = 12.50
smsbalance = 7
lvl3 = 4930111222
inbox = 2
)";

std::string WithWebHost(std::string text, const std::string& host)
{
    const std::string unused = "127.0.6.253";
    for (std::size_t at = text.find(unused); at != std::string::npos; at = text.find(unused, at + host.size()))
        text.replace(at, unused.size(), host);
    return text;
}

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

TEST(PhoneWeb, SignedInPhoneShowsBalanceVoipNumberNewSmsAndOffersTheNewVersion)
{
    const std::string web = "127.0.6.150", sip = "127.0.6.151", me = "127.0.6.152";
    PhoneUnderTest phone("web", me, sip);
    // The phone's deployment names this test's operator service.
    std::ofstream(phone.Home() + "/deployment.ini") << WithWebHost(DeploymentText(sip, "127.0.6.254"), web);
    std::ofstream(phone.Home() + "/operator.ini") << kOperatorData;
    SimProcess sim(OPERATOR_SIM_PATH, web, phone.Home() + "/operator.ini");
    const std::string simError = sim.Start();
    ASSERT_EQ(simError, "") << simError << " (operator-sim is built by this project's tools)";
    KamailioPeer kamailio;
    KamailioPeer::Options options;
    options.ip = sip;
    ASSERT_EQ(kamailio.Start(options), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();

    // Asked once the window exists: the server's text is greater than the program's own.
    EXPECT_NE(cli.WaitFor("MESSAGE \"A new version of zeloraTALK is available for download.", 15s), "")
        << cli.Transcript();
    EXPECT_NE(cli.WaitFor("MESSAGE \"Open http://127.0.6.150/setup.exe\"", 5s), "") << cli.Transcript();

    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    EXPECT_NE(cli.WaitFor("MESSAGE \"Balance: 12.50 SMS balance: 7\"", 15s), "") << cli.Transcript();
    EXPECT_NE(cli.WaitFor("MESSAGE \"VoIP number: 4930111222 User ID: ", 15s), "") << cli.Transcript();
    EXPECT_NE(cli.WaitFor("MESSAGE \"You have 2 new SMS\"", 15s), "") << cli.Transcript();
    EXPECT_NE(phone.LogLines("Balance Received"), "");
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1", 5s), "") << cli.Transcript();

    // Each value was asked for once, and the empty book was fetched whole once.
    ASSERT_TRUE(Eventually([&] { return !phone.LogLines("Address book received").empty(); }, 15s))
        << phone.LogLines("AddressBook");
    ASSERT_TRUE(Eventually([&] { return sim.Requests("ads") >= 1; }, 15s));
    std::this_thread::sleep_for(1s); // room for a second request, were one sent
    for (const char* action : {"_getbal", "_getlvl3", "ads", "_qrysms", "_initaddbk"})
        EXPECT_EQ(sim.Requests(action), 1) << action;
    EXPECT_EQ(sim.Requests("_qrylist"), 0);

    // Signed in again: one request for the book, not one per registration. The operator's
    // book is empty, so the local one still is and is asked for whole again.
    cli.Send("logout");
    ASSERT_NE(cli.WaitFor("EVENT 102 MXSS_STATUS_LOGOUT", 10s), "") << cli.Transcript();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    ASSERT_TRUE(Eventually([&] { return sim.Requests("_initaddbk") + sim.Requests("_qrylist") >= 2; }, 15s))
        << cli.Transcript();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(sim.Requests("_initaddbk"), 2);
    EXPECT_EQ(sim.Requests("_qrylist"), 0);
    // Known values are not asked for again.
    EXPECT_EQ(sim.Requests("_getbal"), 1);
    EXPECT_EQ(sim.Requests("_getlvl3"), 1);
    EXPECT_EQ(cli.Stop(), 0);
}

} // namespace
