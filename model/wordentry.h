#pragma once

#include "model/rect.h"
#include "model/refmap.h"

#include <cstdint>
#include <string>

class CSite;

// The key of a visited site in a word entry's m_sites: its URL (defined with CSite).
struct CSiteUrlKey {
    static const std::string& Of(const CSite* site);
};

// One upper-case word of the word index with its node on the maps and the visited sites that
// carry it (not owned).
class CWordEntry {
public:
    static constexpr int kDiameter = 10;

    // The text is converted to upper case. The position is left to the database.
    explicit CWordEntry(std::string text);

    // Records the site under its URL (a site already there with the same URL is replaced).
    void AddSite(CSite* site);
    CRect NodeBounds() const;
    bool HitTest(int px, int py) const; // strictly inside the 10 x 10 dot
    CPoint Center() const;

    std::string m_text;
    std::int32_t m_x = 0;
    std::int32_t m_y = 0;
    std::int32_t m_count = 1;
    std::int32_t m_width = 10;
    std::int32_t m_height = 10;
    std::int32_t m_selected = 0;
    double m_vx = 0.0;
    double m_vy = 0.0;
    // URL -> visited site, in URL order. A site's URL changes only through
    // CSiteDatabase::RekeySite, which keeps these maps in order.
    CRefMap<CSite, CSiteUrlKey> m_sites;
};

// The key of a word entry in a site's m_words: its upper-case text.
struct CWordTextKey {
    static const std::string& Of(const CWordEntry* entry) { return entry->m_text; }
};
