#include "EchoPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {
constexpr int kEchoNice = -10;
} // namespace

const char* EchoBinary() { return MOS_ECHO_PATH; }

EchoPeer::~EchoPeer() { Stop(); }

bool EchoPeer::Start(const std::string& address, const std::vector<std::string>& options, std::string& error)
{
    if (access(EchoBinary(), X_OK) != 0) {
        error = std::string("mos-echo is missing at ") + EchoBinary() +
            " (it is built from tools/mos-echo; configure with ZELORA_TOOLS=ON)";
        return false;
    }
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::string> argv{EchoBinary(), "--address", address, "--port", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    m_pid = fork();
    if (m_pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (m_pid == 0) {
        // The echo stands for a server on another machine: keep the tests'
        // own load on this one from stalling its replies. Needs privilege;
        // without it the echo simply runs at the usual priority.
        (void)setpriority(PRIO_PROCESS, 0, kEchoNice);
        dup2(out[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);

    // The ready line comes once the socket is bound, so replies can flow.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[256];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    const std::size_t colon = line.rfind(':');
    if (line.find("listening on") == std::string::npos || colon == std::string::npos) {
        error = "mos-echo did not report ready on " + address + ": '" + line + "'";
        Stop();
        return false;
    }
    m_port = std::atoi(line.c_str() + colon + 1);
    return m_port > 0;
}

int EchoPeer::Stop()
{
    if (m_pid <= 0)
        return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 50 && (done = waitpid(m_pid, &status, WNOHANG)) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return -1;
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
