#include "views/maprenderer.h"

#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/colorref.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "views/lineraster.h"
#include "views/maplabelcache.h"
#include "views/maplabelplacer.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct CMapRenderer::CTextMetrics {
    QFontMetricsF word;
};

// The label fonts of a decluttered picture, sized in device pixels for its mapping.
struct CMapRenderer::CLabelFonts {
    QTransform mapping; // map units to device pixels
    QFont site;
    QFont link;
    QFont word;
    double siteHeight = 0; // line heights (ascent and descent)
    double linkHeight = 0;
    double wordHeight = 0;
    double siteNarrowest = 0; // the narrowest printable ASCII character's advance
    double linkNarrowest = 0;
    double wordNarrowest = 0;
    double step = 0;   // signed like the site font's stored height
    double indent = 0; // of category lines
};

// The line and outline pens as drawn under the painter's mapping.
struct CMapRenderer::CPens {
    QPen link;
    QPen words;
    QPen outline;
    QPen category;
    QPen siteLine;
    QPen wordOutline; // the words pen at full opacity, for the dots' outlines
};

namespace {

constexpr int kWorldSize = 2000;
constexpr int kSiteDiameter = 20;
constexpr int kLinkDiameter = 15;
constexpr int kWordDiameter = 10;
constexpr int kLabelGap = 2;
constexpr int kCategoryIndent = 5;
// Where a word's label starts, from the word's top-left corner.
constexpr int kWordLabelX = 12;
constexpr int kWordLabelY = 5;
// The opacity of "Soft Lines": dense bundles add up to shades.
constexpr int kSoftLineAlpha = 64;
// The opacity of the ground behind a decluttered label.
constexpr int kLabelPlateAlpha = 200;
constexpr int kOverviewSiteSquare = 4;
constexpr int kOverviewSmallSquare = 2;
constexpr int kHandleSize = 10;
constexpr double kCullMarginPixels = 2.0;
// How many nodes or lines are drawn between two looks at the cancel flag.
constexpr unsigned kStepsBetweenCancelChecks = 256;
constexpr unsigned kStepsBetweenProgress = 4096;

using CNodeRef = CMapScene::CNodeRef;

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

CPoint CenterOf(std::int32_t x, std::int32_t y, int diameter) {
    return CPoint{x + diameter / 2, y + diameter / 2};
}

// The visited site each URL names: the later of two sites with one URL, as the database has it.
std::unordered_map<std::string_view, std::uint32_t> VisitedSitesByUrl(const CMapScene& scene) {
    std::unordered_map<std::string_view, std::uint32_t> sites;
    sites.reserve(scene.SiteCount());
    scene.ForEachSite([&](std::uint32_t slot, const CMapScene::CSiteNode& site) {
        sites[site.texts->url] = slot;
    });
    return sites;
}

// The lines of a site's or link node's label, in order: visit(slot, text, clean, category).
template <class Visit>
void ForEachSiteLabelLine(const CMapScene& scene, std::int32_t flags,
                          const CMapScene::CTexts& texts, const Visit& visit) {
    std::size_t slot = 0;
    if (flags & kViewUrl)
        visit(slot++, texts.url, true, false);
    if (flags & kViewTitle)
        visit(slot++, texts.title, true, false);
    if (flags & kViewDate)
        visit(slot++, CSite::TimeTextOf(texts.time), false, false);
    if ((flags & kViewAnnotation) && texts.annotation != "<NONE>")
        visit(slot++, texts.annotation, true, false);
    if (flags & kViewCategories) {
        for (std::int32_t category : texts.categories) {
            if (const std::string* name = scene.CategoryName(category))
                visit(slot++, *name, false, true);
        }
    }
}

// The store's node a scene node names (its label lines are kept under it).
const void* NodeId(const CMapScene& scene, const CMapScene::CNodeRef& node) {
    if (node.kind == CMapScene::CNodeRef::kWord)
        return scene.Word(node.slot).id;
    const CMapScene::CSiteNode& site = scene.Site(node.slot);
    return node.kind == CMapScene::CNodeRef::kSite ? static_cast<const void*>(site.id)
                                                   : (*site.links)[node.link].id;
}

// The advance of the font's narrowest printable ASCII character.
double NarrowestAdvance(const QFont& font) {
    const QFontMetricsF metrics(font);
    double narrowest = metrics.horizontalAdvance(QLatin1Char(' '));
    for (char c = '!'; c <= '~'; ++c)
        narrowest = std::min(narrowest, metrics.horizontalAdvance(QLatin1Char(c)));
    return std::max(0.0, narrowest);
}

// How many characters of a stored UTF-8 text a label shows at least: its printable ASCII
// bytes and the first bytes of other characters (control characters are never shown).
std::size_t ShownLength(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char byte : text)
        count += (byte >= 0x20 && byte < 0x7F) || byte >= 0xC0 ? 1 : 0;
    return count;
}

