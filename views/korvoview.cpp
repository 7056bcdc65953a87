#include "views/korvoview.h"

#include "dialogs/dialogcommands.h"
#include "model/categorytree.h"
#include "model/errorreport.h"
#include "model/maprelaxation.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "shell/settings.h"
#include "views/mapindex.h"
#include "views/maplabelcache.h"
#include "views/mapnavigator.h"
#include "views/maprenderer.h"
#include "views/metaview.h"
#include "views/urllist.h"

#include <QAction>
#include <QFileDialog>
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
#include <QPushButton>
#include <QRubberBand>
#include <QSaveFile>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

constexpr int kWorldSize = 2000;
constexpr int kRelaxationPasses = 100;
// Antialiased outlines reach a little beyond the node rectangles.
constexpr int kRepaintMargin = 2;

CRect Normalized(const CRect& r) {
    return CRect{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                 std::max(r.top, r.bottom)};
}

CRect United(const CRect& a, const CRect& b) {
    return CRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                 std::max(a.bottom, b.bottom)};
}

// The area a site node may cover: its label rectangle with margins, and its dot.
CRect RepaintBounds(const CSite& site) {
    const int d = site.Diameter();
    return United(Normalized(site.NodeBounds()),
                  CRect{site.m_x - 5, site.m_y - 5, site.m_x + d + 5, site.m_y + d + 5});
}

