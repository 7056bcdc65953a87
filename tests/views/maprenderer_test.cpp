#include "views/maprenderer.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/colorref.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "tests/views/mapnodes.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr std::uint32_t kBackground = 0x000000;
constexpr std::uint32_t kOutline = 0x808080;
constexpr std::uint32_t kLink = 0x00C000;
constexpr std::uint32_t kWords = 0xC00000;
constexpr std::uint32_t kCategory = 0x00C0C0;
constexpr std::uint32_t kSiteFont = 0x0000FF;

// World 0..400 drawn on 800 x 800 pixels: one world unit is two pixels, so a line one unit
// wide covers whole pixel rows and its colour can be compared exactly.
const CRect kWorld{0, 0, 400, 400};
const QSize kImageSize(800, 800);

class MapRendererTest : public ::testing::Test {
protected:
    MapRendererTest() {
        m_settings.backgroundColor = kBackground;
        m_settings.outlineColor = kOutline;
        m_settings.linkColor = kLink;
        m_settings.wordsColor = kWords;
        m_settings.categoryColor = kCategory;
        m_settings.urlFont.color = kSiteFont;
        m_settings.viewFlags = kViewTitle | kViewLinks | kViewWords | kViewLines;
    }

    CSite* Visited(const std::string& url, int x, int y) {
        return AddVisitedAt(m_database, url, x, y, "T");
    }
    static CSite* Link(CSite& owner, const std::string& url, int x, int y) {
        return AddLinkAt(owner, url, x, y);
    }
    CWordEntry* Word(const std::string& text, int x, int y, std::initializer_list<CSite*> sites) {
        return AddWordAt(m_database, text, x, y, sites);
    }

    QImage Render(bool tracking = false) {
        const CDrawingObjects objects(m_settings);
        CMapRenderer renderer(m_database, &m_tree, objects, m_settings.viewFlags);
        renderer.SetTracking(tracking);
        return renderer.RenderImage(kWorld, kImageSize);
    }

    // The colour at a world point of the rendered image.
    static std::uint32_t At(const QImage& image, int worldX, int worldY) {
        return RefFromColor(QColor(image.pixel(worldX * 2, worldY * 2)));
    }

    CSettings m_settings;
    CSiteDatabase m_database;
    CCategoryTree m_tree; // after the database: it lets go of the sites first
};

TEST_F(MapRendererTest, DrawsDotsInTheirColoursAndSelectionsInverse) {
    Visited("http://a/", 100, 100);
    CSite* selected = Visited("http://b/", 200, 100);
    selected->m_selected = true;
    CSite* hidden = Visited("http://c/", 300, 300);
    hidden->Hide();

    const QImage image = Render();

    EXPECT_EQ(At(image, 110, 110), kSiteFont);
    EXPECT_EQ(At(image, 210, 110), 0xFFFFFFu - kSiteFont);
    EXPECT_EQ(At(image, 310, 310), kBackground);
    // The dot stays inside its 20 x 20 square.
    EXPECT_EQ(At(image, 99, 110), kBackground);
}

TEST_F(MapRendererTest, MapsTheWorldRectangleAnisotropically) {
    Visited("http://a/", 50, 50);
    const CDrawingObjects objects(m_settings);
    CMapRenderer renderer(m_database, &m_tree, objects, m_settings.viewFlags);

    // 200 world units across and 100 down onto 400 x 400 pixels: x doubled, y quadrupled.
    const QImage image = renderer.RenderImage(CRect{0, 0, 200, 100}, QSize(400, 400));

    EXPECT_EQ(RefFromColor(QColor(image.pixel(120, 240))), kSiteFont);
    EXPECT_EQ(RefFromColor(QColor(image.pixel(120, 120))), kBackground);
    EXPECT_EQ(
        CMapRenderer::WorldToDevice(CRect{50, 50, 70, 70}, CRect{0, 0, 200, 100}, QSize(400, 400)),
        QRect(100, 200, 40, 80));
}