// A copy of `font` `pixels` high.
QFont SizedFont(const QFont& font, int pixels) {
    QFont sized = font;
    sized.setPixelSize(std::max(1, pixels));
    return sized;
}

} // namespace

CMapRenderer::CMapRenderer(std::shared_ptr<const CMapScene> scene, const CDrawingObjects& objects,
                           std::int32_t viewFlags)
    : m_scene(std::move(scene)), m_objects(objects), m_viewFlags(viewFlags) {
    if (!m_scene)
        m_scene = std::make_shared<const CMapScene>();
}

CMapRenderer::CMapRenderer(CSiteDatabase& database, const CCategoryTree* categories,
                           const CDrawingObjects& objects, std::int32_t viewFlags)
    : m_store(&database), m_objects(objects), m_viewFlags(viewFlags) {
    auto scene = std::make_shared<CMapScene>();
    scene->Reset(&database, categories);
    m_scene = std::move(scene);
}

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

bool CMapRenderer::WasCancelled() const {
    return m_cancelled;
}

bool CMapRenderer::Cancelled() {
    if (m_cancelled)
        return true;
    if (++m_steps % kStepsBetweenCancelChecks != 0)
        return false;
    if (m_cancel && m_cancel->load(std::memory_order_relaxed))
        m_cancelled = true;
    if (m_progress && m_steps % kStepsBetweenProgress == 0 && m_progress())
        m_cancelled = true;
    return m_cancelled;
}

bool CMapRenderer::IsExcluded(const CNodeRef& ref) const {
    return !m_excluded.empty() &&
           std::find(m_excluded.begin(), m_excluded.end(), ref) != m_excluded.end();
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
    const bool soft = (m_viewFlags & kViewSoftLines) != 0;
    auto line = [&](const QPen& pen) {
        QPen fit = fitted(pen);
        if (soft) {
            QColor color = fit.color();
            color.setAlpha(kSoftLineAlpha);
            fit.setColor(color);
        }
        return fit;
    };
    m_pens = std::make_unique<const CPens>(CPens{
        line(m_objects.linkPen), line(m_objects.wordsPen), fitted(m_objects.outlinePen),
        line(m_objects.categoryPen), line(m_objects.siteLinePen), fitted(m_objects.wordsPen)});
    if (!m_labels) {
        m_ownLabels = std::make_unique<CMapLabelCache>();
        m_labels = m_ownLabels.get();
    }
    if (Decluttered())
        PrepareLabelFonts(mapping);
    else
        m_labels->UseFonts(m_objects.urlFont.font, m_objects.linkFont.font,
                           m_objects.wordFont.font);
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
    m_labelFonts.reset();
    if (m_store)
        WriteSizesToStore();
}

void CMapRenderer::WriteSizesToStore() {
    // Drawing the store itself: the sizes go back into it and into the scene kept here, so the
    // next paint culls with them, as the store's own nodes would.
    auto& scene = const_cast<CMapScene&>(*m_scene);
    for (const CMeasuredSize& size : m_measured) {
        if (CWordEntry* word = scene.WordOf(size.node)) {
            word->m_width = size.width;
            word->m_height = size.height;
        } else if (CSite* site = scene.SiteOf(size.node)) {
            site->m_width = size.width;
            site->m_height = size.height;
        }
        scene.SetNodeSize(size.node, size.width, size.height);
    }
    m_measured.clear();
}

void CMapRenderer::DrawNodes(QPainter& painter, const std::vector<CNodeRef>& nodes) {
    // The map's order: words, then link nodes, then visited sites.
    std::vector<CNodeRef> ordered = nodes;
    std::stable_sort(ordered.begin(), ordered.end(), [](const CNodeRef& a, const CNodeRef& b) {
        auto layer = [](const CNodeRef& n) {
            return n.kind == CNodeRef::kWord ? 0 : n.kind == CNodeRef::kLink ? 1 : 2;
        };
        return layer(a) < layer(b);
    });
    for (const CNodeRef& node : ordered) {
        if (node.kind == CNodeRef::kWord) {
            if (node.slot < m_scene->WordSlots() && m_scene->Word(node.slot).id)
                DrawWordNode(painter, node.slot);
        } else if (node.slot < m_scene->SiteSlots() && m_scene->Site(node.slot).id) {
            node.kind == CNodeRef::kSite ? DrawSite(painter, node.slot)
                                         : DrawLink(painter, node.slot, node.link);
        }
    }
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
    if (Decluttered() && !Cancelled())
        DrawPlacedLabels(painter, QRectF(painter.viewport()));
    EndDrawing(painter);
}

