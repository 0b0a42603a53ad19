#include "decode/Crc32.h"
#include "tests/decode/Encoders.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(Crc32Test, KnownValues) {
    struct Case {
        std::string text;
        uint32_t crc;
    } cases[] = {
        {"", 0},
        {"a", 0xe8b7be43},
        {"123456789", 0xcbf43926},
        {"The quick brown fox jumps over the lazy dog", 0x414fa339},
        {std::string(64, '\0'), 0x758d6336},
        {std::string(1000, '\xff'), 0xe0533230},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Crc32(0, c.text.data(), c.text.size()), c.crc) << c.text.size();
        EXPECT_EQ(Crc32Plain(0, c.text.data(), c.text.size()), c.crc) << c.text.size();
    }
}

// The folding path (64 bytes and more) against the tables, over every length near its block sizes and at
// every alignment, continued from random CRCs; and the joining of two CRCs.
TEST(Crc32Test, FoldingMatchesTheTablesAndCombiningMatchesOnePass) {
    std::string bytes = RandomBytes(70000, 11);
    std::mt19937 random(5);
    for (size_t size = 0; size <= 300; ++size) {
        size_t offset = size % 16;
        uint32_t start = static_cast<uint32_t>(random());
        EXPECT_EQ(Crc32(start, bytes.data() + offset, size), Crc32Plain(start, bytes.data() + offset, size))
            << size;
    }
    for (int round = 0; round < 50; ++round) {
        size_t size = random() % bytes.size();
        size_t split = random() % (size + 1);
        uint32_t whole = Crc32Plain(0, bytes.data(), size);
        uint32_t a = Crc32(0, bytes.data(), split);
        uint32_t b = Crc32(0, bytes.data() + split, size - split);
        EXPECT_EQ(Crc32(0, bytes.data(), size), whole) << size;
        EXPECT_EQ(Crc32(a, bytes.data() + split, size - split), whole) << size << " " << split;
        EXPECT_EQ(Crc32Combine(a, b, size - split), whole) << size << " " << split;
    }
}

} // namespace
