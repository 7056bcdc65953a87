#pragma once

#include <string>

// What the browser link needs of the program that owns it (the main frame): the Active Mode
// setting and the add-URL pipeline's two operations. Called on the user-interface thread.
class CBrowserLinkOwner {
public:
    virtual ~CBrowserLinkOwner() = default;

    virtual bool IsActiveMode() const = 0;
    // True when the URL is neither stored nor already being added.
    virtual bool IsNewUrl(const std::string& url) = 0;
    // Starts fetching and adding the URL.
    virtual void StartAddUrl(const std::string& url) = 0;
};
