#include "model/maprelaxation.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

CSite* AddVisited(CSiteDatabase& database, const std::string& url, int x, int y) {
    CSite* site = database.AddSite(std::make_unique<CSite>(url, "title", "<NONE>", 1));
    site->m_x = x;
    site->m_y = y;
    return site;
}

CSite* AddLink(CSite& owner, const std::string& url, int x, int y) {
    CSite* link = owner.AddLink(std::make_unique<CSite>(url, "", "<NONE>", 0));
    link->m_x = x;
    link->m_y = y;
    return link;
}

CWordEntry* AddWord(CSiteDatabase& database, CSite& site, const std::string& text, int x, int y) {
    CWordEntry* word = database.FindOrMakeWord(text);
    word->m_x = x;
    word->m_y = y;
    site.AddWord(word);
    word->AddSite(&site);
    return word;
}

void ExpectInsideWorld(int x, int y) {
    EXPECT_GE(x, 50);
    EXPECT_LE(x, 1950);
    EXPECT_GE(y, 50);
    EXPECT_LE(y, 1950);
}

} // namespace

TEST(MapRelaxation, SpringPullsWordAndSiteTogetherAtMostFiveUnitsAPass) {
    CSiteDatabase database;
    CSite* site = AddVisited(database, "http://a/", 1000, 1000);
    CWordEntry* word = AddWord(database, *site, "FAR", 1000, 1600);

    RelaxMap(database);

    // The spring moves the site 5 down, the push away from its own word 2 up.
    EXPECT_EQ(site->m_x, 1000);
    EXPECT_EQ(site->m_y, 1003);
    EXPECT_EQ(word->m_x, 1000);
    EXPECT_EQ(word->m_y, 1595);
    EXPECT_DOUBLE_EQ(site->m_vy, 2.5);
    EXPECT_DOUBLE_EQ(word->m_vy, -2.5);
}

TEST(MapRelaxation, ClampsSitesAndWordsIntoTheWorldAndLeavesLinkNodesAlone) {
    CSiteDatabase database;
    CSite* west = AddVisited(database, "http://west/", -500, 5000);
    CSite* east = AddVisited(database, "http://east/", 2600, 1000);
    CWordEntry* word = AddWord(database, *west, "OUTSIDE", 3000, -10);
    CSite* link = AddLink(*east, "http://far/", -100, 2500);

    RelaxMap(database);

    ExpectInsideWorld(west->m_x, west->m_y);
    ExpectInsideWorld(east->m_x, east->m_y);
    ExpectInsideWorld(word->m_x, word->m_y);
    EXPECT_EQ(link->m_x, -100);
    EXPECT_EQ(link->m_y, 2500);
    EXPECT_DOUBLE_EQ(link->m_vx, 0.0);
    EXPECT_DOUBLE_EQ(link->m_vy, 0.0);
}

TEST(MapRelaxation, CoincidingSpringEndsNeverGiveNaN) {
    SeedRandom(7);
    CSiteDatabase database;
    CSite* site = AddVisited(database, "http://same/", 700, 700);
    CSite* twin = AddVisited(database, "http://twin/", 700, 700);
    CWordEntry* word = AddWord(database, *site, "ONTOP", 700, 700);
    twin->AddWord(word);
    word->AddSite(twin);
    CSite* link = AddLink(*site, "http://link/", 700, 700);

    for (int pass = 0; pass < 100; ++pass)
        RelaxMap(database);

    for (const CSite* node : {site, twin}) {
        EXPECT_TRUE(std::isfinite(node->m_vx));
        EXPECT_TRUE(std::isfinite(node->m_vy));
        ExpectInsideWorld(node->m_x, node->m_y);
    }
    EXPECT_TRUE(std::isfinite(word->m_vx));
    EXPECT_TRUE(std::isfinite(word->m_vy));
    ExpectInsideWorld(word->m_x, word->m_y);
    EXPECT_EQ(link->m_x, 700);
    EXPECT_EQ(link->m_y, 700);
    // The two sites on one point were pushed apart.
    EXPECT_TRUE(site->m_x != twin->m_x || site->m_y != twin->m_y);
}

TEST(MapRelaxation, SitesPushEachOtherApart) {
    CSiteDatabase database;
    CSite* first = AddVisited(database, "http://1/", 1000, 1000);
    CSite* second = AddVisited(database, "http://2/", 1100, 1000);

    RelaxMap(database);

    // The first site steps 2 away from the later one; the last site has no later one.
    EXPECT_EQ(first->m_x, 998);
    EXPECT_EQ(first->m_y, 1000);
    EXPECT_EQ(second->m_x, 1100);
}
