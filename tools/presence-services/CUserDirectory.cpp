#include "CUserDirectory.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool Contains(const std::string& field, const std::string& lowerText)
{
    return Lower(field).find(lowerText) != std::string::npos;
}

} // namespace

std::vector<DirectoryUser> CUserDirectory::Parse(const std::string& text, int& skipped)
{
    std::vector<DirectoryUser> users;
    std::istringstream in(text);
    std::string line;
    skipped = 0;
    while (std::getline(in, line) && users.size() < kMaxUsers) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(line.substr(start, tab - start));
        f.push_back(line.substr(start));
        const bool tooLong = std::any_of(f.begin(), f.end(), [](const std::string& s) { return s.size() > kMaxField; });
        if (f.size() != 4 || f[0].empty() || tooLong) {
            ++skipped;
            continue;
        }
        users.push_back({f[0], f[1], f[2], f[3]});
    }
    return users;
}

void CUserDirectory::ReloadIfChanged()
{
    struct stat st { };
    if (m_path.empty() || stat(m_path.c_str(), &st) != 0) {
        m_users.clear();
        return;
    }
    if (st.st_mtim.tv_sec == m_loaded.tv_sec && st.st_mtim.tv_nsec == m_loaded.tv_nsec)
        return;
    std::ifstream file(m_path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    int skipped = 0;
    m_users = Parse(text.str(), skipped);
    m_loaded = st.st_mtim;
    if (skipped > 0)
        std::fprintf(stderr, "presence-services: %s: %d malformed lines skipped\n", m_path.c_str(), skipped);
}

std::vector<DirectoryUser> CUserDirectory::Search(const DirectoryQuery& query)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ReloadIfChanged();
    const std::string text = Lower(query.text);
    const bool all = !(query.user || query.name || query.email || query.phone);
    std::vector<DirectoryUser> found;
    for (const DirectoryUser& u : m_users) {
        if (found.size() >= kMaxResults)
            break;
        if (((all || query.user) && Contains(u.user, text)) || ((all || query.name) && Contains(u.name, text)) ||
            ((all || query.email) && Contains(u.email, text)) || ((all || query.phone) && Contains(u.phone, text)))
            found.push_back(u);
    }
    return found;
}
