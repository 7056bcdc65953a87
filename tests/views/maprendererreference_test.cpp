// The map renderer (label lines kept between paints, culling, category lines found through the
// categories) against a plain drawing of the same map: every layer node by node with drawText
// and drawEllipse, every pair of visited sites tested for a shared category.
#include "views/maprenderer.h"

#include "dialogs/displaytext.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "shell/sitelabeltext.h"
#include "tests/views/mapnodes.h"
#include "views/mapindex.h"
#include "views/maplabelcache.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The plain drawing, with the label sizes it measures on the way.
class CReferenceMap {
public:
    CReferenceMap(CSiteDatabase& database, const CCategoryTree& tree,
                  const CDrawingObjects& objects, std::int32_t flags)
        : m_database(database), m_tree(tree), m_objects(objects), m_flags(flags) {}

    QImage Paint(const CRect& world, const QSize& size) {
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.fillRect(QRect(QPoint(0, 0), size), m_objects.backgroundBrush);
        CMapRenderer::SetMapping(painter, world, size);
        painter.setClipRect(
            CMapRenderer::MapTransform(world, size).inverted().mapRect(QRectF(image.rect())));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QTransform mapping = painter.combinedTransform();
        auto pen = [&](const QPen& p) { return CDrawingObjects::PenForMapping(p, mapping); };
        const bool lines = (m_flags & kViewLines) != 0;
        if (m_flags & kViewWords) {
            for (const auto& [text, word] : m_database.Words()) {
                if (!CMapRenderer::IsWordShown(*word))
                    continue;
                painter.setPen(pen(m_objects.wordsPen));
                for (const auto& [url, site] : word->m_sites)
                    if (lines && !site->m_hidden)
                        Line(painter, site->Center(), word->Center());
                Word(painter, *word, pen(m_objects.wordsPen));
            }
        }
        const auto& sites = m_database.Sites();
        if (m_flags & kViewLinks) {
            for (const auto& owner : sites) {
                for (const auto& link : owner->m_links) {
                    if (owner->m_hidden || link->m_hidden)
                        continue;
                    painter.setPen(pen(m_objects.linkPen));
                    if (lines)
                        Line(painter, owner->Center(), link->Center());
                    Site(painter, *link, pen(m_objects.outlinePen));
                }
            }
        }
        if (lines) {
            painter.setPen(pen(m_objects.siteLinePen));
            for (const auto& owner : sites) {
                for (const auto& link : owner->m_links) {
                    const CSite* target = m_database.FindSite(link->m_url);
                    if (owner->m_hidden || !target || target->m_hidden ||
                        link->m_url == owner->m_url)
                        continue;
                    Line(painter, link->Center(), target->Center());
                    Line(painter, link->Center(), owner->Center());
                }
            }
        }
        if (lines && (m_flags & kViewCategories)) {
            painter.setPen(pen(m_objects.categoryPen));
            for (std::size_t i = 0; i < sites.size(); ++i)
                for (std::size_t j = i + 1; j < sites.size(); ++j)
                    for (const auto& a : sites[i]->m_categories.Entries())
                        for (const auto& b : sites[j]->m_categories.Entries())
                            if (!sites[i]->m_hidden && !sites[j]->m_hidden && !a.removed &&
                                !b.removed && a.key == b.key)
                                Line(painter, sites[i]->Center(), sites[j]->Center());
        }
        for (const auto& site : sites)
            Site(painter, *site, pen(m_objects.outlinePen));
        return image;
    }

