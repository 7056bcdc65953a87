#include "shell/linksetaccess.h"

#include "browserlink/browserlink.h"

namespace {

constexpr uint32_t kAnyWindow = 0xFFFFFFFF;

} // namespace

bool CLinkSetAccess::IsRegistered(EBrowserLinkIndex which) const {
    return m_links.IsRegistered(which);
}

void CLinkSetAccess::OpenUrl(EBrowserLinkIndex which, const std::string& url) {
    CBrowserLink& link = m_links.Link(which);
    link.OpenUrl(url, {}, kAnyWindow, 0, {}, {}, link.OwnServiceName());
}
