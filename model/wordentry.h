#pragma once

#include "model/rect.h"

#include <cstdint>
#include <map>
#include <string>

class CSite;

// One upper-case word of the word index with its node on the maps and the visited sites that
// carry it (not owned).
class CWordEntry {
public:
    static constexpr int kDiameter = 10;

    // The text is converted to upper case. The position is left to the database.
    explicit CWordEntry(std::string text);

    // Records the site under its URL.
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
    std::map<std::string, CSite*> m_sites; // URL -> visited site
};
