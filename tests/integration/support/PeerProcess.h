#pragma once
// A peer program started by a test and stopped by its PID, with its own temp directory.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace zelora::test {

// A fresh directory under $TMPDIR (default /tmp), removed with its contents on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "zelora-peer");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Full path of a program found on PATH (or in /usr/sbin, /sbin), "" when missing.
std::string FindProgram(const std::string& name);
// The failure text for a missing peer program, naming the Debian package that has it.
std::string MissingProgram(const std::string& name, const std::string& package);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& content);
// Polls `done` every 20 ms until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts argv (argv[0] a full path) with stdout and stderr appended to logPath and
    // stdin from /dev/null. Returns "" or what went wrong.
    std::string Start(const std::vector<std::string>& argv, const std::string& logPath);
    // SIGTERM, up to 3 s for it to end, then SIGKILL. Safe to call twice.
    void Stop();
    bool Running();
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

} // namespace zelora::test
