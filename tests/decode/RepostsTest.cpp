#include "decode/Reposts.h"
#include "parts/PartsBrowser.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <thread>

namespace {

TEST(SameFileTest, NameIgnoresAsciiCaseAndSizeCountsInWholeKiB) {
    struct Case {
        uint64_t sizeA;
        const char* nameA;
        uint64_t sizeB;
        const char* nameB;
        bool same;
    } cases[] = {
        {10240, "pic.jpg", 11263, "pic.jpg", true},  // same KiB
        {10239, "pic.jpg", 10240, "pic.jpg", false}, // KiB boundary
        {2047, "a", 1024, "a", true},                //
        {2047, "a", 2048, "a", false},               //
        {0, "a", 1023, "a", true},                   //
        {5, "PIC.JPG", 5, "pic.jpg", true},          // letter case
        {5, "pic_1.jpg", 5, "pic-1.jpg", false},     // a non-letter byte
        {5, "\xC4.jpg", 5, "\xE4.jpg", false},       // only A-Z fold
        {5, "pic.jpg", 5, "pic.jpg ", false},        // length
        {5, "", 5, "", true},                        //
        {1ull << 40, "big", (1ull << 40) + 1023, "BIG", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SameFile(Item(c.sizeA, c.nameA), Item(c.sizeB, c.nameB)), c.same)
            << c.nameA << " " << c.sizeA;
        EXPECT_EQ(SameFile(Item(c.sizeB, c.nameB), Item(c.sizeA, c.nameA)), c.same);
    }
}

class RepostsTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string file = dir.file("decodes");
};

TEST_F(RepostsTest, MissingFileLeavesTheListEmpty) {
    RepostList list;
    LoadReposts(list, dir.file("none"));
    EXPECT_EQ(list.count, 0u);
}

TEST_F(RepostsTest, LoadsWellFormedLinesAndSkipsMalformedOnes) {
    WriteFileBytes(file, "1048576 07Mar1999 my file.zip\n"
                         "12 onlytwo\n"
                         "abc\n"
                         "x 07Mar1999 nosize.bin\r\n"
                         "\n"
                         "2048 01Jan2000 \n"
                         "  77 01Jan2000 lead.gif\n"
                         "99 01Jan2000 no-newline-at-end.txt");
    RepostList list;
    LoadReposts(list, file);
    ASSERT_EQ(list.count, 5u);
    EXPECT_EQ(list.items[0].size, 1048576u);
    EXPECT_EQ(list.items[0].name, "my file.zip");
    EXPECT_EQ(list.items[1].size, 0u);
    EXPECT_EQ(list.items[1].name, "nosize.bin"); // CR cut off
    EXPECT_EQ(list.items[2].name, "");
    EXPECT_EQ(list.items[3].size, 77u); // leading blanks before the number are read over, as atol does
    EXPECT_EQ(list.items[3].name, "77 01Jan2000 lead.gif");
    EXPECT_EQ(list.items[4].name, "no-newline-at-end.txt");
}

TEST_F(RepostsTest, LongNamesLoadWhole) {
    std::string name(3000, 'n');
    WriteFileBytes(file, "5 01Jan2000 " + name + "\n");
    RepostList list;
    LoadReposts(list, file);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.items[0].name, name);
}

TEST_F(RepostsTest, AppendWritesSizeDateAndNameThatLoadBack) {
    AppendRepost(Item(123456789012ull, "Some File.JPG"), file);
    AppendRepost(Item(0, "with  two blanks"), file);
    std::string text = ReadFileBytes(file);
    EXPECT_TRUE(
        std::regex_match(text, std::regex("123456789012 [0-3][0-9](Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|"
                                          "Nov|Dec)[0-9]{4} Some File.JPG\n0 [^ ]+ with  two blanks\n")))
        << text;
    RepostList list;
    LoadReposts(list, file);
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(list.items[0].size, 123456789012ull);
    EXPECT_EQ(list.items[1].name, "with  two blanks");
}

TEST_F(RepostsTest, AppendToAnUnwritablePlaceIsSilent) {
    AppendRepost(Item(1, "x"), dir.file("no/such/dir/decodes"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST_F(RepostsTest, FindSeesEntriesAddedDuringTheRun) {
    WriteFileBytes(file, "10240 07Mar1999 Pic.jpg\n");
    RepostList list;
    LoadReposts(list, file);
    EXPECT_TRUE(FindRepost(list, Item(11000, "PIC.JPG")));
    EXPECT_FALSE(FindRepost(list, Item(9000, "pic.jpg")));
    EXPECT_FALSE(FindRepost(list, Item(100, "new.bin")));
    list.add(std::make_unique<Item>(100, "new.bin"));
    EXPECT_TRUE(FindRepost(list, Item(1023, "NEW.BIN")));
    EXPECT_EQ(list.count, 2u);
}

} // namespace

namespace {

std::string LocalDate(std::time_t when, const char* format) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &local));
}

// The download thread writes the record's dates while the parts browser formats its dates on the window's
// thread: neither may see the other's time. (ThreadSanitizer reports a shared buffer at once.)
TEST(RepostDateThreadsTest, RecordAndBrowserDatesDoNotMix) {
    TempDir dir;
    CollectedBinary binary;
    binary.stamp = 915148812; // 1 January 1999
    const std::string browserDate = LastCollectedText(binary);
    const std::string today = LocalDate(std::time(nullptr), "%d%b%Y");
    constexpr int kRounds = 2000;
    bool browserRight = true;
    std::thread browser([&] {
        for (int i = 0; i < kRounds; ++i) {
            browserRight = browserRight && LastCollectedText(binary) == browserDate;
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        AppendRepost(Item(1, "f"), dir.file("decodes"));
    }
    browser.join();
    EXPECT_TRUE(browserRight);
    EXPECT_EQ(browserDate.substr(browserDate.size() - 4), LocalDate(binary.stamp, "%Y"));
    std::string expected;
    for (int i = 0; i < kRounds; ++i) {
        expected += "1 " + today + " f\n";
    }
    EXPECT_TRUE(ReadFileBytes(dir.file("decodes")) == expected);
}

} // namespace
