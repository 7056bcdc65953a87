#include "shell/linksetaccess.h"

#include "browserlink/browserlink.h"

namespace {

constexpr uint32_t kAnyWindow = 0xFFFFFFFF;

} // namespace

bool CLinkSetAccess::IsRegistered(EBrowserLinkIndex which) const {
    const CBrowserLinkSet* links = m_links ? m_links() : nullptr;
    return links && links->IsRegistered(which);
}

void CLinkSetAccess::OpenUrl(EBrowserLinkIndex which, const std::string& url) {
    CBrowserLinkSet* links = m_links ? m_links() : nullptr;
    if (!links)
        return;
    CBrowserLink& link = links->Link(which);
    link.OpenUrl(url, {}, kAnyWindow, 0, {}, {}, link.OwnServiceName());
}
