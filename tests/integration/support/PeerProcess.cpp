#include "PeerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace zelora::test {

TempDir::TempDir(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr)
        m_path = buffer.data();
}

TempDir::~TempDir()
{
    if (m_path.empty() || std::getenv("ZELORA_KEEP_PEER_DIRS") != nullptr)
        return;
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string FindProgram(const std::string& name)
{
    std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty())
            continue;
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string MissingProgram(const std::string& name, const std::string& package)
{
    return name + " is not installed: this test needs the Debian package " + package +
        " (apt-get install -y --no-install-recommends " + package + ")";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

PeerProcess::~PeerProcess() { Stop(); }

std::string PeerProcess::Start(const std::vector<std::string>& argv, const std::string& logPath)
{
    if (argv.empty())
        return "no program given";
    if (m_pid > 0)
        return "already started";
    int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log < 0)
        return "cannot open " + logPath + ": " + std::strerror(errno);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(log);
        return std::string("fork failed: ") + std::strerror(errno);
    }
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        if (in >= 0)
            dup2(in, 0);
        dup2(log, 1);
        dup2(log, 2);
        setpgid(0, 0);
        execv(args[0], args.data());
        _exit(127);
    }
    close(log);
    m_pid = pid;
    return {};
}

bool PeerProcess::Running()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

void PeerProcess::Stop()
{
    if (m_pid <= 0)
        return;
    // The peer leads its own process group: a forking server (Kamailio) must not leave
    // children behind holding its address when the leader is killed.
    const pid_t group = m_pid;
    kill(group, SIGTERM);
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 150 && !ended; ++i) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid)
            ended = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ended) {
        kill(-group, SIGKILL);
        waitpid(m_pid, &status, 0);
    }
    kill(-group, SIGKILL);
    m_pid = -1;
}

} // namespace zelora::test
