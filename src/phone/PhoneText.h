#pragma once
// Small text helpers of the phone's controllers.
#include <algorithm>
#include <cctype>
#include <string>

namespace phonetext {

inline std::string Trim(const std::string& text)
{
    std::size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    std::size_t e = text.find_last_not_of(" \t\r\n");
    return text.substr(b, e - b + 1);
}

inline bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace phonetext
