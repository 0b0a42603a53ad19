#include "config/FilterList.h"
#include "parts/Header.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(FilterFile, LineRules) {
    struct Case {
        std::string file;
        std::vector<std::string> strings;
    };
    const Case cases[] = {
        {"", {}},
        {"ab\nabc\n", {"abc"}},
        {"abc\r\n", {"abc"}},
        {"abc\rdef\n", {"abc"}},
        {"\r\n\n   \n  \n", {"   "}},
        {"ab\r\n", {}},
        {"one\ntwo\none\n", {"one", "two", "one"}},
        {"first\nlast without end", {"first", "last without end"}},
        {std::string("ab\0cd\n", 6), {}},
        {std::string(2000, 'x') + "\nnext\n", {std::string(1023, 'x'), "next"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string path = dir.file("f.flt");
        ASSERT_TRUE(WriteFileBytes(path, c.file));
        EXPECT_EQ(ReadFilterFile(path), c.strings) << c.file.substr(0, 40);
    }
}

TEST(FilterFile, LoadFillsTheListAndClearsTheFlag) {
    TempDir dir;
    std::string path = dir.file("f.flt");
    WriteFileBytes(path, "Subject:\nspam\n");
    OwnedPtrArray<std::string> list;
    FiltersChanged = 1;
    int count = LoadFilterFile(path, list);
    EXPECT_EQ(FiltersChanged.load(), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(list[0], "Subject:");
    EXPECT_EQ(list[1], "spam");
    FreeFilterList(list, count);
    EXPECT_EQ(list.get(0), nullptr);
    EXPECT_EQ(list.get(1), nullptr);
}

TEST(FilterFile, UnreadableFileGivesAnEmptyListAndStillClearsTheFlag) {
    TempDir dir;
    OwnedPtrArray<std::string> list;
    FiltersChanged = 1;
    EXPECT_EQ(LoadFilterFile(dir.file("missing.flt"), list), 0);
    EXPECT_EQ(LoadFilterFile("", list), 0);
    EXPECT_EQ(LoadFilterFile(dir.str(), list), 0); // a directory
    EXPECT_EQ(FiltersChanged.load(), 0);
    EXPECT_EQ(list.get(0), nullptr);
}

TEST(FilterFile, LoadedFiltersMatchHeaders) {
    TempDir dir;
    std::string path = dir.file("f.flt");
    WriteFileBytes(path, "cheap pills\r\nSUBJECT:\n");
    OwnedPtrArray<std::string> list;
    int count = LoadFilterFile(path, list);
    Header spam("From: x@y\r\nSubject: CHEAP Pills here\r\n");
    Header plain("From: x@y\r\nLines: 3\r\n");
    EXPECT_TRUE(spam.MatchFilter(list[0]));
    EXPECT_FALSE(plain.MatchFilter(list[0]));
    EXPECT_TRUE(spam.MatchFilter(list[1]));
    EXPECT_FALSE(plain.MatchFilter(list[1]));
    FreeFilterList(list, count);
}

TEST(FilterFile, WriteThenReadGivesTheSameList) {
    TempDir dir;
    std::string path = dir.file("out.flt");
    std::vector<std::string> strings = {"alpha", "Beta", "beta", "x y z"};
    EXPECT_EQ(WriteFilterFile(path, strings), std::nullopt);
    EXPECT_EQ(ReadFileBytes(path), "alpha\nBeta\nbeta\nx y z\n");
    EXPECT_EQ(ReadFilterFile(path), strings);
    // Strings too short for the file's rules are written, then dropped on reading.
    EXPECT_EQ(WriteFilterFile(path, {"ok!", "no"}), std::nullopt);
    EXPECT_EQ(ReadFileBytes(path), "ok!\nno\n");
    EXPECT_EQ(ReadFilterFile(path), std::vector<std::string>{"ok!"});
}

TEST(FilterFile, EmptyPathWritesNothing) {
    EXPECT_EQ(WriteFilterFile("", {"abc"}), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(".new"));
}

TEST(FilterFile, UnwritableFileGivesTheMessageAndKeepsTheOldFile) {
    TempDir dir;
    std::string missingDir = dir.file("no/such/dir/f.flt");
    EXPECT_EQ(WriteFilterFile(missingDir, {"abc"}), "Could not write file " + missingDir + ".");
    // A full disk: the old file stays whole.
    std::string path = dir.file("f.flt");
    WriteFileBytes(path, "keep me\n");
    std::filesystem::create_symlink("/dev/full", path + ".new");
    EXPECT_EQ(WriteFilterFile(path, {"replacement"}), "Could not write file " + path + ".");
    EXPECT_EQ(ReadFileBytes(path), "keep me\n");
}

} // namespace
