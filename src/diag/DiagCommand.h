#pragma once
// zelora-diag commands: each area registers its own from its own source file.
#include <iosfwd>
#include <string>
#include <vector>

using DiagArgs = std::vector<std::string>;
// Returns the process exit code: 0 success, 1 failure (message already on `err`).
using DiagHandler = int (*)(const DiagArgs& args, std::ostream& out, std::ostream& err);

struct DiagCommand {
    const char* name;
    const char* usage;
    DiagHandler handler;
};

class DiagRegistrar {
public:
    DiagRegistrar(const char* name, const char* usage, DiagHandler handler);
};

const std::vector<DiagCommand>& DiagCommands();

// Value of "--name value" in args (removed from args), or fallback when absent.
bool DiagTakeOption(DiagArgs& args, const std::string& name, std::string& value);
