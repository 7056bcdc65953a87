#pragma once

#include <string>
#include <string_view>

struct CConnectionSettings;

// How a fetch reaches one URL, worked out from the connection settings.
struct CProxyRoute {
    enum class EKind {
        Environment, // no proxy list: libcurl follows http_proxy, https_proxy and no_proxy
        Direct,      // the host is on the bypass list: no proxy at all
        Proxy        // through `proxyUrl`
    };
    EKind kind = EKind::Environment;
    std::string proxyUrl; // "http://host:port" or "socks5h://host:port" (host resolved by proxy)
    bool tunnel = false;  // CONNECT through the HTTP proxy (every scheme but plain http)
    std::string agent;    // "QUORL" with a proxy list, "Wayfold" without
};

// With a proxy list an "http" URL goes through the http= entry (the socks= entry when there is
// no http= entry); every other scheme through the socks= entry when there is one, else
// through the http= entry. A host on the bypass list is reached directly. The URL is not
// checked further; a URL without host gets the route its scheme chooses.
CProxyRoute ChooseProxyRoute(std::string_view url, const CConnectionSettings& settings);
