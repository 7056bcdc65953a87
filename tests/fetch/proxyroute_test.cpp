#include "fetch/connectionsettings.h"
#include "fetch/proxybypass.h"
#include "fetch/proxyroute.h"

#include <gtest/gtest.h>

namespace {

CConnectionSettings Proxies(std::string http, int httpPort, std::string socks, int socksPort,
                            std::string noProxies = {}) {
    CConnectionSettings settings;
    settings.proxy = 1;
    settings.httpProxyServer = std::move(http);
    settings.httpProxyPort = httpPort;
    settings.socksProxyServer = std::move(socks);
    settings.socksProxyPort = socksPort;
    settings.noProxies = std::move(noProxies);
    return settings;
}

TEST(ProxyList, BothProxiesGiveHttpThenSocksEntry) {
    EXPECT_EQ(BuildProxyList(Proxies("proxyhost", 8080, "sockshost", 1080)),
              "http=proxyhost:8080;socks=sockshost:1080");
}

TEST(ProxyList, OnlyOneProxyGivesOnlyItsEntry) {
    EXPECT_EQ(BuildProxyList(Proxies("", 8080, "sockshost", 1080)), "socks=sockshost:1080");
    EXPECT_EQ(BuildProxyList(Proxies("proxyhost", 3128, "", 1080)), "http=proxyhost:3128");
}

TEST(ProxyList, SwitchOffOrNoServerGivesNoList) {
    CConnectionSettings off = Proxies("proxyhost", 8080, "sockshost", 1080);
    off.proxy = 0;
    EXPECT_EQ(BuildProxyList(off), "");
    EXPECT_EQ(BuildProxyList(Proxies("", 8080, "", 1080, "*.example.org")), "");
}

TEST(ProxyRoute, WithoutListTheEnvironmentDecidesAndBypassListIsUnused) {
    const CProxyRoute route =
        ChooseProxyRoute("http://intranet/", Proxies("", 8080, "", 1080, "intranet"));
    EXPECT_EQ(route.kind, CProxyRoute::EKind::Environment);
    EXPECT_EQ(route.agent, "Wayfold");
    CConnectionSettings off = Proxies("proxyhost", 8080, "", 1080);
    off.proxy = 0;
    EXPECT_EQ(ChooseProxyRoute("http://a.org/", off).kind, CProxyRoute::EKind::Environment);
}

TEST(ProxyRoute, SchemeChoosesTheEntry) {
    struct Case {
        const char* url;
        CConnectionSettings settings;
        const char* proxy;
        bool tunnel;
    } cases[] = {
        {"http://a.org/", Proxies("web", 8080, "sock", 1080), "http://web:8080", false},
        {"HTTP://a.org/", Proxies("web", 8080, "sock", 1080), "http://web:8080", false},
        {"https://a.org/", Proxies("web", 8080, "sock", 1080), "socks5h://sock:1080", false},
        {"ftp://a.org/f", Proxies("web", 8080, "sock", 1080), "socks5h://sock:1080", false},
        {"https://a.org/", Proxies("web", 8080, "", 1080), "http://web:8080", true},
        {"ftp://a.org/f", Proxies("web", 8080, "", 1080), "http://web:8080", true},
        {"http://a.org/", Proxies("", 8080, "sock", 1081), "socks5h://sock:1081", false},
        {"http://a.org/", Proxies("::1", 3128, "", 1080), "http://[::1]:3128", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const CProxyRoute route = ChooseProxyRoute(c.url, c.settings);
        EXPECT_EQ(route.kind, CProxyRoute::EKind::Proxy);
        EXPECT_EQ(route.proxyUrl, c.proxy);
        EXPECT_EQ(route.tunnel, c.tunnel);
        EXPECT_EQ(route.agent, "QUORL");
    }
}

TEST(ProxyRoute, BypassedHostGoesDirectWithTheProxyAgent) {
    const auto settings = Proxies("web", 8080, "sock", 1080, "*.example.org;<local>");
    const CProxyRoute bypassed = ChooseProxyRoute("https://www.example.org:8443/x", settings);
    EXPECT_EQ(bypassed.kind, CProxyRoute::EKind::Direct);
    EXPECT_EQ(bypassed.agent, "QUORL");
    EXPECT_EQ(ChooseProxyRoute("http://user@intranet/", settings).kind, CProxyRoute::EKind::Direct);
    EXPECT_EQ(ChooseProxyRoute("http://example.org.evil.net/", settings).kind,
              CProxyRoute::EKind::Proxy);
}

TEST(ProxyBypass, ClassicListSyntax) {
    struct Case {
        const char* host;
        const char* list;
        bool bypassed;
    } cases[] = {
        {"www.example.org", "*.example.org", true},
        {"deep.www.example.org", "*.example.org", true},
        {"example.org", "*.example.org", false},
        {"WWW.Example.ORG", "*.example.org", true},
        {"192.168.1.20", "192.168.*", true},
        {"10.192.168.1", "192.168.*", false},
        {"intranet", "<local>", true},
        {"intranet", "<LOCAL>", true},
        {"intra.net", "<local>", false},
        {"b.org", "a.org;b.org", true},
        {"b.org", "a.org  b.org", true},
        {"b.org", "a.org;\t\n b.org;", true},
        {"c.org", "a.org; b.org", false},
        {"b.org", "", false},
        {"", "*", false},
        {"anything.at.all", "*", true},
        {"abc", "a*c", true},
        {"abbbc", "a*b*c", true},
        {"abcd", "a*c", false},
        {"ab", "ab*", true},
        {"mail.example.org", "*ex*.org", true},
        {"a.org", "a.org:8080", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " in [" + c.list + "]");
        EXPECT_EQ(IsBypassedHost(c.host, c.list), c.bypassed);
    }
}

} // namespace
