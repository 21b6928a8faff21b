// zelora-diag mos: runs a network-quality probe through libQuvane.so, loaded
// the way any host loads it.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "diag/DiagCommand.h"

namespace {

using MosHandler = double (*)(int, intptr_t, intptr_t, intptr_t);
constexpr const char* kLibraryName = "libQuvane.so";

std::string ExecutableDir()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    std::string dir(path, static_cast<std::size_t>(n));
    const std::size_t slash = dir.rfind('/');
    return slash == std::string::npos ? std::string() : dir.substr(0, slash);
}

// ZELORA_QUVANE_PATH first (the library file itself), then the normal
// library search, then beside this program and in the build tree's layout.
void* LoadQuvane(std::string& tried)
{
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("ZELORA_QUVANE_PATH"); env != nullptr && *env != '\0')
        candidates.emplace_back(env);
    candidates.emplace_back(kLibraryName);
    if (const std::string dir = ExecutableDir(); !dir.empty()) {
        candidates.push_back(dir + "/" + kLibraryName);
        candidates.push_back(dir + "/../quvane/" + kLibraryName);
    }
    for (const std::string& c : candidates) {
        if (void* handle = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
        const char* why = dlerror();
        tried += "  " + c + ": " + (why != nullptr ? why : "not loadable") + "\n";
    }
    return nullptr;
}

bool ParsePort(const std::string& text, long& port)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    port = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && port >= 1 && port <= 65535;
}

int DiagMos(const DiagArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 3 || args[0] != "probe") {
        err << "usage: zelora-diag mos probe <host> <port>\n";
        return 1;
    }
    long port = 0;
    if (!ParsePort(args[2], port)) {
        err << "Invalid port " << args[2] << " (1-65535)\n";
        return 1;
    }
    if (args[1].empty() || args[1].size() > 255) {
        err << "Invalid host (1-255 characters)\n";
        return 1;
    }
    std::string tried;
    void* library = LoadQuvane(tried);
    if (library == nullptr) {
        err << "Cannot load " << kLibraryName << "; tried:\n" << tried;
        return 1;
    }
    auto handler = reinterpret_cast<MosHandler>(dlsym(library, "MosHandlerCallBack"));
    if (handler == nullptr) {
        err << kLibraryName << " has no MosHandlerCallBack\n";
        dlclose(library);
        return 1;
    }
    const double score = handler(0, reinterpret_cast<intptr_t>(args[1].c_str()), static_cast<intptr_t>(port), 0);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", score);
    out << text << "\n";
    dlclose(library);
    return 0;
}

DiagRegistrar reg("mos", "mos probe <host> <port>", DiagMos);

} // namespace
