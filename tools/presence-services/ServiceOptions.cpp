#include "ServiceOptions.h"

#include <cstdlib>

const char* ServiceUsage()
{
    return "usage: presence-services --secret TEXT [--server ADDRESS] [--port N] [--domain NAME]\n"
           "                         [--users FILE]\n"
           "Connects search.NAME, yahoo.NAME, msn.NAME and gtalk.NAME to the server's component port.\n"
           "FILE holds one user a line: user<TAB>name<TAB>email<TAB>phone ('#' starts a comment).\n";
}

bool ParseServiceOptions(const std::vector<std::string>& args, ServiceOptions& options, std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            error.clear();
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "missing value after " + a;
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--server") {
            options.server = v;
        } else if (a == "--port") {
            char* end = nullptr;
            const long p = std::strtol(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || p < 1 || p > 65535) {
                error = "bad port " + v;
                return false;
            }
            options.port = static_cast<int>(p);
        } else if (a == "--domain") {
            options.domain = v;
        } else if (a == "--secret") {
            options.secret = v;
        } else if (a == "--users") {
            options.users = v;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (options.secret.empty()) {
        error = "--secret is required";
        return false;
    }
    return true;
}
