#include "views/korvoview.h"

#include "dialogs/dialogcommands.h"
#include "model/errorreport.h"
#include "model/maprelaxation.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "shell/settings.h"
#include "views/maplabelcache.h"
#include "views/mapnavigator.h"
#include "views/maprenderer.h"
#include "views/maprenderqueue.h"
#include "views/mapscenekeeper.h"
#include "views/metaview.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRubberBand>
#include <QSaveFile>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kWorldSize = 2000;
constexpr int kRelaxationPasses = 100;
// Antialiased outlines reach a little beyond the node rectangles.
constexpr int kRepaintMargin = 2;
// Bands of a picture, drawn side by side by as many workers.
constexpr int kPictureBands = 2;
// Printing and export show their progress once they take longer than this.
constexpr int kProgressAfterMs = 1000;
constexpr double kScreenDpi = 96.0;

CRect Normalized(const CRect& r) {
    return CRect{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                 std::max(r.top, r.bottom)};
}

CRect United(const CRect& a, const CRect& b) {
    return CRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                 std::max(a.bottom, b.bottom)};
}

bool SameRect(const CRect& a, const CRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The same picture frame: what it shows and how, apart from the state of the store.
bool SameFrame(const CMapRenderRequest& a, const CMapRenderRequest& b) {
    return SameRect(a.world, b.world) && a.size == b.size && a.tracking == b.tracking &&
           a.viewFlags == b.viewFlags && a.displayMark == b.displayMark && a.excluded == b.excluded;
}

bool SameFont(const CFontSetting& a, const CFontSetting& b) {
    return a.face == b.face && a.size == b.size && a.color == b.color && a.italic == b.italic &&
           a.weight == b.weight;
}

bool SameColoursAndFonts(const CSettings& a, const CSettings& b) {
    return a.backgroundColor == b.backgroundColor && a.outlineColor == b.outlineColor &&
           a.linkColor == b.linkColor && a.wordsColor == b.wordsColor &&
           a.categoryColor == b.categoryColor && SameFont(a.urlFont, b.urlFont) &&
           SameFont(a.linkFont, b.linkFont) && SameFont(a.wordFont, b.wordFont);
}

bool InsideBand(const CPoint& start, const CPoint& end, int x, int y, int d) {
    return start.x < x && x + d < end.x && start.y < y && y + d < end.y;
}

QAction* AddCommand(QMenu& menu, const QString& text, int command, bool enabled = true) {
    QAction* action = menu.addAction(text);
    action->setData(command);
    action->setEnabled(enabled);
    return action;
}

} // namespace

