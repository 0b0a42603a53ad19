#include "common/ByteRing.h"

#include <gtest/gtest.h>

namespace {

std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 131 + seed) & 0xFF);
    }
    return s;
}

TEST(ByteRing, StartsEmptyAtInitialCapacity) {
    ByteRing ring;
    EXPECT_TRUE(ring.empty());
    EXPECT_EQ(ring.capacity(), 262144u);
}

TEST(ByteRing, GrowsByDoublingAndKeepsOrderAcrossWrap) {
    ByteRing ring;
    // Move head forward so the content wraps before growing.
    ring.append(Pattern(200000, 1));
    std::string out;
    ring.take(150000, out);
    std::string expected = Pattern(200000, 1).substr(150000);
    std::string more = Pattern(262144, 7);
    ring.append(more);
    expected += more;
    EXPECT_EQ(ring.capacity(), 524288u);
    EXPECT_EQ(ring.size(), expected.size());
    std::string all;
    ring.take(ring.size(), all);
    EXPECT_EQ(all, expected);
    EXPECT_TRUE(ring.empty());
}

TEST(ByteRing, ExactlyFullDoesNotGrow) {
    ByteRing ring;
    ring.append(Pattern(262144, 3));
    EXPECT_EQ(ring.capacity(), 262144u);
    ring.append("x", 1);
    EXPECT_EQ(ring.capacity(), 524288u);
}

TEST(ByteRing, FindLooksAcrossTheWrapPoint) {
    ByteRing ring;
    ring.append(std::string(262000, 'a'));
    std::string sink;
    ring.take(261990, sink);
    ring.append(std::string(300, 'b') + "\n");
    EXPECT_EQ(ring.find('\n'), 310u);
    EXPECT_EQ(ring.find('b'), 10u);
    EXPECT_EQ(ring.find('b', 200), 200u);
    EXPECT_EQ(ring.find('z'), ByteRing::npos);
    EXPECT_EQ(ring.find('a', 1000), ByteRing::npos);
}

TEST(ByteRing, TakeAndDiscardStopAtContent) {
    ByteRing ring;
    ring.append("abc", 3);
    std::string out = "x";
    ring.take(10, out);
    EXPECT_EQ(out, "xabc");
    ring.append("de", 2);
    ring.discard(5);
    EXPECT_TRUE(ring.empty());
}

// Fills the ring through appendSpace in pieces of the given sizes, taking some bytes out between fills, and
// checks against a plain string that nothing is lost, doubled or reordered, across wraps and growth.
struct SpaceCase {
    const char* name;
    size_t piece;
    size_t takeEach;
    size_t rounds;
};

class ByteRingAppendSpace : public ::testing::TestWithParam<SpaceCase> {};

TEST_P(ByteRingAppendSpace, KeepsEveryByteInOrder) {
    const SpaceCase& c = GetParam();
    ByteRing ring;
    std::string expected;
    std::string out;
    unsigned seed = 1;
    for (size_t round = 0; round < c.rounds; ++round) {
        size_t left = c.piece;
        while (left > 0) {
            size_t room = 0;
            char* space = ring.appendSpace(left, room);
            ASSERT_GT(room, 0u);
            ASSERT_LE(room, left);
            std::string bytes = Pattern(room, seed++);
            std::copy(bytes.begin(), bytes.end(), space);
            ring.commit(room);
            expected += bytes;
            left -= room;
        }
        ring.take(c.takeEach, out);
        ASSERT_EQ(ring.size(), expected.size() - out.size());
    }
    ring.take(ring.size(), out);
    EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteRingAppendSpace,
                         ::testing::Values(SpaceCase{"SmallPiecesDrainedEachTime", 1000, 1000, 2000},
                                           SpaceCase{"WrapsWithoutGrowing", 100000, 100000, 50},
                                           SpaceCase{"GrowsWhileWrapped", 70000, 30000, 40},
                                           SpaceCase{"OnePieceLargerThanTheRing",
                                                     3 * ByteRing::kInitialCapacity, 1, 3},
                                           SpaceCase{"ExactCapacityPieces", ByteRing::kInitialCapacity,
                                                     ByteRing::kInitialCapacity, 3}),
                         [](const ::testing::TestParamInfo<SpaceCase>& info) { return info.param.name; });

} // namespace
