#pragma once
// Subscriber accounts of the tunnel server: one "user password" pair a line, '#' starts a comment.
#include <map>
#include <string>

class CTunnelAccounts {
public:
    // 1, or -1 when the file cannot be read (the message is in `error`).
    int Load(const std::string& path, std::string& error);
    bool Check(const std::string& user, const std::string& password) const;
    bool Exists(const std::string& user) const { return m_accounts.count(user) != 0; }
    std::size_t Size() const { return m_accounts.size(); }

private:
    std::map<std::string, std::string> m_accounts;
};
