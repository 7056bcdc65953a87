#include "fetch/fetchworker.h"

#include "fetch/localpage.h"
#include "fetch/pagetext.h"
#include "fetch/pageurl.h"
#include "fetch/proxyroute.h"
#include "fetch/urlsplitter.h"

#include <curl/curl.h>

#include <csignal>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct CEasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CEasyHandle = std::unique_ptr<CURL, CEasyHandleDeleter>;

size_t CollectBody(char* data, size_t size, size_t count, void* userData) {
    auto* page = static_cast<CPageText*>(userData);
    const size_t bytes = size * count;
    // Returning less than was offered ends the transfer; what fitted is kept.
    return page->Append(std::string_view(data, bytes)) ? bytes : 0;
}

void ApplyRoute(CURL* handle, const CProxyRoute& route) {
    curl_easy_setopt(handle, CURLOPT_USERAGENT, route.agent.c_str());
    switch (route.kind) {
    case CProxyRoute::EKind::Environment:
        break; // libcurl reads http_proxy, https_proxy and no_proxy itself
    case CProxyRoute::EKind::Direct:
        curl_easy_setopt(handle, CURLOPT_PROXY, ""); // also ignores the environment
        break;
    case CProxyRoute::EKind::Proxy:
        curl_easy_setopt(handle, CURLOPT_PROXY, route.proxyUrl.c_str());
        curl_easy_setopt(handle, CURLOPT_NOPROXY, ""); // the bypass list has been applied
        curl_easy_setopt(handle, CURLOPT_HTTPPROXYTUNNEL, route.tunnel ? 1L : 0L);
        break;
    }
}

void ApplyTransferOptions(CURL* handle, const std::string& url, const CFetchLimits& limits,
                          CPageText& page) {
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);  // followed here, routed per hop
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, ""); // every encoding libcurl knows
    curl_easy_setopt(handle, CURLOPT_TRANSFERTEXT, 1L);    // ASCII mode for FTP
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &page);
}

// An HTTP answer of 400 or above is an error page, not the page asked for.
bool IsErrorStatus(CURL* handle, std::string_view url) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status >= 400 && CUrlSplitter(url).Class() == EUrlClass::Http;
}

bool IsFollowedRedirect(std::string_view target) {
    return CUrlSplitter(target).Class() == EUrlClass::Http;
}

// Redirects are followed here rather than by libcurl so that every hop gets the proxy its own
// scheme and host call for, and so that a redirect can never lead to a local file.
std::optional<std::string> Download(const std::string& url, const CConnectionSettings& settings,
                                    const CFetchLimits& limits) {
    const CEasyHandle handle(curl_easy_init());
    if (!handle)
        return std::nullopt;
    std::string current = EscapeUrlBytes(url);
    for (int redirects = 0;; ++redirects) {
        CPageText page(limits.maxPageBytes);
        curl_easy_reset(handle.get());
        ApplyRoute(handle.get(), ChooseProxyRoute(current, settings));
        ApplyTransferOptions(handle.get(), current, limits, page);
        curl_easy_perform(handle.get()); // a failure part-way keeps what was read
        if (IsErrorStatus(handle.get(), current))
            return std::nullopt;
        char* location = nullptr;
        curl_easy_getinfo(handle.get(), CURLINFO_REDIRECT_URL, &location);
        if (location == nullptr)
            return page.Finish();
        if (redirects >= limits.maxRedirects || !IsFollowedRedirect(location))
            return std::nullopt;
        current = EscapeUrlBytes(location);
    }
}

bool IsLocalUrl(const std::string& url) {
    const EUrlClass urlClass = CUrlSplitter(url).Class();
    return urlClass == EUrlClass::File || urlClass == EUrlClass::Unrecognised;
}

void RunWorker(const std::string& url, const CConnectionSettings& settings,
               const FetchCompletion& done) {
    std::optional<std::string> page;
    try {
        page = FetchPage(url, settings);
    } catch (...) {
        page.reset(); // out of memory and the like: the worker still reports, without a page
    }
    done(url, std::move(page));
}

} // namespace

bool InitFetchLibrary() {
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] {
        std::signal(SIGPIPE, SIG_IGN);
        initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    });
    return initialised;
}

std::optional<std::string> FetchPage(const std::string& url, const CConnectionSettings& settings,
                                     const CFetchLimits& limits) {
    if (IsLocalUrl(url))
        return ReadLocalPage(LocalPagePath(url), limits.maxPageBytes);
    if (!InitFetchLibrary())
        return std::nullopt;
    return Download(url, settings, limits);
}

void StartFetchWorker(std::string url, CConnectionSettings settings, FetchCompletion done) {
    try {
        std::thread([url, settings = std::move(settings), done]() {
            RunWorker(url, settings, done);
        }).detach();
    } catch (const std::system_error&) {
        done(std::move(url), std::nullopt);
    }
}
