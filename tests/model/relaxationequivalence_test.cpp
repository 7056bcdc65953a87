// The relaxation pass with its repulsion sums made ahead (on two threads for large maps)
// against the pass node by node: the same positions and velocities, the same random draws.
#include "model/maprelaxation.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace {

// prefix + number + suffix (GCC 12 warns wrongly about a text literal + std::to_string).
std::string Numbered(const char* prefix, long n, const char* suffix = "") {
    std::string text(prefix);
    text += std::to_string(n);
    text += suffix;
    return text;
}

// The same store for the same seed. Positions are drawn from a small grid so that some nodes
// meet on one point, which makes the pass draw random numbers.
void FillStore(CSiteDatabase& database, unsigned seed, int sites, int words, int grid) {
    std::mt19937 random(seed);
    SeedRandom(seed);
    const auto coordinate = [&] { return 50 + static_cast<int>(random() % grid) * 7; };
    for (int w = 0; w < words; ++w) {
        CWordEntry* word = database.FindOrMakeWord(Numbered("W", w));
        word->m_x = coordinate();
        word->m_y = coordinate();
    }
    for (int s = 0; s < sites; ++s) {
        CSite* site = database.AddSite(
            std::make_unique<CSite>(Numbered("http://s", s, "/"), "t", "<NONE>", 1));
        site->m_x = coordinate();
        site->m_y = coordinate();
        for (int k = static_cast<int>(random() % 6); k > 0; --k) {
            CWordEntry* word = database.FindOrMakeWord(
                Numbered("W", static_cast<long>(random() % static_cast<unsigned>(words))));
            word->AddSite(site);
            site->AddWord(word);
        }
        for (int l = static_cast<int>(random() % 4); l > 0; --l) {
            CSite* link = site->AddLink(std::make_unique<CSite>("http://l/", "", "<NONE>", 0));
            link->m_x = coordinate();
            link->m_y = coordinate();
        }
    }
}

void ExpectSameMaps(const CSiteDatabase& a, const CSiteDatabase& b) {
    ASSERT_EQ(a.Sites().size(), b.Sites().size());
    for (std::size_t i = 0; i < a.Sites().size(); ++i) {
        const CSite& x = *a.Sites()[i];
        const CSite& y = *b.Sites()[i];
        ASSERT_EQ(x.m_x, y.m_x) << "site " << i;
        ASSERT_EQ(x.m_y, y.m_y) << "site " << i;
        ASSERT_EQ(x.m_vx, y.m_vx) << "site " << i;
        ASSERT_EQ(x.m_vy, y.m_vy) << "site " << i;
    }
    auto i = a.Words().begin();
    for (auto j = b.Words().begin(); j != b.Words().end(); ++i, ++j) {
        ASSERT_EQ(i->second->m_x, j->second->m_x) << i->first;
        ASSERT_EQ(i->second->m_y, j->second->m_y) << i->first;
        ASSERT_EQ(i->second->m_vx, j->second->m_vx) << i->first;
    }
}

void ExpectSamePasses(unsigned seed, int sites, int words, int grid, int passes) {
    CSiteDatabase fast, literal;
    FillStore(fast, seed, sites, words, grid);
    FillStore(literal, seed, sites, words, grid);
    for (int pass = 0; pass < passes; ++pass) {
        SeedRandom(seed + static_cast<unsigned>(pass));
        RelaxMap(fast);
        const int drawnByFast = Random15();
        SeedRandom(seed + static_cast<unsigned>(pass));
        RelaxMapLiteral(literal);
        // Both drew the same number of random values.
        EXPECT_EQ(drawnByFast, Random15());
        SCOPED_TRACE(Numbered("pass ", pass));
        ExpectSameMaps(fast, literal);
    }
}

} // namespace

TEST(RelaxationEquivalence, SmallRandomMapsWithNodesOnOnePointMoveAsTheLiteralPass) {
    for (unsigned seed = 1; seed <= 10; ++seed)
        ExpectSamePasses(seed, 40 + static_cast<int>(seed) * 7, 30, 12, 6);
}

TEST(RelaxationEquivalence, MapLargeEnoughForTwoThreadsMovesAsTheLiteralPass) {
    ExpectSamePasses(99, 2600, 2300, 270, 3);
}
