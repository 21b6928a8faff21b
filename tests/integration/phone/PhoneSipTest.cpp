// The console phone end to end over SIP: Kamailio as registrar and proxy, baresip as the far end,
// audio through file devices. Addresses 127.0.6.10-127.0.6.99.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "AudioTestSignals.h"
#include "BaresipPeer.h"
#include "KamailioPeer.h"
#include "PhoneTestPeers.h"

using namespace phone_it;
using zelora::test::BaresipPeer;
using zelora::test::KamailioPeer;

namespace {

std::string StartKamailio(KamailioPeer& kamailio, const std::string& ip)
{
    KamailioPeer::Options options;
    options.ip = ip;
    return kamailio.Start(options);
}

std::string StartBaresip(BaresipPeer& peer, const std::string& ip, const std::string& user,
                         const std::string& registrar, bool autoAnswer)
{
    BaresipPeer::Options options;
    options.ip = ip;
    options.user = user;
    options.password = "pw" + user;
    options.registrar = registrar;
    options.autoAnswer = autoAnswer;
    return peer.Start(options);
}

// baresip answering on its own with a 600 Hz tone and recording every call (sndfile module):
// the far end whose ears the tests check.
class RecordingFarEnd {
public:
    std::string Start(const std::string& ip, const std::string& user, const std::string& registrar,
                      const std::string& folder)
    {
        std::string program = zelora::test::FindProgram("baresip");
        if (program.empty())
            return zelora::test::MissingProgram("baresip", "baresip-core");
        m_dir = folder;
        std::filesystem::create_directories(folder);
        audiotest::WriteWav(folder + "/tone600.wav", audiotest::Tone(600, 5.0), 8000, 1);
        std::string config = "poll_method\t\tepoll\nsip_listen\t\t" + ip + ":5060\nnet_interface\t\t" + ip +
            "\naudio_player\t\taufile," + folder + "/nothing.wav\naudio_source\t\taufile," + folder +
            "/tone600.wav\nrtp_ports\t\t30100-30199\nmodule_path\t\t/usr/lib/baresip/modules\n"
            "module\t\t\tg711.so\nmodule\t\t\taufile.so\nmodule\t\t\tsndfile.so\nsnd_path\t\t" +
            folder + "\nmodule_tmp\t\taccount.so\n";
        std::string account = "<sip:" + user + "@" + registrar + ">;auth_pass=pw" + user +
            ";answermode=auto;audio_codecs=pcmu,pcma;regint=600\n";
        if (!zelora::test::WriteFile(folder + "/config", config) ||
            !zelora::test::WriteFile(folder + "/accounts", account))
            return "cannot write the baresip configuration";
        std::string error = m_process.Start({program, "-f", folder}, folder + "/baresip.log");
        if (!error.empty())
            return error;
        if (!zelora::test::WaitUntil([&] { return Log().find("200 OK") != std::string::npos; }, 10s))
            return "baresip did not register:\n" + Log();
        return {};
    }
    void Stop() { m_process.Stop(); }
    std::string Log() const { return zelora::test::ReadFile(m_dir + "/baresip.log"); }
    // What it received in its (last) call.
    std::string Received() const
    {
        std::string found;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir, ec)) {
            std::string name = entry.path().filename().string();
            if (name.rfind("dump-", 0) == 0 && name.size() > 8 && name.substr(name.size() - 8) == "-dec.wav")
                found = entry.path().string();
        }
        return found;
    }

private:
    std::string m_dir;
    zelora::test::PeerProcess m_process;
};

// Energy at `want` against energy at a frequency nobody sends.
bool ToneIn(const std::vector<int16_t>& samples, double want, double other)
{
    return !samples.empty() && audiotest::Goertzel(samples, want) > 100 * audiotest::Goertzel(samples, other);
}

