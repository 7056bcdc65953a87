#include "model/categorizer.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/wordentry.h"

#include <gtest/gtest.h>

#include <cmath>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {
// Word entries shared by the sites of one test, as the word index would hold them.
class CWords {
public:
    void Give(CSite& site, const std::string& word, int count = 1) {
        auto& entry = m_entries[word];
        if (!entry)
            entry = std::make_unique<CWordEntry>(word);
        entry->m_count = count;
        site.m_words.Assign(entry.get());
    }

private:
    std::map<std::string, std::unique_ptr<CWordEntry>> m_entries;
};

std::unique_ptr<CSite> Visited(const std::string& url) {
    return std::make_unique<CSite>(url, "title", "<NONE>", 1, 1700000000);
}

CCategory* AddCategory(CCategoryTree& tree, const std::string& name,
                       std::vector<std::string> words = {}) {
    CCategory* category = tree.Register(std::make_unique<CCategory>(name));
    for (const auto& word : words)
        category->m_words.Add(word, 1);
    return category;
}

CCategorizerWeights Weights(double words, double links, double urls) {
    CCategorizerWeights weights;
    weights.words = words;
    weights.links = links;
    weights.urls = urls;
    return weights;
}
} // namespace

TEST(Categorizer, EmptyHierarchyAnswersNone) {
    CCategoryTree tree;
    auto site = Visited("http://a/");
    EXPECT_EQ(CCategorizer::Categorize(tree, *site, Weights(1, 1, 1)), nullptr);
    EXPECT_TRUE(tree.Ranking().empty());
    EXPECT_EQ(CCategorizer::StatusText(*site, nullptr), "Can't categorize this site\n");
}

TEST(Categorizer, CategoryWithoutWordsOrSitesScoresZeroAndGivesNoAnswer) {
    CCategoryTree tree;
    CCategory* empty = AddCategory(tree, "Empty");
    empty->m_score = 0.7;
    CWords words;
    auto site = Visited("http://a/");
    words.Give(*site, "ATOM");
    EXPECT_EQ(CCategorizer::Categorize(tree, *site, Weights(1, 1, 1)), nullptr);
    EXPECT_EQ(empty->m_score, 0.0);
}

TEST(Categorizer, ScoresOfPointThreeAndPointOneFiveBecomeOneAndAHalf) {
    CCategoryTree tree;
    CCategory* narrow = AddCategory(tree, "Narrow", {"ATOM"});
    CCategory* broad = AddCategory(tree, "Broad", {"ATOM", "STAR"});
    CWords words;
    auto site = Visited("http://physics/");
    words.Give(*site, "ATOM");
    const auto weights = Weights(0.9, 0.5, 0.5);
    EXPECT_DOUBLE_EQ(CCategorizer::RawScore(*narrow, *site, weights), 0.3);
    EXPECT_DOUBLE_EQ(CCategorizer::RawScore(*broad, *site, weights), 0.15);

    EXPECT_EQ(CCategorizer::Categorize(tree, *site, weights), narrow);
    EXPECT_EQ(narrow->m_score, 1.0);
    EXPECT_DOUBLE_EQ(broad->m_score, 0.5);
    EXPECT_EQ(tree.Ranking(), (std::vector<int>{0, 1}));
}

TEST(Categorizer, AllWeightsZeroGiveEveryCategoryZeroAndNoAnswer) {
    CCategoryTree tree;
    CCategory* c = AddCategory(tree, "C", {"ATOM"});
    CWords words;
    auto site = Visited("http://a/");
    words.Give(*site, "ATOM", 5);
    c->AddSite(site.get());
    EXPECT_EQ(CCategorizer::Categorize(tree, *site, Weights(0, 0, 0)), nullptr);
    EXPECT_EQ(c->m_score, 0.0);
}

TEST(Categorizer, SiteAlreadyInTheCategoryRaisesItsLinksMeasureWithoutLinks) {
    CCategoryTree tree;
    CCategory* other = AddCategory(tree, "Other");
    CCategory* home = AddCategory(tree, "Home");
    auto site = Visited("http://a/");
    auto stranger = Visited("http://b/");
    other->AddSite(stranger.get());
    home->AddSite(site.get());
    const auto weights = Weights(0, 0.6, 0);
    EXPECT_DOUBLE_EQ(CCategorizer::RawScore(*home, *site, weights), 0.6 / 3);
    EXPECT_EQ(CCategorizer::RawScore(*other, *site, weights), 0.0);
    EXPECT_EQ(CCategorizer::Categorize(tree, *site, weights), home);
}

TEST(Categorizer, LinksMeasureCountsEveryNonEmptyLinkPerCategorySite) {
    CCategoryTree tree;
    CCategory* c = AddCategory(tree, "C");
    auto site = Visited("http://a/");
    CSite* linked = site->AddLink(std::make_unique<CSite>("http://l1/", "", "<NONE>", 0));
    site->AddLink(std::make_unique<CSite>("http://l2/", "", "<NONE>", 0));
    site->m_links.emplace_back(); // an empty slot counts for nothing
    auto unrelated = Visited("http://u/");
    c->AddSite(linked);
    c->AddSite(unrelated.get());
    // Per site: 2 + 2 links in total; one hit for the linked site.
    EXPECT_DOUBLE_EQ(CCategorizer::RawScore(*c, *site, Weights(0, 1, 0)), 1.0 / 8 / 3);
}

