#pragma once

#include "model/rect.h"
#include "views/mapscene.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QTransform>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CCategoryTree;
class CDrawingObjects;
class CLineRaster;
class CMapLabelCache;
class CMapLabelPlacer;
class CSiteDatabase;
class CWordEntry;
class QImage;
class QPainter;
class QPen;

// A node's label size as a paint measured it, for the store (the scene node names it).
struct CMeasuredSize {
    CMapScene::CNodeRef node;
    const void* id = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A label of a decluttered picture: its node and the box its lines fill, in device pixels.
struct CPlacedLabel {
    CMapScene::CNodeRef node;
    QRectF box;
};
// The labels a decluttered picture draws, decided once for the whole picture.
using CLabelPlacement = std::vector<CPlacedLabel>;
// Shared by the bands of one picture: the first band to reach its labels places them for the
// whole picture, the others wait for that placement and draw the same labels.
struct CLabelPlacementSlot {
    std::mutex mutex;
    std::shared_ptr<const CLabelPlacement> placement; // guarded by mutex
};

// Draws the linkage map and the overview map on any QPainter: the map widgets' pictures,
// images, printer pages and the exported PNG all go through this one class.
//
// It draws a scene (CMapScene), so it may run on any thread: it reads nothing else. A paint
// measures the label of every node it draws; the sizes that differ from the scene's are kept
// (MeasuredSizes) for the window's thread to write into the store. Built over the store itself
// (window's thread only), the renderer copies a scene from it and writes the sizes back after
// each paint. The drawing objects must outlive the renderer.
//
// With "Declutter Labels" (kViewDeclutter) labels are drawn last, over everything (each on a
// translucent plate of the ground), upright in device pixels: never smaller than their font
// (however far the map is shrunk), growing with the square root of the zoom once the map is
// enlarged, so that a label that does not fit finds room further in. Which labels are drawn is
// decided for the whole picture (CMapLabelPlacer): no two overlap. With "Soft Lines"
// (kViewSoftLines) connecting lines are translucent.
class CMapRenderer {
public:
    CMapRenderer(std::shared_ptr<const CMapScene> scene, const CDrawingObjects& objects,
                 std::int32_t viewFlags);
    // The hierarchy may be null (no category names or lines).
    CMapRenderer(CSiteDatabase& database, const CCategoryTree* categories,
                 const CDrawingObjects& objects, std::int32_t viewFlags);
    ~CMapRenderer();
    CMapRenderer(CMapRenderer&&) noexcept;