void CMapRenderer::PaintMap(QPainter& painter, const CRect& world, const QSize& size,
                            const QRect& exposedDevice, bool fillBackground,
                            const std::vector<CNodeRef>* nodes) {
    if (size.isEmpty())
        return;
    if (fillBackground)
        painter.fillRect(exposedDevice, m_objects.backgroundBrush);
    painter.save();
    SetMapping(painter, world, size);
    const QRectF exposedWorld = MapTransform(world, size).inverted().mapRect(QRectF(exposedDevice));
    painter.setClipRect(exposedWorld);
    if (nodes) {
        BeginDrawing(painter, exposedWorld);
        m_directLabels = true;
        DrawNodes(painter, *nodes);
        DrawDirectLabels(painter);
        EndDrawing(painter);
    } else {
        m_rasterClip = exposedWorld; // the painter's only clip: lines may go to the image
        DrawMap(painter, exposedWorld);
        m_rasterClip.reset();
    }
    painter.restore();
}

void CMapRenderer::PaintAddedSite(QPainter& painter, const CRect& world, const QSize& size,
                                  std::uint32_t siteSlot,
                                  const std::vector<std::uint32_t>& wordSlots) {
    if (size.isEmpty() || siteSlot >= m_scene->SiteSlots() || !m_scene->Site(siteSlot).id)
        return;
    painter.save();
    SetMapping(painter, world, size);
    const QRectF exposedWorld =
        MapTransform(world, size).inverted().mapRect(QRectF(QPoint(0, 0), size));
    painter.setClipRect(exposedWorld);
    BeginDrawing(painter, exposedWorld);
    m_directLabels = true;
    DrawAddedSite(painter, siteSlot, wordSlots);
    DrawDirectLabels(painter);
    EndDrawing(painter);
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
    const CMapScene& scene = *m_scene;
    scene.ForEachWord([&](std::uint32_t slot, const CMapScene::CWordNode& word) {
        if (Cancelled() || !word.sites || word.sites->size() < 2)
            return;
        // Without lines only the node can touch the exposed area: test it before counting.
        if ((!lines && !IsExposed(word.x, word.y, word.width, word.height, kWordDiameter)) ||
            !scene.IsWordShown(word))
            return;
        if (lines) {
            UseLinePen(painter, m_pens->words);
            const CPoint center = CenterOf(word.x, word.y, kWordDiameter);
            for (std::uint32_t siteSlot : *word.sites) {
                const CMapScene::CSiteNode& site = scene.Site(siteSlot);
                if (site.id && !site.hidden)
                    DrawLine(painter, CenterOf(site.x, site.y, kSiteDiameter), center);
            }
        }
        DrawWordNode(painter, slot);
    });
}

void CMapRenderer::DrawLinkLayer(QPainter& painter) {
    const bool lines = LinesDrawn();
    m_scene->ForEachSite([&](std::uint32_t slot, const CMapScene::CSiteNode& owner) {
        if (owner.hidden || !owner.links || Cancelled())
            return;
        const CPoint ownerCenter = CenterOf(owner.x, owner.y, kSiteDiameter);
        for (std::uint32_t i = 0; i < owner.links->size(); ++i) {
            const CMapScene::CLink& link = (*owner.links)[i];
            if (link.hidden)
                continue;
            if (lines) {
                UseLinePen(painter, m_pens->link);
                DrawLine(painter, ownerCenter, CenterOf(link.x, link.y, kLinkDiameter));
            }
            DrawLink(painter, slot, i);
        }
    });
}

void CMapRenderer::DrawLinesIntoVisitedSites(QPainter& painter) {
    UseLinePen(painter, m_pens->siteLine);
    const CMapScene& scene = *m_scene;
    const auto visited = VisitedSitesByUrl(scene);
    scene.ForEachSite([&](std::uint32_t, const CMapScene::CSiteNode& owner) {
        if (owner.hidden || !owner.links || Cancelled())
            return;
        const CPoint ownerCenter = CenterOf(owner.x, owner.y, kSiteDiameter);
        for (const CMapScene::CLink& link : *owner.links) {
            if (link.texts->url == owner.texts->url)
                continue;
            const auto found = visited.find(link.texts->url);
            if (found == visited.end())
                continue;
            const CMapScene::CSiteNode& target = scene.Site(found->second);
            if (target.hidden)
                continue;
            const CPoint linkCenter = CenterOf(link.x, link.y, kLinkDiameter);
            DrawLine(painter, linkCenter, CenterOf(target.x, target.y, kSiteDiameter));
            DrawLine(painter, linkCenter, ownerCenter);
        }
    });
}

