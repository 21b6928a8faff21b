#pragma once
// baresip as the far-end phone: one account on a registrar, G.711, a tone file as its
// microphone, no sound card, driven over its ctrl_tcp interface.
#include <chrono>
#include <deque>
#include <string>

#include "PeerProcess.h"

namespace zelora::test {

class BaresipPeer {
public:
    struct Options {
        std::string ip; // its own loopback address (SIP 5060, RTP 30000-30099)
        std::string user; // account user, e.g. "1002"
        std::string password;
        std::string registrar; // registrar address (host[:port]); empty: no registration
        bool autoAnswer = true;
        std::string codecs = "pcmu,pcma";
        int ctrlPort = 4444;
    };

    ~BaresipPeer();

    // Writes its configuration, starts it, connects to ctrl_tcp and, with a registrar,
    // waits for the registration. Returns "" or what went wrong.
    std::string Start(const Options& options);
    void Stop();

    // Sends a ctrl_tcp command and waits for its response; "" or what went wrong.
    std::string Command(const std::string& command, const std::string& params = "");
    // The next event of this type (e.g. "CALL_ESTABLISHED") not yet taken, as its JSON text,
    // or "" when none arrives in time. Events of other types are kept.
    std::string WaitEvent(const std::string& type, std::chrono::milliseconds timeout);
    // A field of an event's JSON text ("param", "peeruri" ...), "" if absent.
    static std::string Field(const std::string& json, const std::string& name);

    std::string Log() const { return ReadFile(m_dir.Path() + "/baresip.log"); }
    const std::string& Ip() const { return m_options.ip; }
    std::string Uri() const { return "sip:" + m_options.user + "@" + m_options.ip; }
    pid_t Pid() const { return m_process.Pid(); }

private:
    bool Connect(std::chrono::milliseconds timeout);
    // Reads what arrives within `timeout` into m_messages; false when the connection is gone.
    bool Pump(int timeoutMs);

    Options m_options;
    TempDir m_dir{"zelora-baresip"};
    PeerProcess m_process;
    int m_fd = -1;
    std::string m_input;
    std::deque<std::string> m_messages;
    int m_token = 0;
};

// A 16-bit mono 8 kHz WAV file with a sine tone.
bool WriteToneWav(const std::string& path, int frequencyHz, int seconds);

} // namespace zelora::test
