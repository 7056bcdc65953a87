#include "views/maprenderer.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/colorref.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "views/lineraster.h"
#include "views/mapindex.h"
#include "views/maplabelcache.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

struct CMapRenderer::CTextMetrics {
    QFontMetricsF word;
};

// The line and outline pens as drawn under the painter's mapping.
struct CMapRenderer::CPens {
    QPen link;
    QPen words;
    QPen outline;
    QPen category;
    QPen siteLine;
};

namespace {

constexpr int kWorldSize = 2000;
constexpr int kWordDiameter = 10;
constexpr int kLabelGap = 2;
constexpr int kCategoryIndent = 5;
constexpr int kOverviewSiteSquare = 4;
constexpr int kOverviewSmallSquare = 2;
constexpr int kHandleSize = 10;
constexpr double kCullMarginPixels = 2.0;

QColor Inverse(const QColor& color) {
    return ColorFromRef(CDrawingObjects::InverseColor(RefFromColor(color)));
}

int OverviewCoordinate(std::int32_t world, int clientSize) {
    return static_cast<int>(
        std::floor(static_cast<double>(world) * clientSize / static_cast<double>(kWorldSize)));
}

QRectF NormalizedRect(double x, double y, double width, double height) {
    return QRectF(QPointF(x, y), QPointF(x + width, y + height)).normalized();
}

} // namespace

CMapRenderer::CMapRenderer(CSiteDatabase& database, const CCategoryTree* categories,
                           const CDrawingObjects& objects, std::int32_t viewFlags)
    : m_database(database), m_categories(categories), m_objects(objects), m_viewFlags(viewFlags) {}

CMapRenderer::~CMapRenderer() = default;
CMapRenderer::CMapRenderer(CMapRenderer&&) noexcept = default;

QTransform CMapRenderer::MapTransform(const CRect& world, const QSize& size) {
    const double windowWidth = world.right - world.left != 0 ? world.right - world.left : 1;
    const double windowHeight = world.bottom - world.top != 0 ? world.bottom - world.top : 1;
    const double scaleX = size.width() / windowWidth;
    const double scaleY = size.height() / windowHeight;
    return QTransform(scaleX, 0, 0, scaleY, -world.left * scaleX, -world.top * scaleY);
}

void CMapRenderer::SetMapping(QPainter& painter, const CRect& world, const QSize& size) {
    const int windowWidth = world.right - world.left != 0 ? world.right - world.left : 1;
    const int windowHeight = world.bottom - world.top != 0 ? world.bottom - world.top : 1;
    painter.setWindow(world.left, world.top, windowWidth, windowHeight);
    painter.setViewport(0, 0, size.width(), size.height());
}

QRect CMapRenderer::WorldToDevice(const CRect& worldRect, const CRect& world, const QSize& size) {
    const QRectF rect =
        NormalizedRect(worldRect.left, worldRect.top, worldRect.right - worldRect.left,
                       worldRect.bottom - worldRect.top);
    return MapTransform(world, size).mapRect(rect).toAlignedRect();
}

bool CMapRenderer::IsWordShown(const CWordEntry& word) {
    if (word.m_sites.size() < 2)
        return false;
    int visible = 0;
    for (const auto& [url, site] : word.m_sites) {
        if (site && !site->m_hidden && ++visible > 1)
            return true;
    }
    return false;
}

bool CMapRenderer::LinesDrawn() const {
    return (m_viewFlags & kViewLines) && !m_tracking;
}

bool CMapRenderer::IsExposed(int x, int y, int width, int height, int diameter) const {
    // The label's rectangle (either way round) together with the dot's square.
    const double left = std::min({x, x + width});
    const double right = std::max({x + width, x + diameter});
    const double top = std::min({y, y + height});
    const double bottom = std::max({y + height, y + diameter});
    return left < m_exposed.right() && m_exposed.left() < right && top < m_exposed.bottom() &&
           m_exposed.top() < bottom;
}

