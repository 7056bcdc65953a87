// The maps' scene kept in step with the store through the document's change notices, against a
// scene read afresh from the store; copies that stay as they were; the grid of dots.
#include "views/mapscene.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/korvodoc.h"
#include "tests/support/tempdir.h"
#include "tests/views/mapnodes.h"
#include "views/mapscenekeeper.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Everything a scene holds, named by the store's nodes rather than by slots (a scene kept in
// step leaves the slots of removed nodes empty, a fresh one has none).
std::string Describe(const CMapScene& scene) {
    std::ostringstream out;
    auto texts = [&](const CMapScene::CTexts& t) {
        out << t.url << '|' << t.title << '|' << t.annotation << '|' << t.time << '|';
        for (std::int32_t category : t.categories)
            out << category << ',';
    };
    scene.ForEachSite([&](std::uint32_t, const CMapScene::CSiteNode& site) {
        out << "site " << site.id << ' ';
        texts(*site.texts);
        out << site.x << ',' << site.y << ',' << site.width << ',' << site.height << ','
            << site.hidden << site.selected << '\n';
        for (const CMapScene::CLink& link : *site.links) {
            out << "  link " << link.id << ' ';
            texts(*link.texts);
            out << link.x << ',' << link.y << ',' << link.width << ',' << link.height << ','
                << link.hidden << link.selected << '\n';
        }
    });
    scene.ForEachWord([&](std::uint32_t, const CMapScene::CWordNode& word) {
        out << "word " << word.id << ' ' << *word.text << ' ' << word.x << ',' << word.y << ','
            << word.width << ',' << word.height << ',' << word.selected << " by";
        for (std::uint32_t slot : *word.sites)
            out << ' ' << scene.Site(slot).id;
        out << '\n';
    });
    for (std::int32_t slot = 0; slot < 64; ++slot) {
        if (const std::string* name = scene.CategoryName(slot))
            out << "category " << slot << ' ' << *name << '\n';
    }
    return out.str();
}

class MapSceneTest : public ::testing::Test {
protected:
    MapSceneTest() : m_document(m_home.Path()) {
        m_document.Settings().home = m_home.Path();
        m_document.OpenDataFiles();
        m_keeper = std::make_unique<CMapSceneKeeper>(m_document);
    }

    CSiteDatabase& Database() { return *m_document.Database(); }
    CCategoryTree& Tree() { return *m_document.CategoryTree(); }

    std::string Fresh() {
        CMapScene fresh;
        fresh.Reset(m_document.Database(), m_document.CategoryTree());
        return Describe(fresh);
    }

    // A page as the pipeline stores it: links, words old and new (an old word moves).
    CSite* AddPage(int number) {
        auto page = std::make_unique<CSite>("http://p" + std::to_string(number) + "/",
                                            "Page " + std::to_string(number), "<NONE>", 1);
        CSite* site = Database().AddSite(std::move(page));
        site->m_x = Coordinate();
        site->m_y = Coordinate();
        for (int l = 0; l < 3; ++l) {
            const std::string url = "http://p" + std::to_string(Random() % (number + 2)) + "/";
            AddLinkAt(*site, url, Coordinate(), Coordinate());
        }
        for (int w = 0; w < 4; ++w) {
            CWordEntry* word = Database().FindOrMakeWord("W" + std::to_string(Random() % 30));
            word->m_x = Coordinate();
            word->m_y = Coordinate();
            site->AddWord(word);
            word->AddSite(site);
        }
        m_document.NoteSiteAdded(site);
        return site;
    }

    int Coordinate() { return static_cast<int>(Random() % 1990); }
    unsigned Random() { return static_cast<unsigned>(m_random()); }

    CTempDir m_home;
    CKorvoDoc m_document;
    std::unique_ptr<CMapSceneKeeper> m_keeper;
    std::mt19937 m_random{7};
};

