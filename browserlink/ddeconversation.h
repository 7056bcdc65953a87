#pragma once

#include "browserlink/ddeml.h"

class CBrowserLinkOwner;

// One open DDE conversation of a browser link, server side or client side. The record is on
// the global conversation list for its whole life and on its link's list while open.
class CDdeConversation {
public:
    // Puts the record on the global conversation list.
    CDdeConversation(CBrowserLinkOwner* owner, HCONV conv);
    // Takes the record off the global conversation list.
    ~CDdeConversation();
    CDdeConversation(const CDdeConversation&) = delete;
    CDdeConversation& operator=(const CDdeConversation&) = delete;

    CBrowserLinkOwner* Owner() const { return m_owner; }
    HCONV Conversation() const { return m_conv; }

private:
    CBrowserLinkOwner* m_owner; // not owned
    HCONV m_conv;
};
