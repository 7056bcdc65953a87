#include "fetch/proxyroute.h"

#include "fetch/classicchars.h"
#include "fetch/connectionsettings.h"
#include "fetch/proxybypass.h"
#include "fetch/urlsplitter.h"

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = ClassicChars::ToLower(static_cast<unsigned char>(c));
    return lower;
}

bool IsListSeparator(char c) {
    return c == ';' || ClassicChars::IsSpace(static_cast<unsigned char>(c));
}

// The "host:port" of the entry "scheme=host:port" in a proxy list, or empty when absent.
std::string ProxyListEntry(std::string_view list, std::string_view scheme) {
    std::size_t pos = 0;
    while (pos < list.size()) {
        while (pos < list.size() && IsListSeparator(list[pos]))
            ++pos;
        std::size_t end = pos;
        while (end < list.size() && !IsListSeparator(list[end]))
            ++end;
        const std::string_view entry = list.substr(pos, end - pos);
        const std::size_t equals = entry.find('=');
        if (equals != std::string_view::npos && Lower(entry.substr(0, equals)) == scheme)
            return std::string(entry.substr(equals + 1));
        pos = end;
    }
    return {};
}

// A bare IPv6 address as proxy server ("::1:8080") needs brackets in a proxy URL.
std::string BracketIpv6Host(const std::string& hostPort) {
    const std::size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos || hostPort.find(':') == colon || hostPort.front() == '[')
        return hostPort;
    // Appended piece by piece: a "[" + ... chain draws a GCC 12 -Wrestrict false positive.
    std::string bracketed;
    bracketed.reserve(hostPort.size() + 2);
    bracketed.append(1, '[').append(hostPort, 0, colon).append(1, ']').append(hostPort, colon);
    return bracketed;
}

} // namespace

CProxyRoute ChooseProxyRoute(std::string_view url, const CConnectionSettings& settings) {
    CProxyRoute route;
    const std::string list = BuildProxyList(settings);
    if (list.empty()) {
        route.agent = "Wayfold";
        return route;
    }
    route.agent = "QUORL";
    const CUrlSplitter split(url);
    if (IsBypassedHost(split.Host(), settings.noProxies)) {
        route.kind = CProxyRoute::EKind::Direct;
        return route;
    }
    const std::string http = ProxyListEntry(list, "http");
    const std::string socks = ProxyListEntry(list, "socks");
    const bool plainHttp = Lower(split.Scheme()) == "http";
    const bool useSocks = plainHttp ? http.empty() : !socks.empty();
    route.kind = CProxyRoute::EKind::Proxy;
    if (useSocks) {
        route.proxyUrl = "socks5h://" + BracketIpv6Host(socks);
    } else {
        route.proxyUrl = "http://" + BracketIpv6Host(http);
        route.tunnel = !plainHttp;
    }
    return route;
}
