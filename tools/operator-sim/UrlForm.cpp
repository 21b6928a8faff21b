#include "UrlForm.h"

#include "platform/HexString.h"

namespace {

bool UrlDecode(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
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

} // namespace

bool ParseUrlForm(const std::string& body, std::size_t maxValue, std::map<std::string, std::string>& form,
                  std::string& error)
{
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string pair = body.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        std::string key, value;
        if (eq == std::string::npos || !UrlDecode(pair.substr(0, eq), key) || !UrlDecode(pair.substr(eq + 1), value)) {
            error = "bad form";
            return false;
        }
        if (value.size() > maxValue) {
            error = "value too long";
            return false;
        }
        form[key] = value;
    }
    return true;
}
