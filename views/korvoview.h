#pragma once

#include "model/rect.h"
#include "shell/drawingobjects.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <memory>

class CMainFrame;
class CMapIndex;
class CMapLabelCache;
class CMapRenderer;
class CSite;
class CWordEntry;
class QAction;
class QMenu;
class QPrinter;
class QRubberBand;

// The linkage map: the store drawn as nodes and lines over the world rectangle the overview
// map chooses (CMapNavigator::WorldRect). Nodes are dragged one at a time or, after a rubber
// band selected them, as a group; a double-click opens a site; the right button offers the
// node and group commands. It also carries the map's printing, its PNG export and the
// relaxation exercises (File menu and a keyboard shortcut).
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

    // The document's update: drawing objects rebuilt from the settings, everything repainted.
    void OnUpdate();

    // Client pixels to world units through the current mapping (rounded), and back.
    CPoint ClientToWorld(const QPoint& point) const;
    QRect WorldToClient(const CRect& rect) const;

    // The map as the window shows it (current world rectangle, client size), or the whole
    // 2000 x 2000 world at one pixel per unit, drawn on the background colour.
    QImage RenderVisiblePart();
    QImage RenderWholeMap();
    // Writes the image as a PNG file, atomically. False after reporting the failure.
    bool ExportMap(const QString& fileName, bool wholeMap);
    // The current world rectangle on one printer page (no background fill).
    void PrintMap(QPrinter& printer);

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

    // 100 relaxation passes, the views refreshed and repainted after each.
    void RunRelaxationExercises();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void AddCommands();
    void OnLeftPress(const QPoint& clientPoint);
    bool GroupIsHit(const CPoint& p) const;
    void OnRightPress(const QPoint& clientPoint, const QPoint& globalPoint);
    void MoveGroup(const CPoint& p);
    void MoveDraggedNode(const CPoint& p);
    void SelectInsideBand();
    void ClearSelection();
    void RepaintWorld(const CRect& rect);
    void RunCommand(int command);
    void OnProperties();
    void OnHideGroup();
    void OpenSite(CSite* site);
    void PrintWithDialog();
    void PrintPreview();
    void ExportWithDialog();
    CMapRenderer MakeRenderer();
    void DropLabelsOfRemovedNodes();
    void BuildDragIndex();

    CMainFrame& m_frame;
    CDrawingObjects m_objects;

    bool m_tracking = false;
    bool m_groupMode = false;
    bool m_captured = false;
    CSite* m_dragSite = nullptr;
    CSite* m_dragParent = nullptr;
    CWordEntry* m_dragWord = nullptr;
    CPoint m_lastPoint;

    QRubberBand* m_rubberBand = nullptr;
    bool m_bandActive = false;
    QPoint m_bandStart;
    QPoint m_bandEnd;

    CSite* m_menuSite = nullptr;
    CSite* m_menuParent = nullptr;

    // While a button is down: the nodes near each repainted area (see CMapIndex).
    std::unique_ptr<CMapIndex> m_dragIndex;
    // Label lines laid out by earlier paints, so that a paint only draws them.
    std::unique_ptr<CMapLabelCache> m_labels;
    // The off-screen picture repaints are drawn in before they are copied to the screen.
    QImage m_offscreen;
};
