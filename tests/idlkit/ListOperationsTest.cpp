#include "tests/idlkit/IdlkitTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(IdlkitSize, CountsItemsAndTerminator) {
    struct Case {
        const char* what;
        std::vector<std::string> items;
        unsigned size;
    };
    const Case cases[] = {
        {"terminator only", {}, 2},
        {"counts 20 and 14", {std::string(18, 'a'), std::string(12, 'b')}, 36},
        {"item without data", {""}, 4},
        {"item at the largest count", {std::string(65533, 'c')}, 65537},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> list = MakeList(c.items);
        EXPECT_EQ(Idlkit_GetSize(AsList(list)), c.size) << c.what;
    }
    EXPECT_EQ(Idlkit_GetSize(nullptr), 0u);
}

TEST(IdlkitSize, ReadsCountsAtOddOffsets) {
    // Items of odd length put the following counts at odd addresses.
    std::vector<unsigned char> list = MakeList({"x", "yyy", "z"});
    EXPECT_EQ(Idlkit_GetSize(AsList(list)), 3u + 5u + 3u + 2u);
}

TEST(IdlkitCopy, CopiesWholeListIntoBlockOfItsSize) {
    TestAllocator allocator;
    std::vector<unsigned char> list = MakeList({"one", "three"});
    ITEMIDLIST* copy = Idlkit_Copy(&allocator, AsList(list));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(BytesOf(copy), list);
    EXPECT_EQ(allocator.sizes, std::vector<std::size_t>{list.size()});
    allocator.Free(copy);
    EXPECT_EQ(allocator.live, 0);
}

TEST(IdlkitCopy, RefusesNullListAndFailedAllocation) {
    TestAllocator allocator;
    EXPECT_EQ(Idlkit_Copy(&allocator, nullptr), nullptr);
    EXPECT_TRUE(allocator.sizes.empty());
    std::vector<unsigned char> list = MakeList({"a"});
    EXPECT_EQ(Idlkit_Copy(nullptr, AsList(list)), nullptr);
    TestAllocator failing(0);
    EXPECT_EQ(Idlkit_Copy(&failing, AsList(list)), nullptr);
    EXPECT_EQ(failing.live, 0);
}

TEST(IdlkitConcatenate, JoinsWithOneTerminator) {
    struct Case {
        const char* what;
        std::vector<std::string> first;
        std::vector<std::string> second;
        std::vector<std::string> joined;
    };
    const Case cases[] = {
        {"two and one", {"a", "bb"}, {"ccc"}, {"a", "bb", "ccc"}},
        {"empty first", {}, {"x"}, {"x"}},
        {"empty second", {"x"}, {}, {"x"}},
        {"both empty", {}, {}, {}},
    };
    for (const Case& c : cases) {
        TestAllocator allocator;
        std::vector<unsigned char> first = MakeList(c.first);
        std::vector<unsigned char> second = MakeList(c.second);
        ITEMIDLIST* joined = Idlkit_Concatenate(&allocator, AsList(first), AsList(second));
        ASSERT_NE(joined, nullptr) << c.what;
        EXPECT_EQ(BytesOf(joined), MakeList(c.joined)) << c.what;
        EXPECT_EQ(allocator.sizes, std::vector<std::size_t>{first.size() - 2 + second.size()}) << c.what;
        allocator.Free(joined);
    }
}

TEST(IdlkitConcatenate, NullFirstGivesCopyOfSecond) {
    TestAllocator allocator;
    std::vector<unsigned char> second = MakeList({"only", "these"});
    ITEMIDLIST* joined = Idlkit_Concatenate(&allocator, nullptr, AsList(second));
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(BytesOf(joined), second);
    allocator.Free(joined);
}

TEST(IdlkitConcatenate, NullSecondIsRefused) {
    // The result would have no terminator.
    TestAllocator allocator;
    std::vector<unsigned char> first = MakeList({"a"});
    EXPECT_EQ(Idlkit_Concatenate(&allocator, AsList(first), nullptr), nullptr);
    EXPECT_EQ(Idlkit_Concatenate(&allocator, nullptr, nullptr), nullptr);
    EXPECT_TRUE(allocator.sizes.empty());
    TestAllocator failing(0);
    EXPECT_EQ(Idlkit_Concatenate(&failing, AsList(first), AsList(first)), nullptr);
}

TEST(IdlkitGetRelative, SplitsOffTheLastItem) {
    struct Case {
        const char* what;
        std::vector<std::string> full;
        std::vector<std::string> parent;
        std::vector<std::string> last;
    };
    const Case cases[] = {
        {"one item", {"only"}, {}, {"only"}},
        {"three levels", {"usr", "share", "doc"}, {"usr", "share"}, {"doc"}},
        {"last item without data", {"a", ""}, {"a"}, {""}},
    };
    for (const Case& c : cases) {
        TestAllocator allocator;
        std::vector<unsigned char> full = MakeList(c.full);
        ITEMIDLIST* parent = nullptr;
        ITEMIDLIST* last = nullptr;
        ASSERT_EQ(Idlkit_GetRelative(&allocator, AsList(full), &parent, &last), 1) << c.what;
        ASSERT_NE(parent, nullptr);
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(BytesOf(parent), MakeList(c.parent)) << c.what;
        EXPECT_EQ(BytesOf(last), MakeList(c.last)) << c.what;
        // The parent block keeps the full size; the old last item's count and first data byte are zero.
        std::size_t cut = MakeList(c.parent).size() - 2;
        const auto* raw = reinterpret_cast<const unsigned char*>(parent);
        EXPECT_EQ(raw[cut], 0);
        EXPECT_EQ(raw[cut + 1], 0);
        EXPECT_EQ(raw[cut + 2], 0);
        EXPECT_EQ(allocator.sizes, (std::vector<std::size_t>{full.size(), full.size() - cut}));
        allocator.Free(parent);
        allocator.Free(last);
        EXPECT_EQ(allocator.live, 0);
    }
}

TEST(IdlkitGetRelative, NullAndEmptyLists) {
    TestAllocator allocator;
    auto* marker = reinterpret_cast<ITEMIDLIST*>(&allocator);
    ITEMIDLIST* parent = marker;
    ITEMIDLIST* last = marker;
    EXPECT_EQ(Idlkit_GetRelative(&allocator, nullptr, &parent, &last), 1);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(last, nullptr);

    // An empty list has no last item: the parent is an empty copy and the last item is reported as null.
    std::vector<unsigned char> empty = MakeList({});
    last = marker;
    EXPECT_EQ(Idlkit_GetRelative(&allocator, AsList(empty), &parent, &last), 1);
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(BytesOf(parent), empty);
    EXPECT_EQ(last, nullptr);
    allocator.Free(parent);
    EXPECT_EQ(allocator.live, 0);
}

TEST(IdlkitGetRelative, FailedAllocationLeavesNothingBehind) {
    std::vector<unsigned char> full = MakeList({"a", "b"});
    for (int failAt : {0, 1}) {
        TestAllocator allocator(failAt);
        ITEMIDLIST* parent = nullptr;
        ITEMIDLIST* last = nullptr;
        EXPECT_EQ(Idlkit_GetRelative(&allocator, AsList(full), &parent, &last), 0) << failAt;
        EXPECT_EQ(parent, nullptr);
        EXPECT_EQ(last, nullptr);
        EXPECT_EQ(allocator.live, 0) << failAt;
    }
}

} // namespace
