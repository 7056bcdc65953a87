#include "model/category.h"
#include "model/categoryfile.h"
#include "model/categorytree.h"
#include "model/site.h"

#include "tests/model/storetestfiles.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {
// Visited sites by URL, standing in for the URL database.
class CSiteStore {
public:
    CSite* Add(const std::string& url) {
        auto& site = m_sites[url];
        site = std::make_unique<CSite>(url, "title", "<NONE>", 1, 1700000000);
        return site.get();
    }
    CCategoryTree::SiteResolver Resolver() {
        return [this](const std::string& url) -> CSite* {
            const auto found = m_sites.find(url);
            return found == m_sites.end() ? nullptr : found->second.get();
        };
    }

private:
    std::map<std::string, std::unique_ptr<CSite>> m_sites;
};

struct Record {
    std::string name;
    std::int32_t parent;
    std::vector<std::int32_t> children;
    std::vector<std::string> urls;
    std::vector<std::pair<std::string, std::int32_t>> words;
};

std::string CategoryBytes(const Record& r) {
    std::string bytes = Int32Bytes(1) + StringBytes(r.name) + Int32Bytes(r.parent);
    bytes += Int32Bytes(static_cast<std::int32_t>(r.children.size()));
    for (auto c : r.children)
        bytes += Int32Bytes(c);
    bytes += Int32Bytes(static_cast<std::int32_t>(r.urls.size()));
    for (const auto& u : r.urls)
        bytes += StringBytes(u);
    bytes += Int32Bytes(static_cast<std::int32_t>(r.words.size()));
    for (const auto& [w, weight] : r.words)
        bytes += StringBytes(w) + Int32Bytes(weight);
    return bytes;
}

const std::string kEmptySlot = Int32Bytes(0);

std::unique_ptr<CCategory> Named(const std::string& name) {
    return std::make_unique<CCategory>(name);
}

std::vector<std::int32_t> Keys(const CIndexTally& tally) {
    return tally.ActiveKeys();
}
} // namespace

TEST(CategoryFile, HierarchyWithEmptySlotsAndOddBytesRoundTripsByteForByte) {
    CSiteStore sites;
    sites.Add("http://physics.example/");
    sites.Add(std::string("http://odd.example/\xff\x0a", 21));
    const std::string bytes =
        Int32Bytes(6) + kEmptySlot +
        CategoryBytes({"Science", -1, {2, 4}, {"http://physics.example/"}, {{"PHYSICS", 2}}}) +
        CategoryBytes({"Physics", 1, {}, {}, {{"ATOM", -3}, {"\xc3\xa9T\xc3\xa9", 0}}}) +
        kEmptySlot +
        CategoryBytes({std::string("Od\0d\n\xff", 6),
                       1,
                       {},
                       {std::string("http://odd.example/\xff\x0a", 21), "http://physics.example/"},
                       {}}) +
        CategoryBytes({"", -1, {}, {}, {{"", 1}}});
    CTestFolder folder;
    const std::string path = folder.File("cats.wfx");
    WriteFileBytes(path, bytes);
    CErrorRecorder errors;
    {
        CCategoryTree tree;
        EXPECT_TRUE(tree.Open(path, sites.Resolver()));
        EXPECT_EQ(tree.SlotCount(), 6);
        EXPECT_EQ(tree.CategoryAt(0), nullptr);
        EXPECT_EQ(tree.CategoryAt(3), nullptr);
        ASSERT_NE(tree.CategoryAt(2), nullptr);
        EXPECT_EQ(tree.CategoryAt(2)->m_index, 2);
        EXPECT_EQ(tree.CategoryAt(4)->m_sites.size(), 2u);
    }
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_EQ(FileBytes(path), bytes);
}