    // Label sizes the plain drawing measured, by node.
    std::map<const void*, std::pair<int, int>> sizes;

private:
    static void Line(QPainter& painter, const CPoint& a, const CPoint& b) {
        painter.drawLine(a.x, a.y, b.x, b.y);
    }
    void Site(QPainter& painter, const CSite& site, const QPen& outline) {
        if (site.m_hidden)
            return;
        const int d = site.Diameter();
        const bool visited = site.m_visited != 0;
        const CMapFont& font = visited ? m_objects.urlFont : m_objects.linkFont;
        const QFontMetricsF metrics(font.font);
        painter.setPen(outline);
        const QColor fill = visited ? font.color : m_objects.linkBrush.color();
        painter.setBrush(site.m_selected
                             ? QColor(255 - fill.red(), 255 - fill.green(), 255 - fill.blue())
                             : fill);
        painter.drawEllipse(QRectF(site.m_x + 0.5, site.m_y + 0.5, d - 1, d - 1));
        painter.setFont(font.font);
        painter.setPen(font.color);
        int y = site.m_y;
        int widest = 0;
        auto text = [&](const std::string& line, int indent) {
            if (!line.empty()) {
                const QString shown = ToDisplayText(line);
                painter.drawText(QPointF(site.m_x + d + 2 + indent, y + metrics.ascent()), shown);
                widest = std::max(
                    widest, indent + static_cast<int>(std::ceil(metrics.horizontalAdvance(shown))));
            }
            y -= font.height;
        };
        if (m_flags & kViewUrl)
            text(WithoutControlChars(site.m_url), 0);
        if (m_flags & kViewTitle)
            text(WithoutControlChars(site.m_title), 0);
        if (m_flags & kViewDate)
            text(site.TimeText(), 0);
        if ((m_flags & kViewAnnotation) && site.m_annotation != "<NONE>")
            text(WithoutControlChars(site.m_annotation), 0);
        if (m_flags & kViewCategories) {
            for (const auto& entry : site.m_categories.Entries()) {
                const CCategory* category = entry.removed ? nullptr : m_tree.CategoryAt(entry.key);
                if (category)
                    text(category->m_name, 5);
            }
        }
        y -= font.height;
        sizes[&site] = {d + 2 + widest, y - site.m_y};
    }
    void Word(QPainter& painter, const CWordEntry& word, const QPen& outline) {
        painter.setPen(outline);
        painter.setBrush(word.m_selected ? m_objects.inverseWordsBrush : m_objects.wordsBrush);
        painter.drawEllipse(QRectF(word.m_x + 0.5, word.m_y + 0.5, 9, 9));
        const QFontMetricsF metrics(m_objects.wordFont.font);
        const QString text = ToDisplayText(word.m_text);
        painter.setFont(m_objects.wordFont.font);
        painter.setPen(m_objects.wordFont.color);
        painter.drawText(QPointF(word.m_x + 12, word.m_y + 5 + metrics.ascent()), text);
        sizes[&word] = {10 + static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + 2,
                        std::max(static_cast<int>(std::ceil(metrics.height())), 10)};
    }

    CSiteDatabase& m_database;
    const CCategoryTree& m_tree;
    const CDrawingObjects& m_objects;
    std::int32_t m_flags;
};

long DifferingPixels(const QImage& a, const QImage& b) {
    long differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return differing;
}

class MapRendererReferenceTest : public ::testing::Test {
protected:
    MapRendererReferenceTest() {
        m_settings.backgroundColor = 0x102030;
        m_settings.viewFlags = 0xFF;
    }

    // Sites, links (some into visited sites, some to their own page), shared words,
    // categories (some sites in two, one entry removed), hidden and selected nodes, titles
    // with control characters.
    void MakeRandomMap(unsigned seed, int siteCount) {
        std::mt19937 random(seed);
        auto coordinate = [&] { return static_cast<int>(random() % 1900) + 20; };
        std::vector<CSite*> sites;
        for (int i = 0; i < siteCount; ++i) {
            CSite* site =
                AddVisitedAt(m_database, "http://s" + std::to_string(i) + "/", coordinate(),
                             coordinate(), "Title\t" + std::to_string(random() % 1000) + "\x01x");
            site->SetTime(1700000000 + static_cast<int>(random() % 1000000));
            if (random() % 4 == 0)
                site->m_annotation = "note\n" + std::to_string(i);
            site->m_selected = random() % 7 == 0;
            sites.push_back(site);
        }
        // Nodes just outside the world's edges: only their antialiased rims reach into view.
        CSite* edge = AddVisitedAt(m_database, "http://edge/", 2000, 700, "Edge");
        AddLinkAt(*edge, "http://s1/", -15, 1301);
        AddLinkAt(*edge, "http://left/", 990, 2001);
        sites.push_back(edge);
        for (CSite* site : sites) {
            for (int l = 0; l < 3; ++l) {
                const std::string url =
                    l == 0 ? site->m_url
                           : "http://s" + std::to_string(random() % (siteCount + 5)) + "/";
                CSite* link = AddLinkAt(*site, url, coordinate(), coordinate());
                link->m_selected = random() % 9 == 0;
                if (random() % 10 == 0)
                    link->Hide();
            }
        }
        for (int w = 0; w < siteCount; ++w) {
            std::vector<CSite*> carriers;
            for (int c = 0; c < 1 + static_cast<int>(random() % 4); ++c)
                carriers.push_back(sites[random() % sites.size()]);
            AddWordAt(m_database, "WORD" + std::to_string(w), coordinate(), coordinate(), carriers)
                ->m_selected = random() % 8 == 0;
        }
        for (int c = 0; c < siteCount / 4; ++c) {
            CCategory* category =
                m_tree.Register(std::make_unique<CCategory>("Category " + std::to_string(c)));
            for (int s = 0; s < 4; ++s)
                category->AddSite(sites[random() % sites.size()]);
            m_categories.push_back(category);
        }
        sites[1]->m_categories.Remove(m_categories[0]->m_index);
        for (std::size_t i = 0; i < sites.size(); i += 11)
            sites[i]->Hide();
    }

