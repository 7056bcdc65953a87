#include "views/metaview.h"

#include "common/debuglog.h"
#include "model/errorreport.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "shell/settings.h"
#include "views/korvoview.h"
#include "views/mapnavigator.h"
#include "views/maprenderer.h"
#include "views/maprenderqueue.h"
#include "views/mapscenekeeper.h"
#include "views/urllist.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kWorldSize = 2000.0;
constexpr int kHandleSize = 10;

int ScaledToWorld(int pixels, int clientSize) {
    return static_cast<int>(pixels * kWorldSize / std::max(clientSize, 1));
}

} // namespace

CMetaView::CMetaView(CMainFrame& frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_objects(frame.Settings()),
      m_display(std::make_shared<const CSettings>(frame.Settings())),
      m_renders(std::make_unique<CMapRenderQueue>(1)) {
    setObjectName(QStringLiteral("OverviewMap"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    m_frame.Document()->AddView(this, [this] { OnUpdate(); });
    connect(m_renders.get(), &CMapRenderQueue::Finished, this, &CMetaView::OnPictureFinished);
    connect(&Keeper(), &CMapSceneKeeper::Changed, this, [this] { update(); });
    connect(&Keeper(), &CMapSceneKeeper::SiteAdded, this, &CMetaView::OnSiteAdded);
    // The pane last worked in decides what the print commands print; menus and dialogs that
    // take the focus meanwhile do not count.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        const QWidget* logBook = m_frame.LogBook();
        if (now == this)
            m_active = true;
        else if (qobject_cast<CKorvoView*>(now) ||
                 (logBook && now && (now == logBook || logBook->isAncestorOf(now))))
            m_active = false;
    });
    InitialUpdate();
}

CMapSceneKeeper& CMetaView::Keeper() const {
    return m_frame.Maps().Keeper();
}

CMetaView::~CMetaView() {
    CSettings& settings = m_frame.Settings();
    settings.viewX = m_viewRect.x();
    settings.viewY = m_viewRect.y();
    settings.viewDX = m_viewRect.width();
    settings.viewDY = m_viewRect.height();
    m_frame.Document()->WriteSettings(&CSettings::WriteOverviewRect);
}

void CMetaView::InitialUpdate() {
    m_frame.Maps().SetMetaView(this);
    m_initialised = true;
    const CSettings& settings = m_frame.Settings();
    m_viewRect = QRect(settings.viewX, settings.viewY, settings.viewDX, settings.viewDY);
    m_client = size();
    CRect world = WorldRectOfViewRect();
    // Guards for a pane that has no size yet.
    world.left = std::clamp(world.left, 0, 1500);
    world.top = std::clamp(world.top, 0, 1500);
    world.right = std::clamp(world.right, 0, 3000);
    world.bottom = std::clamp(world.bottom, 0, 3000);
    m_frame.Maps().SetWorldRect(world);
}

CRect CMetaView::WorldRectOfViewRect() const {
    const int w = m_client.width();
    const int h = m_client.height();
    const int x = m_viewRect.x();
    const int y = m_viewRect.y();
    return CRect{ScaledToWorld(x, w), ScaledToWorld(y, h), ScaledToWorld(x + m_viewRect.width(), w),
                 ScaledToWorld(y + m_viewRect.height(), h)};
}

void CMetaView::UpdateWorldRect() {
    m_frame.Maps().SetWorldRect(WorldRectOfViewRect());
}

void CMetaView::CenterOn(int worldX, int worldY) {
    const int cx =
        static_cast<int>(std::floor(worldX * static_cast<double>(m_client.width()) / kWorldSize));
    const int cy =
        static_cast<int>(std::floor(worldY * static_cast<double>(m_client.height()) / kWorldSize));
    m_viewRect.moveTo(cx - m_viewRect.width() / 2, cy - m_viewRect.height() / 2);
    UpdateWorldRect();
    update();
}

void CMetaView::FollowWorldRect(const CRect& world) {
    auto toPixels = [](int units, int clientSize) {
        return static_cast<int>(std::lround(units * static_cast<double>(clientSize) / kWorldSize));
    };
    const int left = toPixels(world.left, m_client.width());
    const int top = toPixels(world.top, m_client.height());
    const int right = toPixels(world.right, m_client.width());
    const int bottom = toPixels(world.bottom, m_client.height());
    m_viewRect = QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
    update();
}

void CMetaView::OnUpdate() {
    m_objects.Rebuild(m_frame.Settings());
    m_display = std::make_shared<const CSettings>(m_frame.Settings());
    ++m_displayGeneration;
    update();
}

CMapRenderRequest CMetaView::WantedPicture() const {
    CMapRenderRequest request;
    request.kind = CMapRenderRequest::kOverview;
    request.display = m_display;
    request.displayMark = m_displayGeneration;
    request.viewFlags = m_frame.Settings().viewFlags;
    request.size = size();
    request.version = Keeper().Version();
    return request;
}

namespace {

bool SamePicture(const CMapRenderRequest& a, const CMapRenderRequest& b) {
    return a.size == b.size && a.viewFlags == b.viewFlags && a.displayMark == b.displayMark &&
           a.version == b.version;
}

} // namespace

void CMetaView::AskForPicture() {
    if (!m_frame.Database())
        return;
    CMapRenderRequest wanted = WantedPicture();
    if (wanted.size.isEmpty() || (m_asked && SamePicture(*m_asked, wanted)))
        return;
    const bool sameFrame = m_asked && m_asked->size == wanted.size &&
                           m_asked->viewFlags == wanted.viewFlags &&
                           m_asked->displayMark == wanted.displayMark;
    m_asked = std::make_unique<CMapRenderRequest>(wanted);
    wanted.scene = Keeper().Snapshot();
    m_renders->Request(std::move(wanted), !sameFrame);
}

bool CMetaView::IsPictureCurrent() const {
    return m_pictureRequest && !m_pictureTouched && m_renders->IsIdle() &&
           SamePicture(*m_pictureRequest, WantedPicture());
}

void CMetaView::OnPictureFinished(const std::shared_ptr<const CMapPicture>& picture) {
    m_picture = picture->image;
    m_pictureRequest = std::make_unique<CMapRenderRequest>(picture->request);
    m_pictureTouched = false;
    update();
}

void CMetaView::OnSiteAdded(CSite* site) {
    if (m_picture.isNull() || !m_pictureRequest || !site)
        return;
    const CMapScene& scene = Keeper().Scene();
    const std::int64_t slot = scene.SlotOf(site);
    if (slot < 0)
        return;
    std::vector<std::uint32_t> wordSlots;
    for (const auto& [text, word] : site->m_words) {
        const std::int64_t wordSlot = scene.SlotOf(word);
        if (wordSlot >= 0)
            wordSlots.push_back(static_cast<std::uint32_t>(wordSlot));
    }
    CMapRenderer renderer(Keeper().SharedScene(), m_objects, m_frame.Settings().viewFlags);
    QPainter painter(&m_picture);
    renderer.DrawOverviewAddedSite(painter, m_pictureRequest->size,
                                   static_cast<std::uint32_t>(slot), wordSlots);
    painter.end();
    m_pictureTouched = true;
    update();
}

QImage CMetaView::RenderOverview() {
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    CMapRenderer renderer(Keeper().Snapshot(), m_objects, m_frame.Settings().viewFlags);
    renderer.DrawOverview(painter, size(), m_viewRect, false);
    return image;
}

void CMetaView::PrintOverview(QPrinter& printer) {
    QPainter painter(&printer);
    if (!painter.isActive()) {
        ShowError("Can't print the map: the printer could not be started.");
        return;
    }
    // The pane's pixels spread over the page, as the linkage map spreads its world.
    painter.setWindow(QRect(QPoint(0, 0), size()));
    CMapRenderer renderer(Keeper().Snapshot(), m_objects, m_frame.Settings().viewFlags);
    renderer.DrawOverview(painter, size(), m_viewRect, false);
}

void CMetaView::paintEvent(QPaintEvent* event) {
    AskForPicture();
    QPainter painter(this);
    painter.setClipRect(event->rect());
    if (m_picture.isNull() || !m_frame.Database())
        painter.fillRect(rect(), m_objects.backgroundBrush);
    else if (m_picture.size() == size())
        painter.drawImage(event->rect().topLeft(), m_picture, event->rect());
    else
        painter.drawImage(QRect(QPoint(0, 0), size()), m_picture);
    CMapRenderer::DrawOverviewFrame(painter, m_objects, m_viewRect, IsDebugMode());
}

void CMetaView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_dragMode != kNoDrag)
        return;
    const QPoint p = event->position().toPoint();
    const int x = m_viewRect.x();
    const int y = m_viewRect.y();
    const int right = x + m_viewRect.width();
    const int bottom = y + m_viewRect.height();
    if (!(x < p.x() && p.x() < right && y < p.y() && p.y() < bottom))
        return;
    if (p.x() > right - kHandleSize && p.y() > bottom - kHandleSize) {
        m_dragMode = kResizing;
        m_grab = QPoint(p.x() - right + kHandleSize, p.y() - bottom + kHandleSize);
    } else {
        m_dragMode = kMoving;
        m_grab = QPoint(p.x() - x, p.y() - y);
    }
}

