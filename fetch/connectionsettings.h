#pragma once

#include <string>

// The six connection settings a fetch worker reads once, at its start.
struct CConnectionSettings {
    int proxy = 0; // "Proxy": use the proxies below
    std::string httpProxyServer;
    int httpProxyPort = 80;
    std::string socksProxyServer;
    int socksProxyPort = 1080;
    std::string noProxies; // bypass list, as the user wrote it
};

// The proxy list in its classic form, for example "http=proxyhost:8080;socks=sockshost:1080";
// empty when no proxy is to be used (switch off, or no server named).
std::string BuildProxyList(const CConnectionSettings& settings);
