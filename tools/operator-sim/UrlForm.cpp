#include "UrlForm.h"

#include "SimText.h"

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
        if (eq == std::string::npos || !PercentDecode(pair.substr(0, eq), true, key) ||
            !PercentDecode(pair.substr(eq + 1), true, value)) {
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