void CMapRenderer::BeginDrawing(QPainter& painter, const QRectF& exposedWorld) {
    // Antialiased edges, line caps and outlines reach up to about a pixel beyond the shapes:
    // whatever comes within two device pixels of the area is drawn (the clip keeps the rest).
    const QTransform device = painter.combinedTransform();
    const double across = std::hypot(device.m11(), device.m12());
    const double down = std::hypot(device.m21(), device.m22());
    const double marginX = across > 0 ? std::max(1.0, kCullMarginPixels / across) : 1.0;
    const double marginY = down > 0 ? std::max(1.0, kCullMarginPixels / down) : 1.0;
    m_exposed = exposedWorld.normalized().adjusted(-marginX, -marginY, marginX, marginY);
    m_metrics =
        std::make_unique<const CTextMetrics>(CTextMetrics{QFontMetricsF(m_objects.wordFont.font)});
    const QTransform mapping = painter.combinedTransform();
    auto fitted = [&](const QPen& pen) { return CDrawingObjects::PenForMapping(pen, mapping); };
    m_pens = std::make_unique<const CPens>(
        CPens{fitted(m_objects.linkPen), fitted(m_objects.wordsPen), fitted(m_objects.outlinePen),
              fitted(m_objects.categoryPen), fitted(m_objects.siteLinePen)});
    if (!m_labels) {
        m_ownLabels = std::make_unique<CMapLabelCache>();
        m_labels = m_ownLabels.get();
    }
    m_labels->UseFonts(m_objects.urlFont.font, m_objects.linkFont.font, m_objects.wordFont.font);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setBackgroundMode(Qt::TransparentMode);
    const bool rasterSuits = m_rasterClip && CLineRaster::Suits(painter, m_pens->link) &&
                             CLineRaster::Suits(painter, m_pens->words) &&
                             CLineRaster::Suits(painter, m_pens->category) &&
                             CLineRaster::Suits(painter, m_pens->siteLine);
    if (rasterSuits)
        m_raster = std::make_unique<CLineRaster>(painter, *m_rasterClip);
}

void CMapRenderer::UseLinePen(QPainter& painter, const QPen& pen) {
    painter.setPen(pen);
    if (m_raster)
        m_raster->SetColor(pen.color());
}

void CMapRenderer::EndDrawing(QPainter& painter) {
    m_raster.reset();
    painter.restore();
    m_metrics.reset();
    m_pens.reset();
}

void CMapRenderer::DrawNodes(QPainter& painter, const QRectF& exposedWorld,
                             const std::vector<CMapNodeRef>& nodes) {
    BeginDrawing(painter, exposedWorld);
    for (const CMapNodeRef& node : nodes) {
        if (node.word)
            DrawWordNode(painter, *node.word);
        else if (node.site)
            DrawSiteNode(painter, *node.site);
    }
    EndDrawing(painter);
}

void CMapRenderer::DrawMap(QPainter& painter, const QRectF& exposedWorld) {
    BeginDrawing(painter, exposedWorld);

    if (m_viewFlags & kViewWords)
        DrawWordLayer(painter);
    if (m_viewFlags & kViewLinks)
        DrawLinkLayer(painter);
    if (LinesDrawn()) {
        DrawLinesIntoVisitedSites(painter);
        if (m_viewFlags & kViewCategories)
            DrawCategoryLines(painter);
    }
    DrawVisitedSites(painter);
    EndDrawing(painter);
}

void CMapRenderer::PaintMap(QPainter& painter, const CRect& world, const QSize& size,
                            const QRect& exposedDevice, bool fillBackground,
                            const std::vector<CMapNodeRef>* nodes) {
    if (size.isEmpty())
        return;
    if (fillBackground)
        painter.fillRect(exposedDevice, m_objects.backgroundBrush);
    painter.save();
    SetMapping(painter, world, size);
    const QRectF exposedWorld = MapTransform(world, size).inverted().mapRect(QRectF(exposedDevice));
    painter.setClipRect(exposedWorld);
    if (nodes) {
        DrawNodes(painter, exposedWorld, *nodes);
    } else {
        m_rasterClip = exposedWorld; // the painter's only clip: lines may go to the image
        DrawMap(painter, exposedWorld);
        m_rasterClip.reset();
    }
    painter.restore();
}

QImage CMapRenderer::RenderImage(const CRect& world, const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    PaintMap(painter, world, size, QRect(QPoint(0, 0), size), true);
    return image;
}

void CMapRenderer::DrawLine(QPainter& painter, const CPoint& from, const CPoint& to) {
    const QRectF span =
        QRectF(QPointF(from.x, from.y), QPointF(to.x, to.y)).normalized().adjusted(-1, -1, 1, 1);
    if (m_exposed.intersects(span) && !(m_raster && m_raster->DrawLine(from.x, from.y, to.x, to.y)))
        painter.drawLine(from.x, from.y, to.x, to.y);
}

