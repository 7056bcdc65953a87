#include "browserlink/browserlinkset.h"

#include "browserlink/browserlink.h"
#include "browserlink/browserlinkowner.h"
#include "browserlink/browserurlrules.h"
#include "common/debuglog.h"

namespace {

constexpr std::array<const char*, kBrowserLinkCount> kBrowserServices = {"NSShell", "NETSCAPE",
                                                                         "IEXPLORE", "OPERA"};
constexpr std::array<EBrowserLinkIndex, kBrowserLinkCount> kPollOrder = {
    kLinkNetscape, kLinkOpera, kLinkNSShell, kLinkIExplore};
constexpr uint32_t kDirectlyAskedWindows = 30;

} // namespace

CBrowserLinkSet::CBrowserLinkSet(CBrowserLinkOwner* owner) : m_owner(owner) {
    for (int i = 0; i < kBrowserLinkCount; ++i)
        m_links[i] = std::make_unique<CBrowserLink>(kBrowserServices[i], owner);
}

CBrowserLinkSet::~CBrowserLinkSet() {
    for (auto& link : m_links)
        link.reset();
}

void CBrowserLinkSet::PollBrowsers() {
    for (EBrowserLinkIndex which : kPollOrder)
        PollOne(which);
}

void CBrowserLinkSet::PollOne(EBrowserLinkIndex which) {
    CBrowserLink& link = *m_links[which];
    if (m_registered[which]) {
        if (which == kLinkOpera && m_owner && m_owner->IsActiveMode())
            ScanOperaWindows();
        if (!link.Version())
            m_registered[which] = false;
        return;
    }
    if (!link.Version())
        return;
    link.RegisterUrlEcho();
    m_registered[which] = true;
    if (which == kLinkNetscape)
        DebugLog("Detected Netscape");
    else if (which == kLinkOpera)
        DebugLog("Detected Opera");
}

void CBrowserLinkSet::ScanOperaWindows() {
    CBrowserLink& opera = *m_links[kLinkOpera];
    for (uint32_t id : opera.ListWindows()) {
        const std::string url = opera.GetWindowInfo(id);
        if (!url.empty() && m_owner && m_owner->IsNewUrl(url) && !IsImageUrl(url))
            m_owner->StartAddUrl(url);
    }
}

int CBrowserLinkSet::CaptureCurrentPages(const std::function<void(const std::string&)>& take) {
    int taken = 0;
    auto consider = [&](const std::string& url) {
        if (url.empty() || IsImageUrl(url) || !m_owner || !m_owner->IsNewUrl(url))
            return;
        take(url);
        ++taken;
    };
    for (int i = 0; i < kBrowserLinkCount; ++i) {
        CBrowserLink& link = *m_links[i];
        if (i == 0) {
            for (uint32_t id = 0; id < kDirectlyAskedWindows; ++id)
                consider(link.GetWindowInfo(id));
            continue;
        }
        for (uint32_t id : link.ListWindows())
            consider(link.GetWindowInfo(id));
    }
    return taken;
}
