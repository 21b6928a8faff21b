#pragma once
// The system proxy setting: the http_proxy/https_proxy/no_proxy environment values,
// turned into the proxy-list text ("http=host:port https=host:port") and bypass list.
#include <string>

namespace zelora::inet {

struct InetProxyConfig {
    std::string httpProxy; // "host:port", empty for a direct connection
    std::string httpsProxy;
    std::string bypass; // comma-separated host names or suffixes
};

// Reads the lower-case variables first, then the upper-case ones.
InetProxyConfig PreconfigProxy();
// Reads a proxy-list text: "http=h:p https=h:p" or a plain "h:p" for every scheme.
// Entries may be separated by spaces or semicolons; a bypass list by spaces, ';' or ','.
InetProxyConfig ParseProxyList(const std::string& list, const std::string& bypass);
std::string ProxyListText(const InetProxyConfig& config);
// "http://user@host:3128/" -> "host:3128"; empty for an unusable value.
std::string NormaliseProxy(const std::string& value);

} // namespace zelora::inet