void CMapRenderer::DrawWordLayer(QPainter& painter) {
    const bool lines = LinesDrawn();
    UseLinePen(painter, m_pens->words);
    for (const auto& [text, entry] : m_database.Words()) {
        CWordEntry* word = entry.get();
        // Without lines only the node can touch the exposed area: test it before counting.
        if (!word || word->m_sites.size() < 2 ||
            (!lines &&
             !IsExposed(word->m_x, word->m_y, word->m_width, word->m_height, kWordDiameter)) ||
            !IsWordShown(*word))
            continue;
        if (lines) {
            UseLinePen(painter, m_pens->words);
            for (const auto& [url, site] : word->m_sites) {
                if (site && !site->m_hidden)
                    DrawLine(painter, site->Center(), word->Center());
            }
        }
        DrawWordNode(painter, *word);
    }
}

void CMapRenderer::DrawLinkLayer(QPainter& painter) {
    const bool lines = LinesDrawn();
    for (const auto& owner : m_database.Sites()) {
        if (!owner || owner->m_hidden)
            continue;
        for (const auto& link : owner->m_links) {
            if (!link || link->m_hidden)
                continue;
            if (lines) {
                UseLinePen(painter, m_pens->link);
                DrawLine(painter, owner->Center(), link->Center());
            }
            DrawSiteNode(painter, *link);
        }
    }
}

void CMapRenderer::DrawLinesIntoVisitedSites(QPainter& painter) {
    UseLinePen(painter, m_pens->siteLine);
    const auto& urlMap = m_database.UrlMap();
    for (const auto& owner : m_database.Sites()) {
        if (!owner || owner->m_hidden)
            continue;
        for (const auto& link : owner->m_links) {
            if (!link || link->m_url == owner->m_url)
                continue;
            const auto found = urlMap.find(link->m_url);
            const CSite* target = found == urlMap.end() ? nullptr : found->second;
            if (!target || target->m_hidden)
                continue;
            DrawLine(painter, link->Center(), target->Center());
            DrawLine(painter, link->Center(), owner->Center());
        }
    }
}

void CMapRenderer::DrawCategoryLines(QPainter& painter) {
    // Lines go in the order of the pair walk (site i, later site j, entry of i, entry of j), as
    // lines of one colour blended in another order differ in the last bit; the walk only
    // visits the later sites that share a category with i, found through the member lists.
    const auto& sites = m_database.Sites();
    std::unordered_map<std::int32_t, std::vector<std::size_t>> members; // ascending indices
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const CSite* site = sites[i].get();
        if (!site || site->m_hidden)
            continue;
        for (const CIndexTally::Entry& entry : site->m_categories.Entries()) {
            auto& list = members[entry.key];
            if (!entry.removed && (list.empty() || list.back() != i))
                list.push_back(i);
        }
    }
    UseLinePen(painter, m_pens->category);
    std::vector<std::size_t> partners;
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const CSite* first = sites[i].get();
        if (!first || first->m_hidden || first->m_categories.ActiveCount() == 0)
            continue;
        partners.clear();
        for (const CIndexTally::Entry& entry : first->m_categories.Entries()) {
            if (entry.removed)
                continue;
            const std::vector<std::size_t>& list = members[entry.key];
            partners.insert(partners.end(), std::upper_bound(list.begin(), list.end(), i),
                            list.end());
        }
        std::sort(partners.begin(), partners.end());
        partners.erase(std::unique(partners.begin(), partners.end()), partners.end());
        for (std::size_t j : partners) {
            const CSite* second = sites[j].get();
            for (const CIndexTally::Entry& a : first->m_categories.Entries()) {
                for (const CIndexTally::Entry& b : second->m_categories.Entries()) {
                    if (!a.removed && !b.removed && a.key == b.key)
                        DrawLine(painter, first->Center(), second->Center());
                }
            }
        }
    }
}

void CMapRenderer::DrawVisitedSites(QPainter& painter) {
    for (const auto& site : m_database.Sites()) {
        if (site)
            DrawSiteNode(painter, *site);
    }
}

