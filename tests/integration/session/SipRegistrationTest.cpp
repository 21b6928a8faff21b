// Registration against Kamailio, a silent address and a scripted registrar; the keep-alive MESSAGE.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "KamailioPeer.h"
#include "RawSipPeer.h"
#include "SipMessageBuilder.h"
#include "SipStackHarness.h"

using namespace std::chrono_literals;
using namespace zelora::test;

namespace {

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

int CountStatus(const std::vector<StackEvent>& events, int status)
{
    int n = 0;
    for (const StackEvent& e : events)
        n += e.status == status ? 1 : 0;
    return n;
}

// A challenge the stack answers itself is not a failure, neither at sign-in nor at the unregistration
// when the stack goes away: the consumer counts failures to decide the password is wrong.
TEST(SipRegistration, ChallengedSignInAndQuitReportNoFailure)
{
    KamailioPeer kamailio;
    ASSERT_EQ(kamailio.Start({SlotAddress(1, 1)}), "");
    StackHarness h(SlotAddress(1, 2), kamailio.Ip());
    ASSERT_EQ(h.Init(), 1);
    ASSERT_EQ(h.Register("1001", "pw1001"), 1);
    auto ok = h.Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 10s);
    ASSERT_TRUE(ok.has_value()) << h.Events().Describe() << "\n" << kamailio.Log();
    EXPECT_FALSE(ok->hasRecord);
    EXPECT_EQ(CountStatus(h.Events().All(), MXSS_STATUS_REGISTRATION_FAILURE), 0)
        << "the answered challenge was reported as a failure:\n"
        << h.Events().Describe();
    EXPECT_GE(Count(kamailio.Log(), "request REGISTER from sip:1001@"), 2) << "the first REGISTER is challenged";
    const int beforeQuit = Count(kamailio.Log(), "request REGISTER from sip:1001@");

    auto took = h.Destroy();
    EXPECT_LT(took, 5s) << "the worker did not end on the unregistration's answer";
    // The unregistration is challenged too, answered, and accepted, all without a failure.
    EXPECT_GE(Count(kamailio.Log(), "request REGISTER from sip:1001@"), beforeQuit + 2) << kamailio.Log();
    for (const StackEvent& e : h.Events().All()) {
        EXPECT_NE(e.status, MXSS_STATUS_REGISTRATION_FAILURE) << h.Events().Describe();
        if (e.status >= 1 && e.status <= 3) {
            EXPECT_FALSE(e.hasRecord) << "registration status " << e.status << " carried a record";
        }
    }
    EXPECT_FALSE(ReadFile(h.ProtocolLogPath()).empty()) << "the library trace did not reach the protocol log file";
}

// The window returns to the sign-in panel on the third failure in a row: a wrong password must give
// exactly three, one per rejected set of credentials, and then stop.
TEST(SipRegistration, WrongPasswordFailsThreeTimesAndStops)
{
    KamailioPeer kamailio;
    ASSERT_EQ(kamailio.Start({SlotAddress(2, 1)}), "");
    StackHarness h(SlotAddress(2, 2), kamailio.Ip());
    ASSERT_EQ(h.Init(), 1);
    ASSERT_EQ(h.Register("1001", "wrong"), 1);
    for (int i = 0; i < 3; ++i) {
        auto failure = h.Events().Wait(MXSS_STATUS_REGISTRATION_FAILURE, 10s);
        ASSERT_TRUE(failure.has_value()) << "failure " << i + 1 << " missing\n" << h.Events().Describe();
        EXPECT_FALSE(failure->hasRecord);
    }
    EXPECT_FALSE(h.Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 3s).has_value());
    EXPECT_FALSE(h.Events().Wait(MXSS_STATUS_REGISTRATION_FAILURE, 0ms).has_value())
        << "more failures than rejected credentials:\n"
        << h.Events().Describe();
    // A wrong password must not loop: a handful of REGISTERs, then silence.
    int sent = Count(kamailio.Log(), "request REGISTER from sip:1001@");
    EXPECT_LE(sent, 5);
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(Count(kamailio.Log(), "request REGISTER from sip:1001@"), sent);
}

TEST(SipRegistration, NobodyListeningGivesStatus3)
{
    // Nothing is started on this address: the REGISTER is never answered.
    StackHarness h(SlotAddress(3, 2), SlotAddress(3, 1));
    ASSERT_EQ(h.Init(), 1);
    ASSERT_EQ(h.Register("1001", "pw1001"), 1);
    auto timeout = h.Events().Wait(MXSS_STATUS_REGISTRATION_TIMEOUT, 45s);
    ASSERT_TRUE(timeout.has_value()) << h.Events().Describe();
    EXPECT_FALSE(timeout->hasRecord);
    EXPECT_FALSE(h.Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 0ms).has_value());
}

