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
#include "views/maplabelcache.h"
#include "views/maprenderqueue.h"
#include "views/mapscene.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
            y -= m_objects.urlFont.height;
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
        y -= m_objects.urlFont.height;
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

// The picture the workers draw in bands, off the window's thread, from a copy of the scene is
// the picture drawn on the window's thread, with the same label sizes; decluttered labels,
// placed once for the picture, and soft lines included.
TEST_F(MapRendererReferenceTest, BackgroundPictureInBandsIsThePictureOfTheWindowsThread) {
    MakeRandomMap(4, 120);
    m_objects.Rebuild(m_settings);
    const CRect world{40, 10, 1910, 1980};
    const QSize size(900, 701);
    // Settled label sizes: a band culls nodes by them, as a part repaint does.
    Render(CRect{0, 0, 2000, 2000}, QSize(2000, 2000));
    auto scene = std::make_shared<CMapScene>();
    scene->Reset(&m_database, &m_tree);
    CMapRenderQueue queue(2);
    for (const std::int32_t flags : {0xFF, 0xFF | kViewDeclutter | kViewSoftLines}) {
        m_settings.viewFlags = flags;
        CMapRenderRequest request;
        request.scene = scene;
        request.display = std::make_shared<const CSettings>(m_settings);
        request.viewFlags = flags;
        request.world = world;
        request.size = size;

        std::shared_ptr<const CMapPicture> picture;
        const auto connection = QObject::connect(
            &queue, &CMapRenderQueue::Finished,
            [&](const std::shared_ptr<const CMapPicture>& done) { picture = done; });
        queue.Request(request, false);
        QElapsedTimer timer;
        timer.start();
        while (!picture && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QObject::disconnect(connection);
        ASSERT_TRUE(picture);

        const QImage here = Render(world, size);
        EXPECT_EQ(DifferingPixels(picture->image, here), 0) << flags;
        EXPECT_EQ(DifferingPixels(CMapRenderQueue::RenderNow(request, 3).image, here), 0) << flags;
        // Settled sizes are measured again the same.
        EXPECT_TRUE(picture->sizes.empty());
        EXPECT_TRUE(picture->complete);
    }
}

// Label sizes measured off the window's thread are those the window's paint writes into the
// store.
TEST_F(MapRendererReferenceTest, SizesMeasuredOffTheWindowsThreadAreThoseOfTheStore) {
    MakeRandomMap(6, 60);
    m_objects.Rebuild(m_settings);
    CMapRenderRequest request;
    auto scene = std::make_shared<CMapScene>();
    scene->Reset(&m_database, &m_tree);
    request.scene = scene;
    request.display = std::make_shared<const CSettings>(m_settings);
    request.viewFlags = m_settings.viewFlags;
    request.world = CRect{0, 0, 2000, 2000};
    request.size = QSize(1000, 1000);
    const CMapPicture picture = CMapRenderQueue::RenderNow(request, 2);
    // Labels longer than their first sizes reach across the bands' edge: another picture is due.
    EXPECT_FALSE(picture.complete);
    Render(request.world, request.size);
    ASSERT_FALSE(picture.sizes.empty());
    for (const CMeasuredSize& size : picture.sizes) {
        if (size.node.kind == CMapScene::CNodeRef::kWord) {
            const auto* word = static_cast<const CWordEntry*>(size.id);
            EXPECT_EQ(std::pair(word->m_width, word->m_height), std::pair(size.width, size.height));
        } else {
            const auto* node = static_cast<const CSite*>(size.id);
            EXPECT_EQ(std::pair(node->m_width, node->m_height), std::pair(size.width, size.height))
                << node->m_url;
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
