#pragma once
// What every program does first: open its log file, let the platform layer log through
// the logger, load the deployment values.
#include <string>

class CStartup {
public:
    // 1 on success; -1 the log could not be opened (the program runs on, unlogged);
    // -2 the deployment values could not be loaded (`error` says which value or file).
    // An empty resource folder means the built-in one.
    static int Init(const std::string& program, const std::string& resourceFolder = {}, std::string* error = nullptr);
    // Routes platform-layer reports into the logger (also done by Init).
    static void InstallPlatformLogHook();
};