void CMapRenderer::DrawCategoryLines(QPainter& painter) {
    // Lines go in the order of the pair walk (site i, later site j, entry of i, entry of j), as
    // lines of one colour blended in another order differ in the last bit; the walk only
    // visits the later sites that share a category with i, found through the member lists.
    const CMapScene& scene = *m_scene;
    std::unordered_map<std::int32_t, std::vector<std::uint32_t>> members; // ascending slots
    scene.ForEachSite([&](std::uint32_t slot, const CMapScene::CSiteNode& site) {
        if (site.hidden)
            return;
        for (std::int32_t key : site.texts->categories) {
            auto& list = members[key];
            if (list.empty() || list.back() != slot)
                list.push_back(slot);
        }
    });
    UseLinePen(painter, m_pens->category);
    std::vector<std::uint32_t> partners;
    scene.ForEachSite([&](std::uint32_t slot, const CMapScene::CSiteNode& first) {
        if (first.hidden || first.texts->categories.empty() || Cancelled())
            return;
        partners.clear();
        for (std::int32_t key : first.texts->categories) {
            const std::vector<std::uint32_t>& list = members[key];
            partners.insert(partners.end(), std::upper_bound(list.begin(), list.end(), slot),
                            list.end());
        }
        std::sort(partners.begin(), partners.end());
        partners.erase(std::unique(partners.begin(), partners.end()), partners.end());
        const CPoint firstCenter = CenterOf(first.x, first.y, kSiteDiameter);
        for (std::uint32_t j : partners) {
            const CMapScene::CSiteNode& second = scene.Site(j);
            const CPoint secondCenter = CenterOf(second.x, second.y, kSiteDiameter);
            for (std::int32_t a : first.texts->categories) {
                for (std::int32_t b : second.texts->categories) {
                    if (a == b)
                        DrawLine(painter, firstCenter, secondCenter);
                }
            }
        }
    });
}

void CMapRenderer::DrawVisitedSites(QPainter& painter) {
    m_scene->ForEachSite([&](std::uint32_t slot, const CMapScene::CSiteNode&) {
        if (!Cancelled())
            DrawSite(painter, slot);
    });
}

void CMapRenderer::DrawAddedSite(QPainter& painter, std::uint32_t siteSlot,
                                 const std::vector<std::uint32_t>& wordSlots) {
    const CMapScene& scene = *m_scene;
    const CMapScene::CSiteNode& site = scene.Site(siteSlot);
    if (site.hidden)
        return;
    const bool lines = LinesDrawn();
    const CPoint siteCenter = CenterOf(site.x, site.y, kSiteDiameter);
    if (m_viewFlags & kViewWords) {
        for (std::uint32_t slot : wordSlots) {
            const CMapScene::CWordNode& word = scene.Word(slot);
            if (!word.id || !scene.IsWordShown(word))
                continue;
            if (lines) {
                UseLinePen(painter, m_pens->words);
                DrawLine(painter, siteCenter, CenterOf(word.x, word.y, kWordDiameter));
            }
            DrawWordNode(painter, slot);
        }
    }
    if ((m_viewFlags & kViewLinks) && site.links) {
        for (std::uint32_t i = 0; i < site.links->size(); ++i) {
            const CMapScene::CLink& link = (*site.links)[i];
            if (link.hidden)
                continue;
            if (lines) {
                UseLinePen(painter, m_pens->link);
                DrawLine(painter, siteCenter, CenterOf(link.x, link.y, kLinkDiameter));
            }
            DrawLink(painter, siteSlot, i);
        }
    }
    DrawSite(painter, siteSlot);
}

void CMapRenderer::Measured(const CNodeRef& ref, const void* id, std::int32_t oldWidth,
                            std::int32_t oldHeight, std::int32_t width, std::int32_t height) {
    if (width != oldWidth || height != oldHeight)
        m_measured.push_back(CMeasuredSize{ref, id, width, height});
}

void CMapRenderer::DrawSite(QPainter& painter, std::uint32_t slot) {
    const CMapScene::CSiteNode& site = m_scene->Site(slot);
    const CNodeRef ref{CNodeRef::kSite, slot, 0};
    if (site.hidden || IsExcluded(ref))
        return;
    DrawSiteNode(painter, ref, site.id, *site.texts, site.x, site.y, site.width, site.height,
                 site.selected, true);
}

