// "Declutter Labels": which labels the renderer places, where, and that no two overlap; "Soft
// Lines": how strong a line is drawn.
#include "bench/syntheticstore.h"
#include "model/categorytree.h"
#include "shell/colorref.h"
#include "shell/drawingobjects.h"
#include "shell/settings.h"
#include "tests/views/mapnodes.h"
#include "views/maprenderer.h"
#include "views/mapscene.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using CNodeRef = CMapScene::CNodeRef;

// The pairs of placed labels whose boxes overlap.
int OverlappingPairs(const CLabelPlacement& labels) {
    int pairs = 0;
    for (std::size_t i = 0; i < labels.size(); ++i)
        for (std::size_t j = i + 1; j < labels.size(); ++j)
            pairs += labels[i].box.intersects(labels[j].box) ? 1 : 0;
    return pairs;
}

// A generated store of 10,000 visited sites (100,000 link nodes, shared words, categories),
// drawn decluttered over the whole world and two closer views of its middle.
TEST(DeclutteredLabels, NeverOverlapAtThreeZoomsAndMoreAppearFurtherIn) {
    CStoreShape shape;
    shape.sites = 10000;
    shape.linksPerSite = 10;
    shape.wordsPerSite = 20;
    shape.vocabulary = 20000;
    shape.categories = 1000;
    shape.sitesPerCategory = 10;
    shape.wordsPerCategory = 5;
    CSyntheticStore store(shape);
    CSettings settings;
    settings.viewFlags |= kViewDeclutter;
    const CDrawingObjects objects(settings);
    auto scene = std::make_shared<CMapScene>();
    scene->Reset(&store.Database(), &store.Categories());
    CMapRenderer renderer(scene, objects, settings.viewFlags);

    const QSize size(1600, 1000);
    const CRect middle{900, 900, 1100, 1100};
    const CRect zooms[] = {{0, 0, 2000, 2000}, {600, 600, 1400, 1400}, middle};
    int previous = -1;
    for (const CRect& world : zooms) {
        const auto placement = renderer.PlaceLabels(world, size);
        ASSERT_TRUE(placement);
        EXPECT_EQ(OverlappingPairs(*placement), 0) << world.right - world.left;
        int sitesInMiddle = 0;
        for (const CPlacedLabel& label : *placement) {
            if (label.node.kind != CNodeRef::kSite)
                continue;
            const CMapScene::CSiteNode& site = scene->Site(label.node.slot);
            sitesInMiddle += site.x >= middle.left && site.x < middle.right &&
                                     site.y >= middle.top && site.y < middle.bottom
                                 ? 1
                                 : 0;
            // Readable however far the map is shrunk: a line is at least the font's height.
            EXPECT_GE(label.box.height(), std::abs(settings.urlFont.size));
        }
        EXPECT_GT(sitesInMiddle, previous) << world.right - world.left;
        previous = sitesInMiddle;
    }
    // Sites come first: at the whole-world view, many site labels are there.
    const auto whole = renderer.PlaceLabels(zooms[0], size);
    int siteLabels = 0;
    for (const CPlacedLabel& label : *whole)
        siteLabels += label.node.kind == CNodeRef::kSite ? 1 : 0;
    EXPECT_GT(siteLabels, 100);

    // What a paint draws is that placement, decided the same way each time (lines, which take
    // no part in it, left out of the paint).
    CMapRenderer painter(scene, objects, settings.viewFlags & ~kViewLines);
    painter.RenderImage(middle, size);
    const auto again = renderer.PlaceLabels(middle, size);
    ASSERT_TRUE(painter.LastPlacement());
    ASSERT_EQ(painter.LastPlacement()->size(), again->size());
    for (std::size_t i = 0; i < again->size(); ++i) {
        EXPECT_EQ((*again)[i].node, (*painter.LastPlacement())[i].node);
        EXPECT_EQ((*again)[i].box, (*painter.LastPlacement())[i].box);
    }
}

