#include "model/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(Random, FifteenBitGeneratorGivesTheClassicSequence) {
    SeedRandom(1);
    const std::vector<int> expected = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    std::vector<int> values;
    for (std::size_t i = 0; i < expected.size(); ++i)
        values.push_back(Random15());
    EXPECT_EQ(values, expected);
}

TEST(Random, StaysWithinFifteenBitsAndReachesBothEnds) {
    SeedRandom(12345);
    int low = 32767, high = 0;
    for (int i = 0; i < 200000; ++i) {
        const int value = Random15();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 32767);
}

TEST(Random, SameSeedSamePlacements) {
    SeedRandom(99);
    std::vector<int> first;
    for (int i = 0; i < 20; ++i)
        first.push_back(RandomBetween(0, 2000));
    SeedRandom(99);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(RandomBetween(0, 2000), first[static_cast<std::size_t>(i)]);
}

TEST(Random, RandomBetweenRangeAndTruncation) {
    SeedRandom(1);                         // first draws 41, 18467
    EXPECT_EQ(RandomBetween(-10, 10), -9); // -9.97 truncated toward zero, not floored
    EXPECT_EQ(RandomBetween(0, 2000), 1127);
    EXPECT_EQ(RandomBetween(5, 4), 0);
    EXPECT_EQ(RandomBetween(7, 7), 7);
    SeedRandom(4);
    for (int i = 0; i < 100000; ++i) {
        const int value = RandomBetween(20, 1980);
        ASSERT_GE(value, 20);
        ASSERT_LE(value, 1980);
    }
    SeedRandom(1); // a range wider than int must not overflow
    EXPECT_EQ(RandomBetween(-2000000000, 2000000000), -1994994964);
}