void CMapRenderer::DrawLink(QPainter& painter, std::uint32_t slot, std::uint32_t index) {
    const CMapScene::CSiteNode& site = m_scene->Site(slot);
    if (!site.links || index >= site.links->size())
        return;
    const CMapScene::CLink& link = (*site.links)[index];
    const CNodeRef ref{CNodeRef::kLink, slot, index};
    if (link.hidden || IsExcluded(ref))
        return;
    DrawSiteNode(painter, ref, link.id, *link.texts, link.x, link.y, link.width, link.height,
                 link.selected, false);
}

void CMapRenderer::DrawSiteNode(QPainter& painter, const CNodeRef& ref, const void* id,
                                const CMapScene::CTexts& texts, std::int32_t x, std::int32_t y0,
                                std::int32_t width, std::int32_t height, bool selected,
                                bool visited) {
    const int d = visited ? kSiteDiameter : kLinkDiameter;
    // Decluttered labels are drawn apart from their dots.
    const bool labelHere = !Decluttered();
    if (!IsExposed(x, y0, labelHere ? width : 0, labelHere ? height : 0, d))
        return;
    const CMapFont& font = visited ? m_objects.urlFont : m_objects.linkFont;

    painter.setPen(m_pens->outline);
    if (visited)
        painter.setBrush(selected ? Inverse(font.color) : font.color);
    else
        painter.setBrush(selected ? m_objects.inverseLinkBrush : m_objects.linkBrush);
    // The pen runs along the inside of the d x d square, as the dot always has.
    painter.drawEllipse(QRectF(x + 0.5, y0 + 0.5, d - 1, d - 1));

    if (!labelHere) {
        if (m_directLabels)
            m_direct.push_back(ref);
        return;
    }
    painter.setPen(font.color);
    const int tx = x + d + kLabelGap;
    // Every label steps by the site font's height, whichever font draws its lines.
    const std::int32_t step = m_objects.urlFont.height;
    int y = y0;
    int widest = 0;
    ForEachSiteLabelLine(*m_scene, m_viewFlags, texts,
                         [&](std::size_t slot, const std::string& text, bool clean, bool category) {
                             const int indent = category ? kCategoryIndent : 0;
                             const CMapLabelCache::CLine& line =
                                 m_labels->Line(id, slot, text, clean, font.font);
                             for (const QGlyphRun& run : line.glyphs)
                                 painter.drawGlyphRun(QPointF(tx + indent, y), run);
                             widest = std::max(widest, indent + line.extent);
                             y -= step;
                         });
    y -= step;
    Measured(ref, id, width, height, d + kLabelGap + widest, y - y0);
}

void CMapRenderer::DrawWordNode(QPainter& painter, std::uint32_t slot) {
    const CMapScene::CWordNode& word = m_scene->Word(slot);
    const CNodeRef ref{CNodeRef::kWord, slot, 0};
    const bool labelHere = !Decluttered();
    if (IsExcluded(ref) || !IsExposed(word.x, word.y, labelHere ? word.width : 0,
                                      labelHere ? word.height : 0, kWordDiameter))
        return;
    painter.setPen(m_pens->wordOutline);
    painter.setBrush(word.selected ? m_objects.inverseWordsBrush : m_objects.wordsBrush);
    painter.drawEllipse(QRectF(word.x + 0.5, word.y + 0.5, kWordDiameter - 1, kWordDiameter - 1));
    if (!labelHere) {
        if (m_directLabels)
            m_direct.push_back(ref);
        return;
    }

    const CMapLabelCache::CLine& line =
        m_labels->Line(word.id, 0, *word.text, false, m_objects.wordFont.font);
    painter.setPen(m_objects.wordFont.color);
    for (const QGlyphRun& run : line.glyphs)
        painter.drawGlyphRun(QPointF(word.x + kWordLabelX, word.y + kWordLabelY), run);
    Measured(ref, word.id, word.width, word.height, kWordDiameter + line.extent + 2,
             std::max(static_cast<int>(std::ceil(m_metrics->word.height())), kWordDiameter));
}

// ---- decluttered labels ----------------------------------------------------------------------

bool CMapRenderer::Decluttered() const {
    return (m_viewFlags & kViewDeclutter) != 0;
}

void CMapRenderer::SetLabelScale(double scale) {
    m_labelScale = scale > 0 && std::isfinite(scale) ? scale : 1.0;
}

