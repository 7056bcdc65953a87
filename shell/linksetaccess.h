#pragma once

#include "shell/browserlinkaccess.h"

#include <functional>

class CBrowserLinkSet;

// CBrowserLinkAccess over the main frame's four browser links.
class CLinkSetAccess : public CBrowserLinkAccess {
public:
    // `links` gives the current link set, or null when there is none (before the links are
    // made, after they are gone): then no link is registered and nothing is sent.
    explicit CLinkSetAccess(std::function<CBrowserLinkSet*()> links) : m_links(std::move(links)) {}

    bool IsRegistered(EBrowserLinkIndex which) const override;
    // WWW_OpenURL with the URL, no file, form data or MIME type, window 0xFFFFFFFF (any
    // window), flags 0, and the link's own service name as the progress server. Returns at once;
    // the link sends it after the verb it may still wait for.
    void OpenUrl(EBrowserLinkIndex which, const std::string& url) override;

private:
    std::function<CBrowserLinkSet*()> m_links;
};
