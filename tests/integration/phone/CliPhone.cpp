#include "CliPhone.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace phone_it {

CliPhone::~CliPhone() { Stop(); }

std::string CliPhone::Start(const Options& options)
{
    m_options = options;
    if (options.program.empty() || access(options.program.c_str(), X_OK) != 0)
        return "zeloratalk-cli not built (" + options.program + ")";
    std::error_code ec;
    for (const char* sub : {"config", "data", "state", "runtime"})
        std::filesystem::create_directories(std::filesystem::path(options.home) / sub, ec);
    if (!options.appPath.empty() && !std::filesystem::exists(options.home + "/config/zeloraTALK/registry.ini")) {
        std::filesystem::create_directories(std::filesystem::path(options.home) / "config" / "zeloraTALK", ec);
        std::ofstream registry(options.home + "/config/zeloraTALK/registry.ini");
        registry << "[Software\\zeloraTALK\\zeloraTALK]\nAppPath=sz:" << options.appPath << "\n";
    }
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        return "pipe failed";
    std::string audio = "file:" + options.capture + ":" + options.playback;
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + options.home + "/config",
                                    "XDG_DATA_HOME=" + options.home + "/data",
                                    "XDG_STATE_HOME=" + options.home + "/state",
                                    "XDG_RUNTIME_DIR=" + options.home + "/runtime",
                                    "ZELORA_LOCAL_ADDRESS=" + options.localAddress,
                                    "ZELORA_DEPLOYMENT=" + options.deployment,
                                    "ZELORA_AUDIO=" + audio,
                                    "HOME=" + options.home,
                                    "PATH=/usr/bin:/bin"};
    pid_t pid = fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        int log = open((options.home + "/stderr.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0)
            dup2(log, 2);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> command = options.wrapper;
        command.push_back(options.program);
        command.insert(command.end(), options.arguments.begin(), options.arguments.end());
        std::vector<char*> argv;
        for (std::string& a : command)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execve(command[0].c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_pid = pid;
    m_in = in[1];
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_eof = false;
        m_mark = m_lines.size();
    }
    m_reader = std::thread(&CliPhone::ReadLoop, this, out[0]);
    return {};
}

void CliPhone::ReadLoop(int fd)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_lines.push_back(pending.substr(0, nl));
            m_taken.push_back(false);
            pending.erase(0, nl + 1);
            m_cv.notify_all();
        }
    }
    close(fd);
    std::lock_guard<std::mutex> guard(m_mutex);
    m_eof = true;
    m_cv.notify_all();
}

void CliPhone::Send(const std::string& line)
{
    if (m_in < 0)
        return;
    std::string text = line + "\n";
    ssize_t n = write(m_in, text.data(), text.size());
    (void)n;
}

std::string CliPhone::WaitFor(const std::string& text, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (std::size_t i = m_mark; i < m_lines.size(); ++i) {
            if (!m_taken[i] && m_lines[i].find(text) != std::string::npos) {
                m_taken[i] = true;
                return m_lines[i];
            }
        }
        if (m_eof || std::chrono::steady_clock::now() >= deadline)
            return {};
        m_cv.wait_until(lock, deadline);
    }
}

bool CliPhone::Seen(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    for (std::size_t i = m_mark; i < m_lines.size(); ++i)
        if (!m_taken[i] && m_lines[i].find(text) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> CliPhone::Pending()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<std::string> out;
    for (std::size_t i = m_mark; i < m_lines.size(); ++i)
        if (!m_taken[i])
            out.push_back(m_lines[i]);
    return out;
}

void CliPhone::Mark()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_mark = m_lines.size();
}

std::string CliPhone::Transcript()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::string all;
    for (const std::string& l : m_lines)
        all += l + "\n";
    return all;
}

int CliPhone::Stop()
{
    if (m_pid < 0)
        return -1;
    Send("quit");
    close(m_in);
    m_in = -1;
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 200 && done == 0; ++i) {
        done = waitpid(m_pid, &status, WNOHANG);
        if (done == 0)
            usleep(50000);
    }
    if (done == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        status = -1;
    }
    m_pid = -1;
    if (m_reader.joinable())
        m_reader.join();
    if (status == -1)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace phone_it