CKorvoView::CKorvoView(CMainFrame& frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_objects(frame.Settings()),
      m_display(std::make_shared<const CSettings>(frame.Settings())),
      m_renders(std::make_unique<CMapRenderQueue>(kPictureBands)),
      m_labels(std::make_unique<CMapLabelCache>()) {
    setObjectName(QStringLiteral("MapView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_frame.Maps().SetMapView(this);
    m_frame.Maps().SetWorldRect(CRect{0, 0, 300, 300});
    m_frame.Document()->AddView(this, [this] { OnUpdate(); });
    connect(m_renders.get(), &CMapRenderQueue::Finished, this, &CKorvoView::OnPictureFinished);
    connect(&Keeper(), &CMapSceneKeeper::Changed, this, [this] {
        // While a button is down the picture leaves out only what moves: it stays.
        if (!m_tracking)
            update();
    });
    connect(&Keeper(), &CMapSceneKeeper::SiteAdded, this, &CKorvoView::OnSiteAdded);
    AddCommands();
    update();
}

CKorvoView::~CKorvoView() = default;

CMapSceneKeeper& CKorvoView::Keeper() const {
    return m_frame.Maps().Keeper();
}

void CKorvoView::AddCommands() {
    auto* relax = new QAction(QStringLiteral("Network Relaxation Excercises..."), this);
    relax->setShortcut(QKeySequence(QString::fromLatin1(kRelaxationShortcut)));
    relax->setShortcutContext(Qt::WindowShortcut);
    connect(relax, &QAction::triggered, this, &CKorvoView::RunRelaxationExercises);
    addAction(relax);

    QMenu* fileMenu = m_frame.FileMenu();
    if (!fileMenu)
        return;
    QAction* before = nullptr;
    for (QAction* action : fileMenu->actions()) {
        if (action->text() == QStringLiteral("E&xit"))
            before = action;
    }
    auto* print = new QAction(QStringLiteral("&Print..."), this);
    print->setShortcut(QKeySequence::Print);
    connect(print, &QAction::triggered, this, &CKorvoView::PrintWithDialog);
    auto* preview = new QAction(QStringLiteral("Print Pre&view"), this);
    connect(preview, &QAction::triggered, this, &CKorvoView::PrintPreview);
    auto* exportMap = new QAction(QStringLiteral("Export Map..."), this);
    connect(exportMap, &QAction::triggered, this, &CKorvoView::ExportWithDialog);
    fileMenu->insertActions(before, {print, preview, exportMap});
    if (before)
        fileMenu->insertSeparator(before);
}

void CKorvoView::OnUpdate() {
    // Most updates change the store, which the picture follows anyway; a new picture from
    // scratch only for other colours or fonts.
    if (!SameColoursAndFonts(*m_display, m_frame.Settings())) {
        m_objects.Rebuild(m_frame.Settings());
        m_display = std::make_shared<const CSettings>(m_frame.Settings());
        ++m_displayGeneration;
    }
    update();
}

CMapRenderer CKorvoView::MakeRenderer() {
    CMapRenderer renderer(Keeper().SharedScene(), m_objects, m_frame.Settings().viewFlags);
    renderer.SetLabelCache(m_labels.get());
    renderer.SetTracking(m_tracking);
    return renderer;
}

CPoint CKorvoView::ClientToWorld(const QPoint& point) const {
    const CRect& world = m_frame.Maps().WorldRect();
    if (width() <= 0 || height() <= 0)
        return CPoint{world.left, world.top};
    const QPointF mapped = CMapRenderer::MapTransform(world, size()).inverted().map(QPointF(point));
    return CPoint{static_cast<int>(std::lround(mapped.x())),
                  static_cast<int>(std::lround(mapped.y()))};
}

QRect CKorvoView::WorldToClient(const CRect& rect) const {
    return CMapRenderer::WorldToDevice(rect, m_frame.Maps().WorldRect(), size());
}

void CKorvoView::RepaintWorld(const CRect& rect) {
    // Decluttered labels stand at their screen size, beyond the nodes' areas in map units.
    if (m_frame.Settings().viewFlags & kViewDeclutter) {
        update();
        return;
    }
    update(WorldToClient(rect).adjusted(-kRepaintMargin, -kRepaintMargin, kRepaintMargin,
                                        kRepaintMargin));
}

// ---- the picture ----------------------------------------------------------------------------

CMapRenderRequest CKorvoView::WantedPicture() const {
    CMapRenderRequest request;
    request.kind = CMapRenderRequest::kMap;
    request.display = m_display;
    request.displayMark = m_displayGeneration;
    request.viewFlags = m_frame.Settings().viewFlags;
    request.world = m_frame.Maps().WorldRect();
    request.size = size();
    request.tracking = m_tracking;
    request.excluded = m_moving;
    request.version = Keeper().Version();
    return request;
}

void CKorvoView::AskForPicture() {
    if (!m_frame.Database())
        return;
    CMapRenderRequest wanted = WantedPicture();
    if (wanted.size.isEmpty())
        return;
    const bool sameFrame = m_asked && SameFrame(*m_asked, wanted);
    // While a button is down only the frame matters: the picture leaves out what moves.
    if (sameFrame && (m_tracking || m_asked->version == wanted.version))
        return;
    m_asked = std::make_unique<CMapRenderRequest>(wanted);
    wanted.scene = Keeper().Snapshot();
    // A picture of another frame would be of no use; one of an older store still is.
    m_renders->Request(std::move(wanted), !sameFrame);
}

bool CKorvoView::IsPictureCurrent() const {
    if (!m_pictureRequest || m_pictureTouched || !m_renders->IsIdle())
        return false;
    const CMapRenderRequest wanted = WantedPicture();
    return SameFrame(*m_pictureRequest, wanted) &&
           (m_tracking || m_pictureRequest->version == wanted.version);
}

void CKorvoView::OnPictureFinished(const std::shared_ptr<const CMapPicture>& picture) {
    m_picture = picture->image;
    m_pictureRequest = std::make_unique<CMapRenderRequest>(picture->request);
    m_pictureTouched = false;
    Keeper().ApplySizes(picture->sizes, !picture->complete);
    update();
}

void CKorvoView::OnSiteAdded(CSite* site) {
    // The new page goes over the picture at once; the exact picture follows.
    if (m_picture.isNull() || !m_pictureRequest || m_tracking || !site)
        return;
    const CMapScene& scene = Keeper().Scene();
    const std::int64_t slot = scene.SlotOf(site);
    if (slot < 0)
        return;
    std::vector<std::uint32_t> wordSlots;
    wordSlots.reserve(site->m_words.size());
    for (const auto& [text, word] : site->m_words) {
        const std::int64_t wordSlot = scene.SlotOf(word);
        if (wordSlot >= 0)
            wordSlots.push_back(static_cast<std::uint32_t>(wordSlot));
    }
    CMapRenderer renderer = MakeRenderer();
    renderer.SetTracking(m_pictureRequest->tracking);
    QPainter painter(&m_picture);
    renderer.PaintAddedSite(painter, m_pictureRequest->world, m_pictureRequest->size,
                            static_cast<std::uint32_t>(slot), wordSlots);
    painter.end();
    m_pictureTouched = true;
    Keeper().ApplySizes(renderer.MeasuredSizes());
    update();
}

void CKorvoView::DrawPicture(QPainter& painter, const QRect& exposed) {
    const CRect& world = m_frame.Maps().WorldRect();
    if (m_picture.isNull() || !m_pictureRequest) {
        painter.fillRect(exposed, m_objects.backgroundBrush);
        return;
    }
    if (SameRect(m_pictureRequest->world, world) && m_picture.size() == size()) {
        painter.drawImage(exposed.topLeft(), m_picture, exposed);
        return;
    }
    // The last picture, moved and scaled to where its world rectangle is now.
    painter.fillRect(exposed, m_objects.backgroundBrush);
    const CRect& shown = m_pictureRequest->world;
    const QRectF target =
        CMapRenderer::MapTransform(world, size())
            .mapRect(QRectF(QPointF(shown.left, shown.top), QPointF(shown.right, shown.bottom)));
    painter.save();
    painter.setClipRect(exposed);
    painter.drawImage(target, m_picture);
    painter.restore();
}

void CKorvoView::paintEvent(QPaintEvent* event) {
    AskForPicture();
    QPainter painter(this);
    DrawPicture(painter, event->rect());
    if (!m_frame.Database())
        return;
    // What the picture leaves out, and what is being dragged, drawn where it is now.
    std::vector<CNodeRef> over = m_moving;
    if (m_pictureRequest) {
        for (const CNodeRef& node : m_pictureRequest->excluded) {
            if (std::find(over.begin(), over.end(), node) == over.end())
                over.push_back(node);
        }
    }
    if (over.empty())
        return;
    CMapRenderer renderer = MakeRenderer();
    renderer.PaintMap(painter, m_frame.Maps().WorldRect(), size(), event->rect(), false, &over);
    Keeper().ApplySizes(renderer.MeasuredSizes());
}

// ---- finding nodes --------------------------------------------------------------------------

std::vector<CMapScene::CNodeRef> CKorvoView::NodesAt(const CPoint& p) const {
    return Keeper().Scene().NodesNear(QRectF(p.x - 1, p.y - 1, 2, 2));
}

bool CKorvoView::HitVisitedSite(const CPoint& p, CNodeRef& hit) const {
    bool found = false;
    for (const CNodeRef& node : NodesAt(p)) {
        const CSite* site = Keeper().Scene().SiteOf(node);
        if (node.kind != CNodeRef::kSite || !site || site->m_hidden || !site->HitTest(p.x, p.y))
            continue;
        // The first in the store's order.
        if (!found || node.slot < hit.slot)
            hit = node;
        found = true;
    }
    return found;
}

bool CKorvoView::HitLinkNode(const CPoint& p, CNodeRef& hit) const {
    bool found = false;
    const CMapScene& scene = Keeper().Scene();
    for (const CNodeRef& node : NodesAt(p)) {
        if (node.kind != CNodeRef::kLink)
            continue;
        const CSite* owner = scene.SiteOf(CNodeRef{CNodeRef::kSite, node.slot, 0});
        const CSite* link = scene.SiteOf(node);
        if (!owner || owner->m_hidden || !link || link->m_hidden || !link->HitTest(p.x, p.y))
            continue;
        if (!found || std::pair(node.slot, node.link) < std::pair(hit.slot, hit.link))
            hit = node;
        found = true;
    }
    return found;
}

bool CKorvoView::HitWord(const CPoint& p, CNodeRef& hit) const {
    const CMapScene& scene = Keeper().Scene();
    const CWordEntry* best = nullptr;
    for (const CNodeRef& node : NodesAt(p)) {
        const CWordEntry* word = scene.WordOf(node);
        if (!word || !word->HitTest(p.x, p.y) || !CMapRenderer::IsWordShown(*word))
            continue;
        // The first in the order of their texts.
        if (!best || word->m_text < best->m_text) {
            best = word;
            hit = node;
        }
    }
    return best != nullptr;
}

bool CKorvoView::IsNodeShown(const CNodeRef& node) const {
    const CMapScene& scene = Keeper().Scene();
    const std::int32_t flags = m_frame.Settings().viewFlags;
    if (node.kind == CNodeRef::kWord) {
        const CWordEntry* word = scene.WordOf(node);
        return (flags & kViewWords) && word && CMapRenderer::IsWordShown(*word);
    }
    const CSite* site = scene.SiteOf(node);
    if (!site || site->m_hidden)
        return false;
    if (node.kind == CNodeRef::kSite)
        return true;
    const CSite* owner = scene.SiteOf(CNodeRef{CNodeRef::kSite, node.slot, 0});
    return (flags & kViewLinks) && owner && !owner->m_hidden;
}

CRect CKorvoView::NodeArea(const CNodeRef& node) const {
    const CMapScene& scene = Keeper().Scene();
    if (const CWordEntry* word = scene.WordOf(node))
        return Normalized(word->NodeBounds());
    const CSite* site = scene.SiteOf(node);
    if (!site)
        return CRect{};
    // The label rectangle with margins, and the dot.
    const int d = site->Diameter();
    return United(Normalized(site->NodeBounds()),
                  CRect{site->m_x - 5, site->m_y - 5, site->m_x + d + 5, site->m_y + d + 5});
}

// ---- selection ------------------------------------------------------------------------------

void CKorvoView::NoteNodeChanged(const CNodeRef& node) {
    CKorvoDoc& document = *m_frame.Document();
    const CMapScene& scene = Keeper().Scene();
    if (CWordEntry* word = scene.WordOf(node)) {
        document.NoteWordChanged(word);
        return;
    }
    CSite* site = scene.SiteOf(node);
    if (!site)
        return;
    CSite* owner = node.kind == CNodeRef::kLink
                       ? scene.SiteOf(CNodeRef{CNodeRef::kSite, node.slot, 0})
                       : nullptr;
    document.NoteSiteChanged(site, owner);
}

void CKorvoView::Select(const CNodeRef& node, bool selected) {
    const CMapScene& scene = Keeper().Scene();
    const void* id = nullptr;
    if (CWordEntry* word = scene.WordOf(node)) {
        word->m_selected = selected ? 1 : 0;
        id = word;
    } else if (CSite* site = scene.SiteOf(node)) {
        site->m_selected = selected;
        id = site;
    } else {
        return;
    }
    if (selected)
        m_selection.push_back(CSelected{node, id});
    NoteNodeChanged(node);
}

void CKorvoView::ClearSelection() {
    const std::vector<CSelected> selection = std::move(m_selection);
    m_selection.clear();
    const CMapScene& scene = Keeper().Scene();
    for (const CSelected& selected : selection) {
        // Only a node that is still the one this view selected.
        const void* id = scene.WordOf(selected.node)
                             ? static_cast<const void*>(scene.WordOf(selected.node))
                             : static_cast<const void*>(scene.SiteOf(selected.node));
        if (id == selected.id)
            Select(selected.node, false);
    }
}

void CKorvoView::SelectInsideBand() {
    // The band selects only when dragged towards the lower right: start < node < end.
    const CPoint start = ClientToWorld(m_bandStart);
    const CPoint end = ClientToWorld(m_bandEnd);
    if (!(start.x < end.x && start.y < end.y))
        return;
    const CMapScene& scene = Keeper().Scene();
    std::vector<CNodeRef> nodes =
        scene.NodesNear(QRectF(QPointF(start.x, start.y), QPointF(end.x, end.y)));
    // In the map's order, so a group is always listed alike.
    std::sort(nodes.begin(), nodes.end(), [](const CNodeRef& a, const CNodeRef& b) {
        return std::tuple(a.kind, a.slot, a.link) < std::tuple(b.kind, b.slot, b.link);
    });
    for (const CNodeRef& node : nodes) {
        std::int32_t x = 0;
        std::int32_t y = 0;
        int d = 0;
        scene.DotOf(node, x, y, d);
        if (IsNodeShown(node) && InsideBand(start, end, x, y, d)) {
            Select(node, true);
            m_groupMode = true;
        }
    }
}

bool CKorvoView::GroupIsHit(const CPoint& p) const {
    const CMapScene& scene = Keeper().Scene();
    for (const CSelected& selected : m_selection) {
        if (!IsNodeShown(selected.node))
            continue;
        if (const CWordEntry* word = scene.WordOf(selected.node)) {
            if (word == selected.id && word->m_selected && word->HitTest(p.x, p.y))
                return true;
        } else if (const CSite* site = scene.SiteOf(selected.node)) {
            if (site == selected.id && site->m_selected && site->HitTest(p.x, p.y))
                return true;
        }
    }
    return false;
}

// ---- mouse ----------------------------------------------------------------------------------

void CKorvoView::mousePressEvent(QMouseEvent* event) {
    if (!m_frame.Database())
        return;
    const bool panButton =
        event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && m_spaceHeld);
    if (panButton && !m_captured && !m_panning)
        StartPanning(event->button(), event->position().toPoint());
    else if (m_panning)
        return;
    else if (event->button() == Qt::LeftButton)
        OnLeftPress(event->position().toPoint());
    else if (event->button() == Qt::RightButton)
        OnRightPress(event->position().toPoint(), event->globalPosition().toPoint());
}

void CKorvoView::OnLeftPress(const QPoint& clientPoint) {
    m_tracking = true;
    update(); // drawn without lines while the button is down
    m_dragSite = nullptr;
    m_dragParent = nullptr;
    m_dragWord = nullptr;
    const CPoint p = ClientToWorld(clientPoint);
    m_lastPoint = p;

    if (m_groupMode) {
        if (GroupIsHit(p)) {
            m_captured = true;
            m_moving.clear();
            for (const CSelected& selected : m_selection)
                m_moving.push_back(selected.node);
        } else {
            m_groupMode = false;
        }
        return;
    }

    ClearSelection();
    const std::int32_t flags = m_frame.Settings().viewFlags;
    const CMapScene& scene = Keeper().Scene();
    CNodeRef hit;
    if (HitVisitedSite(p, hit)) {
        m_dragSite = scene.SiteOf(hit);
    } else if ((flags & kViewLinks) && HitLinkNode(p, hit)) {
        m_dragSite = scene.SiteOf(hit);
        m_dragParent = scene.SiteOf(CNodeRef{CNodeRef::kSite, hit.slot, 0});
    } else if ((flags & kViewWords) && HitWord(p, hit)) {
        m_dragWord = scene.WordOf(hit);
    }
    if (m_dragSite || m_dragWord) {
        Select(hit, true);
        m_dragNode = hit;
        m_moving = {hit};
        m_captured = true;
        RepaintWorld(NodeArea(hit));
        return;
    }

    if (!m_rubberBand)
        m_rubberBand = new QRubberBand(QRubberBand::Rectangle, this);
    m_bandActive = true;
    m_bandStart = clientPoint;
    m_bandEnd = clientPoint;
    m_rubberBand->setGeometry(QRect(m_bandStart, m_bandEnd).normalized());
    m_rubberBand->show();
    m_captured = true;
}

void CKorvoView::mouseMoveEvent(QMouseEvent* event) {
    if (m_panning) {
        PanTo(event->position().toPoint());
        return;
    }
    if (!m_captured || !m_frame.Database())
        return;
    const QPoint clientPoint = event->position().toPoint();
    const CPoint p = ClientToWorld(clientPoint);
    if (m_groupMode)
        MoveGroup(p);
    else
        MoveDraggedNode(p);
    if (m_bandActive) {
        m_bandEnd = clientPoint;
        m_rubberBand->setGeometry(QRect(m_bandStart, m_bandEnd).normalized());
    }
}

void CKorvoView::MoveGroup(const CPoint& p) {
    const int dx = p.x - m_lastPoint.x;
    const int dy = p.y - m_lastPoint.y;
    m_lastPoint = p;
    if (dx == 0 && dy == 0)
        return;
    const std::int32_t flags = m_frame.Settings().viewFlags;
    const CMapScene& scene = Keeper().Scene();
    bool moved = false;
    CRect dirty;
    for (const CSelected& selected : m_selection) {
        const CNodeRef& node = selected.node;
        if ((node.kind == CNodeRef::kLink && !(flags & kViewLinks)) ||
            (node.kind == CNodeRef::kWord && !(flags & kViewWords)))
            continue;
        const CRect before = NodeArea(node);
        if (CWordEntry* word = scene.WordOf(node); word && word == selected.id) {
            word->m_x += dx;
            word->m_y += dy;
        } else if (CSite* site = scene.SiteOf(node); site && site == selected.id) {
            site->m_x += dx;
            site->m_y += dy;
        } else {
            continue;
        }
        NoteNodeChanged(node);
        const CRect both = United(before, NodeArea(node));
        dirty = moved ? United(dirty, both) : both;
        moved = true;
    }
    if (moved)
        RepaintWorld(dirty);
}

void CKorvoView::MoveDraggedNode(const CPoint& p) {
    if (!m_dragSite && !m_dragWord)
        return;
    const CRect before = NodeArea(m_dragNode);
    if (m_dragSite) {
        m_dragSite->m_x = p.x;
        m_dragSite->m_y = p.y;
    } else {
        m_dragWord->m_x = p.x;
        m_dragWord->m_y = p.y;
    }
    NoteNodeChanged(m_dragNode);
    RepaintWorld(United(before, NodeArea(m_dragNode)));
}

void CKorvoView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_panning) {
        if (event->button() == m_panButton) {
            m_panning = false;
            setCursor(m_spaceHeld ? Qt::OpenHandCursor : Qt::ArrowCursor);
        }
        return;
    }
    if (event->button() != Qt::LeftButton || !m_frame.Database())
        return;
    m_tracking = false;
    m_dragSite = nullptr;
    m_dragParent = nullptr;
    m_dragWord = nullptr;
    m_groupMode = false;
    m_moving.clear();
    ClearSelection();
    if (m_bandActive) {
        SelectInsideBand();
        m_rubberBand->hide();
        m_bandActive = false;
    }
    m_captured = false;
    update();
}