// A registrar that accepts every REGISTER and keeps what it received.
class ScriptedRegistrar {
public:
    explicit ScriptedRegistrar(const std::string& ip) { m_error = m_socket.Open(ip, 5060); }
    ~ScriptedRegistrar() { StopAnswering(); }
    const std::string& Error() const { return m_error; }
    void StartAnswering()
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                std::string request = m_socket.Receive(100);
                if (request.rfind("REGISTER ", 0) != 0)
                    continue;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_requests.push_back(request);
                }
                std::string via = RawSipPeer::Header(request, "Via");
                std::string host = via.substr(via.find(' ') + 1);
                host = host.substr(0, host.find(';'));
                std::string ip = host.substr(0, host.find(':'));
                int port = host.find(':') == std::string::npos ? 5060 : std::atoi(host.c_str() + host.find(':') + 1);
                std::string reply = SipMessageBuilder::ResponseTo(request, 200, "OK", "reg1")
                                        .Header("Contact",
                                                RawSipPeer::Header(request, "Contact") +
                                                    ";expires=" + RawSipPeer::Header(request, "Expires"))
                                        .Text();
                m_socket.Send(reply, ip, port);
            }
        });
    }
    void StopAnswering()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    RawSipPeer m_socket;
    std::string m_error;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

TEST(SipRegistration, DestroyingARegisteredStackSendsOneUnregisterAndEndsOnItsAnswer)
{
    ScriptedRegistrar registrar(SlotAddress(4, 1));
    ASSERT_EQ(registrar.Error(), "");
    registrar.StartAnswering();
    StackHarness h(SlotAddress(4, 2), SlotAddress(4, 1));
    ASSERT_EQ(h.Init(), 1);
    ASSERT_EQ(h.Register("1001", "pw1001", 600), 1);
    ASSERT_TRUE(h.Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 10s).has_value()) << h.Events().Describe();
    ASSERT_EQ(registrar.Requests().size(), 1u);
    EXPECT_EQ(RawSipPeer::Header(registrar.Requests()[0], "Expires"), "600");

    auto took = h.Destroy();
    EXPECT_LT(took, 5s) << "the worker did not end on the unregistration's answer";
    std::this_thread::sleep_for(500ms);
    auto requests = registrar.Requests();
    ASSERT_EQ(requests.size(), 2u) << "expected exactly one unregistration";
    EXPECT_EQ(RawSipPeer::Header(requests[1], "Expires"), "0");
    EXPECT_EQ(RawSipPeer::Header(requests[1], "Call-ID"), RawSipPeer::Header(requests[0], "Call-ID"));
}

TEST(SipRegistration, DestroyWithoutAnswerToTheUnregisterStillEnds)
{
    ScriptedRegistrar registrar(SlotAddress(5, 1));
    ASSERT_EQ(registrar.Error(), "");
    registrar.StartAnswering();
    StackHarness h(SlotAddress(5, 2), SlotAddress(5, 1));
    ASSERT_EQ(h.Init(), 1);
    ASSERT_EQ(h.Register("1001", "pw1001", 600), 1);
    ASSERT_TRUE(h.Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 10s).has_value()) << h.Events().Describe();
    registrar.StopAnswering();
    auto took = h.Destroy();
    EXPECT_GE(took, 14s) << "gave up waiting for the unregistration too early";
    EXPECT_LT(took, 25s);
}

TEST(SipRegistration, SendPingReachesKamailio)
{
    KamailioPeer kamailio;
    ASSERT_EQ(kamailio.Start({SlotAddress(6, 1)}), "");
    StackHarness h(SlotAddress(6, 2), kamailio.Ip());
    ASSERT_EQ(h.Init(), 1);
    ASSERT_EQ(h.Register("1001", "pw1001"), 1);
    ASSERT_TRUE(h.Events().Wait(MXSS_STATUS_REGISTRATION_SUCCESSFUL, 10s).has_value()) << h.Events().Describe();
    ASSERT_EQ(h.Stack().SendPing(), 1);
    std::string expected = "request MESSAGE from sip:1001@" + kamailio.Ip() + ":5060 to sip:1001@" + kamailio.Ip();
    EXPECT_TRUE(WaitUntil([&] { return kamailio.Log().find(expected) != std::string::npos; }, 5000ms))
        << kamailio.Log();
}

} // namespace
