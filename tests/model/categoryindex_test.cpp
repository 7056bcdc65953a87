// The indexed categorizer against the plain walk over every site of every category: same
// scores to the last bit, same ranking, same answer, also after the store changes.
#include "model/categorizer.h"
#include "model/category.h"
#include "model/categoryindex.h"
#include "model/categorytree.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// prefix + number + suffix (GCC 12 warns wrongly about a text literal + std::to_string).
std::string Numbered(const char* prefix, long n, const char* suffix = "") {
    std::string text(prefix);
    text += std::to_string(n);
    text += suffix;
    return text;
}

class CRandomStore {
public:
    explicit CRandomStore(unsigned seed) : m_random(seed) {
        SeedRandom(seed);
        for (int i = 0; i < 150; ++i)
            MakeSite(Numbered("http://site", i, "/"), Below(40));
        for (int c = 0; c < 25; ++c) {
            auto category = std::make_unique<CCategory>(Numbered("C", c));
            for (int w = Below(4); w > 0; --w)
                category->m_words.Add(Word(Below(60)), 1 + Below(3));
            CCategory* registered = m_tree.Register(std::move(category));
            for (int s = Below(12); s > 0; --s)
                registered->AddSite(AnySite());
        }
        // One category lists a site twice and holds a null entry.
        CCategory* odd = m_tree.CategoryAt(3);
        odd->AddSite(odd->m_sites.empty() ? AnySite() : odd->m_sites.front());
        odd->m_sites.push_back(nullptr);
    }
    ~CRandomStore() { m_tree.DetachFile(); }

    int Below(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }
    static std::string Word(int n) { return Numbered("W", n); }
    CSite* AnySite() {
        return m_database
            .Sites()[static_cast<std::size_t>(Below(static_cast<int>(m_database.Sites().size())))]
            .get();
    }
    CSite* MakeSite(const std::string& url, int words) {
        CSite* site = m_database.AddSite(std::make_unique<CSite>(url, "t", "<NONE>", 1));
        GiveWords(*site, words);
        for (int l = Below(4); l > 0; --l)
            site->AddLink(
                std::make_unique<CSite>(Numbered("http://link", Below(9), "/"), "x", "<NONE>", 0));
        return site;
    }
    void GiveWords(CSite& site, int words) {
        // Small vocabulary so that sites share many words; some words given twice.
        for (int w = 0; w < words; ++w) {
            CWordEntry* entry = m_database.FindOrMakeWord(Word(Below(60)));
            entry->AddSite(&site);
            site.AddWord(entry);
        }
    }

    CSiteDatabase m_database;
    CCategoryTree m_tree;

private:
    std::mt19937 m_random;
};

struct CResult {
    const CCategory* answer = nullptr;
    std::vector<double> scores;
    std::vector<int> ranking;
};

CResult Run(CCategoryTree& tree, const CSite& site, const CCategorizerWeights& weights,
            bool literal) {
    CResult result;
    result.answer = literal ? CCategorizer::CategorizeLiteral(tree, site, weights)
                            : CCategorizer::Categorize(tree, site, weights);
    for (int i = 0; i < tree.SlotCount(); ++i)
        result.scores.push_back(tree.CategoryAt(i) ? tree.CategoryAt(i)->m_score : -1.0);
    result.ranking = tree.Ranking();
    return result;
}

// Ties may be ordered either way only if scores are equal; both ways keep slot order, so
// the rankings must match exactly.
void ExpectSameAsLiteral(CCategoryTree& tree, const CSite& site,
                         const CCategorizerWeights& weights) {
    const CResult fast = Run(tree, site, weights, false);
    const CResult literal = Run(tree, site, weights, true);
    EXPECT_EQ(fast.answer, literal.answer);
    ASSERT_EQ(fast.scores.size(), literal.scores.size());
    for (std::size_t i = 0; i < fast.scores.size(); ++i)
        EXPECT_EQ(fast.scores[i], literal.scores[i]) << "slot " << i;
    EXPECT_EQ(fast.ranking, literal.ranking);
}

} // namespace

