#pragma once

#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <memory>
#include <string>
#include <vector>

// Builders for map tests: nodes placed where a test wants them.

inline CSite* AddVisitedAt(CSiteDatabase& database, const std::string& url, int x, int y,
                           const std::string& title = "Title") {
    CSite* site = database.AddSite(std::make_unique<CSite>(url, title, "<NONE>", 1));
    site->m_x = x;
    site->m_y = y;
    return site;
}

inline CSite* AddLinkAt(CSite& owner, const std::string& url, int x, int y) {
    CSite* link = owner.AddLink(std::make_unique<CSite>(url, "", "<NONE>", 0));
    link->m_x = x;
    link->m_y = y;
    return link;
}

// The word at (x, y), carried by every site given.
inline CWordEntry* AddWordAt(CSiteDatabase& database, const std::string& text, int x, int y,
                             const std::vector<CSite*>& sites) {
    CWordEntry* word = database.FindOrMakeWord(text);
    word->m_x = x;
    word->m_y = y;
    for (CSite* site : sites) {
        site->AddWord(word);
        word->AddSite(site);
    }
    return word;
}
