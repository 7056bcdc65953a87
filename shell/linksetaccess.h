#pragma once

#include "shell/browserlinkaccess.h"

class CBrowserLinkSet;

// CBrowserLinkAccess over the main frame's four browser links.
class CLinkSetAccess : public CBrowserLinkAccess {
public:
    // The set is not owned and must outlive this object.
    explicit CLinkSetAccess(CBrowserLinkSet& links) : m_links(links) {}

    bool IsRegistered(EBrowserLinkIndex which) const override;
    // WWW_OpenURL with the URL, no file, form data or MIME type, window 0xFFFFFFFF (any
    // window), flags 0, and the link's own service name as the progress server.
    void OpenUrl(EBrowserLinkIndex which, const std::string& url) override;

private:
    CBrowserLinkSet& m_links;
};
