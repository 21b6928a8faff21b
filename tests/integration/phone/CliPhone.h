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
        std::string program;        // path of zeloratalk-cli
        std::string home;           // its own folder: XDG dirs, registry, recordings
        std::string localAddress;   // ZELORA_LOCAL_ADDRESS
        std::string deployment;     // ZELORA_DEPLOYMENT
        std::string capture;        // what its microphone hears (a WAV file); empty: silence
        std::string playback;       // where what it plays is recorded
        std::string appPath;        // sound folder (ring tones); empty: the registry default
    };

    ~CliPhone();

    // "" or what went wrong.
    std::string Start(const Options& options);
    void Send(const std::string& line);
    // The first line from the cursor on that contains `text`; the cursor moves past it.
    // "" when none arrives in time.
    std::string WaitFor(const std::string& text, std::chrono::milliseconds timeout);
    // Whether a line containing `text` arrived from the cursor on (without waiting, cursor unmoved).
    bool Seen(const std::string& text);
    // Lines since the cursor, without moving it.
    std::vector<std::string> Pending();
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
    std::size_t m_cursor = 0;
    bool m_eof = false;
};

} // namespace phone_it