TEST(PhoneSip, CallToBaresipCarriesToneAndKeysBothWays)
{
    const std::string sip = "127.0.6.10", far = "127.0.6.11", me = "127.0.6.12";
    PhoneUnderTest phone("call", me, sip);
    KamailioPeer kamailio;
    ASSERT_EQ(StartKamailio(kamailio, sip), "");
    RecordingFarEnd baresip;
    ASSERT_EQ(baresip.Start(far, "1002", sip, phone.Home() + "/far"), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");
    cli.Send("status");
    ASSERT_NE(cli.WaitFor("STATE signed_in=1 call_state=0", 5s), "") << cli.Transcript();

    cli.Send("dial 1002");
    ASSERT_NE(cli.WaitFor("EVENT 7 MXSS_STATUS_CALL_PROCEEDING", 5s), "") << cli.Transcript();
    std::string answered = cli.WaitFor("EVENT 9 MXSS_STATUS_OUTGOING_CALL_ANSWERED", 10s);
    ASSERT_NE(answered, "") << cli.Transcript() << baresip.Log();
    EXPECT_NE(answered.find("rtp=" + far + ":"), std::string::npos) << answered;
    EXPECT_NE(cli.WaitFor("DISPLAY \"\" \"1002\" \"Connected\"", 5s), "") << cli.Transcript();
    EXPECT_NE(cli.WaitFor("\"Connected - 00:00:02\"", 5s), "") << cli.Transcript();

    for (const char* key : {"1", "5", "9", "#"}) {
        cli.Send(std::string("key ") + key);
        std::this_thread::sleep_for(300ms);
    }
    std::this_thread::sleep_for(500ms);
    cli.Send("hangup");
    EXPECT_TRUE(zelora::test::WaitUntil([&] { return baresip.Log().find("terminated") != std::string::npos; }, 5s))
        << baresip.Log();
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1 call_state=0", 5s), "") << cli.Transcript();
    EXPECT_EQ(cli.Stop(), 0);
    baresip.Stop();

    std::vector<int16_t> ours = audiotest::ReadWav(phone.Recording());
    EXPECT_TRUE(ToneIn(ours, 600, 1500)) << "baresip's 600 Hz tone missing from " << phone.Recording();
    std::string received = baresip.Received();
    ASSERT_NE(received, "") << "no baresip recording";
    std::vector<int16_t> theirs = audiotest::ReadWav(received);
    EXPECT_TRUE(ToneIn(theirs, 1000, 1500)) << "our 1 kHz tone missing from " << received;
    EXPECT_EQ(audiotest::DetectDtmf(theirs), "159#");
}

TEST(PhoneSip, IncomingCallRingsIsAnsweredAndEndsWithTheFarEnd)
{
    const std::string sip = "127.0.6.20", far = "127.0.6.21", me = "127.0.6.22", third = "127.0.6.23";
    PhoneUnderTest phone("incoming", me, sip);
    KamailioPeer kamailio;
    ASSERT_EQ(StartKamailio(kamailio, sip), "");
    BaresipPeer caller;
    ASSERT_EQ(StartBaresip(caller, far, "1002", sip, true), "");
    BaresipPeer second;
    ASSERT_EQ(StartBaresip(second, third, "1003", sip, true), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");

    ASSERT_EQ(caller.Command("dial", "sip:1001@" + sip), "");
    std::string offered = cli.WaitFor("EVENT 4 MXSS_STATUS_INCOMING_CALL", 10s);
    ASSERT_NE(offered, "") << cli.Transcript();
    EXPECT_NE(offered.find("from=1002"), std::string::npos) << offered;
    EXPECT_NE(cli.WaitFor("DISPLAY \"\" \"1002\" \"Incoming Call\"", 5s), "") << cli.Transcript();
    std::this_thread::sleep_for(1500ms); // ringing is heard meanwhile
    cli.Send("answer");
    ASSERT_NE(cli.WaitFor("EVENT 14 MXSS_STATUS_CALL_ACK", 10s), "") << cli.Transcript();
    EXPECT_NE(cli.WaitFor("\"Connected\"", 5s), "") << cli.Transcript();
    ASSERT_NE(caller.WaitEvent("CALL_ESTABLISHED", 5s), "");

    // A second caller while the call runs is turned away busy; the window hears nothing of it.
    ASSERT_EQ(second.Command("dial", "sip:1001@" + sip), "");
    std::string closed = second.WaitEvent("CALL_CLOSED", 10s);
    EXPECT_NE(closed.find("486"), std::string::npos) << closed << second.Log() << phone.LogLines("$$$$");
    EXPECT_FALSE(cli.Seen("EVENT 4 ")) << cli.Transcript();

    std::this_thread::sleep_for(1s);
    ASSERT_EQ(caller.Command("hangup"), "");
    ASSERT_NE(cli.WaitFor("EVENT 17 MXSS_STATUS_CALL_CLOSED", 10s), "") << cli.Transcript();
    // The display is cleared (its repaint may come before or after the event line).
    std::string transcript = cli.Transcript();
    std::size_t connected = transcript.rfind("\"Connected");
    ASSERT_NE(connected, std::string::npos) << transcript;
    EXPECT_NE(transcript.find("DISPLAY \"\" \"\" \"\"", connected), std::string::npos) << transcript;
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1 call_state=0 dial=\"\"", 5s), "") << cli.Transcript();

    // A call turned away while it rings still brings its release, which a closing window waits for.
    ASSERT_EQ(caller.Command("dial", "sip:1001@" + sip), "");
    ASSERT_NE(cli.WaitFor("EVENT 4 MXSS_STATUS_INCOMING_CALL", 10s), "") << cli.Transcript();
    cli.Send("hangup");
    EXPECT_NE(caller.WaitEvent("CALL_CLOSED", 10s), "") << caller.Log();
    EXPECT_NE(cli.WaitFor("EVENT 18 MXSS_STATUS_CALL_RELEASED", 15s), "") << cli.Transcript();
    EXPECT_EQ(cli.Stop(), 0);

    std::vector<int16_t> ours = audiotest::ReadWav(phone.Recording());
    ASSERT_FALSE(ours.empty());
    EXPECT_TRUE(ToneIn(ours, 440, 1500)) << "no ring tone in " << phone.Recording();
    EXPECT_TRUE(ToneIn(ours, 600, 1500)) << "no far-end audio in " << phone.Recording();
}

