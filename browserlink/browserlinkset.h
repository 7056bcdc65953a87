#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

class CBrowserLink;
class CBrowserLinkOwner;

// The four browser links the main frame holds, in creation order, with their
// registered-for-URL-echo flags.
enum EBrowserLinkIndex {
    kLinkNSShell,
    kLinkNetscape,
    kLinkIExplore,
    kLinkOpera,
    kBrowserLinkCount
};

class CBrowserLinkSet {
public:
    // Creates the links "NSShell", "NETSCAPE", "IEXPLORE" and "OPERA" (TARN1 to TARN4 in a
    // fresh process); all start unregistered. The owner is not owned.
    explicit CBrowserLinkSet(CBrowserLinkOwner* owner);
    // Destroys the links in creation order without unregistering the echoes.
    ~CBrowserLinkSet();
    CBrowserLinkSet(const CBrowserLinkSet&) = delete;
    CBrowserLinkSet& operator=(const CBrowserLinkSet&) = delete;

    CBrowserLink& Link(EBrowserLinkIndex which) { return *m_links[which]; }
    bool IsRegistered(EBrowserLinkIndex which) const { return m_registered[which]; }

    // Visits NETSCAPE, OPERA, NSShell, IEXPLORE: a registered browser that no longer answers
    // WWW_Version loses its flag (OPERA first has its windows scanned in Active Mode); an
    // unregistered one that answers is asked to echo its URLs to the link's own service.
    void PollBrowsers();

    // Every window of the OPERA browser: its URL is added when it is not empty, new and not an
    // image.
    void ScanOperaWindows();

    // The passive capture: asks every link's browser for its windows and their URLs (for the
    // first link the window numbers 0 to 29 directly) and hands each URL that is not empty,
    // new and not an image to `take`, which is expected to start adding it. Returns how many
    // were taken.
    int CaptureCurrentPages(const std::function<void(const std::string&)>& take);

private:
    void PollOne(EBrowserLinkIndex which);

    CBrowserLinkOwner* m_owner;
    std::array<std::unique_ptr<CBrowserLink>, kBrowserLinkCount> m_links;
    std::array<bool, kBrowserLinkCount> m_registered{};
};
