#pragma once
// What stands where the process snapshot and the shell's open verb were: the running processes
// read from /proc, and starting a program detached from this one.
#include <string>
#include <sys/types.h>
#include <vector>

namespace zelora {

class ProcessList {
public:
    // The first process of this user (lowest id, this one excluded) whose executable's file name equals `name`
    // ignoring case; -1 when none. The executable is /proc/<pid>/exe; where that cannot be read
    // (another user's process) the kernel's command name stands in.
    static pid_t FindByExecutableName(const std::string& name, const std::string& procRoot = "/proc");
    // Ends the process (SIGTERM). 0, or -errno.
    static int Terminate(pid_t pid);
    // Starts `path` with no arguments, detached: it outlives this process and is never a zombie
    // of it. An executable file is run itself, anything else goes to xdg-open. 1 when the program
    // started, else -errno of the failing step.
    static int Open(const std::string& path);

private:
    static int Spawn(const std::vector<std::string>& argv);
};

} // namespace zelora