TEST(CategoryIndex, ScoresAndRankingEqualTheLiteralWalkOnRandomStores) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        CRandomStore store(seed);
        const CCategorizerWeights weights{0.1 * store.Below(11), 0.1 * store.Below(11),
                                          0.1 * store.Below(11)};
        for (int page = 0; page < 4; ++page) {
            CSite* site = store.MakeSite(Numbered("http://new", page, "/"), 30);
            // The page itself and one of its links filed somewhere raise the links measure.
            if (page == 1)
                store.m_tree.CategoryAt(store.Below(25))->AddSite(site);
            if (page == 2 && !site->m_links.empty())
                store.m_tree.CategoryAt(store.Below(25))->AddSite(site->m_links[0].get());
            SCOPED_TRACE(Numbered("seed ", seed, " page ") + Numbered("", page));
            ExpectSameAsLiteral(store.m_tree, *site, weights);
        }
    }
}

TEST(CategoryIndex, FollowsSitesAddedRemovedAndRewordedBetweenRuns) {
    CRandomStore store(77);
    const CCategorizerWeights weights{0.5, 0.5, 1.0};
    CSite* page = store.MakeSite("http://page/", 30);
    ExpectSameAsLiteral(store.m_tree, *page, weights);

    CCategory* category = store.m_tree.CategoryAt(5);
    CSite* member = store.AnySite();
    category->AddSite(member);
    ExpectSameAsLiteral(store.m_tree, *page, weights);

    store.GiveWords(*member, 20); // a member's words change
    ExpectSameAsLiteral(store.m_tree, *page, weights);

    ASSERT_TRUE(category->RemoveSite(member));
    ExpectSameAsLiteral(store.m_tree, *page, weights);

    // A site taken out of the database loses its words while still filed.
    CSite* filed = store.m_tree.CategoryAt(7)->m_sites.empty()
                       ? nullptr
                       : store.m_tree.CategoryAt(7)->m_sites.front();
    std::unique_ptr<CSite> removed;
    if (filed)
        removed = store.m_database.RemoveSite(filed);
    ExpectSameAsLiteral(store.m_tree, *page, weights);
    if (removed)
        store.m_tree.ForgetSite(removed.get());
    ExpectSameAsLiteral(store.m_tree, *page, weights);

    // A category leaves its slot, a new one takes a new slot.
    std::unique_ptr<CCategory> taken = store.m_tree.TakeFromSlot(2);
    auto fresh = std::make_unique<CCategory>("Fresh");
    fresh->m_words.Add("W1", 2);
    CCategory* registered = store.m_tree.Register(std::move(fresh));
    registered->AddSite(store.AnySite());
    ExpectSameAsLiteral(store.m_tree, *page, weights);
    taken.reset();
    ExpectSameAsLiteral(store.m_tree, *page, weights);
}

TEST(CategoryIndex, WarmedInStepsReadsOneCategoryPerLateCallAndStaysExact) {
    CRandomStore store(5);
    const CCategorizerWeights weights{0.5, 0.5, 1.0};
    CSite* page = store.MakeSite("http://page/", 30);
    CCategoryIndex& index = store.m_tree.ScoreIndex();
    const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    int calls = 1;
    while (!index.Warm(store.m_tree, past))
        ++calls;
    // Every category is out of date at first: one read per call, the sweep's end in the last.
    EXPECT_EQ(calls, store.m_tree.SlotCount());
    EXPECT_TRUE(index.Warm(store.m_tree, past)) << "nothing left to read";
    ExpectSameAsLiteral(store.m_tree, *page, weights);

    store.m_tree.CategoryAt(4)->AddSite(page);
    store.m_tree.CategoryAt(9)->AddSite(page);
    EXPECT_FALSE(index.Warm(store.m_tree, past));
    EXPECT_TRUE(index.Warm(store.m_tree, past));
    ExpectSameAsLiteral(store.m_tree, *page, weights);
}