// Labels that would overlap: the better one is drawn (sites before link nodes before words;
// more links, or more carrying sites, first), in its font's colour inside its box.
TEST(DeclutteredLabels, BetterConnectedNodeKeepsItsLabel) {
    struct CCase {
        const char* name;
        // Builds the nodes in the database (the view shows 800..1200 at a pixel a unit).
        std::function<void(CSiteDatabase&)> build;
        CNodeRef::EKind winner;
        double winnerLeft; // where the winner's label starts, in pixels
    };
    const CCase cases[] = {
        {"site with more links",
         [](CSiteDatabase& db) {
             CSite* few = AddVisitedAt(db, "http://few/", 1000, 1000, "Few links here");
             CSite* many = AddVisitedAt(db, "http://many/", 1003, 1002, "Many links here");
             AddLinkAt(*few, "http://x/", 100, 100);
             for (int i = 0; i < 3; ++i)
                 AddLinkAt(*many, "http://y" + std::to_string(i) + "/", 100 + 300 * i, 1900);
         },
         CNodeRef::kSite, 1003 + 22 - 800},
        {"site before link node and word",
         [](CSiteDatabase& db) {
             CSite* owner = AddVisitedAt(db, "http://owner/", 100, 1900, "Owner");
             CSite* other = AddVisitedAt(db, "http://other/", 1900, 100, "Other");
             CSite* link = AddLinkAt(*owner, "http://l/", 995, 1000);
             link->m_title = "A link node label";
             AddWordAt(db, "WORDLABEL", 1000, 998, {owner, other});
             AddVisitedAt(db, "http://site/", 985, 1000, "The site label");
         },
         CNodeRef::kSite, 985 + 22 - 800},
        {"word carried by more sites",
         [](CSiteDatabase& db) {
             std::vector<CSite*> sites;
             for (int i = 0; i < 3; ++i)
                 sites.push_back(AddVisitedAt(db, "http://s" + std::to_string(i) + "/",
                                              100 + 800 * i, 1900, ""));
             AddWordAt(db, "TWOSITES", 1000, 1000, {sites[0], sites[1]});
             AddWordAt(db, "THREESITES", 1002, 1001, sites);
         },
         CNodeRef::kWord, 1002 + 12 - 800},
    };
    CSettings settings;
    settings.viewFlags = kViewTitle | kViewLinks | kViewWords | kViewDeclutter;
    const CDrawingObjects objects(settings);
    const CRect world{800, 800, 1200, 1200};
    const QSize size(400, 400);
    for (const CCase& c : cases) {
        CSiteDatabase database;
        c.build(database);
        CMapRenderer renderer(database, nullptr, objects, settings.viewFlags);
        const QImage image = renderer.RenderImage(world, size);
        ASSERT_TRUE(renderer.LastPlacement()) << c.name;
        const CLabelPlacement& placed = *renderer.LastPlacement();
        // The only label near the middle is the winner's.
        const CPlacedLabel* middle = nullptr;
        for (const CPlacedLabel& label : placed) {
            if (label.box.intersects(QRectF(150, 150, 100, 100))) {
                EXPECT_EQ(middle, nullptr) << c.name;
                middle = &label;
            }
        }
        ASSERT_NE(middle, nullptr) << c.name;
        EXPECT_EQ(middle->node.kind, c.winner) << c.name;
        EXPECT_EQ(middle->box.left(), c.winnerLeft) << c.name;
        const CMapFont& font = c.winner == CNodeRef::kWord ? objects.wordFont : objects.urlFont;
        int textPixels = 0;
        const QRect box = middle->box.toAlignedRect() & image.rect();
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                textPixels += QColor(image.pixel(x, y)) == font.color ? 1 : 0;
        EXPECT_GT(textPixels, 10) << c.name;
    }
}

// "Soft Lines": a line over the bare ground is a shade of its colour, a fraction as strong as
// the solid line, on the light palette and on the classic one alike.
TEST(SoftLines, LinesAreAFractionOfTheirSolidStrength) {
    CSiteDatabase database;
    CSite* site = AddVisitedAt(database, "http://site/", 100, 500, "");
    AddLinkAt(*site, "http://link/", 900, 500);
    // The strongest difference from the ground across the line, halfway along it.
    auto strongest = [&](const CSettings& settings) {
        const CDrawingObjects objects(settings);
        CMapRenderer renderer(database, nullptr, objects, settings.viewFlags);
        const QImage image = renderer.RenderImage(CRect{0, 0, 1000, 1000}, QSize(1000, 1000));
        const QColor ground = ColorFromRef(settings.backgroundColor);
        int most = 0;
        for (int y = 490; y < 530; ++y) {
            const QColor pixel(image.pixel(500, y));
            most = std::max({most, std::abs(pixel.red() - ground.red()),
                             std::abs(pixel.green() - ground.green()),
                             std::abs(pixel.blue() - ground.blue())});
        }
        return most;
    };
    for (const bool light : {false, true}) {
        CSettings settings;
        settings.viewFlags = kViewLinks | kViewLines;
        if (light) {
            settings.backgroundColor = 0xFFFFFF;
            settings.linkColor = 0x203040;
        }
        const int solid = strongest(settings);
        settings.viewFlags |= kViewSoftLines;
        const int soft = strongest(settings);
        EXPECT_GT(solid, 40) << light;
        EXPECT_GT(soft, 0) << light;
        EXPECT_LT(soft, solid / 2) << light;
    }
}

} // namespace