TEST(PhoneSip, HangUpBeforeAnyAnswerCancelsSilently)
{
    const std::string sip = "127.0.6.30", far = "127.0.6.31", me = "127.0.6.32";
    PhoneUnderTest phone("cancel", me, sip);
    KamailioPeer kamailio;
    ASSERT_EQ(StartKamailio(kamailio, sip), "");
    BaresipPeer callee;
    ASSERT_EQ(StartBaresip(callee, far, "1002", sip, false), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");

    cli.Mark();
    cli.Send("dial 1002\nhangup");
    // Idle again once the first answer has cancelled the call.
    bool idle = false;
    for (int i = 0; i < 25 && !idle; ++i) {
        cli.Send("status");
        idle = cli.WaitFor("STATE signed_in=1 call_state=", 2s).find("call_state=0") != std::string::npos;
        if (!idle)
            std::this_thread::sleep_for(200ms);
    }
    EXPECT_TRUE(idle) << cli.Transcript();
    // The cancel may reach the registrar before it forwards the call; if the callee saw the
    // call, it saw it end.
    if (!callee.WaitEvent("CALL_INCOMING", 2s).empty()) {
        EXPECT_NE(callee.WaitEvent("CALL_CLOSED", 5s), "") << callee.Log();
    }
    EXPECT_EQ(callee.WaitEvent("CALL_ESTABLISHED", 1s), "");
    for (const std::string& line : cli.Pending())
        EXPECT_EQ(line.rfind("EVENT ", 0), std::string::npos) << line;
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=1 call_state=0", 5s), "") << cli.Transcript();

    // Dialling one's own user ID, in any case, is refused.
    cli.Send("dial 1001");
    EXPECT_NE(cli.WaitFor("MESSAGE \"Call not allowed\"", 5s), "") << cli.Transcript();
    EXPECT_EQ(cli.Stop(), 0);
}

TEST(PhoneSip, WrongPasswordAndUnreachableRegistrar)
{
    const std::string sip = "127.0.6.40", me = "127.0.6.42";
    PhoneUnderTest phone("badlogin", me, sip);
    KamailioPeer kamailio;
    ASSERT_EQ(StartKamailio(kamailio, sip), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();
    bool refused = false;
    for (int attempt = 0; attempt < 3 && !refused; ++attempt) {
        cli.Send("login 1001 wrong");
        refused = !cli.WaitFor("MESSAGE \"Invalid Username/Password\"", 8s).empty();
    }
    EXPECT_TRUE(refused) << cli.Transcript();
    EXPECT_FALSE(cli.Seen("EVENT 1 "));

    kamailio.Stop();
    cli.Send("login 1001 pw1001");
    std::string text = cli.WaitFor("MESSAGE \"Unable to sign in due to network problem. Please contact your network "
                                   "administrator for assistance\"",
                                   60s);
    EXPECT_NE(text, "") << cli.Transcript();
    cli.Send("status");
    EXPECT_NE(cli.WaitFor("STATE signed_in=0", 5s), "") << cli.Transcript();
    EXPECT_EQ(cli.Stop(), 0);
}

TEST(PhoneSip, AccountSwitchLogsOutAndRegistersTheNewAccount)
{
    const std::string sip = "127.0.6.50", far = "127.0.6.51", me = "127.0.6.52";
    PhoneUnderTest phone("switch", me, sip);
    KamailioPeer kamailio;
    ASSERT_EQ(StartKamailio(kamailio, sip), "");
    BaresipPeer caller;
    ASSERT_EQ(StartBaresip(caller, far, "1003", sip, true), "");
    ASSERT_EQ(phone.Start(), "");
    CliPhone& cli = phone.Cli();
    ASSERT_EQ(phone.SignIn("1001", "pw1001"), "");

    cli.Send("login 1002 pw1002");
    ASSERT_NE(cli.WaitFor("EVENT 102 MXSS_STATUS_LOGOUT", 10s), "") << cli.Transcript();
    ASSERT_NE(cli.WaitFor("EVENT 1 MXSS_STATUS_REGISTRATION_SUCCESSFUL", 10s), "") << cli.Transcript();

    // The old account is gone from the registrar, the new one rings here.
    ASSERT_EQ(caller.Command("dial", "sip:1001@" + sip), "");
    std::string closed = caller.WaitEvent("CALL_CLOSED", 10s);
    EXPECT_NE(closed.find("404"), std::string::npos) << closed;
    ASSERT_EQ(caller.Command("dial", "sip:1002@" + sip), "");
    EXPECT_NE(cli.WaitFor("EVENT 4 MXSS_STATUS_INCOMING_CALL", 10s), "") << cli.Transcript();
    cli.Send("hangup");
    EXPECT_NE(caller.WaitEvent("CALL_CLOSED", 10s), "");
    EXPECT_EQ(cli.Stop(), 0);
}

} // namespace
