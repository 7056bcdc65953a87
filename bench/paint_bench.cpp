// Painting the whole linkage map into a 1600 x 1000 image: the map renderer against a naive
// loop that draws every layer node by node (antialiased drawEllipse and drawText for every
// node, every pair of visited sites tested for a shared category, no culling, no caching);
// the same picture drawn by the background workers in two bands; the picture with "Declutter
// Labels" against the one with every label; and repainting the area of one dragged node against
// a full paint.
#include "bench/syntheticstore.h"
#include "dialogs/displaytext.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "shell/sitelabeltext.h"
#include "views/maplabelcache.h"
#include "views/maprenderer.h"
#include "views/maprenderqueue.h"
#include "views/mapscene.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_set>

namespace {
constexpr std::int32_t kAllLayers = 0xFF;
const QSize kImageSize(1600, 1000);
const CRect kWorld{0, 0, 2000, 2000};

struct CPaintWorld {
    CPaintWorld() : store(Shape()), objects(settings) {}
    // WAYFOLD_PAINT_SITES makes a smaller world of the same proportions (while developing).
    static CStoreShape Shape() {
        const int sites = std::clamp(qEnvironmentVariableIntValue("WAYFOLD_PAINT_SITES"), 0, 10000);
        CStoreShape shape;
        shape.sites = sites > 0 ? sites : 10000;
        shape.linksPerSite = 10; // 100,000 link nodes
        shape.wordsPerSite = 20;
        shape.vocabulary = 2 * shape.sites;
        shape.indexEveryWord = true; // 20,000 words
        shape.categories = shape.sites / 10;
        shape.sitesPerCategory = 10;
        shape.wordsPerCategory = 5;
        return shape;
    }
    CSyntheticStore store;
    CSettings settings;
    CDrawingObjects objects;
    CMapLabelCache labels;            // kept between paints, as the linkage map keeps its own
    std::shared_ptr<CMapScene> scene; // made after the first paint settled the label sizes
};

CPaintWorld& World() {
    static CPaintWorld world;
    return world;
}

// The map as the layers read, every node drawn, nothing skipped for being off the area.
class CNaivePainter {
public:
    CNaivePainter(CPaintWorld& world) : m_world(world), m_objects(world.objects) {}

