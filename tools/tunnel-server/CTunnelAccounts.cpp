#include "CTunnelAccounts.h"

#include <fstream>
#include <sstream>

int CTunnelAccounts::Load(const std::string& path, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read accounts file " + path;
        return -1;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.resize(hash);
        std::istringstream words(line);
        std::string user, password, extra;
        if (!(words >> user))
            continue;
        if (!(words >> password) || (words >> extra) || user.size() > 30 || password.size() > 30) {
            error = path + ":" + std::to_string(number) + ": expected \"user password\" (at most 30 characters each)";
            return -1;
        }
        m_accounts[user] = password;
    }
    return 1;
}

bool CTunnelAccounts::Check(const std::string& user, const std::string& password) const
{
    auto it = m_accounts.find(user);
    return it != m_accounts.end() && it->second == password;
}
