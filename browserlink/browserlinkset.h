#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// The links' verbs never wait (see CBrowserLink): a poll or a capture goes on from the event
// loop as the browsers answer, each link on its own, so a browser that hangs holds up nobody
// but itself. Destroying the set abandons what is still under way.
class CBrowserLinkSet {
public:
    // Creates the links "NSShell", "NETSCAPE", "IEXPLORE" and "OPERA" (TARN1 to TARN4 in a
    // fresh process); all start unregistered. The owner is not owned; its operations must not
    // destroy the set.
    explicit CBrowserLinkSet(CBrowserLinkOwner* owner);
    // Destroys the links in creation order without unregistering the echoes.
    ~CBrowserLinkSet();
    CBrowserLinkSet(const CBrowserLinkSet&) = delete;
    CBrowserLinkSet& operator=(const CBrowserLinkSet&) = delete;

    CBrowserLink& Link(EBrowserLinkIndex which) { return *m_links[which]; }
    bool IsRegistered(EBrowserLinkIndex which) const { return m_registered[which]; }

    // Starts polling NETSCAPE, OPERA, NSShell, IEXPLORE, in that order, each link whose
    // previous poll is over (a link still waiting for its browser is skipped): a registered
    // browser that no longer answers WWW_Version loses its flag (OPERA first has its windows
    // scanned in Active Mode); an unregistered one that answers is asked to echo its URLs to the
    // link's own service. A poll asks a link's browser again even when it was silent.
    void PollBrowsers();
    // True while the link's poll waits for its browser.
    bool IsPolling(EBrowserLinkIndex which) const { return m_polling[which]; }

    // The passive capture: asks every link's browser for its windows and their URLs (for the
    // first link the window numbers 0 to 29 directly) and hands each URL that is not empty,
    // new and not an image to `take`, which is expected to start adding it. When every browser
    // has answered (or failed), `done` gets how many were taken. False, and nothing asked, while
    // an earlier capture is still under way.
    bool CaptureCurrentPages(std::function<void(const std::string&)> take,
                             std::function<void(int taken)> done = {});
    bool IsCapturing() const { return m_capture != nullptr; }

private:
    struct CCapture {
        std::function<void(const std::string&)> take;
        std::function<void(int)> done;
        int taken = 0;
        int linksLeft = kBrowserLinkCount;
    };

    void PollOne(EBrowserLinkIndex which);
    void CheckStillAnswers(EBrowserLinkIndex which);
    void Register(EBrowserLinkIndex which);
    // Every window of the OPERA browser: its URL is added when it is not empty, new and not an
    // image, while Active Mode is on. Then `then` runs.
    void ScanOperaWindows(std::function<void()> then);
    // Asks the link's browser for the URL of each window from `next` on, one after the other,
    // hands each to `take`, then runs `then`.
    void AskWindows(EBrowserLinkIndex which, std::vector<uint32_t> ids, size_t next,
                    std::function<void(const std::string&)> take, std::function<void()> then);
    void CaptureFrom(EBrowserLinkIndex which);
    void ConsiderCaptured(const std::string& url);
    void CaptureLinkDone();

    CBrowserLinkOwner* m_owner;
    std::array<std::unique_ptr<CBrowserLink>, kBrowserLinkCount> m_links;
    std::array<bool, kBrowserLinkCount> m_registered{};
    std::array<bool, kBrowserLinkCount> m_polling{};
    std::unique_ptr<CCapture> m_capture;
};