    QImage Paint() {
        QImage image(kImageSize, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.fillRect(QRect(QPoint(0, 0), kImageSize), m_objects.backgroundBrush);
        CMapRenderer::SetMapping(painter, kWorld, kImageSize);
        painter.setClipRect(QRectF(0, 0, 2000, 2000));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setBackgroundMode(Qt::TransparentMode);
        const QTransform mapping = painter.combinedTransform();
        m_linkPen = CDrawingObjects::PenForMapping(m_objects.linkPen, mapping);
        m_wordsPen = CDrawingObjects::PenForMapping(m_objects.wordsPen, mapping);
        m_outlinePen = CDrawingObjects::PenForMapping(m_objects.outlinePen, mapping);
        m_categoryPen = CDrawingObjects::PenForMapping(m_objects.categoryPen, mapping);
        m_siteLinePen = CDrawingObjects::PenForMapping(m_objects.siteLinePen, mapping);
        CSiteDatabase& database = m_world.store.Database();
        for (const auto& [text, word] : database.Words()) {
            if (!CMapRenderer::IsWordShown(*word))
                continue;
            painter.setPen(m_wordsPen);
            for (const auto& [url, site] : word->m_sites)
                if (!site->m_hidden)
                    Line(painter, site->Center(), word->Center());
            Word(painter, *word);
        }
        for (const auto& owner : database.Sites()) {
            if (owner->m_hidden)
                continue;
            for (const auto& link : owner->m_links) {
                if (link->m_hidden)
                    continue;
                painter.setPen(m_linkPen);
                Line(painter, owner->Center(), link->Center());
                Site(painter, *link);
            }
        }
        painter.setPen(m_siteLinePen);
        for (const auto& owner : database.Sites()) {
            if (owner->m_hidden)
                continue;
            for (const auto& link : owner->m_links) {
                const CSite* target = database.FindSite(link->m_url);
                if (!target || target->m_hidden || link->m_url == owner->m_url)
                    continue;
                Line(painter, link->Center(), target->Center());
                Line(painter, link->Center(), owner->Center());
            }
        }
        painter.setPen(m_categoryPen);
        const auto& sites = database.Sites();
        for (std::size_t i = 0; i < sites.size(); ++i) {
            if (sites[i]->m_hidden || sites[i]->m_categories.ActiveCount() == 0)
                continue;
            for (std::size_t j = i + 1; j < sites.size(); ++j) {
                if (sites[j]->m_hidden)
                    continue;
                for (const auto& a : sites[i]->m_categories.Entries())
                    for (const auto& b : sites[j]->m_categories.Entries())
                        if (!a.removed && !b.removed && a.key == b.key)
                            Line(painter, sites[i]->Center(), sites[j]->Center());
            }
        }
        for (const auto& site : database.Sites())
            Site(painter, *site);
        return image;
    }

private:
    static void Line(QPainter& painter, const CPoint& a, const CPoint& b) {
        painter.drawLine(a.x, a.y, b.x, b.y);
    }
    void Site(QPainter& painter, const CSite& site) {
        if (site.m_hidden)
            return;
        const int d = site.Diameter();
        const bool visited = site.m_visited != 0;
        const CMapFont& font = visited ? m_objects.urlFont : m_objects.linkFont;
        const QFontMetricsF metrics(font.font);
        painter.setPen(m_outlinePen);
        painter.setBrush(visited ? QBrush(font.color) : m_objects.linkBrush);
        painter.drawEllipse(QRectF(site.m_x + 0.5, site.m_y + 0.5, d - 1, d - 1));
        painter.setFont(font.font);
        painter.setPen(font.color);
        int y = site.m_y;
        auto text = [&](const std::string& line, int indent) {
            if (!line.empty())
                painter.drawText(QPointF(site.m_x + d + 2 + indent, y + metrics.ascent()),
                                 ToDisplayText(line));
            y -= font.height;
        };
        text(WithoutControlChars(site.m_url), 0);
        text(WithoutControlChars(site.m_title), 0);
        text(site.TimeText(), 0);
        if (site.m_annotation != "<NONE>")
            text(WithoutControlChars(site.m_annotation), 0);
        for (const auto& entry : site.m_categories.Entries()) {
            const CCategory* category =
                entry.removed ? nullptr : m_world.store.Categories().CategoryAt(entry.key);
            if (category)
                text(category->m_name, 5);
        }
    }
    void Word(QPainter& painter, const CWordEntry& word) {
        painter.setPen(m_wordsPen);
        painter.setBrush(m_objects.wordsBrush);
        painter.drawEllipse(QRectF(word.m_x + 0.5, word.m_y + 0.5, 9, 9));
        const QFontMetricsF metrics(m_objects.wordFont.font);
        painter.setFont(m_objects.wordFont.font);
        painter.setPen(m_objects.wordFont.color);
        painter.drawText(QPointF(word.m_x + 12, word.m_y + 5 + metrics.ascent()),
                         ToDisplayText(word.m_text));
    }

    CPaintWorld& m_world;
    const CDrawingObjects& m_objects;
    QPen m_linkPen;
    QPen m_wordsPen;
    QPen m_outlinePen;
    QPen m_categoryPen;
    QPen m_siteLinePen;
};

// The scene of the world with the label sizes a first paint measured, as the maps keep it.
std::shared_ptr<CMapScene> Scene(CPaintWorld& world) {
    if (!world.scene) {
        CMapRenderer first(world.store.Database(), &world.store.Categories(), world.objects,
                           kAllLayers);
        first.SetLabelCache(&world.labels);
        first.RenderImage(kWorld, kImageSize);
        world.scene = std::make_shared<CMapScene>();
        world.scene->Reset(&world.store.Database(), &world.store.Categories());
    }
    return world.scene;
}

QImage RendererImage(CPaintWorld& world) {
    CMapRenderer renderer(Scene(world), world.objects, kAllLayers);
    renderer.SetLabelCache(&world.labels);
    return renderer.RenderImage(kWorld, kImageSize);
}

void BM_PaintWorldRenderer(benchmark::State& state) {
    CPaintWorld& world = World();
    RendererImage(world); // node sizes are known after a first paint
    for (auto _ : state)
        benchmark::DoNotOptimize(RendererImage(world));
    const QImage naive = CNaivePainter(world).Paint();
    const QImage ours = RendererImage(world);
    long differing = 0;
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x)
            differing += ours.pixel(x, y) != naive.pixel(x, y) ? 1 : 0;
    state.counters["differing_pixels"] = static_cast<double>(differing);
    if (qEnvironmentVariableIsSet("WAYFOLD_PAINT_DIFFS")) {
        int shown = 0;
        for (int y = 0; y < ours.height() && shown < 40; ++y)
            for (int x = 0; x < ours.width() && shown < 40; ++x)
                if (ours.pixel(x, y) != naive.pixel(x, y) && ++shown)
                    std::fprintf(stderr, "%d,%d ours %08x naive %08x\n", x, y, ours.pixel(x, y),
                                 naive.pixel(x, y));
    }
    if (qEnvironmentVariableIsSet("WAYFOLD_PAINT_DUMP")) {
        ours.save(qEnvironmentVariable("WAYFOLD_PAINT_DUMP") + QStringLiteral("-renderer.png"));
        naive.save(qEnvironmentVariable("WAYFOLD_PAINT_DUMP") + QStringLiteral("-naive.png"));
    }
}

// The same picture with "Declutter Labels": only the labels that fit are drawn (placed for the
// whole picture first), the best connected first.
void BM_PaintWorldDecluttered(benchmark::State& state) {
    CPaintWorld& world = World();
    static CMapLabelCache labels; // its fonts differ from the other rows': a cache of its own
    CMapRenderer renderer(Scene(world), world.objects, kAllLayers | kViewDeclutter);
    renderer.SetLabelCache(&labels);
    renderer.RenderImage(kWorld, kImageSize); // labels laid out once, as between pictures
    for (auto _ : state)
        benchmark::DoNotOptimize(renderer.RenderImage(kWorld, kImageSize));
    QElapsedTimer placing;
    placing.start();
    const auto placement = renderer.PlaceLabels(kWorld, kImageSize);
    state.counters["placement_ms"] = static_cast<double>(placing.nsecsElapsed()) / 1e6;
    state.counters["labels"] = static_cast<double>(placement->size());
}

void BM_PaintWorldNaive(benchmark::State& state) {
    CPaintWorld& world = World();
    RendererImage(world);
    for (auto _ : state)
        benchmark::DoNotOptimize(CNaivePainter(world).Paint());
}

// The whole-world picture as the linkage map gets it: drawn off the window's thread by the
// two workers of a render queue, each a band of it (their label lines kept between pictures).
void BM_PaintWorldTwoBands(benchmark::State& state) {
    CPaintWorld& world = World();
    CMapRenderRequest request;
    request.scene = Scene(world);
    request.display = std::make_shared<const CSettings>(world.settings);
    request.viewFlags = kAllLayers;
    request.world = kWorld;
    request.size = kImageSize;
    CMapRenderQueue queue(2);
    std::shared_ptr<const CMapPicture> picture;
    QObject::connect(&queue, &CMapRenderQueue::Finished,
                     [&](const std::shared_ptr<const CMapPicture>& done) { picture = done; });
    auto draw = [&] {
        picture.reset();
        queue.Request(request, false);
        while (!picture)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    draw(); // the workers lay out their labels once
    for (auto _ : state)
        draw();
    long differing = 0;
    const QImage ours = RendererImage(world);
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x)
            differing += ours.pixel(x, y) != picture->image.pixel(x, y) ? 1 : 0;
    state.counters["differing_pixels"] = static_cast<double>(differing);
}

// One move of a drag: the node jumps 30 units; the linkage map shows the picture of the press,
// which leaves the node out, over the union of its old and new rectangles, and draws the node
// where it is now.
void BM_RepaintAfterDrag(benchmark::State& state) {
    CPaintWorld& world = World();
    const std::shared_ptr<CMapScene> scene = Scene(world);
    const std::size_t slot = world.store.Database().Sites().size() * 4321 / 10000;
    CSite* dragged = world.store.Database().Sites()[slot].get();
    const std::vector<CMapScene::CNodeRef> moving{
        {CMapScene::CNodeRef::kSite, static_cast<std::uint32_t>(slot), 0}};
    CMapRenderer renderer(scene, world.objects, kAllLayers);
    renderer.SetLabelCache(&world.labels);
    renderer.SetTracking(true);
    renderer.SetExcluded(moving);
    const QImage press = renderer.RenderImage(kWorld, kImageSize);
    renderer.SetExcluded({});
    QImage screen = press;
    int step = 30;
    for (auto _ : state) {
        const CRect before = dragged->NodeBounds();
        dragged->m_x += step;
        step = -step;
        scene->UpdateSite(*dragged);
        const CRect after = dragged->NodeBounds();
        const CRect both{std::min(before.left, after.left), std::min(before.top, after.top),
                         std::max(before.right, after.right),
                         std::max(before.bottom, after.bottom)};
        const QRect device = CMapRenderer::WorldToDevice(both, kWorld, kImageSize);
        QPainter painter(&screen);
        painter.setClipRect(device);
        painter.drawImage(device.topLeft(), press, device);
        renderer.PaintMap(painter, kWorld, kImageSize, device, false, &moving);
    }
}
} // namespace

BENCHMARK(BM_PaintWorldRenderer)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PaintWorldNaive)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PaintWorldDecluttered)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PaintWorldTwoBands)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RepaintAfterDrag)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
