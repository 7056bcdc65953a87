#pragma once

#include "model/rect.h"
#include "shell/drawingobjects.h"
#include "views/mapscene.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class CMainFrame;
class CMapLabelCache;
class CMapRenderQueue;
class CMapRenderer;
class CMapSceneKeeper;
class CMetaView;
class CSettings;
class CSite;
class CWordEntry;
struct CMapPicture;
struct CMapRenderRequest;
class QAction;
class QMenu;
class QPrinter;
class QRubberBand;

// The linkage map: the store drawn as nodes and lines over the world rectangle the overview
// map chooses (CMapNavigator::WorldRect). Nodes are dragged one at a time or, after a rubber
// band selected them, as a group; a double-click opens a site; the right button offers the
// node and group commands. It also carries the map's printing, its PNG export and the
// relaxation exercises (File menu and a keyboard shortcut).
//
// The picture is drawn off the window's thread (CMapRenderQueue) from a copy of the maps'
// scene; the view shows the last finished picture, moved and scaled to the current world
// rectangle, until the next one is ready. Nodes being dragged are left out of the picture and
// drawn over it; a new page is drawn over the picture at once and the exact picture follows.
//
// Moving about: the wheel zooms around the pointer, + and - around the middle; the middle
// button (or the left one with Space held) drags the map, as do the arrow keys. Each step sets
// the world rectangle through CMapNavigator, and the overview's rectangle follows.
class CKorvoView : public QWidget {
    Q_OBJECT
public:
    // Commands of the two context menus.
    enum EMenuCommand {
        kCenter,
        kProperties,
        kOpenSite,
        kHide,
        kHideLinks,
        kUnhideLinks,
        kFocusThisSite,
        kFocusWithin1,
        kFocusWithin2,
        kHideGroup,
    };
    // The relaxation exercises' shortcut (no menu offers the command).
    static constexpr const char* kRelaxationShortcut = "Ctrl+Shift+R";

    // Records itself as the map view, sets the world rectangle (0, 0)-(300, 300), registers
    // with the frame's document and adds its commands to the File menu. The frame is not owned.
    explicit CKorvoView(CMainFrame& frame, QWidget* parent = nullptr);
    ~CKorvoView() override;

    // The document's update: drawing objects rebuilt from the settings, a new picture asked for.
    void OnUpdate();

    // Client pixels to world units through the current mapping (rounded), and back.
    CPoint ClientToWorld(const QPoint& point) const;
    QRect WorldToClient(const CRect& rect) const;

    // True when the picture shown is the one of the current store, world rectangle and size
    // (nothing drawn over it, nothing being drawn); while a button is down, the picture without
    // lines and without the nodes being dragged.
    bool IsPictureCurrent() const;

    // The map as the window shows it (current world rectangle, client size), or the whole
    // 2000 x 2000 world at one pixel per unit, drawn on the background colour.
    QImage RenderVisiblePart();
    QImage RenderWholeMap();
    // Writes the image as a PNG file, atomically. False after reporting the failure.
    bool ExportMap(const QString& fileName, bool wholeMap);
    // The current world rectangle on one printer page (no background fill).
    void PrintMap(QPrinter& printer);
    // What the print commands print: the overview when it is the pane last worked in, else
    // the map.
    void PrintPane(QPrinter& printer);
    // The overview as shown, as a PNG file written atomically. False after reporting it.
    bool ExportOverview(const QString& fileName);

    // The context menu for a right press at the client point, with the subject set as the
    // press would set it; null when nothing is hit. The caller owns it; RunMenuCommand carries
    // out the action chosen from it.
    std::unique_ptr<QMenu> PrepareContextMenu(const QPoint& clientPoint);
    void RunMenuCommand(const QAction* chosen);
    CSite* MenuSite() const { return m_menuSite; }
    CSite* MenuParent() const { return m_menuParent; }

    bool IsTracking() const { return m_tracking; }
    bool IsGroupMode() const { return m_groupMode; }
    bool IsRubberBandShown() const { return m_rubberBand != nullptr && m_bandActive; }
    bool IsPanning() const { return m_panning; }

    // One wheel notch (or + and -) zooms by this factor.
    static constexpr double kZoomStep = 1.25;
    // An arrow key moves the map by this share of the visible part.
    static constexpr int kArrowStepDivisor = 8;