    QImage Render(const CRect& world, const QSize& size, CMapLabelCache* labels = nullptr) {
        CMapRenderer renderer(m_database, &m_tree, m_objects, m_settings.viewFlags);
        renderer.SetLabelCache(labels);
        return renderer.RenderImage(world, size);
    }

    QImage Reference(const CRect& world, const QSize& size) {
        CReferenceMap reference(m_database, m_tree, m_objects, m_settings.viewFlags);
        QImage image = reference.Paint(world, size);
        m_sizes = reference.sizes;
        return image;
    }

    // Every node the plain drawing measured has the same m_width and m_height.
    void ExpectSizesOfTheReference() {
        int checked = 0;
        for (const auto& site : m_database.Sites()) {
            auto check = [&](const CSite& node) {
                const auto found = m_sizes.find(&node);
                if (found == m_sizes.end())
                    return;
                ++checked;
                EXPECT_EQ(node.m_width, found->second.first) << node.m_url;
                EXPECT_EQ(node.m_height, found->second.second) << node.m_url;
            };
            check(*site);
            for (const auto& link : site->m_links)
                check(*link);
        }
        for (const auto& [text, word] : m_database.Words()) {
            const auto found = m_sizes.find(word.get());
            if (found == m_sizes.end())
                continue;
            ++checked;
            EXPECT_EQ(word->m_width, found->second.first) << text;
            EXPECT_EQ(word->m_height, found->second.second) << text;
        }
        EXPECT_GT(checked, 0);
    }

    CSettings m_settings;
    CDrawingObjects m_objects{m_settings};
    CSiteDatabase m_database;
    CCategoryTree m_tree;
    std::vector<CCategory*> m_categories;
    std::map<const void*, std::pair<int, int>> m_sizes;
};

TEST_F(MapRendererReferenceTest, SamePictureAndLabelSizesAsPlainDrawingAtSeveralZooms) {
    struct CZoom {
        CRect world;
        QSize size;
    };
    const CZoom zooms[] = {
        {CRect{0, 0, 2000, 2000}, QSize(640, 400)},   // shrunk: one-pixel lines
        {CRect{0, 0, 2000, 2000}, QSize(2000, 1000)}, // x kept, y shrunk
        {CRect{300, 200, 700, 500}, QSize(800, 900)}, // enlarged both ways
    };
    MakeRandomMap(1, 80);
    CMapLabelCache labels;
    // The whole world first: every label is measured, so the zoomed paints cull on true sizes.
    for (const CZoom& zoom : zooms) {
        Render(zoom.world, zoom.size, &labels);
        const QImage reference = Reference(zoom.world, zoom.size);
        // Twice: laid out on the first paint, drawn from the kept lines on the second.
        EXPECT_EQ(DifferingPixels(Render(zoom.world, zoom.size, &labels), reference), 0)
            << "width " << zoom.size.width();
        EXPECT_EQ(DifferingPixels(Render(zoom.world, zoom.size, &labels), reference), 0);
        ExpectSizesOfTheReference();
    }
}

TEST_F(MapRendererReferenceTest, KeptLabelsFollowChangedTitlesAnnotationsCategoriesAndFonts) {
    MakeRandomMap(3, 30);
    const CRect world{0, 0, 2000, 2000};
    const QSize size(800, 800);
    CMapLabelCache labels;
    Render(world, size, &labels);
    const QImage before = Render(world, size, &labels);

    CSite* site = m_database.Sites()[2].get();
    site->m_title = "A much longer title than any other on this map";
    site->m_annotation = "changed";
    m_categories[1]->m_name = "Renamed category";
    const QImage changed = Render(world, size, &labels);
    EXPECT_GT(DifferingPixels(changed, before), 0);
    EXPECT_EQ(DifferingPixels(Render(world, size, &labels), Reference(world, size)), 0);
    ExpectSizesOfTheReference();

    m_settings.urlFont.size = -20;
    m_settings.wordFont.face = "DejaVu Serif";
    m_objects.Rebuild(m_settings);
    Render(world, size, &labels); // new sizes decide what is exposed
    EXPECT_EQ(DifferingPixels(Render(world, size, &labels), Reference(world, size)), 0);
    ExpectSizesOfTheReference();
}

