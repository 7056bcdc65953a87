#pragma once

#include "model/rect.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CCategoryTree;
class CDrawingObjects;
class CLineRaster;
class CMapLabelCache;
class CSite;
class CSiteDatabase;
class CWordEntry;
struct CMapNodeRef;
class QFontMetricsF;
class QImage;
class QPainter;
class QPen;

// Draws the linkage map and the overview map of the store on any QPainter: the map widgets,
// images, printer pages and the exported PNG all go through this one class.
//
// Nothing is owned; the database, the hierarchy (may be null: no category names or lines) and
// the drawing objects must outlive the renderer. Drawing a site or word node writes its
// m_width and m_height, as the label sizes are only known once drawn.
class CMapRenderer {
public:
    CMapRenderer(CSiteDatabase& database, const CCategoryTree* categories,
                 const CDrawingObjects& objects, std::int32_t viewFlags);
    ~CMapRenderer();
    CMapRenderer(CMapRenderer&&) noexcept;

    // Label lines laid out by earlier paints (not owned; must outlive the renderer). Without
    // one the renderer keeps its own for as long as it lives.
    void SetLabelCache(CMapLabelCache* labels) { m_labels = labels; }
    // While tracking (a mouse button is down on the map) no connecting line is drawn.
    void SetTracking(bool tracking) { m_tracking = tracking; }

    // The mapping of the world rectangle (x0, y0)-(x1, y1) onto a device area of `size` pixels
    // with its top-left at (0, 0): x and y scaled independently. A zero extent counts as 1.
    static QTransform MapTransform(const CRect& world, const QSize& size);
    // The same mapping set on the painter as window and viewport.
    static void SetMapping(QPainter& painter, const CRect& world, const QSize& size);
    // The device rectangle covering the world rectangle under that mapping (rounded outwards).
    static QRect WorldToDevice(const CRect& worldRect, const CRect& world, const QSize& size);

    // Draws the five layers (words, link nodes, lines into visited sites, category lines,
    // visited sites) on a painter already mapped to world units. Only nodes and lines that
    // touch `exposedWorld` (world units) are drawn. Nothing is filled behind them.
    void DrawMap(QPainter& painter, const QRectF& exposedWorld);
    // Sets the mapping for a device area of `size`, fills `exposedDevice` with the background
    // colour when `fillBackground`, and draws the part of the map inside it.
    // With `nodes` (drawing order, see CMapIndex), only those nodes are drawn, without lines:
    // the picture while tracking, for a caller that knows which nodes lie near the area.
    void PaintMap(QPainter& painter, const CRect& world, const QSize& size,
                  const QRect& exposedDevice, bool fillBackground,
                  const std::vector<CMapNodeRef>* nodes = nullptr);
    // The whole world rectangle drawn into a new image of `size` pixels on the background.
    QImage RenderImage(const CRect& world, const QSize& size);

    // The overview map on a client area of `client` pixels: background, a 4 x 4 square per
    // visible visited site, 2 x 2 squares for link nodes and shared words (by the view flags),
    // the overview rectangle `viewRect` with its 10 x 10 handle, and "D" when `debugMode`.
    void DrawOverview(QPainter& painter, const QSize& client, const QRect& viewRect,
                      bool debugMode);

    // A visited site is drawn when visible; a word when it is carried by at least 2 sites of
    // which at least 2 are visible.
    static bool IsWordShown(const CWordEntry& word);

private:
    struct CTextMetrics;
    struct CPens;

    void DrawWordLayer(QPainter& painter);
    void DrawLinkLayer(QPainter& painter);
    void DrawLinesIntoVisitedSites(QPainter& painter);
    void DrawCategoryLines(QPainter& painter);
    void DrawVisitedSites(QPainter& painter);
    void DrawNodes(QPainter& painter, const QRectF& exposedWorld,
                   const std::vector<CMapNodeRef>& nodes);
    void BeginDrawing(QPainter& painter, const QRectF& exposedWorld);
    void EndDrawing(QPainter& painter);

    void DrawSiteNode(QPainter& painter, CSite& site);
    void DrawWordNode(QPainter& painter, CWordEntry& word);
    void DrawLine(QPainter& painter, const CPoint& from, const CPoint& to);
    void UseLinePen(QPainter& painter, const QPen& pen);
    bool IsExposed(int x, int y, int width, int height, int diameter) const;
    bool LinesDrawn() const;

    CSiteDatabase& m_database;
    const CCategoryTree* m_categories;
    const CDrawingObjects& m_objects;
    std::int32_t m_viewFlags;
    bool m_tracking = false;
    QRectF m_exposed;
    std::unique_ptr<const CTextMetrics> m_metrics; // while drawing
    CMapLabelCache* m_labels = nullptr;
    std::unique_ptr<CMapLabelCache> m_ownLabels;
    std::unique_ptr<const CPens> m_pens;
    // Lines go straight into the image (same pixels, less work) while the painter draws a
    // whole map on an image clipped to m_rasterClip only.
    std::optional<QRectF> m_rasterClip;
    std::unique_ptr<CLineRaster> m_raster; // while drawing, fitted to the mapping
};