void CMapRenderer::PrepareLabelFonts(const QTransform& mapping) {
    // Screen pixels per map unit, the two axes taken together. Shrunk, a label keeps its font's
    // size; enlarged, it grows with the square root of the zoom, slower than the distances
    // between nodes, so more labels fit the further one zooms in.
    const double across = std::hypot(mapping.m11(), mapping.m12());
    const double down = std::hypot(mapping.m21(), mapping.m22());
    const double zoom = std::sqrt(across * down) / m_labelScale;
    const double factor = m_labelScale * std::sqrt(std::max(1.0, zoom));
    auto pixels = [&](std::int32_t height) {
        return std::max(1, static_cast<int>(std::lround(std::abs(height) * factor)));
    };
    auto fonts = std::make_unique<CLabelFonts>();
    fonts->mapping = mapping;
    fonts->site = SizedFont(m_objects.urlFont.font, pixels(m_objects.urlFont.height));
    fonts->link = SizedFont(m_objects.linkFont.font, pixels(m_objects.linkFont.height));
    fonts->word = SizedFont(m_objects.wordFont.font, pixels(m_objects.wordFont.height));
    fonts->siteHeight = QFontMetricsF(fonts->site).height();
    fonts->linkHeight = QFontMetricsF(fonts->link).height();
    fonts->wordHeight = QFontMetricsF(fonts->word).height();
    fonts->siteNarrowest = NarrowestAdvance(fonts->site);
    fonts->linkNarrowest = NarrowestAdvance(fonts->link);
    fonts->wordNarrowest = NarrowestAdvance(fonts->word);
    const int step = pixels(m_objects.urlFont.height);
    fonts->step = m_objects.urlFont.height < 0 ? -step : step;
    fonts->indent = std::round(kCategoryIndent * factor);
    if (!m_labels) {
        m_ownLabels = std::make_unique<CMapLabelCache>();
        m_labels = m_ownLabels.get();
    }
    m_labels->UseFonts(fonts->site, fonts->link, fonts->word);
    m_labelFonts = std::move(fonts);
}

// Calls visit(slot, text, clean, topLeft, font, lineHeight) for each line of the node's label,
// the top-left corner in device pixels; the texts are not laid out here.
template <class Visit>
void CMapRenderer::VisitLabelLines(const CNodeRef& node, const Visit& visit) {
    const CLabelFonts& fonts = *m_labelFonts;
    const CMapScene& scene = *m_scene;
    if (node.kind == CNodeRef::kWord) {
        const CMapScene::CWordNode& word = scene.Word(node.slot);
        const QPointF anchor =
            fonts.mapping.map(QPointF(word.x + kWordLabelX, word.y + kWordLabelY));
        visit(0, *word.text, false, anchor, fonts.word, fonts.wordHeight);
        return;
    }
    const CMapScene::CSiteNode& site = scene.Site(node.slot);
    const bool visited = node.kind == CNodeRef::kSite;
    const CMapScene::CLink* link = visited ? nullptr : &(*site.links)[node.link];
    const std::int32_t x = visited ? site.x : link->x;
    const std::int32_t y = visited ? site.y : link->y;
    const int d = visited ? kSiteDiameter : kLinkDiameter;
    const QFont& font = visited ? fonts.site : fonts.link;
    const double height = visited ? fonts.siteHeight : fonts.linkHeight;
    const QPointF anchor = fonts.mapping.map(QPointF(x + d + kLabelGap, y));
    ForEachSiteLabelLine(scene, m_viewFlags, visited ? *site.texts : *link->texts,
                         [&](std::size_t slot, const std::string& text, bool clean, bool category) {
                             const QPointF topLeft(anchor.x() + (category ? fonts.indent : 0.0),
                                                   anchor.y() -
                                                       static_cast<double>(slot) * fonts.step);
                             visit(slot, text, clean, topLeft, font, height);
                         });
}

bool CMapRenderer::LeastBoxFree(const CNodeRef& node, const CMapLabelPlacer& placer) {
    // The label's lines as narrow as their characters could be: where most labels that do not
    // fit collide, found before anything is laid out.
    QRectF least;
    VisitLabelLines(node, [&](std::size_t, const std::string& text, bool, const QPointF& topLeft,
                              const QFont& font, double height) {
        if (text.empty())
            return;
        const double narrowest = &font == &m_labelFonts->word   ? m_labelFonts->wordNarrowest
                                 : &font == &m_labelFonts->link ? m_labelFonts->linkNarrowest
                                                                : m_labelFonts->siteNarrowest;
        const double width = std::max(1.0, narrowest * static_cast<double>(ShownLength(text)));
        least = least.united(QRectF(topLeft, QSizeF(width, height)));
    });
    return !least.isNull() && placer.IsFree(least);
}

