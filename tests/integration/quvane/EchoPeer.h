#pragma once
// Starts tools/mos-echo for one test and stops it again by its PID.
#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

class EchoPeer {
public:
    EchoPeer() = default;
    ~EchoPeer();
    EchoPeer(const EchoPeer&) = delete;
    EchoPeer& operator=(const EchoPeer&) = delete;

    // Runs mos-echo on address with an ephemeral port plus the given options
    // and waits for its ready line. Returns false with the reason in error.
    bool Start(const std::string& address, const std::vector<std::string>& options, std::string& error);
    // SIGTERM and wait; returns the exit status (-1 when it did not exit by itself).
    int Stop();

    int Port() const { return m_port; }
    bool Running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// Path of the mos-echo binary given by the build.
const char* EchoBinary();
