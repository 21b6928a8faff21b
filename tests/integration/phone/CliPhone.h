#pragma once
// zeloratalk-cli as a child process: commands on its stdin, its lines collected from stdout.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace phone_it {

class CliPhone {
public:
    struct Options {
        std::string program; // path of zeloratalk-cli
        std::string home; // its own folder: XDG dirs, registry, recordings
        std::string localAddress; // ZELORA_LOCAL_ADDRESS
        std::string deployment; // ZELORA_DEPLOYMENT
        std::string capture; // what its microphone hears (a WAV file); empty: silence
        std::string playback; // where what it plays is recorded
        std::string appPath; // sound folder (ring tones); empty: the registry default
        std::vector<std::string> arguments; // its command line after the program name
        std::vector<std::string> wrapper; // a command that runs it (e.g. in a network namespace)
    };

    ~CliPhone();

    // "" or what went wrong.
    std::string Start(const Options& options);
    void Send(const std::string& line);
    // The first line since the mark, not taken yet, that contains `text`; it is taken.
    // Lines from different threads of the phone may come in either order, so earlier lines
    // stay available. "" when none arrives in time.
    std::string WaitFor(const std::string& text, std::chrono::milliseconds timeout);
    // Whether such a line is there now (without waiting or taking it).
    bool Seen(const std::string& text);
    // Lines since the mark not taken yet.
    std::vector<std::string> Pending();
    // Later waits only look at lines from now on.
    void Mark();
    std::string Transcript();
    // quit, end of input, up to 10 s for the exit; then SIGKILL. The exit status (or -1).
    int Stop();
    pid_t Pid() const { return m_pid; }

private:
    void ReadLoop(int fd);

    Options m_options;
    pid_t m_pid = -1;
    int m_in = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
    std::vector<bool> m_taken;
    std::size_t m_mark = 0;
    bool m_eof = false;
};

} // namespace phone_it