QRectF CMapRenderer::LabelBox(const CNodeRef& node) {
    const void* id = NodeId(*m_scene, node);
    QRectF box;
    VisitLabelLines(node, [&](std::size_t slot, const std::string& text, bool clean,
                              const QPointF& topLeft, const QFont& font, double height) {
        const CMapLabelCache::CLine& line = m_labels->Line(id, slot, text, clean, font);
        if (line.extent > 0)
            box = box.united(QRectF(topLeft, QSizeF(line.extent, height)));
    });
    return box;
}

CLabelPlacement CMapRenderer::Place(const QRectF& picture) {
    const QTransform& mapping = m_labelFonts->mapping;
    CMapLabelPlacer placer(picture);
    CLabelPlacement placed;
    const CMapScene& scene = *m_scene;
    for (const CNodeRef& node : CMapLabelPlacer::LabelOrder(scene, m_viewFlags, m_excluded)) {
        if (Cancelled())
            break;
        std::int32_t x = 0;
        std::int32_t y = 0;
        if (node.kind == CNodeRef::kWord) {
            x = scene.Word(node.slot).x;
            y = scene.Word(node.slot).y;
        } else {
            const CMapScene::CSiteNode& site = scene.Site(node.slot);
            x = node.kind == CNodeRef::kSite ? site.x : (*site.links)[node.link].x;
            y = node.kind == CNodeRef::kSite ? site.y : (*site.links)[node.link].y;
        }
        // Only the labels of nodes in the picture: a label cut at its start could not be read.
        if (!picture.contains(mapping.map(QPointF(x, y))) || !LeastBoxFree(node, placer))
            continue;
        const QRectF box = LabelBox(node);
        if (box.intersects(picture) && placer.TryPlace(box))
            placed.push_back(CPlacedLabel{node, box});
    }
    return placed;
}

std::shared_ptr<const CLabelPlacement> CMapRenderer::PlacementFor(const QTransform& mapping,
                                                                  const QRectF& picture) {
    auto place = [&] {
        if (!m_labelFonts || m_labelFonts->mapping != mapping)
            PrepareLabelFonts(mapping);
        return std::make_shared<const CLabelPlacement>(Place(picture));
    };
    if (!m_placementSlot)
        return place();
    std::lock_guard lock(m_placementSlot->mutex);
    if (!m_placementSlot->placement)
        m_placementSlot->placement = place();
    return m_placementSlot->placement;
}

std::shared_ptr<const CLabelPlacement> CMapRenderer::PlaceLabels(const CRect& world,
                                                                 const QSize& size) {
    m_labelFonts.reset();
    std::shared_ptr<const CLabelPlacement> placement =
        PlacementFor(MapTransform(world, size), QRectF(QPointF(0, 0), QSizeF(size)));
    m_labelFonts.reset();
    return placement;
}

void CMapRenderer::DrawLabel(QPainter& painter, const CNodeRef& node) {
    const void* id = NodeId(*m_scene, node);
    const QColor& color = node.kind == CNodeRef::kSite   ? m_objects.urlFont.color
                          : node.kind == CNodeRef::kLink ? m_objects.linkFont.color
                                                         : m_objects.wordFont.color;
    painter.setPen(color);
    VisitLabelLines(node, [&](std::size_t slot, const std::string& text, bool clean,
                              const QPointF& topLeft, const QFont& font, double) {
        const CMapLabelCache::CLine& line = m_labels->Line(id, slot, text, clean, font);
        for (const QGlyphRun& run : line.glyphs)
            painter.drawGlyphRun(topLeft, run);
    });
}

void CMapRenderer::DrawPlacedLabels(QPainter& painter, const QRectF& picture) {
    m_placement = PlacementFor(m_labelFonts->mapping, picture);
    if (Cancelled())
        return;
    const QRectF exposed = m_labelFonts->mapping.mapRect(m_exposed);
    painter.save();
    painter.resetTransform(); // labels stand upright in device pixels
    // Each label on a plate of the ground, so that it reads over the lines beneath it; the
    // boxes do not overlap, so no plate covers another label.
    QColor plate = m_objects.backgroundBrush.color();
    plate.setAlpha(kLabelPlateAlpha);
    for (const CPlacedLabel& label : *m_placement) {
        if (!label.box.intersects(exposed))
            continue;
        painter.fillRect(label.box, plate);
        DrawLabel(painter, label.node);
    }
    painter.restore();
}

