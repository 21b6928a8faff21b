#include "platform/ProcessList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/close_range.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelora {

namespace {

std::string Folded(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string BaseName(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A process that has ended but is not reaped yet (state Z) runs no program any more.
bool IsZombie(const std::string& folder)
{
    std::ifstream stat(folder + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

// The executable's file name of one process, "" when it has none (kernel threads, zombies).
// `cut`: only the kernel's command name was readable, at most 15 characters of the name.
std::string ExecutableName(const std::string& folder, bool& cut)
{
    cut = false;
    char target[PATH_MAX];
    ssize_t n = readlink((folder + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string path(target, static_cast<std::size_t>(n));
        // A replaced executable reads "... (deleted)": still the same program.
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return BaseName(path);
    }
    std::ifstream comm(folder + "/comm");
    std::string name;
    std::getline(comm, name);
    cut = true;
    return name;
}

} // namespace

pid_t ProcessList::FindByExecutableName(const std::string& name, const std::string& procRoot)
{
    if (name.empty())
        return -1;
    DIR* dir = opendir(procRoot.c_str());
    if (dir == nullptr)
        return -1;
    const std::string wanted = Folded(name);
    const pid_t self = getpid();
    const uid_t uid = geteuid();
    pid_t found = -1;
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid <= 0 || pid == self)
            continue;
        if (found != -1 && pid >= found)
            continue;
        bool cut = false;
        const std::string folder = procRoot + "/" + entry->d_name;
        std::string exe = ExecutableName(folder, cut);
        // Only this user's own: another user's program of the same name is none of ours to end.
        struct stat owner { };
        if (stat(folder.c_str(), &owner) != 0 || owner.st_uid != uid)
            continue;
        if (!exe.empty() && Folded(exe) == (cut ? wanted.substr(0, 15) : wanted) && !IsZombie(folder))
            found = static_cast<pid_t>(pid);
    }
    closedir(dir);
    return found;
}

int ProcessList::Terminate(pid_t pid)
{
    if (pid <= 0)
        return -EINVAL;
    return kill(pid, SIGTERM) == 0 ? 0 : -errno;
}

int ProcessList::Open(const std::string& path)
{
    if (path.empty())
        return -ENOENT;
    struct stat st { };
    if (stat(path.c_str(), &st) != 0)
        return -errno;
    if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0)
        return Spawn({path});
    return Spawn({"xdg-open", path});
}

int ProcessList::Spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // Whatever the phone holds open (its sockets, the single-instance listener) must not live on
    // in the program started: everything past stderr is closed at the exec.
    rlimit files{};
    const unsigned lastFd =
        getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536 ? static_cast<unsigned>(files.rlim_cur) : 65536;
    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return -errno;
    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        close(report[0]);
        close(report[1]);
        return -error;
    }
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        close(report[0]);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
            for (unsigned fd = 3; fd < lastFd; ++fd)
                fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        setsid();
        pid_t grandchild = fork();
        if (grandchild != 0)
            _exit(grandchild < 0 ? 1 : 0);
        execvp(args[0], args.data());
        int error = errno;
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (n == static_cast<ssize_t>(sizeof error))
        return -error;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -ECHILD;
    return 1;
}

} // namespace zelora