void CMetaView::ApplyPointer(const QPoint& p) {
    // The rectangle stays inside the pane: a map dragged off the world shows nothing.
    const int paneWidth = m_client.width();
    const int paneHeight = m_client.height();
    if (m_dragMode == kMoving) {
        const int x =
            std::clamp(p.x() - m_grab.x(), 0, std::max(0, paneWidth - m_viewRect.width()));
        const int y =
            std::clamp(p.y() - m_grab.y(), 0, std::max(0, paneHeight - m_viewRect.height()));
        m_viewRect.moveTo(x, y);
        update();
    } else if (m_dragMode == kResizing) {
        const int width =
            std::min(p.x() - m_grab.x() - m_viewRect.x() + kHandleSize, paneWidth - m_viewRect.x());
        const int height = std::min(p.y() - m_grab.y() - m_viewRect.y() + kHandleSize,
                                    paneHeight - m_viewRect.y());
        if (width > kHandleSize)
            m_viewRect.setWidth(width);
        if (height > kHandleSize)
            m_viewRect.setHeight(height);
        update();
    }
}

void CMetaView::mouseMoveEvent(QMouseEvent* event) {
    ApplyPointer(event->position().toPoint());
}

void CMetaView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_dragMode = kNoDrag;
    m_frame.Maps().SetOverviewOrigin(CPoint{m_viewRect.x(), m_viewRect.y()});
    UpdateWorldRect();
    if (CKorvoView* map = m_frame.Maps().MapView())
        map->update();
}

void CMetaView::wheelEvent(QWheelEvent* event) {
    if (m_dragMode != kNoDrag)
        ApplyPointer(event->position().toPoint());
    event->accept();
}

void CMetaView::focusOutEvent(QFocusEvent* event) {
    m_dragMode = kNoDrag;
    QWidget::focusOutEvent(event);
}

void CMetaView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_client = event->size();
    if (m_initialised) {
        UpdateWorldRect();
        m_frame.Document()->UpdateAllViews();
    }
}
