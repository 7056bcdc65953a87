#include "browserlink/ddeconversation.h"

#include "browserlink/browserlink.h"

#include <algorithm>

CDdeConversation::CDdeConversation(CBrowserLinkOwner* owner, HCONV conv)
    : m_owner(owner), m_conv(conv) {
    AllDdeConversations().push_back(this);
}

CDdeConversation::~CDdeConversation() {
    auto& all = AllDdeConversations();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}