TEST_F(MapRendererTest, DrawsLinkNodeWithItsLineButNoLinesWhileTracking) {
    CSite* site = Visited("http://a/", 100, 100);
    Link(*site, "http://elsewhere/", 300, 103); // centres on the row y = 110

    const QImage image = Render();
    EXPECT_EQ(At(image, 307, 110), kLink);
    EXPECT_EQ(At(image, 200, 110), kLink);

    const QImage tracking = Render(true);
    EXPECT_EQ(At(tracking, 307, 110), kLink);
    EXPECT_EQ(At(tracking, 200, 110), kBackground);
}

TEST_F(MapRendererTest, LinkNodesAndTheirLinesNeedTheLinksToggle) {
    CSite* site = Visited("http://a/", 100, 100);
    Link(*site, "http://elsewhere/", 300, 103);
    m_settings.viewFlags &= ~kViewLinks;

    const QImage image = Render();

    EXPECT_EQ(At(image, 307, 110), kBackground);
    EXPECT_EQ(At(image, 200, 110), kBackground);
}

TEST_F(MapRendererTest, LinkIntoAVisitedSiteGetsSiteColouredLinesButNotIntoItsOwnPage) {
    CSite* owner = Visited("http://a/", 100, 100);
    Visited("http://b/", 297, 300);      // centre (307, 310)
    Link(*owner, "http://b/", 300, 103); // centre (307, 110): line down to b, line back to a
    Link(*owner, "http://a/", 103, 303); // its own page: centre (110, 310)

    const QImage image = Render();

    EXPECT_EQ(At(image, 200, 110), kSiteFont); // drawn over the link-coloured line
    EXPECT_EQ(At(image, 307, 200), kSiteFont);
    // Only the link-coloured line from the owner to its own page.
    EXPECT_EQ(At(image, 110, 250), kLink);
}

TEST_F(MapRendererTest, WordNeedsTwoVisibleSites) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* b = Visited("http://b/", 100, 300);
    CSite* c = Visited("http://c/", 300, 300);
    CWordEntry* shared = Word("SHARED", 105, 200, {a, b});   // centre (110, 205)
    CWordEntry* halfHidden = Word("HALF", 305, 100, {a, c}); // centre (310, 105)
    c->Hide();
    shared->m_selected = 0;
    halfHidden->m_selected = 0;

    const QImage image = Render();

    EXPECT_EQ(At(image, 110, 205), kWords);
    EXPECT_EQ(At(image, 110, 160), kWords); // line to a's centre (110, 110)
    EXPECT_EQ(At(image, 310, 105), kBackground);
    EXPECT_EQ(At(image, 200, 107), kBackground); // no line from a to the hidden word
    EXPECT_GT(shared->m_width, 12);
}

TEST_F(MapRendererTest, SelectedWordIsFilledInverse) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* b = Visited("http://b/", 300, 100);
    CWordEntry* word = Word("PICKED", 205, 200, {a, b});
    word->m_selected = 1;

    EXPECT_EQ(At(Render(), 210, 205), 0xFFFFFFu - kWords);
}

TEST_F(MapRendererTest, CategoryLinesJoinSitesOfOneCategoryOnly) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* b = Visited("http://b/", 300, 100);
    CSite* other = Visited("http://c/", 100, 300);
    CCategory* shared = m_tree.Register(std::make_unique<CCategory>("Shared"));
    CCategory* alone = m_tree.Register(std::make_unique<CCategory>("Alone"));
    shared->AddSite(a);
    shared->AddSite(b);
    alone->AddSite(other);
    m_settings.viewFlags = kViewLines | kViewCategories;

    const QImage image = Render();
    EXPECT_EQ(At(image, 200, 110), kCategory);
    EXPECT_EQ(At(image, 110, 200), kBackground);

    m_settings.viewFlags = kViewCategories;
    EXPECT_EQ(At(Render(), 200, 110), kBackground);
}

