#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// Label lines of the map's nodes laid out once and kept between paints: the text as stored,
// its glyphs in the label font and its width. A line is laid out again when its stored text
// differs from the one it was made from; every line is dropped when a label font changes.
// Painting a laid-out line gives the same pixels as drawText of the same text.
class CMapLabelCache {
public:
    struct CLine {
        std::string source; // the text as stored, before cleaning
        QList<QGlyphRun> glyphs;
        int extent = 0; // horizontal advance in map units, rounded up
    };

    // The line `slot` of `node`'s label for the stored `text` in `font`. With `clean`, the
    // characters of code 0 to 31 are left out. The reference stays valid until the next call.
    const CLine& Line(const void* node, std::size_t slot, const std::string& text, bool clean,
                      const QFont& font);

    // Drops every line when one of the label fonts differs from those of the lines kept.
    void UseFonts(const QFont& site, const QFont& link, const QFont& word);
    // Drops every line (nodes were removed; their addresses may be reused).
    void Clear();
    std::size_t NodeCount() const { return m_nodes.size(); }

    // Marks the start of a picture; Trim then drops the nodes that picture did not draw when
    // they are many more than those it drew (the cache stays about the size of what is shown).
    void BeginPicture() { ++m_picture; }
    void Trim();

private:
    struct CNode {
        std::vector<CLine> lines;
        std::uint64_t picture = 0; // the last picture that drew the node
    };
    static CLine LayOut(const std::string& text, bool clean, const QFont& font);

    std::vector<QFont> m_fonts;
    std::unordered_map<const void*, CNode> m_nodes;
    std::uint64_t m_picture = 0;
};