void CKorvoView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_spaceHeld || m_panning || !m_frame.Database())
        return;
    const CPoint p = ClientToWorld(event->position().toPoint());
    CNodeRef hit;
    if (HitVisitedSite(p, hit) ||
        ((m_frame.Settings().viewFlags & kViewLinks) && HitLinkNode(p, hit)))
        OpenSite(Keeper().Scene().SiteOf(hit));
}

// ---- moving about ---------------------------------------------------------------------------

void CKorvoView::StartPanning(Qt::MouseButton button, const QPoint& clientPoint) {
    m_panning = true;
    m_panButton = button;
    m_panStart = clientPoint;
    m_panStartWorld = m_frame.Maps().WorldRect();
    setCursor(Qt::ClosedHandCursor);
}

void CKorvoView::PanTo(const QPoint& clientPoint) {
    if (width() <= 0 || height() <= 0)
        return;
    // From where the panning began, so that rounding never adds up.
    const CRect& start = m_panStartWorld;
    const double dx = static_cast<double>(clientPoint.x() - m_panStart.x()) *
                      (start.right - start.left) / width();
    const double dy = static_cast<double>(clientPoint.y() - m_panStart.y()) *
                      (start.bottom - start.top) / height();
    const int moveX = static_cast<int>(std::lround(-dx));
    const int moveY = static_cast<int>(std::lround(-dy));
    m_frame.Maps().ShowWorldRect(
        CRect{start.left + moveX, start.top + moveY, start.right + moveX, start.bottom + moveY});
}