void CMapRenderer::DrawDirectLabels(QPainter& painter) {
    m_directLabels = false;
    if (m_direct.empty())
        return;
    painter.save();
    painter.resetTransform();
    for (const CNodeRef& node : m_direct)
        DrawLabel(painter, node);
    painter.restore();
    m_direct.clear();
}

// ---- overview ---------------------------------------------------------------------------------

void CMapRenderer::DrawOverview(QPainter& painter, const QSize& client, const QRect& viewRect,
                                bool debugMode) {
    DrawOverviewNodes(painter, client);
    DrawOverviewFrame(painter, m_objects, viewRect, debugMode);
}

void CMapRenderer::DrawOverviewNodes(QPainter& painter, const QSize& client) {
    const int width = client.width();
    const int height = client.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(QPoint(0, 0), client), m_objects.backgroundBrush);
    auto square = [&](std::int32_t x, std::int32_t y, int side, const QColor& color) {
        painter.fillRect(
            QRect(OverviewCoordinate(x, width), OverviewCoordinate(y, height), side, side), color);
    };
    const CMapScene& scene = *m_scene;
    scene.ForEachSite([&](std::uint32_t, const CMapScene::CSiteNode& site) {
        if (!site.hidden && !Cancelled())
            square(site.x, site.y, kOverviewSiteSquare, m_objects.urlFont.color);
    });
    if (m_viewFlags & kViewLinks) {
        const QColor linkColor = m_objects.linkBrush.color();
        scene.ForEachSite([&](std::uint32_t, const CMapScene::CSiteNode& site) {
            if (site.hidden || !site.links || Cancelled())
                return;
            for (const CMapScene::CLink& link : *site.links) {
                if (!link.hidden)
                    square(link.x, link.y, kOverviewSmallSquare, linkColor);
            }
        });
    }
    if (m_viewFlags & kViewWords) {
        const QColor wordsColor = m_objects.wordsBrush.color();
        scene.ForEachWord([&](std::uint32_t, const CMapScene::CWordNode& word) {
            if (!Cancelled() && scene.IsWordShown(word))
                square(word.x, word.y, kOverviewSmallSquare, wordsColor);
        });
    }
    painter.restore();
}

void CMapRenderer::DrawOverviewAddedSite(QPainter& painter, const QSize& client,
                                         std::uint32_t siteSlot,
                                         const std::vector<std::uint32_t>& wordSlots) {
    const CMapScene& scene = *m_scene;
    if (siteSlot >= scene.SiteSlots() || !scene.Site(siteSlot).id || scene.Site(siteSlot).hidden)
        return;
    const CMapScene::CSiteNode& site = scene.Site(siteSlot);
    auto square = [&](std::int32_t x, std::int32_t y, int side, const QColor& color) {
        painter.fillRect(QRect(OverviewCoordinate(x, client.width()),
                               OverviewCoordinate(y, client.height()), side, side),
                         color);
    };
    if (m_viewFlags & kViewWords) {
        for (std::uint32_t slot : wordSlots) {
            const CMapScene::CWordNode& word = scene.Word(slot);
            if (word.id && scene.IsWordShown(word))
                square(word.x, word.y, kOverviewSmallSquare, m_objects.wordsBrush.color());
        }
    }
    if ((m_viewFlags & kViewLinks) && site.links) {
        for (const CMapScene::CLink& link : *site.links) {
            if (!link.hidden)
                square(link.x, link.y, kOverviewSmallSquare, m_objects.linkBrush.color());
        }
    }
    square(site.x, site.y, kOverviewSiteSquare, m_objects.urlFont.color);
}

void CMapRenderer::DrawOverviewFrame(QPainter& painter, const CDrawingObjects& objects,
                                     const QRect& viewRect, bool debugMode) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen outline = objects.outlinePen;
    outline.setCosmetic(true);
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    // The outline covers x .. x + width - 1, as a rectangle drawn with a one-pixel pen does.
    painter.drawRect(
        QRect(viewRect.x(), viewRect.y(), viewRect.width() - 1, viewRect.height() - 1));
    painter.fillRect(QRect(viewRect.x() + viewRect.width() - kHandleSize,
                           viewRect.y() + viewRect.height() - kHandleSize, kHandleSize,
                           kHandleSize),
                     objects.outlineBrush);
    if (debugMode) {
        painter.setPen(Qt::white);
        const QFontMetricsF metrics(painter.font());
        painter.drawText(QPointF(5, 5 + metrics.ascent()), QStringLiteral("D"));
    }
    painter.restore();
}
