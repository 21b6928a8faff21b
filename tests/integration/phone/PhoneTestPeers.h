#pragma once
// What every end-to-end phone test needs: its folder, a deployment file, tone files, and the
// console phone started against the test's own peers.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CliPhone.h"
#include "PeerProcess.h"

namespace phone_it {

using namespace std::chrono_literals;

// Deployment values pointing the phone at `sipServer` and `tunnelServer`.
std::string DeploymentText(const std::string& sipServer, const std::string& tunnelServer);

// A console phone in its own folder, with a 1 kHz tone (or silence) as its microphone and its
// playback recorded.
class PhoneUnderTest {
public:
    // `toneHz` 0: a silent microphone.
    PhoneUnderTest(const std::string& name, const std::string& localAddress, const std::string& sipServer,
                   const std::string& tunnelServer = "127.0.6.254", int toneHz = 1000);
    // `arguments`: its command line after the program name.
    std::string Start(const std::vector<std::string>& arguments = {});
    // Ends the program (its registry and recording stay) so that it can start again.
    int Stop() { return m_cli.Stop(); }
    CliPhone& Cli() { return m_cli; }
    // Later starts run the program through `wrapper` (e.g. "ip netns exec NAME").
    void RunThrough(std::vector<std::string> wrapper) { m_options.wrapper = std::move(wrapper); }
    std::string Recording() const { return m_home + "/playback.wav"; }
    std::string Home() const { return m_home; }
    // The ring tone this phone's registry names (a 440 Hz file in its sound folder).
    std::string RingToneFile() const { return m_home + "/sounds/ringin.wav"; }
    // The phone's log lines that contain `text`.
    std::string LogLines(const std::string& text) const;
    // Sign in and wait for the registration; "" or the transcript on failure.
    std::string SignIn(const std::string& user, const std::string& password);

private:
    std::string m_home;
    std::string m_localAddress;
    CliPhone m_cli;
    CliPhone::Options m_options;
    std::unique_ptr<zelora::test::TempDir> m_dir;
};

bool TcpAnswers(const std::string& ip, int port);
// Energy at `want` against energy at a frequency nobody sends.
bool ToneIn(const std::vector<int16_t>& samples, double want, double other);

// tools/tunnel-server on `ip`:443 with accounts 1001 and 1002 and the echo number "echo".
class TunnelServer {
public:
    // "" or what went wrong. `refuseFrom`: connections from that address are closed at once.
    std::string Start(const std::string& ip, const std::string& folder, const std::string& refuseFrom = "");
    void Stop() { m_process.Stop(); }
    std::string Log() const { return zelora::test::ReadFile(m_log); }

private:
    zelora::test::PeerProcess m_process;
    std::string m_log;
};

// tinyproxy on `ip`:8888, logging its CONNECTs to `folder`/tinyproxy.log; its own connections
// leave from `bind` when given. "" or what went wrong (a missing program names its package).
std::string StartTinyproxy(zelora::test::PeerProcess& proxy, const std::string& ip, const std::string& folder,
                           const std::string& bind = "");

// Stores the connection settings through the phone's own settings window, then restarts it.
void UseTunnel(PhoneUnderTest& phone, const std::string& settings);
// A call to the echo number whose recording must hold our own tone; `signIn` first signs in.
void EchoCall(PhoneUnderTest& phone, bool signIn = true);

} // namespace phone_it
