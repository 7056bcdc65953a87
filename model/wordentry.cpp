#include "model/wordentry.h"

#include "model/site.h"

#include <utility>

CWordEntry::CWordEntry(std::string text) : m_text(std::move(text)) {
    for (char& c : m_text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - ('a' - 'A'));
    }
}

void CWordEntry::AddSite(CSite* site) {
    m_sites.Assign(site);
}

CRect CWordEntry::NodeBounds() const {
    return CRect{m_x, m_y, m_x + m_width + 10, m_y + m_height + 10};
}

bool CWordEntry::HitTest(int px, int py) const {
    return m_x < px && px < m_x + kDiameter && m_y < py && py < m_y + kDiameter;
}

CPoint CWordEntry::Center() const {
    return CPoint{m_x + kDiameter / 2, m_y + kDiameter / 2};
}