TEST_F(MapRendererReferenceTest, ShrunkMapKeepsLinesOnePixelWideAndEnlargedMapScalesThem) {
    // A horizontal link line on y = 1005: pixel row 100 of the shrunk picture, rows 218 to
    // 221 of the enlarged one.
    CSite* a = AddVisitedAt(m_database, "http://a/", 100, 995);
    AddLinkAt(*a, "http://b/", 1800, 998);
    m_settings.viewFlags = kViewLinks | kViewLines;
    m_objects.Rebuild(m_settings);
    const QColor link = m_objects.linkPen.color();

    // A tenth of a pixel per unit: the line still covers a pixel column in full colour.
    const QImage shrunk = Render(CRect{0, 0, 2000, 2000}, QSize(200, 200));
    int strongest = 0;
    for (int y = 95; y <= 105; ++y)
        strongest = std::max(strongest, QColor(shrunk.pixel(100, y)).green());
    EXPECT_GE(strongest, link.green() * 9 / 10);

    // Four pixels per unit: the line is about four pixels thick.
    const QImage enlarged = Render(CRect{900, 950, 1100, 1050}, QSize(800, 400));
    int covered = 0;
    for (int y = 0; y < enlarged.height(); ++y)
        covered += QColor(enlarged.pixel(400, y)).green() == link.green() ? 1 : 0;
    EXPECT_GE(covered, 3);
    EXPECT_LE(covered, 5);
}

// One move of a drag as the linkage map paints it: the union of the node's old and new
// rectangles repainted from the drag index, over the picture of the press.
TEST_F(MapRendererReferenceTest, DragRepaintThroughTheIndexEqualsAFullPaint) {
    MakeRandomMap(4, 120);
    const CRect world{0, 0, 2000, 2000};
    const QSize size(900, 700);
    auto paint = [&](QImage& image, const QRect& area, const std::vector<CMapNodeRef>* nodes) {
        CMapRenderer renderer(m_database, &m_tree, m_objects, m_settings.viewFlags);
        renderer.SetTracking(true);
        QPainter painter(&image);
        renderer.PaintMap(painter, world, size, area, true, nodes);
    };
    QImage screen(size, QImage::Format_RGB32);
    paint(screen, screen.rect(), nullptr);
    paint(screen, screen.rect(), nullptr); // label sizes of the press picture

    // The index is made at the press; the node then moves away from where it was filed.
    for (int drag = 0; drag < 4; ++drag) {
        CSite* dragged = m_database.Sites()[static_cast<std::size_t>(drag * 7 + 3)].get();
        ASSERT_FALSE(dragged->m_hidden);
        const CMapIndex index(m_database, m_settings.viewFlags, {dragged});
        for (int move = 0; move < 4; ++move) {
            const CRect before = dragged->NodeBounds();
            dragged->m_x += drag % 2 ? 150 : -130;
            dragged->m_y += move % 2 ? 90 : -60;
            const CRect after = dragged->NodeBounds();
            const CRect both{std::min(before.left, after.left), std::min(before.top, after.top),
                             std::max(before.right, after.right),
                             std::max(before.bottom, after.bottom)};
            const QRect area = CMapRenderer::WorldToDevice(both, world, size);
            const QRectF areaWorld =
                CMapRenderer::MapTransform(world, size).inverted().mapRect(QRectF(area));
            const std::vector<CMapNodeRef> nodes = index.NodesNear(areaWorld);
            paint(screen, area, &nodes);

            QImage full(size, QImage::Format_RGB32);
            paint(full, full.rect(), nullptr);
            EXPECT_EQ(DifferingPixels(screen, full), 0) << "drag " << drag << " move " << move;
        }
    }
}

// A repaint of part of the view drawn on an image of the view's size gives, inside the part,
// the pixels of the whole picture (the linkage map repaints off screen this way).
TEST_F(MapRendererReferenceTest, PartRepaintedOnAViewSizedImageIsThatPartOfTheWholePicture) {
    MakeRandomMap(5, 80);
    const CRect world{150, 100, 1850, 1900};
    const QSize size(700, 500);
    CMapRenderer renderer(m_database, &m_tree, m_objects, m_settings.viewFlags);
    renderer.RenderImage(world, size);
    const QImage whole = renderer.RenderImage(world, size);
    for (const QRect& area :
         {QRect(123, 77, 301, 188), QRect(650, 0, 50, 500), QRect(0, 420, 700, 80)}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            renderer.PaintMap(painter, world, size, area, true);
        }
        EXPECT_EQ(DifferingPixels(image.copy(area), whole.copy(area)), 0)
            << area.x() << "," << area.y() << " " << area.width() << "x" << area.height();
        const QPoint outside = area.top() > 0 ? QPoint(area.left(), area.top() - 1)
                                              : QPoint(area.left() - 1, area.top());
        EXPECT_EQ(image.pixel(outside), QColor(Qt::white).rgb()); // nothing drawn outside
    }
}

} // namespace
