#include "CInviteLog.h"

#include "UrlForm.h"

#include <map>

std::string CInviteLog::Handle(const std::string& body, int& httpStatus)
{
    httpStatus = 400;
    std::map<std::string, std::string> form;
    std::string error;
    if (!ParseUrlForm(body, kMaxField, form, error))
        return error + "\n";
    const std::string& to = form["to"];
    const std::string& user = form["username"];
    const auto at = to.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == to.size() || to.find_first_of(" \r\n") != std::string::npos)
        return "bad address\n";
    if (user.empty() || user.find_first_of(" \r\n") != std::string::npos)
        return "bad username\n";
    if (form["invite"] != "true")
        return "not an invitation\n";
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_count;
    m_lines.push_back("invited " + to + " " + user + "\n");
    if (m_lines.size() > kKept)
        m_lines.pop_front();
    httpStatus = 200;
    return "sent\n";
}

std::string CInviteLog::Lines()
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::string text = m_count > 0 ? "invite " + std::to_string(m_count) + "\n" : std::string();
    for (const std::string& line : m_lines)
        text += line;
    return text;
}
