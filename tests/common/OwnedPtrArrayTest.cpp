#include "common/OwnedPtrArray.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OwnedPtrArray, IndexingCreatesDefaultElements) {
    OwnedPtrArray<std::string> a;
    EXPECT_EQ(a.capacity(), 4u);
    EXPECT_EQ(a.get(2), nullptr);
    a[2] = "x";
    ASSERT_NE(a.get(2), nullptr);
    EXPECT_EQ(*a.get(2), "x");
}

TEST(OwnedPtrArray, GrowthRules) {
    struct Case {
        uint32_t start, index, expected;
    } cases[] = {{4, 4, 8}, {4, 3, 4}, {4, 20, 21}, {1, 1, 2}, {0, 0, 1}, {8, 15, 16}};
    for (const auto& c : cases) {
        OwnedPtrArray<int> a(c.start);
        a[c.index] = 5;
        EXPECT_EQ(a.capacity(), c.expected) << c.start << " " << c.index;
        EXPECT_EQ(*a.get(c.index), 5);
    }
}

TEST(OwnedPtrArray, ExplicitGrowKeepsSlotsAndSwapTakeWork) {
    OwnedPtrArray<int> a;
    a[0] = 1;
    a[1] = 2;
    a.grow(10);
    EXPECT_EQ(a.capacity(), 10u);
    a.grow(3);
    EXPECT_EQ(a.capacity(), 10u);
    a.swap(0, 1);
    EXPECT_EQ(*a.get(0), 2);
    auto taken = a.take(1);
    EXPECT_EQ(*taken, 1);
    EXPECT_EQ(a.get(1), nullptr);
    EXPECT_EQ(a.take(99), nullptr);
}

} // namespace
