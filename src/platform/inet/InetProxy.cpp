#include "platform/inet/InetProxy.h"

#include <cstdlib>
#include <string_view>

namespace zelora::inet {

namespace {

std::string EnvValue(const char* lower, const char* upper)
{
    const char* value = std::getenv(lower);
    if (value == nullptr || *value == '\0') {
        value = std::getenv(upper);
    }
    return value != nullptr ? std::string(value) : std::string();
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ';' || c == ','; }

std::string JoinBypass(const std::string& text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i])) {
            ++i;
        }
        std::size_t start = i;
        while (i < text.size() && !IsSeparator(text[i])) {
            ++i;
        }
        if (i > start) {
            if (!out.empty()) {
                out += ',';
            }
            out.append(text, start, i - start);
        }
    }
    return out;
}

} // namespace

std::string NormaliseProxy(const std::string& value)
{
    std::string_view v(value);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) {
        v.remove_prefix(1);
    }
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r' || v.back() == '\n')) {
        v.remove_suffix(1);
    }
    if (auto scheme = v.find("://"); scheme != std::string_view::npos) {
        v.remove_prefix(scheme + 3);
    }
    if (auto at = v.rfind('@'); at != std::string_view::npos) {
        v.remove_prefix(at + 1);
    }
    if (auto slash = v.find('/'); slash != std::string_view::npos) {
        v = v.substr(0, slash);
    }
    for (char c : v) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '\\') {
            return {};
        }
    }
    return std::string(v);
}

InetProxyConfig PreconfigProxy()
{
    InetProxyConfig config;
    config.httpProxy = NormaliseProxy(EnvValue("http_proxy", "HTTP_PROXY"));
    config.httpsProxy = NormaliseProxy(EnvValue("https_proxy", "HTTPS_PROXY"));
    config.bypass = JoinBypass(EnvValue("no_proxy", "NO_PROXY"));
    return config;
}

InetProxyConfig ParseProxyList(const std::string& list, const std::string& bypass)
{
    InetProxyConfig config;
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && IsSeparator(list[i])) {
            ++i;
        }
        std::size_t start = i;
        while (i < list.size() && !IsSeparator(list[i])) {
            ++i;
        }
        if (i == start) {
            break;
        }
        std::string entry = list.substr(start, i - start);
        auto eq = entry.find('=');
        if (eq == std::string::npos) {
            config.httpProxy = config.httpsProxy = NormaliseProxy(entry);
        } else if (entry.compare(0, eq, "http") == 0) {
            config.httpProxy = NormaliseProxy(entry.substr(eq + 1));
        } else if (entry.compare(0, eq, "https") == 0) {
            config.httpsProxy = NormaliseProxy(entry.substr(eq + 1));
        }
    }
    config.bypass = JoinBypass(bypass);
    return config;
}

std::string ProxyListText(const InetProxyConfig& config)
{
    std::string text;
    if (!config.httpProxy.empty()) {
        text = "http=" + config.httpProxy;
    }
    if (!config.httpsProxy.empty()) {
        if (!text.empty()) {
            text += ' ';
        }
        text += "https=" + config.httpsProxy;
    }
    return text;
}

} // namespace zelora::inet