TEST(CategoryFile, EmptySlotTwoReloadsEmptyWithEveryOtherIndexUnchanged) {
    CTestFolder folder;
    const std::string path = folder.File("cats.wfx");
    {
        CCategoryTree tree;
        tree.Open(path, nullptr);
        for (const char* name : {"A", "B", "C", "D"})
            tree.Register(Named(name));
        tree.Reparent(tree.CategoryAt(3), 1);
        tree.TakeFromSlot(2);
    }
    CCategoryTree tree;
    tree.Open(path, nullptr);
    tree.DetachFile();
    ASSERT_EQ(tree.SlotCount(), 4);
    EXPECT_EQ(tree.CategoryAt(2), nullptr);
    EXPECT_EQ(tree.CategoryAt(0)->m_name, "A");
    EXPECT_EQ(tree.CategoryAt(1)->m_name, "B");
    EXPECT_EQ(tree.CategoryAt(3)->m_name, "D");
    EXPECT_EQ(tree.CategoryAt(3)->m_parent, 1);
    EXPECT_EQ(Keys(tree.CategoryAt(1)->m_children), std::vector<std::int32_t>{3});
}

TEST(CategoryFile, UnknownUrlsAreDroppedAndKnownSitesLearnTheirCategory) {
    CSiteStore sites;
    CSite* known = sites.Add("http://known/");
    const std::string bytes =
        Int32Bytes(2) + kEmptySlot +
        CategoryBytes({"News", -1, {}, {"http://gone/", "http://known/"}, {}});
    CTestFolder folder;
    WriteFileBytes(folder.File("cats.wfx"), bytes);
    CCategoryTree tree;
    EXPECT_TRUE(tree.Open(folder.File("cats.wfx"), sites.Resolver()));
    tree.DetachFile();
    EXPECT_EQ(tree.CategoryAt(1)->m_sites, std::vector<CSite*>{known});
    EXPECT_EQ(Keys(known->m_categories), std::vector<std::int32_t>{1});
}

TEST(CategoryFile, RepeatedWordLoadsOnceWithTheWeightsAddedAndInUpperCase) {
    const std::string bytes =
        Int32Bytes(1) +
        CategoryBytes({"Sport", -1, {}, {}, {{"ball", 2}, {"BALL", 3}, {"Net", 1}}});
    CTestFolder folder;
    WriteFileBytes(folder.File("cats.wfx"), bytes);
    CCategoryTree tree;
    tree.Open(folder.File("cats.wfx"), nullptr);
    tree.DetachFile();
    const auto& words = tree.CategoryAt(0)->m_words.Entries();
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].word, "BALL");
    EXPECT_EQ(words[0].weight, 5);
    EXPECT_EQ(words[1].word, "NET");
}

TEST(CategoryFile, IndicesNamingNoCategoryAreRepairedAtLoad) {
    const std::string bytes = Int32Bytes(4) + CategoryBytes({"A", 3, {1, 2, 0, 9, -1}, {}, {}}) +
                              CategoryBytes({"B", 0, {}, {}, {}}) + kEmptySlot +
                              CategoryBytes({"C", 2, {}, {}, {}});
    CTestFolder folder;
    WriteFileBytes(folder.File("cats.wfx"), bytes);
    CCategoryTree tree;
    tree.Open(folder.File("cats.wfx"), nullptr);
    tree.DetachFile();
    EXPECT_EQ(tree.CategoryAt(0)->m_parent, 3);
    EXPECT_EQ(Keys(tree.CategoryAt(0)->m_children), std::vector<std::int32_t>{1});
    EXPECT_EQ(tree.CategoryAt(3)->m_parent, -1);
}

TEST(CategoryFile, MissingOrEmptyFileGivesAnEmptyHierarchyWrittenAsSlotCountZero) {
    for (bool makeEmptyFile : {false, true}) {
        CTestFolder folder;
        const std::string path = folder.File("cats.wfx");
        if (makeEmptyFile)
            WriteFileBytes(path, "");
        CErrorRecorder errors;
        {
            CCategoryTree tree;
            EXPECT_TRUE(tree.Open(path, nullptr));
            EXPECT_EQ(tree.SlotCount(), 0);
        }
        EXPECT_TRUE(errors.Messages().empty());
        EXPECT_EQ(FileBytes(path), Int32Bytes(0));
    }
}