TEST_F(MapSceneTest, SceneKeptInStepIsTheSceneReadAfreshAfterEveryKindOfChange) {
    std::vector<CSite*> sites;
    for (int i = 0; i < 12; ++i)
        sites.push_back(AddPage(i));
    for (int c = 0; c < 3; ++c)
        Tree().Register(std::make_unique<CCategory>("C" + std::to_string(c)));
    m_document.NoteCategoriesChanged();
    ASSERT_EQ(Describe(m_keeper->Scene()), Fresh());

    for (int step = 0; step < 300; ++step) {
        CSite* site = sites[Random() % sites.size()];
        switch (Random() % 9) {
        case 0:
            sites.push_back(AddPage(100 + step));
            break;
        case 1: { // cut from the log book
            if (sites.size() < 4)
                break;
            m_document.NoteSiteAboutToBeRemoved(site);
            std::unique_ptr<CSite> removed = Database().RemoveSite(site);
            m_document.NoteSiteRemoved(site);
            std::erase(sites, site);
            Tree().ForgetSite(site);
            break;
        }
        case 2:
            site->m_x = Coordinate();
            site->m_title += "x";
            site->m_selected = !site->m_selected;
            m_document.NoteSiteChanged(site);
            break;
        case 3:
            Random() % 2 ? m_document.HideSite(site) : m_document.ShowSite(site);
            break;
        case 4: // a link dragged, its owner known, or a link's title edited, its owner not
            if (!site->m_links.empty()) {
                CSite* link = site->m_links[Random() % site->m_links.size()].get();
                link->m_y = Coordinate();
                link->m_title = "L" + std::to_string(step);
                m_document.NoteSiteChanged(link, Random() % 2 ? site : nullptr);
            }
            break;
        case 5:
            if (!site->m_words.empty()) {
                CWordEntry* word = site->m_words.begin()->second;
                word->m_x = Coordinate();
                word->m_selected = 1;
                m_document.NoteWordChanged(word);
            }
            break;
        case 6: {
            CCategory* category = Tree().CategoryAt(static_cast<int>(Random() % 3));
            category->AddSite(site);
            m_document.NoteSiteFiled(category, site);
            break;
        }
        case 7:
            Tree().CategoryAt(static_cast<int>(Random() % 3))->m_name += "!";
            m_document.NoteCategoriesChanged();
            break;
        case 8: // a new URL from the properties dialog moves the site in its words' lists
            Database().RekeySite(site, "http://q" + std::to_string(step) + "/");
            m_document.NoteSiteChanged(site);
            break;
        }
        ASSERT_EQ(Describe(m_keeper->Scene()), Fresh()) << "step " << step;
    }
}

TEST_F(MapSceneTest, CopyStaysAsItWasWhileTheKeptSceneChanges) {
    for (int i = 0; i < 600; ++i) // more than one part of each kind
        AddPage(i);
    const std::shared_ptr<const CMapScene> copy = m_keeper->Snapshot();
    const std::string before = Describe(*copy);
    EXPECT_EQ(m_keeper->Snapshot(), copy); // nothing changed: the same copy

    CSite* first = Database().Sites().front().get();
    first->m_x += 5;
    m_document.NoteSiteChanged(first);
    AddPage(1000);
    m_document.HideAll();
    EXPECT_EQ(Describe(*copy), before);
    EXPECT_NE(Describe(*m_keeper->Snapshot()), before);
}

TEST_F(MapSceneTest, GridFindsEveryDotThatTouchesAnArea) {
    for (int i = 0; i < 80; ++i)
        AddPage(i);
    const CMapScene& scene = m_keeper->Scene();
    for (int trial = 0; trial < 50; ++trial) {
        const QRectF area(Coordinate() - 100, Coordinate() - 100, Random() % 300, Random() % 300);
        const std::vector<CMapScene::CNodeRef> near = scene.NodesNear(area);
        auto found = [&](const CMapScene::CNodeRef& node) {
            return std::find(near.begin(), near.end(), node) != near.end();
        };
        auto check = [&](const CMapScene::CNodeRef& node) {
            std::int32_t x = 0, y = 0;
            int d = 0;
            scene.DotOf(node, x, y, d);
            if (QRectF(x, y, d, d).intersects(area))
                EXPECT_TRUE(found(node)) << x << "," << y;
        };
        scene.ForEachSite([&](std::uint32_t slot, const CMapScene::CSiteNode& site) {
            check({CMapScene::CNodeRef::kSite, slot, 0});
            for (std::uint32_t l = 0; l < site.links->size(); ++l)
                check({CMapScene::CNodeRef::kLink, slot, l});
        });
        scene.ForEachWord([&](std::uint32_t slot, const CMapScene::CWordNode&) {
            check({CMapScene::CNodeRef::kWord, slot, 0});
        });
    }
}

} // namespace
