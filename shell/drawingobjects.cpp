#include "shell/drawingobjects.h"

#include "shell/colorref.h"
#include "shell/settings.h"

#include <QString>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

QPen SolidPen(std::uint32_t colorRef) {
    QPen pen(ColorFromRef(colorRef));
    pen.setStyle(Qt::SolidLine);
    pen.setWidth(1);
    return pen;
}

QBrush SolidBrush(std::uint32_t colorRef) {
    return QBrush(ColorFromRef(colorRef), Qt::SolidPattern);
}

CMapFont MapFont(const CFontSetting& setting) {
    return {CDrawingObjects::FontFromSetting(setting), ColorFromRef(setting.color), setting.size};
}

} // namespace

std::uint32_t CDrawingObjects::InverseColor(std::uint32_t colorRef) {
    return 0xFFFFFFu - (colorRef & 0xFFFFFFu);
}

QFont CDrawingObjects::FontFromSetting(const CFontSetting& setting) {
    QFont font(QString::fromStdString(setting.face));
    font.setPixelSize(std::max(1, std::abs(setting.size)));
    font.setItalic(setting.italic != 0);
    // Logical font weights use the same 1..1000 scale as QFont; 0 means "don't care".
    const int weight = setting.weight <= 0 ? 400 : std::min<int>(setting.weight, 1000);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QPen CDrawingObjects::PenForMapping(const QPen& pen, const QTransform& mapping) {
    const double across = std::hypot(mapping.m11(), mapping.m12());
    const double down = std::hypot(mapping.m21(), mapping.m22());
    if (across >= 1.0 && down >= 1.0)
        return pen;
    QPen thin = pen;
    thin.setWidth(1);
    thin.setCosmetic(true);
    return thin;
}

void CDrawingObjects::Rebuild(const CSettings& settings) {
    linkPen = SolidPen(settings.linkColor);
    wordsPen = SolidPen(settings.wordsColor);
    outlinePen = SolidPen(settings.outlineColor);
    categoryPen = SolidPen(settings.categoryColor);
    siteLinePen = SolidPen(settings.urlFont.color);
    inverseLinkPen = SolidPen(InverseColor(settings.linkColor));
    inverseWordsPen = SolidPen(InverseColor(settings.wordsColor));

    backgroundBrush = SolidBrush(settings.backgroundColor);
    outlineBrush = SolidBrush(settings.outlineColor);
    linkBrush = SolidBrush(settings.linkColor);
    wordsBrush = SolidBrush(settings.wordsColor);
    categoryBrush = SolidBrush(settings.categoryColor);
    inverseLinkBrush = SolidBrush(InverseColor(settings.linkColor));
    inverseWordsBrush = SolidBrush(InverseColor(settings.wordsColor));

    urlFont = MapFont(settings.urlFont);
    linkFont = MapFont(settings.linkFont);
    wordFont = MapFont(settings.wordFont);
}