TEST(CategoryFile, DamagedFilesKeepWhatWasReadReportAndAreSetAside) {
    const std::string a = CategoryBytes({"A", -1, {}, {}, {{"W", 1}}});
    const struct {
        const char* what;
        std::string data;
        int slotsKept;
    } cases[] = {
        {"slot count past the end", Int32Bytes(3) + a + kEmptySlot, 2},
        {"negative slot count", Int32Bytes(-2), 0},
        {"slot count cut short", std::string("\x02\x00", 2), 0},
        {"flag neither 0 nor 1", Int32Bytes(2) + a + Int32Bytes(7), 1},
        {"name length past the end", Int32Bytes(2) + a + Int32Bytes(1) + Int32Bytes(99) + "ab", 1},
        {"name above 8191 bytes",
         Int32Bytes(1) + Int32Bytes(1) + StringBytes(std::string(8192, 'n')), 0},
        {"negative child count",
         Int32Bytes(2) + a + Int32Bytes(1) + StringBytes("B") + Int32Bytes(-1) + Int32Bytes(-5), 2},
        {"site count past the end",
         Int32Bytes(2) + a + Int32Bytes(1) + StringBytes("B") + Int32Bytes(-1) + Int32Bytes(0) +
             Int32Bytes(1000),
         2},
        {"word weight cut short", Int32Bytes(1) + a.substr(0, a.size() - 2), 1},
        {"bytes left over", Int32Bytes(1) + a + "x", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CTestFolder folder;
        const std::string path = folder.File("cats.wfx");
        WriteFileBytes(path, c.data);
        CErrorRecorder errors;
        {
            CCategoryTree tree;
            EXPECT_FALSE(tree.Open(path, nullptr));
            EXPECT_EQ(tree.SlotCount(), c.slotsKept);
            if (tree.SlotCount() > 0) {
                EXPECT_EQ(tree.CategoryAt(0)->m_name, "A");
            }
            ASSERT_EQ(errors.Messages().size(), 1u);
            EXPECT_NE(errors.Messages()[0].find(path), std::string::npos);
        }
        EXPECT_EQ(FileBytes(path + ".damaged"), c.data);
        CCategoryFile::Slots written;
        EXPECT_TRUE(CCategoryFile::Parse(FileBytes(path), written));
        EXPECT_EQ(static_cast<int>(written.size()), c.slotsKept);
    }
}

TEST(CategoryFile, UnwritableFileShowsTheMessageNamingIt) {
    CTestFolder folder;
    const std::string path = folder.File("no-such-folder/cats.wfx");
    CErrorRecorder errors;
    {
        CCategoryTree tree;
        tree.Open(path, nullptr);
        tree.Register(Named("A"));
    }
    EXPECT_EQ(errors.Messages(),
              std::vector<std::string>{"Can't write out memory of category events to " + path});
}

TEST(CategoryTree, RegisterAppendsSlotsThatAreNeverReused) {
    CCategoryTree tree;
    CCategory* a = tree.Register(Named("A"));
    CCategory* b = tree.Register(Named("B"));
    EXPECT_EQ(a->m_index, 0);
    EXPECT_EQ(b->m_index, 1);
    EXPECT_EQ(a->m_tree, &tree);
    auto taken = tree.TakeFromSlot(0);
    EXPECT_FALSE(tree.IsRegistered(taken.get()));
    EXPECT_EQ(taken->m_index, -1);
    EXPECT_EQ(tree.CategoryAt(0), nullptr);
    CCategory* c = tree.Register(Named("C"));
    EXPECT_EQ(c->m_index, 2);
    EXPECT_TRUE(tree.IsRegistered(c));
    EXPECT_EQ(tree.CategoryAt(2), c);
    EXPECT_EQ(tree.CategoryAt(3), nullptr);
    EXPECT_EQ(tree.CategoryAt(-1), nullptr);
    EXPECT_EQ(tree.TakeFromSlot(0), nullptr);
}

TEST(CategoryTree, PathNameJoinsAncestorsAndStopsAtLoopsAndEmptySlots) {
    CCategoryTree tree;
    CCategory* science = tree.Register(Named("Science"));
    CCategory* physics = tree.Register(Named("Physics"));
    CCategory* optics = tree.Register(Named("Optics"));
    tree.Reparent(physics, 0);
    tree.Reparent(optics, 1);
    EXPECT_EQ(science->PathName(), "Science");
    EXPECT_EQ(optics->PathName(), "Science:Physics:Optics");
    EXPECT_EQ(optics->Parent(), physics);
    // A loop written by hand: Science under Optics.
    science->m_parent = 2;
    EXPECT_EQ(optics->PathName(), "Science:Physics:Optics");
    EXPECT_EQ(science->PathName(), "Physics:Optics:Science");
    science->m_parent = 0;
    EXPECT_EQ(science->PathName(), "Science");
    science->m_parent = 7;
    EXPECT_EQ(science->PathName(), "Science");
    EXPECT_EQ(science->Parent(), nullptr);
}

TEST(CategoryTree, AddRemoveAndHoldsSiteKeepTheSiteCategoriesInStep) {
    CSite site("http://a/", "A", "<NONE>", 1);
    CCategoryTree tree;
    tree.Register(Named("X"));
    CCategory* c = tree.Register(Named("Y"));
    c->AddSite(&site);
    EXPECT_TRUE(c->HoldsSite(&site));
    EXPECT_EQ(Keys(site.m_categories), std::vector<std::int32_t>{1});
    EXPECT_TRUE(c->RemoveSite(&site));
    EXPECT_FALSE(c->HoldsSite(&site));
    EXPECT_TRUE(Keys(site.m_categories).empty());
    EXPECT_FALSE(c->RemoveSite(&site));
    c->AddSite(&site);
    c->AddSite(&site);
    EXPECT_TRUE(c->RemoveSite(&site));
    EXPECT_TRUE(c->HoldsSite(&site));
    EXPECT_EQ(Keys(site.m_categories), std::vector<std::int32_t>{1});
    c->AddSite(&site);
    tree.ForgetSite(&site);
    EXPECT_FALSE(c->HoldsSite(&site));
    EXPECT_TRUE(Keys(site.m_categories).empty());
}

TEST(CategoryTree, CategoryMovedAwayAndBackIsWrittenAmongTheParentsChildren) {
    CTestFolder folder;
    const std::string path = folder.File("cats.wfx");
    {
        CCategoryTree tree;
        tree.Open(path, nullptr);
        CCategory* a = tree.Register(Named("A"));
        tree.Register(Named("B"));
        CCategory* child = tree.Register(Named("C"));
        EXPECT_TRUE(tree.Reparent(child, 0));
        EXPECT_TRUE(tree.Reparent(child, 1));
        EXPECT_TRUE(tree.Reparent(child, 0));
        EXPECT_EQ(Keys(a->m_children), std::vector<std::int32_t>{2});
    }
    CCategoryFile::Slots slots;
    ASSERT_TRUE(CCategoryFile::Parse(FileBytes(path), slots));
    EXPECT_EQ(slots[0]->children, std::vector<std::int32_t>{2});
    EXPECT_TRUE(slots[1]->children.empty());
    EXPECT_EQ(slots[2]->parent, 0);
}

TEST(CategoryTree, ReparentRefusesItselfItsDescendantsAndEmptySlots) {
    CCategoryTree tree;
    CCategory* a = tree.Register(Named("A"));
    CCategory* b = tree.Register(Named("B"));
    CCategory* c = tree.Register(Named("C"));
    tree.Reparent(b, 0);
    tree.Reparent(c, 1);
    EXPECT_FALSE(tree.Reparent(a, 0));
    EXPECT_FALSE(tree.Reparent(a, 2));
    EXPECT_FALSE(tree.Reparent(a, 9));
    auto outside = Named("Outside");
    EXPECT_FALSE(tree.Reparent(outside.get(), 0));
    EXPECT_EQ(a->m_parent, -1);
    EXPECT_TRUE(tree.IsInSubtree(*a, 2));
    EXPECT_FALSE(tree.IsInSubtree(*c, 0));
    EXPECT_TRUE(tree.Reparent(c, -1));
    EXPECT_EQ(c->m_parent, -1);
    EXPECT_TRUE(Keys(b->m_children).empty());
}

TEST(CategoryTree, CategoryRegisteredAgainTakesItsChildrenAndSitesToTheNewSlot) {
    CSite site("http://a/", "A", "<NONE>", 1);
    CCategoryTree tree;
    CCategory* root = tree.Register(Named("Root"));
    CCategory* moved = tree.Register(Named("Moved"));
    CCategory* child = tree.Register(Named("Child"));
    tree.Reparent(moved, 0);
    tree.Reparent(child, 1);
    moved->AddSite(&site);

    auto cut = tree.TakeFromSlot(1);
    EXPECT_TRUE(Keys(root->m_children).empty());
    EXPECT_TRUE(tree.IsInSubtree(*cut, 2));
    CCategory* pasted = tree.Register(std::move(cut));
    EXPECT_EQ(pasted->m_index, 3);
    EXPECT_EQ(child->m_parent, 3);
    EXPECT_EQ(Keys(site.m_categories), std::vector<std::int32_t>{3});
    EXPECT_TRUE(tree.Reparent(pasted, -1));
    EXPECT_EQ(child->PathName(), "Moved:Child");
    EXPECT_TRUE(tree.Reparent(pasted, 0));
    EXPECT_EQ(child->PathName(), "Root:Moved:Child");
    EXPECT_EQ(Keys(root->m_children), std::vector<std::int32_t>{3});
}

TEST(CategoryTree, ChildrenOfACategoryNeverPutBackAreWrittenAtTheTopLevel) {
    CTestFolder folder;
    const std::string path = folder.File("cats.wfx");
    {
        CCategoryTree tree;
        tree.Open(path, nullptr);
        tree.Register(Named("Gone"));
        CCategory* child = tree.Register(Named("Child"));
        tree.Reparent(child, 0);
        auto cut = tree.TakeFromSlot(0);
    }
    CCategoryFile::Slots slots;
    ASSERT_TRUE(CCategoryFile::Parse(FileBytes(path), slots));
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_FALSE(slots[0]);
    EXPECT_EQ(slots[1]->parent, -1);
}

TEST(CategoryTree, CopyKeepsNameChildrenSitesAndWordsButNoPlace) {
    CSite site("http://a/", "A", "<NONE>", 1);
    CCategoryTree tree;
    CCategory* original = tree.Register(Named("Orig"));
    tree.Register(Named("Kid"));
    tree.Reparent(tree.CategoryAt(1), 0);
    original->AddSite(&site);
    original->m_words.Add("WORD", 3);
    auto copy = original->MakeCopy();
    EXPECT_EQ(copy->m_name, "Orig");
    EXPECT_EQ(copy->m_index, -1);
    EXPECT_EQ(copy->m_parent, -1);
    EXPECT_EQ(Keys(copy->m_children), std::vector<std::int32_t>{1});
    EXPECT_EQ(copy->m_sites, std::vector<CSite*>{&site});
    EXPECT_EQ(copy->m_words.Entries()[0].weight, 3);
    EXPECT_EQ(Keys(site.m_categories), std::vector<std::int32_t>{0});
    CCategory* registered = tree.Register(std::move(copy));
    EXPECT_EQ(Keys(site.m_categories), (std::vector<std::int32_t>{0, 2}));
    EXPECT_EQ(tree.CategoryAt(1)->m_parent, 0);
    EXPECT_EQ(registered->m_index, 2);
}

TEST(CategoryTree, DestroyedCategoryEmptiesItsSlot) {
    CCategoryTree tree;
    tree.Register(Named("A"));
    CCategory* b = tree.Register(Named("B"));
    delete b; // a category freed outside the hierarchy gives its slot up
    EXPECT_EQ(tree.CategoryAt(1), nullptr);
    EXPECT_EQ(tree.SlotCount(), 2);
}

TEST(WeightedWordList, AddSumsTheWeightsOfTheSameTextAndKeepsOrder) {
    CWeightedWordList words;
    EXPECT_EQ(words.Add("B", 1), 0);
    EXPECT_EQ(words.Add("A", 2), 1);
    EXPECT_EQ(words.Add("B", 4), 0);
    EXPECT_EQ(words.Add("b", 1), 2);
    EXPECT_EQ(words.Entries()[0].weight, 5);
    EXPECT_EQ(words.Find("A"), 1);
    EXPECT_EQ(words.Find("Z"), -1);
    words.Add("A", 2147483647);
    EXPECT_EQ(words.Entries()[1].weight, 2147483647);
}