    // Label lines laid out by earlier paints (not owned; must outlive the renderer, and be used
    // by one thread at a time). Without one the renderer keeps its own while it lives.
    void SetLabelCache(CMapLabelCache* labels) { m_labels = labels; }
    // While tracking (a mouse button is down on the map) no connecting line is drawn.
    void SetTracking(bool tracking) { m_tracking = tracking; }
    // Nodes left out of the picture (those being dragged, drawn over it on their own).
    void SetExcluded(std::vector<CMapScene::CNodeRef> nodes) { m_excluded = std::move(nodes); }
    // A paint stops early, leaving its picture unfinished, once `cancel` is set.
    void SetCancel(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    // Called now and then during a paint on the window's thread (to show progress); a paint
    // stops early when it answers true.
    void SetProgress(std::function<bool()> progress) { m_progress = std::move(progress); }
    bool WasCancelled() const;
    // Decluttered labels of the picture come from `slot` (not owned; outlives the paints): the
    // first paint that needs them places them. Without a slot each paint places its own.
    void SetPlacementSlot(CLabelPlacementSlot* slot) { m_placementSlot = slot; }
    // Device pixels per screen pixel (a printer's resolution over the screen's): decluttered
    // labels keep their size on paper. 1 unless set.
    void SetLabelScale(double scale);

    // The mapping of the world rectangle (x0, y0)-(x1, y1) onto a device area of `size` pixels
    // with its top-left at (0, 0): x and y scaled independently. A zero extent counts as 1.
    static QTransform MapTransform(const CRect& world, const QSize& size);
    // The same mapping set on the painter as window and viewport.
    static void SetMapping(QPainter& painter, const CRect& world, const QSize& size);
    // The device rectangle covering the world rectangle under that mapping (rounded outwards).
    static QRect WorldToDevice(const CRect& worldRect, const CRect& world, const QSize& size);

    // Draws the five layers (words, link nodes, lines into visited sites, category lines,
    // visited sites) on a painter already mapped to world units. Only nodes and lines that
    // touch `exposedWorld` (world units) are drawn. Nothing is filled behind them. Decluttered
    // labels are placed over the painter's viewport (the whole picture).
    void DrawMap(QPainter& painter, const QRectF& exposedWorld);
    // Sets the mapping for a device area of `size`, fills `exposedDevice` with the background
    // colour when `fillBackground`, and draws the part of the map inside it. With `nodes`,
    // only those nodes are drawn, in the map's order, without lines.
    void PaintMap(QPainter& painter, const CRect& world, const QSize& size,
                  const QRect& exposedDevice, bool fillBackground,
                  const std::vector<CMapScene::CNodeRef>* nodes = nullptr);
    // Draws one visited site that was just added over a picture of the map: the lines to its
    // words (`wordSlots`, in the order of their texts) and their dots, its link nodes with their
    // lines, and its own dot and label.
    void PaintAddedSite(QPainter& painter, const CRect& world, const QSize& size,
                        std::uint32_t siteSlot, const std::vector<std::uint32_t>& wordSlots);
    // The whole world rectangle drawn into a new image of `size` pixels on the background.
    QImage RenderImage(const CRect& world, const QSize& size);

    // The labels a decluttered picture of the world rectangle on `size` pixels draws, with their
    // boxes (as PaintMap places them).
    std::shared_ptr<const CLabelPlacement> PlaceLabels(const CRect& world, const QSize& size);
    // The labels the last decluttered paint of the whole map drew; null before one.
    const std::shared_ptr<const CLabelPlacement>& LastPlacement() const { return m_placement; }

    // The overview map on a client area of `client` pixels: background, a 4 x 4 square per
    // visible visited site, 2 x 2 squares for link nodes and shared words (by the view flags),
    // then the overview rectangle (DrawOverviewFrame).
    void DrawOverview(QPainter& painter, const QSize& client, const QRect& viewRect,
                      bool debugMode);
    // The background and the squares only.
    void DrawOverviewNodes(QPainter& painter, const QSize& client);
    // The squares of one visited site that was just added, its link nodes and its words.
    void DrawOverviewAddedSite(QPainter& painter, const QSize& client, std::uint32_t siteSlot,
                               const std::vector<std::uint32_t>& wordSlots);
    // The overview rectangle `viewRect` with its 10 x 10 handle, and "D" when `debugMode`.
    static void DrawOverviewFrame(QPainter& painter, const CDrawingObjects& objects,
                                  const QRect& viewRect, bool debugMode);

    // The label sizes measured so far that differ from the scene's.
    const std::vector<CMeasuredSize>& MeasuredSizes() const { return m_measured; }

    // A word of the store is drawn when it is carried by at least 2 sites of which at least
    // 2 are visible.
    static bool IsWordShown(const CWordEntry& word);

private:
    struct CTextMetrics;
    struct CPens;
    struct CLabelFonts;
    using CNodeRef = CMapScene::CNodeRef;

    void DrawWordLayer(QPainter& painter);
    void DrawLinkLayer(QPainter& painter);
    void DrawLinesIntoVisitedSites(QPainter& painter);
    void DrawCategoryLines(QPainter& painter);
    void DrawVisitedSites(QPainter& painter);
    void DrawNodes(QPainter& painter, const std::vector<CNodeRef>& nodes);
    void DrawAddedSite(QPainter& painter, std::uint32_t siteSlot,
                       const std::vector<std::uint32_t>& wordSlots);
    void BeginDrawing(QPainter& painter, const QRectF& exposedWorld);
    void EndDrawing(QPainter& painter);
    void WriteSizesToStore();

    void DrawSiteNode(QPainter& painter, const CNodeRef& ref, const void* id,
                      const CMapScene::CTexts& texts, std::int32_t x, std::int32_t y,
                      std::int32_t width, std::int32_t height, bool selected, bool visited);
    void DrawSite(QPainter& painter, std::uint32_t slot);
    void DrawLink(QPainter& painter, std::uint32_t slot, std::uint32_t link);
    void DrawWordNode(QPainter& painter, std::uint32_t slot);
    void Measured(const CNodeRef& ref, const void* id, std::int32_t oldWidth,
                  std::int32_t oldHeight, std::int32_t width, std::int32_t height);
    void DrawLine(QPainter& painter, const CPoint& from, const CPoint& to);
    void UseLinePen(QPainter& painter, const QPen& pen);
    // Decluttered labels, in device pixels under `m_labelFonts->mapping`.
    bool Decluttered() const;
    void PrepareLabelFonts(const QTransform& mapping);
    CLabelPlacement Place(const QRectF& picture);
    std::shared_ptr<const CLabelPlacement> PlacementFor(const QTransform& mapping,
                                                        const QRectF& picture);
    template <class Visit> void VisitLabelLines(const CNodeRef& node, const Visit& visit);
    bool LeastBoxFree(const CNodeRef& node, const CMapLabelPlacer& placer);
    QRectF LabelBox(const CNodeRef& node);
    void DrawLabel(QPainter& painter, const CNodeRef& node);
    void DrawPlacedLabels(QPainter& painter, const QRectF& picture);
    void DrawDirectLabels(QPainter& painter);

    bool IsExposed(int x, int y, int width, int height, int diameter) const;
    bool IsExcluded(const CNodeRef& ref) const;
    bool LinesDrawn() const;
    bool Cancelled();

    std::shared_ptr<const CMapScene> m_scene;
    CSiteDatabase* m_store = nullptr; // set when drawing the store itself
    const CDrawingObjects& m_objects;
    std::int32_t m_viewFlags;
    bool m_tracking = false;
    std::vector<CNodeRef> m_excluded;
    const std::atomic<bool>* m_cancel = nullptr;
    std::function<bool()> m_progress;
    bool m_cancelled = false;
    unsigned m_steps = 0;
    QRectF m_exposed;
    std::unique_ptr<const CTextMetrics> m_metrics; // while drawing
    CMapLabelCache* m_labels = nullptr;
    std::unique_ptr<CMapLabelCache> m_ownLabels;
    std::unique_ptr<const CPens> m_pens;
    std::vector<CMeasuredSize> m_measured;
    double m_labelScale = 1.0;
    std::unique_ptr<const CLabelFonts> m_labelFonts;
    CLabelPlacementSlot* m_placementSlot = nullptr;
    std::shared_ptr<const CLabelPlacement> m_placement;
    // Nodes drawn one by one over a picture get their labels at once, without a placement.
    bool m_directLabels = false;
    std::vector<CNodeRef> m_direct;
    // Lines go straight into the image (same pixels, less work) while the painter draws a
    // whole map on an image clipped to m_rasterClip only.
    std::optional<QRectF> m_rasterClip;
    std::unique_ptr<CLineRaster> m_raster; // while drawing, fitted to the mapping
};
