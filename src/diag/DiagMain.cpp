// zelora-diag: operator and support tool.
#include <cstring>
#include <fstream>
#include <iostream>

#include "diag/DiagCommand.h"

namespace {
std::vector<DiagCommand>& registry()
{
    static std::vector<DiagCommand> commands;
    return commands;
}

void usage(std::ostream& os)
{
    os << "usage: zelora-diag <command> [arguments]\n";
    for (const DiagCommand& c : registry())
        os << "  zelora-diag " << c.usage << "\n";
}
} // namespace

DiagRegistrar::DiagRegistrar(const char* name, const char* usage, DiagHandler handler)
{
    registry().push_back(DiagCommand{name, usage, handler});
}

const std::vector<DiagCommand>& DiagCommands() { return registry(); }

bool DiagTakeOption(DiagArgs& args, const std::string& name, std::string& value)
{
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            return true;
        }
    }
    return false;
}

bool DiagReadFile(const std::string& path, std::size_t maxBytes, std::string& text, std::ostream& err)
{
    text.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        err << "Unable to open " << path << "\n";
        return false;
    }
    char chunk[16384];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > maxBytes) {
            err << path << " is larger than " << maxBytes << " bytes\n";
            text.clear();
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        usage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 1 : 0;
    }
    DiagArgs args(argv + 2, argv + argc);
    for (const DiagCommand& c : registry()) {
        if (c.name == std::string(argv[1])) {
            int rc = c.handler(args, std::cout, std::cerr);
            std::cout.flush();
            return rc;
        }
    }
    std::cerr << "Unknown command " << argv[1] << "\n";
    usage(std::cerr);
    return 1;
}