void CKorvoView::ZoomAt(const QPointF& clientPoint, double factor) {
    if (width() <= 0 || height() <= 0)
        return;
    const QPointF world =
        CMapRenderer::MapTransform(m_frame.Maps().WorldRect(), size()).inverted().map(clientPoint);
    m_frame.Maps().ZoomAround(world.x(), world.y(), factor);
}

bool CKorvoView::MoveWithKey(int key) {
    const CRect& world = m_frame.Maps().WorldRect();
    const double stepX = static_cast<double>(world.right - world.left) / kArrowStepDivisor;
    const double stepY = static_cast<double>(world.bottom - world.top) / kArrowStepDivisor;
    const QPointF middle(width() / 2.0, height() / 2.0);
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomAt(middle, kZoomStep);
        return true;
    case Qt::Key_Minus:
        ZoomAt(middle, 1.0 / kZoomStep);
        return true;
    case Qt::Key_Left:
        m_frame.Maps().PanBy(-stepX, 0);
        return true;
    case Qt::Key_Right:
        m_frame.Maps().PanBy(stepX, 0);
        return true;
    case Qt::Key_Up:
        m_frame.Maps().PanBy(0, -stepY);
        return true;
    case Qt::Key_Down:
        m_frame.Maps().PanBy(0, stepY);
        return true;
    default:
        return false;
    }
}