CRect RepaintBounds(const CWordEntry& word) {
    return Normalized(word.NodeBounds());
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
      m_labels(std::make_unique<CMapLabelCache>()) {
    setObjectName(QStringLiteral("MapView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_frame.Maps().SetMapView(this);
    m_frame.Maps().SetWorldRect(CRect{0, 0, 300, 300});
    if (CKorvoDoc* document = m_frame.Document())
        document->AddView(this, [this] { OnUpdate(); });
    AddCommands();
    update();
}

CKorvoView::~CKorvoView() = default;

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
    m_objects.Rebuild(m_frame.Settings());
    m_dragIndex.reset();
    DropLabelsOfRemovedNodes();
    update();
}

void CKorvoView::DropLabelsOfRemovedNodes() {
    // Labels are found by node address and checked against the node's texts, so a removed
    // node's lines are never drawn for another; they are only dropped to bound the memory.
    const CSiteDatabase* database = m_frame.Database();
    std::size_t nodes = database ? database->Words().size() : 0;
    if (database) {
        for (const auto& site : database->Sites())
            nodes += site ? 1 + site->m_links.size() : 0;
    }
    if (m_labels->NodeCount() > 2 * nodes + 1000)
        m_labels->Clear();
}

CMapRenderer CKorvoView::MakeRenderer() {
    CMapRenderer renderer(*m_frame.Database(), m_frame.CategoryTree(), m_objects,
                          m_frame.Settings().viewFlags);
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
    update(WorldToClient(rect).adjusted(-kRepaintMargin, -kRepaintMargin, kRepaintMargin,
                                        kRepaintMargin));
}

void CKorvoView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (!m_frame.Database()) {
        painter.fillRect(event->rect(), m_objects.backgroundBrush);
        return;
    }
    const CRect& world = m_frame.Maps().WorldRect();
    CMapRenderer renderer = MakeRenderer();
    if (m_tracking && m_dragIndex) {
        // Dragging: only the nodes near the repainted area, found through the index.
        const QRectF exposedWorld =
            CMapRenderer::MapTransform(world, size()).inverted().mapRect(QRectF(event->rect()));
        const std::vector<CMapNodeRef> nodes = m_dragIndex->NodesNear(exposedWorld);
        renderer.PaintMap(painter, world, size(), event->rect(), true, &nodes);
        return;
    }
    if (devicePixelRatio() == 1) {
        // Drawn off screen first, where the lines can be written straight into the image; the
        // image has the view's size so that lines are cut at the same edges as on screen.
        if (m_offscreen.size() != size())
            m_offscreen = QImage(size(), QImage::Format_RGB32);
        {
            QPainter offscreen(&m_offscreen);
            renderer.PaintMap(offscreen, world, size(), event->rect(), true);
        }
        painter.drawImage(event->rect().topLeft(), m_offscreen, event->rect());
    } else {
        renderer.PaintMap(painter, world, size(), event->rect(), true);
    }
    // The first picture of a drag measured every label in view; index them for the moves.
    if (m_tracking)
        BuildDragIndex();
}

void CKorvoView::BuildDragIndex() {
    const CSiteDatabase* database = m_frame.Database();
    const std::int32_t flags = m_frame.Settings().viewFlags;
    std::unordered_set<const void*> moving;
    if (m_groupMode) {
        for (const auto& site : database->Sites()) {
            if (!site)
                continue;
            if (site->m_selected)
                moving.insert(site.get());
            for (const auto& link : site->m_links) {
                if (link && link->m_selected)
                    moving.insert(link.get());
            }
        }
        if (flags & kViewWords) {
            for (const auto& [text, word] : database->Words()) {
                if (word && word->m_selected)
                    moving.insert(word.get());
            }
        }
    }
    if (m_dragSite)
        moving.insert(m_dragSite);
    if (m_dragWord)
        moving.insert(m_dragWord);
    m_dragIndex = std::make_unique<CMapIndex>(*database, flags, moving);
}

// ---- mouse ----------------------------------------------------------------------------------

void CKorvoView::mousePressEvent(QMouseEvent* event) {
    if (!m_frame.Database())
        return;
    if (event->button() == Qt::LeftButton)
        OnLeftPress(event->position().toPoint());
    else if (event->button() == Qt::RightButton)
        OnRightPress(event->position().toPoint(), event->globalPosition().toPoint());
}

bool CKorvoView::GroupIsHit(const CPoint& p) const {
    const std::int32_t flags = m_frame.Settings().viewFlags;
    for (const auto& site : m_frame.Database()->Sites()) {
        if (!site || site->m_hidden)
            continue;
        if (site->m_selected && site->HitTest(p.x, p.y))
            return true;
        if (!(flags & kViewLinks))
            continue;
        for (const auto& link : site->m_links) {
            if (link && !link->m_hidden && link->m_selected && link->HitTest(p.x, p.y))
                return true;
        }
    }
    if (flags & kViewWords) {
        for (const auto& [text, word] : m_frame.Database()->Words()) {
            if (word && word->m_selected && word->HitTest(p.x, p.y) &&
                CMapRenderer::IsWordShown(*word))
                return true;
        }
    }
    return false;
}

void CKorvoView::OnLeftPress(const QPoint& clientPoint) {
    m_tracking = true;
    m_dragIndex.reset();
    update(); // redrawn without lines while the button is down
    m_dragSite = nullptr;
    m_dragParent = nullptr;
    const CPoint p = ClientToWorld(clientPoint);
    m_lastPoint = p;

    if (m_groupMode) {
        if (GroupIsHit(p))
            m_captured = true;
        else
            m_groupMode = false;
        return;
    }

    const std::int32_t flags = m_frame.Settings().viewFlags;
    const auto& sites = m_frame.Database()->Sites();
    for (const auto& site : sites) {
        if (!site || site->m_hidden)
            continue;
        site->m_selected = false;
        if (site->HitTest(p.x, p.y)) {
            site->m_selected = true;
            m_dragSite = site.get();
            m_captured = true;
            RepaintWorld(RepaintBounds(*site));
            return;
        }
    }
    if (flags & kViewLinks) {
        for (const auto& owner : sites) {
            if (!owner || owner->m_hidden)
                continue;
            for (const auto& link : owner->m_links) {
                if (!link)
                    continue;
                link->m_selected = false;
                if (!link->m_hidden && link->HitTest(p.x, p.y)) {
                    link->m_selected = true;
                    m_dragParent = owner.get();
                    m_dragSite = link.get();
                    m_captured = true;
                    return;
                }
            }
        }
    }
    if (flags & kViewWords) {
        for (const auto& [text, word] : m_frame.Database()->Words()) {
            if (!word)
                continue;
            word->m_selected = 0;
            if (word->HitTest(p.x, p.y) && CMapRenderer::IsWordShown(*word)) {
                word->m_selected = 1;
                m_dragWord = word.get();
                m_captured = true;
                return;
            }
        }
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
    bool moved = false;
    CRect dirty;
    auto move = [&](auto& node) {
        const CRect before = RepaintBounds(node);
        node.m_x += dx;
        node.m_y += dy;
        const CRect both = United(before, RepaintBounds(node));
        dirty = moved ? United(dirty, both) : both;
        moved = true;
    };
    for (const auto& site : m_frame.Database()->Sites()) {
        if (!site)
            continue;
        if (site->m_selected)
            move(*site);
        if (!(flags & kViewLinks))
            continue;
        for (const auto& link : site->m_links) {
            if (link && link->m_selected)
                move(*link);
        }
    }
    if (flags & kViewWords) {
        for (const auto& [text, word] : m_frame.Database()->Words()) {
            if (word && word->m_selected)
                move(*word);
        }
    }
    if (moved)
        RepaintWorld(dirty);
}

void CKorvoView::MoveDraggedNode(const CPoint& p) {
    if (m_dragSite) {
        const CRect before = RepaintBounds(*m_dragSite);
        m_dragSite->m_x = p.x;
        m_dragSite->m_y = p.y;
        RepaintWorld(United(before, RepaintBounds(*m_dragSite)));
    }
    if (m_dragWord) {
        const CRect before = RepaintBounds(*m_dragWord);
        m_dragWord->m_x = p.x;
        m_dragWord->m_y = p.y;
        RepaintWorld(United(before, RepaintBounds(*m_dragWord)));
    }
}

void CKorvoView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_frame.Database())
        return;
    m_tracking = false;
    if (m_dragSite)
        m_dragSite->m_selected = false;
    if (m_dragParent)
        m_dragParent->m_selected = false;
    if (m_dragWord)
        m_dragWord->m_selected = 0;
    m_dragSite = nullptr;
    m_dragParent = nullptr;
    m_dragWord = nullptr;
    m_groupMode = false;

    if (m_bandActive) {
        SelectInsideBand();
        m_rubberBand->hide();
        m_bandActive = false;
    } else {
        ClearSelection();
    }
    m_captured = false;
    m_dragIndex.reset();
    update();
}