TEST_F(MapRendererTest, RemovedCategoryEntriesDrawNoLine) {
    CSite* a = Visited("http://a/", 100, 100);
    CSite* b = Visited("http://b/", 300, 100);
    CCategory* shared = m_tree.Register(std::make_unique<CCategory>("Shared"));
    shared->AddSite(a);
    shared->AddSite(b);
    b->m_categories.Remove(shared->m_index);
    m_settings.viewFlags = kViewLines | kViewCategories;

    EXPECT_EQ(At(Render(), 200, 110), kBackground);
}

TEST_F(MapRendererTest, LabelLinesSetWidthAndHeightWithTheSignedLineStep) {
    CSite* site = Visited("http://a/", 100, 100);
    CCategory* category = m_tree.Register(std::make_unique<CCategory>("Topic"));
    category->AddSite(site);

    m_settings.viewFlags = 0;
    Render();
    EXPECT_EQ(site->m_height, 13);
    EXPECT_EQ(site->m_width, 22);

    m_settings.viewFlags = kViewUrl | kViewTitle | kViewCategories;
    const QImage image = Render();
    EXPECT_EQ(site->m_height, 4 * 13);
    EXPECT_GT(site->m_width, 22);

    // Some label pixel lies right of the dot, inside the label's box, none above it.
    bool labelSeen = false;
    for (int x = 2 * 122; x < 2 * (100 + site->m_width); ++x)
        for (int y = 2 * 100; y < 2 * (100 + site->m_height); ++y)
            labelSeen = labelSeen || RefFromColor(QColor(image.pixel(x, y))) != kBackground;
    EXPECT_TRUE(labelSeen);
    for (int x = 2 * 122; x < 2 * 200; ++x)
        EXPECT_EQ(RefFromColor(QColor(image.pixel(x, 2 * 95))), kBackground);

    // A positive font height steps the lines upwards; the height is negative then.
    m_settings.urlFont.size = 13;
    Render();
    EXPECT_EQ(site->m_height, -4 * 13);
}

TEST_F(MapRendererTest, NodesOutsideTheExposedAreaAreNotDrawn) {
    CSite* left = Visited("http://a/", 50, 100);
    CSite* right = Visited("http://b/", 300, 100);
    const CDrawingObjects objects(m_settings);
    CMapRenderer renderer(m_database, &m_tree, objects, m_settings.viewFlags);
    QImage image(kImageSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        renderer.PaintMap(painter, kWorld, kImageSize, QRect(0, 0, 400, 800), true);
    }

    EXPECT_EQ(At(image, 60, 110), kSiteFont);
    EXPECT_EQ(At(image, 310, 110), 0xFFFFFFu);
    EXPECT_GT(left->m_width, 20);
    EXPECT_EQ(right->m_width, 20); // never drawn, so never measured
}

TEST_F(MapRendererTest, OverviewShowsSquaresRectangleAndHandle) {
    CSite* site = Visited("http://a/", 1000, 500);
    Link(*site, "http://l/", 200, 1800);
    const CDrawingObjects objects(m_settings);
    CMapRenderer renderer(m_database, &m_tree, objects, m_settings.viewFlags);
    QImage image(QSize(200, 100), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        renderer.DrawOverview(painter, image.size(), QRect(20, 10, 60, 40), false);
    }
    auto at = [&](int x, int y) { return RefFromColor(QColor(image.pixel(x, y))); };

    EXPECT_EQ(at(100, 25), kSiteFont); // (1000 * 200 / 2000, 500 * 100 / 2000)
    EXPECT_EQ(at(103, 28), kSiteFont);
    EXPECT_EQ(at(104, 25), kBackground);
    EXPECT_EQ(at(20, 90), kLink);
    EXPECT_EQ(at(20, 30), kOutline); // left edge
    EXPECT_EQ(at(79, 20), kOutline); // right edge at x + width - 1
    EXPECT_EQ(at(80, 20), kBackground);
    EXPECT_EQ(at(75, 45), kOutline); // inside the handle
    EXPECT_EQ(at(65, 45), kBackground);
}

} // namespace