    // 100 relaxation passes, one each turn of the event loop, the maps following each.
    void RunRelaxationExercises();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    using CNodeRef = CMapScene::CNodeRef;
    // A node this view selected, named by its scene reference and checked against it.
    struct CSelected {
        CNodeRef node;
        const void* id = nullptr;
    };

    void AddCommands();
    CMapSceneKeeper& Keeper() const;
    // The request for the picture the view should show now.
    CMapRenderRequest WantedPicture() const;
    void AskForPicture();
    void OnPictureFinished(const std::shared_ptr<const CMapPicture>& picture);
    void OnSiteAdded(CSite* site);
    void DrawPicture(QPainter& painter, const QRect& exposed);

    // Hit tests through the scene's grid; null or false when nothing is hit.
    bool HitVisitedSite(const CPoint& p, CNodeRef& hit) const;
    bool HitLinkNode(const CPoint& p, CNodeRef& hit) const;
    bool HitWord(const CPoint& p, CNodeRef& hit) const;
    std::vector<CNodeRef> NodesAt(const CPoint& p) const;
    bool IsNodeShown(const CNodeRef& node) const;

    void OnLeftPress(const QPoint& clientPoint);
    // Moving about: a press that starts panning, the pointer's moves while it lasts, zooming
    // around a client point.
    void StartPanning(Qt::MouseButton button, const QPoint& clientPoint);
    void PanTo(const QPoint& clientPoint);
    void ZoomAt(const QPointF& clientPoint, double factor);
    bool MoveWithKey(int key);
    bool GroupIsHit(const CPoint& p) const;
    void OnRightPress(const QPoint& clientPoint, const QPoint& globalPoint);
    void MoveGroup(const CPoint& p);
    void MoveDraggedNode(const CPoint& p);
    void SelectInsideBand();
    void ClearSelection();
    void Select(const CNodeRef& node, bool selected);
    void NoteNodeChanged(const CNodeRef& node);
    CRect NodeArea(const CNodeRef& node) const;
    void RepaintWorld(const CRect& rect);
    void RunCommand(int command);
    void OnProperties();
    void OnHideGroup();
    void OpenSite(CSite* site);
    void PrintWithDialog();
    void PrintPreview();
    void ExportWithDialog();
    QString AskForPngName();
    CMetaView* ActiveOverview() const;
    // The picture drawn here, with a progress dialog when it takes long; null when cancelled.
    QImage RenderWithProgress(const CRect& world, const QSize& size);
    CMapRenderer MakeRenderer();

    CMainFrame& m_frame;
    CDrawingObjects m_objects;
    std::shared_ptr<const CSettings> m_display; // the colours and fonts the workers draw with
    std::uint64_t m_displayGeneration = 1;

    bool m_tracking = false;
    bool m_groupMode = false;
    bool m_captured = false;
    CSite* m_dragSite = nullptr;
    CSite* m_dragParent = nullptr;
    CWordEntry* m_dragWord = nullptr;
    CNodeRef m_dragNode;
    CPoint m_lastPoint;
    std::vector<CSelected> m_selection; // everything this view marked selected
    std::vector<CNodeRef> m_moving;     // left out of the picture while the button is down

    QRubberBand* m_rubberBand = nullptr;
    bool m_bandActive = false;
    QPoint m_bandStart;
    QPoint m_bandEnd;

    CSite* m_menuSite = nullptr;
    CSite* m_menuParent = nullptr;

    bool m_spaceHeld = false;
    bool m_panning = false;
    Qt::MouseButton m_panButton = Qt::NoButton;
    QPoint m_panStart;     // client pixels
    CRect m_panStartWorld; // the world rectangle when the panning began

    std::unique_ptr<CMapRenderQueue> m_renders;
    // What was asked for last, and the picture shown with what it was drawn for.
    std::unique_ptr<CMapRenderRequest> m_asked;
    std::uint64_t m_askedDisplay = 0;
    QImage m_picture;
    std::unique_ptr<CMapRenderRequest> m_pictureRequest;
    std::uint64_t m_pictureDisplay = 0;
    bool m_pictureTouched = false; // a new page was drawn over it
    // Label lines of what the window's thread draws itself (dragged nodes, new pages).
    std::unique_ptr<CMapLabelCache> m_labels;
    int m_relaxationPassesLeft = 0;
};
