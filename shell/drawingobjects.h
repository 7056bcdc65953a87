#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPen>

#include <cstdint>

class CSettings;
class QTransform;
struct CFontSetting;

// One label font as the maps draw it: the font, its text colour and the stored logical height
// (negative: character height), which the maps use as their line step.
struct CMapFont {
    QFont font;
    QColor color;
    std::int32_t height = 0;
};

// The pens, brushes and fonts the maps draw with, all built from the display settings at once.
// The main frame rebuilds them whenever a colour or a font changes; the map views only read them.
// Pens are solid and 1 map unit wide; PenForMapping gives the pen as the maps draw it.
// Fonts are sized in map units (pixel size = |height|).
class CDrawingObjects {
public:
    CDrawingObjects() = default;
    explicit CDrawingObjects(const CSettings& settings) { Rebuild(settings); }

    // Replaces every object by one built from the current settings.
    void Rebuild(const CSettings& settings);

    // 0xFFFFFF minus the colour: the complement used to draw selected objects.
    static std::uint32_t InverseColor(std::uint32_t colorRef);
    // The font a font setting describes, in map units.
    static QFont FontFromSetting(const CFontSetting& setting);
    // A map pen as drawn under `mapping` (map units to device pixels): one map unit wide when
    // that is at least one pixel both across and down, else a cosmetic pen of one pixel, so a
    // line is never thinner than a pixel however far the map is shrunk.
    static QPen PenForMapping(const QPen& pen, const QTransform& mapping);

    // Pens in the map colours.
    QPen linkPen;
    QPen wordsPen;
    QPen outlinePen;
    QPen categoryPen;
    // The line from a link node into a visited site, in the site font colour.
    QPen siteLinePen;
    // Pens in the complements of the link and words colours.
    QPen inverseLinkPen;
    QPen inverseWordsPen;

    // Brushes in the background and map colours, and the complements of link and words.
    QBrush backgroundBrush;
    QBrush outlineBrush;
    QBrush linkBrush;
    QBrush wordsBrush;
    QBrush categoryBrush;
    QBrush inverseLinkBrush;
    QBrush inverseWordsBrush;

    // Label fonts of visited sites, link sites and words.
    CMapFont urlFont;
    CMapFont linkFont;
    CMapFont wordFont;
};
