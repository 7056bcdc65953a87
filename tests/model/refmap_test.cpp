#include "model/refmap.h"
#include "model/site.h"
#include "model/wordentry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {
std::vector<std::string> Keys(const CRefMap<CSite, CSiteUrlKey>& map) {
    std::vector<std::string> keys;
    for (const auto& [url, site] : map)
        keys.push_back(url);
    return keys;
}

std::unique_ptr<CSite> Site(const std::string& url) {
    return std::make_unique<CSite>(url, "t", "<NONE>", 1, 1700000000);
}
} // namespace

TEST(RefMap, IteratesInKeyOrderAndFindsByKeyAsAStdMap) {
    auto c = Site("http://c/"), a = Site("http://a/"), b = Site("http://b/");
    CRefMap<CSite, CSiteUrlKey> map;
    map.Assign(c.get());
    map.Assign(a.get());
    EXPECT_TRUE(map.try_emplace("http://b/", b.get()).second);
    EXPECT_FALSE(map.try_emplace("http://b/", b.get()).second);
    EXPECT_FALSE(map.try_emplace("http://wrong/", c.get()).second); // not the object's own key
    EXPECT_EQ(Keys(map), (std::vector<std::string>{"http://a/", "http://b/", "http://c/"}));
    EXPECT_EQ(map.at("http://b/"), b.get());
    EXPECT_EQ(map.count("http://d/"), 0u);
    EXPECT_THROW(map.at("http://d/"), std::out_of_range);
    EXPECT_EQ(map.find("http://c/")->second, c.get());
}

TEST(RefMap, AssignReplacesTheObjectWithTheSameKeyAndEraseItemTakesOnlyThatObject) {
    auto first = Site("http://same/"), second = Site("http://same/");
    CRefMap<CSite, CSiteUrlKey> map;
    map.Assign(first.get());
    map.Assign(second.get());
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at("http://same/"), second.get());
    EXPECT_FALSE(map.EraseItem(first.get()));
    EXPECT_TRUE(map.EraseItem(second.get()));
    EXPECT_TRUE(map.empty());
}

TEST(RefMap, NormalizeSortsBulkAppendsAndKeepsTheLastOfEqualKeys) {
    auto z = Site("http://z/"), a1 = Site("http://a/"), m = Site("http://m/"),
         a2 = Site("http://a/");
    CRefMap<CSite, CSiteUrlKey> map;
    for (CSite* site : {z.get(), a1.get(), m.get(), a2.get()})
        map.AppendUnsorted(site);
    map.Normalize();
    EXPECT_EQ(Keys(map), (std::vector<std::string>{"http://a/", "http://m/", "http://z/"}));
    EXPECT_EQ(map.at("http://a/"), a2.get());
}

TEST(RefMap, EveryChangeGivesANewStampAndCopiesHaveTheirOwn) {
    auto a = Site("http://a/");
    CRefMap<CSite, CSiteUrlKey> map;
    const auto empty = map.Stamp();
    map.Assign(a.get());
    const auto filled = map.Stamp();
    EXPECT_NE(filled, empty);
    CRefMap<CSite, CSiteUrlKey> copy = map;
    EXPECT_NE(copy.Stamp(), filled);
    EXPECT_EQ(map.Stamp(), filled); // reading changes nothing
    map.erase("http://a/");
    EXPECT_NE(map.Stamp(), filled);
}