void CKorvoView::wheelEvent(QWheelEvent* event) {
    event->accept();
    // A node or band being dragged keeps its gesture as it is.
    const int notches = event->angleDelta().y();
    if (m_captured || notches == 0)
        return;
    ZoomAt(event->position(), std::pow(kZoomStep, notches / 120.0));
}

void CKorvoView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_D) {
        m_frame.ToggleDebugMode();
        return;
    }
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) {
            m_spaceHeld = true;
            if (!m_panning)
                setCursor(Qt::OpenHandCursor);
        }
        return;
    }
    if (!m_captured && MoveWithKey(event->key()))
        return;
    QWidget::keyPressEvent(event);
}

void CKorvoView::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        m_spaceHeld = false;
        if (!m_panning)
            setCursor(Qt::ArrowCursor);
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void CKorvoView::focusOutEvent(QFocusEvent* event) {
    m_spaceHeld = false;
    if (!m_panning)
        setCursor(Qt::ArrowCursor);
    QWidget::focusOutEvent(event);
}

// ---- context menus --------------------------------------------------------------------------

void CKorvoView::OnRightPress(const QPoint& clientPoint, const QPoint& globalPoint) {
    std::unique_ptr<QMenu> menu = PrepareContextMenu(clientPoint);
    if (!menu)
        return;
    const QAction* chosen = menu->exec(globalPoint);
    RunMenuCommand(chosen);
}

