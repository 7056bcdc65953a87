#include "fetch/connectionsettings.h"

std::string BuildProxyList(const CConnectionSettings& settings) {
    if (!settings.proxy)
        return {};
    std::string list;
    if (!settings.httpProxyServer.empty()) {
        list = "http=" + settings.httpProxyServer + ":" + std::to_string(settings.httpProxyPort);
        if (!settings.socksProxyServer.empty())
            list += ";socks=" + settings.socksProxyServer + ":" +
                    std::to_string(settings.socksProxyPort);
    } else if (!settings.socksProxyServer.empty()) {
        list = "socks=" + settings.socksProxyServer + ":" + std::to_string(settings.socksProxyPort);
    }
    return list;
}
