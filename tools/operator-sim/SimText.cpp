#include "SimText.h"

#include <cstdlib>

#include "platform/HexString.h"

bool ParseDecimal(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

bool PercentDecode(const std::string& text, bool plusIsSpace, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (plusIsSpace && text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%') {
            const int high = i + 2 < text.size() ? zelora::HexNibble(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? zelora::HexNibble(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return true;
}

std::vector<std::string> SplitText(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}