void CKorvoView::SelectInsideBand() {
    // The band selects only when dragged towards the lower right: start < node < end.
    const CPoint start = ClientToWorld(m_bandStart);
    const CPoint end = ClientToWorld(m_bandEnd);
    const std::int32_t flags = m_frame.Settings().viewFlags;
    for (const auto& site : m_frame.Database()->Sites()) {
        if (!site || site->m_hidden)
            continue;
        if (InsideBand(start, end, site->m_x, site->m_y, site->Diameter())) {
            site->m_selected = true;
            m_groupMode = true;
        }
        if (!(flags & kViewLinks))
            continue;
        for (const auto& link : site->m_links) {
            if (link && !link->m_hidden &&
                InsideBand(start, end, link->m_x, link->m_y, link->Diameter())) {
                link->m_selected = true;
                m_groupMode = true;
            }
        }
    }
    if (flags & kViewWords) {
        for (const auto& [text, word] : m_frame.Database()->Words()) {
            if (word && InsideBand(start, end, word->m_x, word->m_y, CWordEntry::kDiameter) &&
                CMapRenderer::IsWordShown(*word)) {
                word->m_selected = 1;
                m_groupMode = true;
            }
        }
    }
}

void CKorvoView::ClearSelection() {
    const std::int32_t flags = m_frame.Settings().viewFlags;
    for (const auto& site : m_frame.Database()->Sites()) {
        if (!site)
            continue;
        site->m_selected = false;
        if (!(flags & kViewLinks))
            continue;
        for (const auto& link : site->m_links) {
            if (link)
                link->m_selected = false;
        }
    }
    if (flags & kViewWords) {
        for (const auto& [text, word] : m_frame.Database()->Words()) {
            if (word)
                word->m_selected = 0;
        }
    }
}

void CKorvoView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_frame.Database())
        return;
    const CPoint p = ClientToWorld(event->position().toPoint());
    const auto& sites = m_frame.Database()->Sites();
    for (const auto& site : sites) {
        if (site && !site->m_hidden && site->HitTest(p.x, p.y)) {
            OpenSite(site.get());
            return;
        }
    }
    if (!(m_frame.Settings().viewFlags & kViewLinks))
        return;
    for (const auto& owner : sites) {
        if (!owner || owner->m_hidden)
            continue;
        for (const auto& link : owner->m_links) {
            if (link && !link->m_hidden && link->HitTest(p.x, p.y)) {
                OpenSite(link.get());
                return;
            }
        }
    }
}

