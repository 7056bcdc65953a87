#pragma once

#include "browserlink/browserlinkset.h"

#include <string>

// What opening a site needs of the browser links: whether a link is registered for URL echoes
// (so its browser is alive), and WWW_OpenURL over it. The main frame hands its link set in
// through CLinkSetAccess; tests give a recorder.
class CBrowserLinkAccess {
public:
    virtual ~CBrowserLinkAccess() = default;

    virtual bool IsRegistered(EBrowserLinkIndex which) const = 0;
    // Asks the link's browser to show the URL (WWW_OpenURL); the reply is dropped.
    virtual void OpenUrl(EBrowserLinkIndex which, const std::string& url) = 0;
};
