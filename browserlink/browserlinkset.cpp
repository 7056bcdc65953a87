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
        if (!m_polling[which])
            PollOne(which);
}

void CBrowserLinkSet::PollOne(EBrowserLinkIndex which) {
    m_polling[which] = true;
    CBrowserLink& link = *m_links[which];
    link.AskAgain();
    if (!m_registered[which]) {
        link.Version([this, which](bool answered) {
            if (answered)
                Register(which);
            else
                m_polling[which] = false;
        });
        return;
    }
    if (which == kLinkOpera && m_owner && m_owner->IsActiveMode())
        ScanOperaWindows([this, which] { CheckStillAnswers(which); });
    else
        CheckStillAnswers(which);
}

void CBrowserLinkSet::CheckStillAnswers(EBrowserLinkIndex which) {
    m_links[which]->Version([this, which](bool answered) {
        if (!answered)
            m_registered[which] = false;
        m_polling[which] = false;
    });
}

void CBrowserLinkSet::Register(EBrowserLinkIndex which) {
    // A browser that rejects the registration is not noticed: it counts as registered while
    // it answers WWW_Version.
    m_links[which]->RegisterUrlEcho([this, which](bool) {
        m_registered[which] = true;
        m_polling[which] = false;
        if (which == kLinkNetscape)
            DebugLog("Detected Netscape");
        else if (which == kLinkOpera)
            DebugLog("Detected Opera");
    });
}

void CBrowserLinkSet::ScanOperaWindows(std::function<void()> then) {
    m_links[kLinkOpera]->ListWindows([this, then](std::vector<uint32_t> ids) {
        const auto take = [this](const std::string& url) {
            if (!url.empty() && m_owner && m_owner->IsActiveMode() && m_owner->IsNewUrl(url) &&
                !IsImageUrl(url))
                m_owner->StartAddUrl(url);
        };
        AskWindows(kLinkOpera, std::move(ids), 0, take, then);
    });
}

void CBrowserLinkSet::AskWindows(EBrowserLinkIndex which, std::vector<uint32_t> ids, size_t next,
                                 std::function<void(const std::string&)> take,
                                 std::function<void()> then) {
    if (next >= ids.size()) {
        then();
        return;
    }
    const uint32_t id = ids[next];
    m_links[which]->GetWindowInfo(
        id, [this, which, ids = std::move(ids), next, take, then](const std::string& url) mutable {
            take(url);
            AskWindows(which, std::move(ids), next + 1, std::move(take), std::move(then));
        });
}

bool CBrowserLinkSet::CaptureCurrentPages(std::function<void(const std::string&)> take,
                                          std::function<void(int)> done) {
    if (m_capture)
        return false;
    m_capture = std::make_unique<CCapture>();
    m_capture->take = std::move(take);
    m_capture->done = std::move(done);
    for (int i = 0; i < kBrowserLinkCount; ++i)
        CaptureFrom(static_cast<EBrowserLinkIndex>(i));
    return true;
}

void CBrowserLinkSet::CaptureFrom(EBrowserLinkIndex which) {
    const auto consider = [this](const std::string& url) { ConsiderCaptured(url); };
    const auto linkDone = [this] { CaptureLinkDone(); };
    if (which == kLinkNSShell) {
        std::vector<uint32_t> ids(kDirectlyAskedWindows);
        for (uint32_t id = 0; id < kDirectlyAskedWindows; ++id)
            ids[id] = id;
        AskWindows(which, std::move(ids), 0, consider, linkDone);
        return;
    }
    m_links[which]->ListWindows([this, which, consider, linkDone](std::vector<uint32_t> ids) {
        AskWindows(which, std::move(ids), 0, consider, linkDone);
    });
}

void CBrowserLinkSet::ConsiderCaptured(const std::string& url) {
    if (url.empty() || IsImageUrl(url) || !m_owner || !m_owner->IsNewUrl(url))
        return;
    ++m_capture->taken;
    m_capture->take(url);
}

void CBrowserLinkSet::CaptureLinkDone() {
    if (--m_capture->linksLeft > 0)
        return;
    const std::unique_ptr<CCapture> capture = std::move(m_capture);
    if (capture->done)
        capture->done(capture->taken);
}
