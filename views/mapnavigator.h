#pragma once

#include "model/rect.h"

#include <QPointer>

#include <memory>

class CKorvoView;
class CMainFrame;
class CMapSceneKeeper;
class CMetaView;
class CSite;

// What the two maps share through the main frame (CMainFrame::Maps()): the world rectangle
// the linkage map shows, the copy of the overview rectangle's top-left, the two map views, and
// the centring and focusing operations that the maps and the log book call.
class CMapNavigator {
public:
    // The frame is not owned and outlives the navigator. The world rectangle starts as
    // (0, 0)-(300, 300).
    explicit CMapNavigator(CMainFrame& frame);
    ~CMapNavigator();

    // The scene both maps draw, kept in step with the document's store (made at first use).
    CMapSceneKeeper& Keeper();

    // The visible part of the world, (left, top)-(right, bottom) in world units. Written by the
    // overview map; the linkage map maps it onto its whole client area.
    const CRect& WorldRect() const { return m_worldRect; }
    void SetWorldRect(const CRect& rect) { m_worldRect = rect; }

    // Steps of the user's moving about the linkage map (wheel, keys, panning): each sets the
    // world rectangle kept within the world (WithinWorld), the overview's rectangle follows and
    // both maps repaint. Each costs the same whatever the store holds.
    // Zooms by `factor` (above 1 in, below 1 out) keeping the world point where it is.
    void ZoomAround(double worldX, double worldY, double factor);
    // Moves the rectangle by world units.
    void PanBy(double worldDx, double worldDy);
    void ShowWorldRect(const CRect& rect);
    // The rectangle moved inside the 2000 x 2000 world, each side first brought within
    // kMinWorldExtent..2000 units around its centre.
    static CRect WithinWorld(const CRect& rect);
    static constexpr int kMinWorldExtent = 20;
    // The overview rectangle's x and y as of the last release in the overview map.
    const CPoint& OverviewOrigin() const { return m_overviewOrigin; }
    void SetOverviewOrigin(const CPoint& origin) { m_overviewOrigin = origin; }

    // The views record themselves when they are created; null before and after.
    void SetMapView(CKorvoView* view);
    void SetMetaView(CMetaView* view);
    CKorvoView* MapView() const;
    CMetaView* MetaView() const;

    // Centres the overview rectangle on the world point (see CMetaView::CenterOn) and repaints
    // the linkage map. Without an overview map nothing moves.
    void CenterOn(int worldX, int worldY);
    // Centres on the visited site with the site's URL when there is one, else on the site's own
    // position. A null site does nothing.
    void CenterOnSite(const CSite* site);
    // "Focus On...": hides every site, shows the site (depth 0), also its link nodes and the
    // visited sites they name (depth 1), and also, for each visited site so reached, its link
    // nodes that name visited sites together with those sites (depth 2); then centres on the
    // site and refreshes. A link node focuses on the visited site of its URL when there is one;
    // otherwise it is shown together with `owner` (its visited site, may be null).
    void FocusOnSite(CSite* site, int depth, CSite* owner = nullptr);

private:
    void ShowVisitedSiteOf(const CSite& link);

    CMainFrame& m_frame;
    std::unique_ptr<CMapSceneKeeper> m_keeper;
    CRect m_worldRect{0, 0, 300, 300};
    CPoint m_overviewOrigin;
    QPointer<CKorvoView> m_mapView;
    QPointer<CMetaView> m_metaView;
};
