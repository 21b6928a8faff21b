#pragma once
// The searchable users: a text file, one user a line (user, name, e-mail, phone separated
// by tabs). Read again when its modification time changes, so a test can add users.
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

struct DirectoryUser {
    std::string user, name, email, phone;
};

// Which columns a search looks in; none set means all of them.
struct DirectoryQuery {
    std::string text;
    bool user = false, name = false, email = false, phone = false;
};

class CUserDirectory {
public:
    static constexpr std::size_t kMaxUsers = 10000;
    static constexpr std::size_t kMaxField = 255;
    static constexpr std::size_t kMaxResults = 50;

    explicit CUserDirectory(std::string path) : m_path(std::move(path)) { }

    // Case-insensitive substring match, in file order, at most kMaxResults.
    std::vector<DirectoryUser> Search(const DirectoryQuery& query);
    // Parses one file's text; malformed lines are skipped and counted.
    static std::vector<DirectoryUser> Parse(const std::string& text, int& skipped);

private:
    void ReloadIfChanged();

    std::string m_path;
    std::mutex m_mutex;
    std::timespec m_loaded{};
    std::vector<DirectoryUser> m_users;
};
