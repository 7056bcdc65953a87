#pragma once

class CCategory;
class CSite;

// What one row of the log book stands for: its kind and the objects it shows (not owned).
struct CLogItem {
    enum EKind {
        kNone = 0,
        kCategory = 1,       // a category
        kCategorySite = 2,   // a site inside a category
        kSite = 3,           // a visited site under "SITES", or a link under a visited site
        kSitesRoot = 4,      // "SITES"
        kCategoriesRoot = 5, // "CATEGORIES"
    };

    EKind kind = kNone;
    CSite* site = nullptr;         // kinds 2 and 3
    CCategory* category = nullptr; // kind 1: the category; kind 2: the category it is in
    CSite* owner = nullptr;        // a link (kind 3): the visited site it was found on

    bool IsSite() const { return kind == kCategorySite || kind == kSite; }
    bool IsLink() const { return kind == kSite && owner != nullptr; }
    // The object the row shows: the site, the category (kind 1), or null.
    const void* Object() const {
        if (IsSite())
            return site;
        return kind == kCategory ? static_cast<const void*>(category) : nullptr;
    }
    bool operator==(const CLogItem&) const = default;
};
