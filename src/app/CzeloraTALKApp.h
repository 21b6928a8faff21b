#pragma once
// The desktop program's start and end around its windows: where the settings live
// (registry, or the settings file beside a program on a fixed USB disk), one running program
// per user (a later start hands its number over and ends), the command line's number, the
// logger values and the HTTP client. The windows themselves are the caller's.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CCommandLineArgument.h"
#include "platform/SingleInstance.h"

class CzeloraTALKApp {
public:
    static constexpr const char* kProgram = "zeloraTALK";
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailed = 1;

    struct Options {
        std::vector<std::string> parameters; // the command line after the program's name
        std::string sysRoot = "/sys"; // where the drive of the program is looked up
        std::string executable; // empty: /proc/self/exe
        std::function<int()> initInet; // 1 on success
        std::function<void()> exitInet;
    };

    // Construction decides the settings source (and, portable, moves the user's folders
    // beside the program) before any thread starts.
    explicit CzeloraTALKApp(Options options);
    // Logs "Exiting Logger" and shuts the logger down.
    ~CzeloraTALKApp();
    CzeloraTALKApp(const CzeloraTALKApp&) = delete;
    CzeloraTALKApp& operator=(const CzeloraTALKApp&) = delete;

    // Runs the program: `window` runs the windows until they close and returns the exit
    // code. kExitOk without calling it when another start runs (the number was handed over);
    // kExitFailed when the deployment values or the HTTP client are missing (`error` says why).
    int Run(const std::function<int(CzeloraTALKApp&)>& window, std::string* error = nullptr);

    // Folder of the executable, ending in '/'.
    const std::string& ProgramFolder() const { return m_programFolder; }
    bool Portable() const { return m_portable; }
    const CCommandLineArgument& CommandLine() const { return m_commandLine; }
    // Listening after Run's start, for the windows to watch.
    zelora::SingleInstance& Instance() { return *m_instance; }

    // Beside the program in portable mode; the user's folders otherwise.
    static void UsePortableFolders(const std::string& programFolder);

private:
    void ReadLoggerValues();

    Options m_options;
    std::string m_programFolder;
    bool m_portable = false;
    CCommandLineArgument m_commandLine;
    std::unique_ptr<zelora::SingleInstance> m_instance;
};