TEST(Categorizer, SharedWordsMeasureDividesSharedKeysByTheSmallerWordCounts) {
    CCategoryTree tree;
    CCategory* c = AddCategory(tree, "C");
    CWords words;
    auto site = Visited("http://s/");
    for (const char* w : {"B", "C", "D", "E"})
        words.Give(*site, w);
    auto member = Visited("http://t/");
    for (const char* w : {"A", "B", "C"})
        words.Give(*member, w);
    auto bare = Visited("http://bare/");
    c->AddSite(member.get());
    c->AddSite(bare.get());
    // Shared 2 of room min(3, 4) + min(0, 4).
    EXPECT_DOUBLE_EQ(CCategorizer::RawScore(*c, *site, Weights(0, 0, 0.9)), 2.0 / 3 * 0.9 / 3);
}

TEST(Categorizer, CategoryWordsMeasureUsesTheWordCountsAndTheNumberOfDefiningWords) {
    CCategoryTree tree;
    CCategory* c = AddCategory(tree, "C", {"ATOM", "STAR", "MOON"});
    CWords words;
    auto site = Visited("http://s/");
    words.Give(*site, "ATOM", 4);
    words.Give(*site, "MOON", 2);
    words.Give(*site, "SUN", 9);
    EXPECT_DOUBLE_EQ(CCategorizer::RawScore(*c, *site, Weights(0.3, 0, 0)), 6.0 / 3 * 0.3 / 3);
}

TEST(Categorizer, RankingPutsEqualScoresInSlotOrderAndEmptySlotsLast) {
    CCategoryTree tree;
    AddCategory(tree, "Zero");
    AddCategory(tree, "Gone", {"ATOM"});
    CCategory* first = AddCategory(tree, "First", {"ATOM"});
    CCategory* second = AddCategory(tree, "Second", {"ATOM"});
    CCategory* best = AddCategory(tree, "Best", {"ATOM"});
    auto gone = tree.TakeFromSlot(1);
    CWords words;
    auto site = Visited("http://s/");
    words.Give(*site, "ATOM");
    auto member = Visited("http://t/");
    words.Give(*member, "ATOM");
    best->AddSite(member.get());

    EXPECT_EQ(CCategorizer::Categorize(tree, *site, Weights(0.5, 0.5, 0.5)), best);
    EXPECT_EQ(tree.Ranking(), (std::vector<int>{4, 2, 3, 0, -1}));
    EXPECT_EQ(first->m_score, second->m_score);
    EXPECT_GT(first->m_score, 0.0);
    EXPECT_LT(first->m_score, 1.0);
    EXPECT_EQ(tree.CategoryAt(0)->m_score, 0.0);
}

TEST(Categorizer, RankingFollowsTheSlotCountOfEveryRun) {
    CCategoryTree tree;
    AddCategory(tree, "A", {"ATOM"});
    CWords words;
    auto site = Visited("http://s/");
    words.Give(*site, "ATOM");
    CCategorizer::Categorize(tree, *site, Weights(1, 1, 1));
    EXPECT_EQ(tree.Ranking().size(), 1u);
    AddCategory(tree, "B", {"ATOM"});
    CCategory* c = AddCategory(tree, "C", {"ATOM"});
    CCategorizer::Categorize(tree, *site, Weights(1, 1, 1));
    EXPECT_EQ(tree.Ranking(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(c->m_score, 1.0);
}

TEST(Categorizer, WeightsOutsideZeroToOneAreHeldToThatRange) {
    CCategoryTree tree;
    CCategory* c = AddCategory(tree, "C", {"ATOM"});
    CWords words;
    auto site = Visited("http://s/");
    words.Give(*site, "ATOM");
    EXPECT_EQ(CCategorizer::Categorize(tree, *site, Weights(-2, 0, 0)), nullptr);
    EXPECT_EQ(c->m_score, 0.0);
    EXPECT_EQ(CCategorizer::Categorize(tree, *site, Weights(std::nan(""), 0, 0)), nullptr);
    EXPECT_EQ(CCategorizer::Categorize(tree, *site, Weights(5, 0, 0)), c);
}

TEST(Categorizer, StatusTextNamesTheParentAndTheCategory) {
    CCategoryTree tree;
    CCategory* science = AddCategory(tree, "Science");
    CCategory* physics = AddCategory(tree, "Physics");
    CCategory* optics = AddCategory(tree, "Optics");
    tree.Reparent(physics, 0);
    tree.Reparent(optics, 1);
    auto site = Visited("http://lens/");
    EXPECT_EQ(CCategorizer::StatusText(*site, science), "Categorized http://lens/ as Science");
    EXPECT_EQ(CCategorizer::StatusText(*site, optics),
              "Categorized http://lens/ as Physics:Optics");
}