std::unique_ptr<QMenu> CKorvoView::PrepareContextMenu(const QPoint& clientPoint) {
    CSiteDatabase* database = m_frame.Database();
    if (!database)
        return nullptr;
    const CPoint p = ClientToWorld(clientPoint);
    auto menu = std::make_unique<QMenu>(this);
    const CMapScene& scene = Keeper().Scene();

    if (m_groupMode) {
        const bool anySelected =
            std::any_of(m_selection.begin(), m_selection.end(), [&](const CSelected& selected) {
                const CSite* site = scene.SiteOf(selected.node);
                return selected.node.kind == CNodeRef::kSite && site == selected.id &&
                       site->m_selected;
            });
        AddCommand(*menu, QStringLiteral("Hide Group"), kHideGroup, anySelected);
        return menu;
    }

    auto nodeMenu = [&](bool visited) {
        AddCommand(*menu, QStringLiteral("Center"), kCenter);
        AddCommand(*menu, QStringLiteral("Properties"), kProperties);
        AddCommand(*menu, QStringLiteral("Open Site"), kOpenSite);
        menu->addSeparator();
        AddCommand(*menu, QStringLiteral("Hide"), kHide);
        AddCommand(*menu, QStringLiteral("Hide Links"), kHideLinks, visited);
        AddCommand(*menu, QStringLiteral("Unhide Links"), kUnhideLinks, visited);
        menu->addSeparator();
        QMenu* focus = menu->addMenu(QStringLiteral("Focus On..."));
        AddCommand(*focus, QStringLiteral("...this site"), kFocusThisSite);
        AddCommand(*focus, QStringLiteral("...subtree within 1 links"), kFocusWithin1);
        AddCommand(*focus, QStringLiteral("...subtree within 2 links"), kFocusWithin2);
    };
    // Sites in the store's order, each followed by its link nodes: the first hit is the subject.
    CNodeRef site;
    CNodeRef link;
    const bool siteHit = HitVisitedSite(p, site);
    const bool linkHit = (m_frame.Settings().viewFlags & kViewLinks) && HitLinkNode(p, link);
    if (!siteHit && !linkHit)
        return nullptr;
    const bool subjectIsSite = siteHit && (!linkHit || site.slot <= link.slot);
    const CNodeRef subject = subjectIsSite ? site : link;
    nodeMenu(subjectIsSite);
    m_menuSite = scene.SiteOf(subject);
    m_menuParent =
        subjectIsSite ? nullptr : scene.SiteOf(CNodeRef{CNodeRef::kSite, subject.slot, 0});
    Select(subject, true);
    RepaintWorld(NodeArea(subject));
    return menu;
}