void CMapRenderer::DrawSiteNode(QPainter& painter, CSite& site) {
    const int d = site.Diameter();
    if (site.m_hidden || !IsExposed(site.m_x, site.m_y, site.m_width, site.m_height, d))
        return;
    const bool visited = site.m_visited != 0;
    const CMapFont& font = visited ? m_objects.urlFont : m_objects.linkFont;

    painter.setPen(m_pens->outline);
    if (visited)
        painter.setBrush(site.m_selected ? Inverse(font.color) : font.color);
    else
        painter.setBrush(site.m_selected ? m_objects.inverseLinkBrush : m_objects.linkBrush);
    // The pen runs along the inside of the d x d square, as the dot always has.
    painter.drawEllipse(QRectF(site.m_x + 0.5, site.m_y + 0.5, d - 1, d - 1));

    painter.setPen(font.color);
    const int tx = site.m_x + d + kLabelGap;
    int y = site.m_y;
    int widest = 0;
    std::size_t slot = 0;
    auto drawLine = [&](const std::string& text, bool clean, int indent) {
        const CMapLabelCache::CLine& line = m_labels->Line(&site, slot++, text, clean, font.font);
        for (const QGlyphRun& run : line.glyphs)
            painter.drawGlyphRun(QPointF(tx + indent, y), run);
        widest = std::max(widest, indent + line.extent);
        y -= font.height;
    };
    if (m_viewFlags & kViewUrl)
        drawLine(site.m_url, true, 0);
    if (m_viewFlags & kViewTitle)
        drawLine(site.m_title, true, 0);
    if (m_viewFlags & kViewDate)
        drawLine(site.TimeText(), false, 0);
    if ((m_viewFlags & kViewAnnotation) && site.m_annotation != "<NONE>")
        drawLine(site.m_annotation, true, 0);
    if (m_viewFlags & kViewCategories) {
        for (const CIndexTally::Entry& entry : site.m_categories.Entries()) {
            const CCategory* category =
                entry.removed || !m_categories ? nullptr : m_categories->CategoryAt(entry.key);
            if (category)
                drawLine(category->m_name, false, kCategoryIndent);
        }
    }
    y -= font.height;
    site.m_width = d + kLabelGap + widest;
    site.m_height = y - site.m_y;
}

void CMapRenderer::DrawWordNode(QPainter& painter, CWordEntry& word) {
    if (!IsExposed(word.m_x, word.m_y, word.m_width, word.m_height, kWordDiameter))
        return;
    UseLinePen(painter, m_pens->words);
    painter.setBrush(word.m_selected ? m_objects.inverseWordsBrush : m_objects.wordsBrush);
    painter.drawEllipse(
        QRectF(word.m_x + 0.5, word.m_y + 0.5, kWordDiameter - 1, kWordDiameter - 1));

    const CMapLabelCache::CLine& line =
        m_labels->Line(&word, 0, word.m_text, false, m_objects.wordFont.font);
    painter.setPen(m_objects.wordFont.color);
    for (const QGlyphRun& run : line.glyphs)
        painter.drawGlyphRun(QPointF(word.m_x + 12, word.m_y + 5), run);
    word.m_width = kWordDiameter + line.extent + 2;
    word.m_height = std::max(static_cast<int>(std::ceil(m_metrics->word.height())), kWordDiameter);
}

void CMapRenderer::DrawOverview(QPainter& painter, const QSize& client, const QRect& viewRect,
                                bool debugMode) {
    const int width = client.width();
    const int height = client.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(QPoint(0, 0), client), m_objects.backgroundBrush);

    auto square = [&](std::int32_t x, std::int32_t y, int side, const QColor& color) {
        painter.fillRect(
            QRect(OverviewCoordinate(x, width), OverviewCoordinate(y, height), side, side), color);
    };
    for (const auto& site : m_database.Sites()) {
        if (site && !site->m_hidden)
            square(site->m_x, site->m_y, kOverviewSiteSquare, m_objects.urlFont.color);
    }
    if (m_viewFlags & kViewLinks) {
        const QColor linkColor = m_objects.linkBrush.color();
        for (const auto& site : m_database.Sites()) {
            if (!site || site->m_hidden)
                continue;
            for (const auto& link : site->m_links) {
                if (link && !link->m_hidden)
                    square(link->m_x, link->m_y, kOverviewSmallSquare, linkColor);
            }
        }
    }
    if (m_viewFlags & kViewWords) {
        const QColor wordsColor = m_objects.wordsBrush.color();
        for (const auto& [text, word] : m_database.Words()) {
            if (word && IsWordShown(*word))
                square(word->m_x, word->m_y, kOverviewSmallSquare, wordsColor);
        }
    }

    QPen outline = m_objects.outlinePen;
    outline.setCosmetic(true);
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    // The outline covers x .. x + width - 1, as a rectangle drawn with a one-pixel pen does.
    painter.drawRect(
        QRect(viewRect.x(), viewRect.y(), viewRect.width() - 1, viewRect.height() - 1));
    painter.fillRect(QRect(viewRect.x() + viewRect.width() - kHandleSize,
                           viewRect.y() + viewRect.height() - kHandleSize, kHandleSize,
                           kHandleSize),
                     m_objects.outlineBrush);

    if (debugMode) {
        painter.setPen(Qt::white);
        const QFontMetricsF metrics(painter.font());
        painter.drawText(QPointF(5, 5 + metrics.ascent()), QStringLiteral("D"));
    }
    painter.restore();
}
