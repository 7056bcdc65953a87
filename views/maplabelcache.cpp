#include "views/maplabelcache.h"

#include "dialogs/displaytext.h"
#include "shell/sitelabeltext.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <QTextOption>

#include <cmath>

CMapLabelCache::CLine CMapLabelCache::LayOut(const std::string& text, bool clean,
                                             const QFont& font) {
    CLine line;
    line.source = text;
    const QString shown = ToDisplayText(clean ? WithoutControlChars(text) : text);
    if (shown.isEmpty())
        return line;
    line.extent = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(shown)));
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    line.glyphs = layout.glyphRuns();
    return line;
}

const CMapLabelCache::CLine& CMapLabelCache::Line(const void* node, std::size_t slot,
                                                  const std::string& text, bool clean,
                                                  const QFont& font) {
    CNode& entry = m_nodes[node];
    entry.picture = m_picture;
    std::vector<CLine>& lines = entry.lines;
    if (lines.size() <= slot)
        lines.resize(slot + 1);
    CLine& line = lines[slot];
    if (line.source != text)
        line = LayOut(text, clean, font);
    return line;
}

void CMapLabelCache::UseFonts(const QFont& site, const QFont& link, const QFont& word) {
    std::vector<QFont> fonts{site, link, word};
    if (fonts == m_fonts)
        return;
    m_nodes.clear();
    m_fonts = std::move(fonts);
}

void CMapLabelCache::Clear() {
    m_nodes.clear();
}

void CMapLabelCache::Trim() {
    std::size_t drawn = 0;
    for (const auto& [node, entry] : m_nodes)
        drawn += entry.picture == m_picture ? 1 : 0;
    if (m_nodes.size() <= 2 * drawn + 1000)
        return;
    std::erase_if(m_nodes, [this](const auto& item) { return item.second.picture != m_picture; });
}