void CKorvoView::wheelEvent(QWheelEvent* event) {
    event->accept(); // the map does not scroll or zoom with the wheel
}

void CKorvoView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_D && !(event->modifiers() & ~Qt::KeypadModifier)) {
        m_frame.ToggleDebugMode();
        return;
    }
    QWidget::keyPressEvent(event);
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

    if (m_groupMode) {
        const bool anySelected =
            std::any_of(database->Sites().begin(), database->Sites().end(),
                        [](const auto& site) { return site && site->m_selected; });
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
    const bool links = (m_frame.Settings().viewFlags & kViewLinks) != 0;
    for (const auto& site : database->Sites()) {
        if (!site || site->m_hidden)
            continue;
        if (site->HitTest(p.x, p.y)) {
            nodeMenu(true);
            m_menuSite = site.get();
            m_menuSite->m_selected = true;
            m_menuParent = nullptr;
            RepaintWorld(RepaintBounds(*site));
            return menu;
        }
        if (!links)
            continue;
        for (const auto& link : site->m_links) {
            if (link && !link->m_hidden && link->HitTest(p.x, p.y)) {
                nodeMenu(false);
                m_menuSite = link.get();
                m_menuSite->m_selected = true;
                m_menuParent = site.get();
                RepaintWorld(RepaintBounds(*link));
                return menu;
            }
        }
    }
    return nullptr;
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
        m_frame.Document()->HideSite(subject);
        m_frame.Refresh();
        break;
    case kHideLinks:
    case kUnhideLinks:
        if (m_menuParent)
            break;
        if (command == kHideLinks)
            m_frame.Document()->HideLinks(subject);
        else
            m_frame.Document()->ShowLinks(subject);
        m_frame.Refresh();
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
    bool hidden = false;
    for (const auto& site : m_frame.Database()->Sites()) {
        if (site && site->m_selected) {
            m_frame.Document()->HideSite(site.get());
            hidden = true;
        }
    }
    if (hidden)
        m_frame.Refresh();
}

void CKorvoView::OpenSite(CSite* site) {
    m_frame.OpenSite(site);
}

// ---- relaxation, printing, export -------------------------------------------------------------

void CKorvoView::RunRelaxationExercises() {
    CSiteDatabase* database = m_frame.Database();
    if (!database)
        return;
    for (int pass = 0; pass < kRelaxationPasses; ++pass) {
        RelaxMap(*database);
        m_frame.Refresh();
        repaint();
        if (CMetaView* overview = m_frame.Maps().MetaView())
            overview->repaint();
    }
}

QImage CKorvoView::RenderVisiblePart() {
    if (!m_frame.Database() || size().isEmpty())
        return QImage();
    CMapRenderer renderer = MakeRenderer();
    renderer.SetTracking(false);
    return renderer.RenderImage(m_frame.Maps().WorldRect(), size());
}

QImage CKorvoView::RenderWholeMap() {
    if (!m_frame.Database())
        return QImage();
    CMapRenderer renderer = MakeRenderer();
    renderer.SetTracking(false);
    return renderer.RenderImage(CRect{0, 0, kWorldSize, kWorldSize}, QSize(kWorldSize, kWorldSize));
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
    CMapRenderer renderer = MakeRenderer();
    renderer.SetTracking(false);
    renderer.PaintMap(painter, m_frame.Maps().WorldRect(), page, QRect(QPoint(0, 0), page), false);
}

void CKorvoView::PrintWithDialog() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setFromTo(1, 1);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, 1);
    if (dialog.exec() == QDialog::Accepted)
        PrintMap(printer);
}

void CKorvoView::PrintPreview() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog preview(&printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { PrintMap(*target); });
    preview.exec();
}

void CKorvoView::ExportWithDialog() {
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
    QString fileName =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export Map"), QStringLiteral("map.png"),
                                     QStringLiteral("PNG images (*.png)"));
    if (fileName.isEmpty())
        return;
    if (!fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        fileName += QStringLiteral(".png");
    ExportMap(fileName, question.clickedButton() == whole);
}
