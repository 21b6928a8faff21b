// sip_latency_bench [calls]: medians of REGISTER -> registered and INVITE -> answered on
// loopback, for our stack and for baresip, through one Kamailio; prints the ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BaresipPeer.h"
#include "KamailioPeer.h"
#include "SipStackHarness.h"

using namespace std::chrono_literals;
using namespace zelora::test;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

int Fail(const std::string& what)
{
    std::fprintf(stderr, "sip_latency_bench: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (rounds < 1)
        rounds = 10;
    // 127.0.1.91-94: away from the addresses the integration tests use.
    KamailioPeer kamailio;
    std::string error = kamailio.Start({"127.0.1.91"});
    if (!error.empty())
        return Fail(error);
    BaresipPeer callee;
    BaresipPeer caller;
    BaresipPeer::Options c;
    c.ip = "127.0.1.92";
    c.user = "1002";
    c.password = "pw1002";
    c.registrar = kamailio.Ip();
    if (!(error = callee.Start(c)).empty())
        return Fail(error);
    c.ip = "127.0.1.93";
    c.user = "1003";
    c.password = "pw1003";
    c.autoAnswer = false;
    if (!(error = caller.Start(c)).empty())
        return Fail(error);
    StackHarness stack("127.0.1.94", kamailio.Ip());
    if (stack.Init() != 1)
        return Fail("Init failed");

    std::vector<double> stackRegister;
    std::vector<double> baresipRegister;
    std::vector<double> stackCall;
    std::vector<double> baresipCall;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        if (stack.Register("1001", "pw1001") != 1 ||
            !stack.Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 10s).has_value())
            return Fail("our REGISTER was not accepted");
        stackRegister.push_back(Ms(Clock::now() - t0));

        // A second account of the caller baresip, created (and so registered) and deleted each round.
        std::string aor = "sip:echo@" + kamailio.Ip();
        t0 = Clock::now();
        if (!(error = caller.Command("uanew", "<" + aor + ">;auth_pass=pwecho;regint=600")).empty())
            return Fail(error);
        if (caller.WaitEvent("REGISTER_OK", 10s).empty())
            return Fail("baresip's REGISTER was not accepted");
        baresipRegister.push_back(Ms(Clock::now() - t0));
        caller.Command("uadel", aor);
    }
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        int cid = stack.Stack().Invite("1001", "1002", kamailio.Ip().c_str(), "5060", nullptr, nullptr);
        auto answered = stack.Events().Wait(MXSS_STATUS_OUTGOING_CALL_ANSWERED, 10s);
        if (cid <= 0 || !answered.has_value())
            return Fail("our call was not answered: " + stack.Events().Describe());
        stackCall.push_back(Ms(Clock::now() - t0));
        callee.WaitEvent("CALL_ESTABLISHED", 5s);
        stack.Stack().HangUp(&answered->record);
        if (callee.WaitEvent("CALL_CLOSED", 5s).empty())
            return Fail("baresip did not see our BYE");

        t0 = Clock::now();
        if (!(error = caller.Command("dial", "sip:1002@" + kamailio.Ip())).empty())
            return Fail(error);
        if (caller.WaitEvent("CALL_ESTABLISHED", 10s).empty())
            return Fail("baresip's call was not answered");
        baresipCall.push_back(Ms(Clock::now() - t0));
        callee.WaitEvent("CALL_ESTABLISHED", 5s);
        caller.Command("hangup");
        caller.WaitEvent("CALL_CLOSED", 5s);
        callee.WaitEvent("CALL_CLOSED", 5s);
    }

    double sr = Median(stackRegister);
    double br = Median(baresipRegister);
    double sc = Median(stackCall);
    double bc = Median(baresipCall);
    std::printf("%d rounds on loopback through Kamailio (medians)\n", rounds);
    std::printf("REGISTER -> registered   stack %8.2f ms   baresip %8.2f ms   ratio %.2f\n", sr, br, sr / br);
    std::printf("INVITE -> answered       stack %8.2f ms   baresip %8.2f ms   ratio %.2f\n", sc, bc, sc / bc);
    return 0;
}