void CKorvoView::RunMenuCommand(const QAction* chosen) {
    if (chosen && chosen->isEnabled() && chosen->data().isValid())
        RunCommand(chosen->data().toInt());
}

void CKorvoView::RunCommand(int command) {
    if (command == kHideGroup) {
        OnHideGroup();
        return;
    }
    CSite* subject = m_menuSite;
    if (!subject || !m_frame.Database())
        return;
    CKorvoDoc& document = *m_frame.Document();
    switch (command) {
    case kCenter:
        m_frame.Maps().CenterOnSite(subject);
        update();
        break;
    case kProperties:
        OnProperties();
        break;
    case kOpenSite:
        OpenSite(subject);
        break;
    case kHide:
        if (m_menuParent) {
            subject->m_hidden = 1;
            subject->m_selected = false;
            document.NoteSiteChanged(subject, m_menuParent);
        } else {
            document.HideSite(subject);
        }
        break;
    case kHideLinks:
    case kUnhideLinks:
        if (m_menuParent)
            break;
        if (command == kHideLinks)
            document.HideLinks(subject);
        else
            document.ShowLinks(subject);
        break;
    case kFocusThisSite:
    case kFocusWithin1:
    case kFocusWithin2:
        m_frame.Maps().FocusOnSite(subject, command - kFocusThisSite, m_menuParent);
        break;
    default:
        break;
    }
}

void CKorvoView::OnProperties() {
    CDialogCommands::EditSiteProperties(m_frame, m_menuSite, this);
    m_menuSite = nullptr;
    m_menuParent = nullptr;
}

void CKorvoView::OnHideGroup() {
    CKorvoDoc& document = *m_frame.Document();
    const CMapScene& scene = Keeper().Scene();
    std::vector<CSite*> sites;
    for (const CSelected& selected : m_selection) {
        CSite* site = scene.SiteOf(selected.node);
        if (selected.node.kind == CNodeRef::kSite && site == selected.id && site->m_selected)
            sites.push_back(site);
    }
    for (CSite* site : sites)
        document.HideSite(site);
}

void CKorvoView::OpenSite(CSite* site) {
    m_frame.OpenSite(site);
}

// ---- relaxation, printing, export -------------------------------------------------------------

void CKorvoView::RunRelaxationExercises() {
    if (!m_frame.Database() || m_relaxationPassesLeft > 0)
        return;
    m_relaxationPassesLeft = kRelaxationPasses;
    // One pass a turn of the event loop: the window answers and the maps follow between passes.
    auto pass = std::make_shared<std::function<void()>>();
    *pass = [this, pass] {
        CSiteDatabase* database = m_frame.Database();
        if (!database || m_relaxationPassesLeft <= 0) {
            m_relaxationPassesLeft = 0;
            return;
        }
        RelaxMap(*database);
        m_frame.Document()->NoteStoreChanged();
        if (--m_relaxationPassesLeft > 0)
            QTimer::singleShot(0, this, *pass);
    };
    (*pass)();
}

