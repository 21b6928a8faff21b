#pragma once
// zelora-diag commands: each area registers its own from its own source file.
#include <cstddef>
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

// Reads a whole file of at most maxBytes; on failure writes the reason to err and returns false.
bool DiagReadFile(const std::string& path, std::size_t maxBytes, std::string& text, std::ostream& err);
