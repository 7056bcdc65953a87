#include "model/indextally.h"

#include <gtest/gtest.h>

#include <vector>

TEST(IndexTally, AddsCountsRemovesAndBringsBack) {
    CIndexTally tally;
    tally.Add(3);
    tally.Add(5, 2);
    tally.Add(3);
    EXPECT_EQ(tally.Size(), 2);
    EXPECT_EQ(tally.ActiveCount(), 2);
    EXPECT_EQ(tally.Entries()[0].count, 2);
    EXPECT_TRUE(tally.Remove(3));
    EXPECT_FALSE(tally.Remove(3));
    EXPECT_FALSE(tally.Contains(3));
    EXPECT_EQ(tally.ActiveKeys(), std::vector<std::int32_t>{5});
    tally.Add(3);
    EXPECT_TRUE(tally.Contains(3));
    EXPECT_EQ(tally.Entries()[0].count, 3);
    EXPECT_EQ(tally.ActiveKeys(), (std::vector<std::int32_t>{3, 5}));
    tally.ReplaceKey(5, 9);
    EXPECT_TRUE(tally.Contains(9));
    EXPECT_FALSE(tally.Contains(5));
    tally.Clear();
    EXPECT_EQ(tally.Size(), 0);
    EXPECT_EQ(tally.ActiveCount(), 0);
}