QImage CKorvoView::RenderWithProgress(const CRect& world, const QSize& size) {
    if (!m_frame.Database() || size.isEmpty())
        return QImage();
    CMapRenderer renderer(Keeper().Snapshot(), m_objects, m_frame.Settings().viewFlags);
    QElapsedTimer elapsed;
    elapsed.start();
    std::unique_ptr<QProgressDialog> progress;
    renderer.SetProgress([&] {
        if (!progress && elapsed.elapsed() > kProgressAfterMs) {
            progress = std::make_unique<QProgressDialog>(QStringLiteral("Drawing the map..."),
                                                         QStringLiteral("Cancel"), 0, 0, this);
            progress->setWindowModality(Qt::WindowModal);
            progress->show();
        }
        if (progress) {
            progress->setValue(0);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return progress->wasCanceled();
        }
        return false;
    });
    QImage image = renderer.RenderImage(world, size);
    return renderer.WasCancelled() ? QImage() : image;
}

QImage CKorvoView::RenderVisiblePart() {
    return RenderWithProgress(m_frame.Maps().WorldRect(), size());
}

QImage CKorvoView::RenderWholeMap() {
    return RenderWithProgress(CRect{0, 0, kWorldSize, kWorldSize}, QSize(kWorldSize, kWorldSize));
}

bool CKorvoView::ExportMap(const QString& fileName, bool wholeMap) {
    const QImage image = wholeMap ? RenderWholeMap() : RenderVisiblePart();
    QSaveFile file(fileName);
    if (image.isNull() || !file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") ||
        !file.commit()) {
        ShowError("Can't write the map to " + fileName.toStdString());
        return false;
    }
    return true;
}

void CKorvoView::PrintMap(QPrinter& printer) {
    if (!m_frame.Database())
        return;
    QPainter painter(&printer);
    if (!painter.isActive()) {
        ShowError("Can't print the map: the printer could not be started.");
        return;
    }
    const QSize page = painter.viewport().size();
    CMapRenderer renderer(Keeper().Snapshot(), m_objects, m_frame.Settings().viewFlags);
    // Decluttered labels as large on paper as on a screen of 96 pixels an inch.
    renderer.SetLabelScale(printer.logicalDpiY() / kScreenDpi);
    renderer.PaintMap(painter, m_frame.Maps().WorldRect(), page, QRect(QPoint(0, 0), page), false);
}

CMetaView* CKorvoView::ActiveOverview() const {
    CMetaView* overview = m_frame.Maps().MetaView();
    return overview && overview->IsActivePane() ? overview : nullptr;
}

void CKorvoView::PrintPane(QPrinter& printer) {
    if (CMetaView* overview = ActiveOverview())
        overview->PrintOverview(printer);
    else
        PrintMap(printer);
}

void CKorvoView::PrintWithDialog() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setFromTo(1, 1);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, 1);
    if (dialog.exec() == QDialog::Accepted)
        PrintPane(printer);
}

void CKorvoView::PrintPreview() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog preview(&printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { PrintPane(*target); });
    preview.exec();
}

bool CKorvoView::ExportOverview(const QString& fileName) {
    CMetaView* overview = m_frame.Maps().MetaView();
    const QImage image = overview ? overview->RenderOverview() : QImage();
    QSaveFile file(fileName);
    if (image.isNull() || !file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") ||
        !file.commit()) {
        ShowError("Can't write the map to " + fileName.toStdString());
        return false;
    }
    return true;
}

void CKorvoView::ExportWithDialog() {
    if (ActiveOverview()) {
        const QString fileName = AskForPngName();
        if (!fileName.isEmpty())
            ExportOverview(fileName);
        return;
    }
    QMessageBox question(QMessageBox::Question, QStringLiteral("Export Map"),
                         QStringLiteral("Export the whole map or only the part the window shows?"),
                         QMessageBox::Cancel, this);
    QPushButton* whole = question.addButton(QStringLiteral("Whole Map"), QMessageBox::AcceptRole);
    QPushButton* visible =
        question.addButton(QStringLiteral("Visible Part"), QMessageBox::AcceptRole);
    question.setDefaultButton(whole);
    question.exec();
    if (question.clickedButton() != whole && question.clickedButton() != visible)
        return;
    const QString fileName = AskForPngName();
    if (!fileName.isEmpty())
        ExportMap(fileName, question.clickedButton() == whole);
}

QString CKorvoView::AskForPngName() {
    QString fileName =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export Map"), QStringLiteral("map.png"),
                                     QStringLiteral("PNG images (*.png)"));
    if (!fileName.isEmpty() && !fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        fileName += QStringLiteral(".png");
    return fileName;
}
