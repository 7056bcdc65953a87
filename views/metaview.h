#pragma once

#include "model/rect.h"
#include "shell/drawingobjects.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <memory>

class CMainFrame;
class CMapRenderQueue;
class CMapSceneKeeper;
class CSettings;
class CSite;
class QPrinter;
struct CMapPicture;
struct CMapRenderRequest;

// The overview map: the whole 2000 x 2000 world in miniature with the rectangle of the part the
// linkage map shows. Dragging the rectangle pans the linkage map, dragging its 10 x 10 handle
// (lower-right corner) resizes it and so zooms; the linkage map follows on release.
// The miniature is drawn off the window's thread; the rectangle is drawn over it.
class CMetaView : public QWidget {
    Q_OBJECT
public:
    enum EDragMode { kNoDrag = 0, kMoving = 1, kResizing = 2 };

    // Records itself as the overview view, reads the overview rectangle from the settings
    // ("View X", "View Y", "View DX", "View DY") and sets the world rectangle from it (see
    // InitialUpdate). The frame is not owned.
    explicit CMetaView(CMainFrame& frame, QWidget* parent = nullptr);
    // Writes the overview rectangle to "View X", "View Y", "View DX" and "View DY".
    ~CMetaView() override;

    // Centres the overview rectangle on the world point (world units), recomputes the world
    // rectangle and repaints the overview; the caller repaints the linkage map.
    void CenterOn(int worldX, int worldY);

    // Sets the overview rectangle to stand for the world rectangle (world units, as the linkage
    // map was moved about) and repaints the overview; the world rectangle is left as it is.
    void FollowWorldRect(const CRect& world);

    // The overview rectangle in client pixels.
    QRect ViewRect() const { return m_viewRect; }
    int DragMode() const { return m_dragMode; }
    // The world rectangle the overview rectangle stands for on the current client size:
    // each edge scaled by 2000 / client size and truncated.
    CRect WorldRectOfViewRect() const;

    // The document's update: drawing objects rebuilt, the overview repainted.
    void OnUpdate();
    // True when the miniature shown is the exact one of the current store and size.
    bool IsPictureCurrent() const;

    // True when the overview, rather than the linkage map or the log book, is the pane the
    // user last worked in: printing and export then act on it.
    bool IsActivePane() const { return m_active; }
    // The overview as shown (miniature, rectangle, handle), drawn now.
    QImage RenderOverview();
    // The overview scaled onto one printer page.
    void PrintOverview(QPrinter& printer);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void InitialUpdate();
    void ApplyPointer(const QPoint& point);
    void UpdateWorldRect();
    CMapSceneKeeper& Keeper() const;
    CMapRenderRequest WantedPicture() const;
    void AskForPicture();
    void OnPictureFinished(const std::shared_ptr<const CMapPicture>& picture);
    void OnSiteAdded(CSite* site);

    CMainFrame& m_frame;
    CDrawingObjects m_objects;
    std::shared_ptr<const CSettings> m_display;
    std::uint64_t m_displayGeneration = 1;
    std::unique_ptr<CMapRenderQueue> m_renders;
    std::unique_ptr<CMapRenderRequest> m_asked;
    QImage m_picture;
    std::unique_ptr<CMapRenderRequest> m_pictureRequest;
    bool m_pictureTouched = false;
    bool m_active = false;
    QRect m_viewRect{15, 15, 150, 150};
    int m_dragMode = kNoDrag;
    QPoint m_grab;
    QSize m_client;
    bool m_initialised = false;
};
