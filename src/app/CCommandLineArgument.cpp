#include "app/CCommandLineArgument.h"

#include <algorithm>
#include <cctype>

namespace {

std::string trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// What follows "sip:": "user@host;params?headers" -> "user".
std::string sipUser(const std::string& rest)
{
    std::string address = rest.substr(0, rest.find_first_of(";?"));
    std::size_t at = address.find('@');
    return at == std::string::npos ? address : address.substr(0, at);
}

// What follows "tel:": the digits without the blanks, dashes, dots and brackets that only
// make a number readable, and without parameters.
std::string telNumber(const std::string& rest)
{
    std::string out;
    for (char c : rest.substr(0, rest.find(';'))) {
        if (c != ' ' && c != '-' && c != '.' && c != '(' && c != ')')
            out += c;
    }
    return out;
}

} // namespace

bool CCommandLineArgument::ParseParameter(const std::string& parameter, std::string& number)
{
    std::string text = trim(parameter);
    std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string scheme = lower(trim(text.substr(0, colon)));
    std::string rest = trim(text.substr(colon + 1));
    if (rest.compare(0, 2, "//") == 0)
        rest = rest.substr(2);
    std::string result;
    if (scheme == "callto")
        result = trim(rest.substr(0, rest.find(':')));
    else if (scheme == "sip" || scheme == "sips")
        result = sipUser(rest);
    else if (scheme == "tel")
        result = telNumber(rest);
    else
        return false;
    // A text of the record size: 255 characters and the terminator.
    if (result.empty() || result.size() > 255)
        return false;
    number = result;
    return true;
}

CCommandLineArgument::CCommandLineArgument(const std::vector<std::string>& parameters)
{
    for (const std::string& parameter : parameters) {
        if (ParseParameter(parameter, m_number)) {
            m_found = true;
            return;
        }
    }
}
