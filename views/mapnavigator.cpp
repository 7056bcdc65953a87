#include "views/mapnavigator.h"

#include "model/site.h"
#include "model/sitedatabase.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "views/korvoview.h"
#include "views/mapscenekeeper.h"
#include "views/metaview.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kWorldSize = 2000;

} // namespace

CMapNavigator::CMapNavigator(CMainFrame& frame) : m_frame(frame) {}

CMapNavigator::~CMapNavigator() = default;

CMapSceneKeeper& CMapNavigator::Keeper() {
    if (!m_keeper)
        m_keeper = std::make_unique<CMapSceneKeeper>(*m_frame.Document());
    return *m_keeper;
}

void CMapNavigator::SetMapView(CKorvoView* view) {
    m_mapView = view;
}

void CMapNavigator::SetMetaView(CMetaView* view) {
    m_metaView = view;
}

CKorvoView* CMapNavigator::MapView() const {
    return m_mapView;
}

CMetaView* CMapNavigator::MetaView() const {
    return m_metaView;
}

CRect CMapNavigator::WithinWorld(const CRect& rect) {
    auto fit = [](int low, int high, int& outLow, int& outHigh) {
        if (high < low)
            std::swap(low, high);
        const int extent = std::clamp(high - low, kMinWorldExtent, kWorldSize);
        // The extent changes around the centre; then the span slides into the world.
        int start = low + (high - low - extent) / 2;
        start = std::clamp(start, 0, kWorldSize - extent);
        outLow = start;
        outHigh = start + extent;
    };
    CRect fitted;
    fit(rect.left, rect.right, fitted.left, fitted.right);
    fit(rect.top, rect.bottom, fitted.top, fitted.bottom);
    return fitted;
}

void CMapNavigator::ShowWorldRect(const CRect& rect) {
    m_worldRect = WithinWorld(rect);
    if (m_metaView) {
        m_metaView->FollowWorldRect(m_worldRect);
        const QRect overview = m_metaView->ViewRect();
        m_overviewOrigin = CPoint{overview.x(), overview.y()};
    }
    if (m_mapView)
        m_mapView->update();
}

void CMapNavigator::ZoomAround(double worldX, double worldY, double factor) {
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const CRect& r = m_worldRect;
    auto axis = [&](int low, int high, double at, int& outLow, int& outHigh) {
        const double extent =
            std::clamp((high - low) / factor, double{kMinWorldExtent}, double{kWorldSize});
        const double scale = high != low ? extent / (high - low) : 1.0;
        const double start = at - (at - low) * scale;
        outLow = static_cast<int>(std::lround(start));
        outHigh = static_cast<int>(std::lround(start + extent));
    };
    CRect zoomed;
    axis(r.left, r.right, worldX, zoomed.left, zoomed.right);
    axis(r.top, r.bottom, worldY, zoomed.top, zoomed.bottom);
    ShowWorldRect(zoomed);
}

void CMapNavigator::PanBy(double worldDx, double worldDy) {
    const int dx = static_cast<int>(std::lround(worldDx));
    const int dy = static_cast<int>(std::lround(worldDy));
    const CRect& r = m_worldRect;
    ShowWorldRect(CRect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy});
}

void CMapNavigator::CenterOn(int worldX, int worldY) {
    if (m_metaView)
        m_metaView->CenterOn(worldX, worldY);
    if (m_mapView)
        m_mapView->update();
}

void CMapNavigator::CenterOnSite(const CSite* site) {
    if (!site)
        return;
    const CSiteDatabase* database = m_frame.Database();
    const CSite* visited = database ? database->FindSite(site->m_url) : nullptr;
    const CSite* target = visited ? visited : site;
    CenterOn(target->m_x, target->m_y);
}

void CMapNavigator::ShowVisitedSiteOf(const CSite& link) {
    const CSiteDatabase* database = m_frame.Database();
    if (CSite* visited = database ? database->FindSite(link.m_url) : nullptr)
        m_frame.Document()->ShowSite(visited);
}

void CMapNavigator::FocusOnSite(CSite* site, int depth, CSite* owner) {
    const CSiteDatabase* database = m_frame.Database();
    if (!site || !database)
        return;
    CSite* subject = site;
    if (!subject->m_visited) {
        if (CSite* visited = database->FindSite(subject->m_url))
            subject = visited;
    }

    m_frame.Document()->HideAll();
    m_frame.Document()->ShowSite(subject);
    if (!subject->m_visited && owner) {
        // A link node is drawn only beside its visited site.
        owner->m_hidden = 0;
        m_frame.Document()->NoteSiteChanged(owner);
    }
    if (depth >= 1) {
        std::vector<CSite*> reached;
        for (const auto& link : subject->m_links) {
            if (!link)
                continue;
            m_frame.Document()->ShowSite(link.get());
            if (CSite* visited = database->FindSite(link->m_url)) {
                m_frame.Document()->ShowSite(visited);
                reached.push_back(visited);
            }
        }
        if (depth >= 2) {
            for (CSite* visited : reached) {
                for (const auto& link : visited->m_links) {
                    if (link && database->FindSite(link->m_url)) {
                        m_frame.Document()->ShowSite(link.get());
                        ShowVisitedSiteOf(*link);
                    }
                }
            }
        }
    }
    CenterOnSite(subject);
    m_frame.Document()->UpdateAllViews();
}
