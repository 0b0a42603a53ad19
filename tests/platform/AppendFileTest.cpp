#include "platform/AppendFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

bool Put(AppendFile& file, const std::string& path, const std::string& text) {
    return file.Append(path, text.data(), text.size());
}

// What happens to the file between two appends, and where the two lines must end up.
struct Interference {
    const char* name;
    std::function<void(const TempDir&)> between;
    const char* expectedLog;
    const char* expectedAside; // contents of "aside.log", or null when it must not exist
};

class AppendFileFollowsThePath : public ::testing::TestWithParam<Interference> {};

TEST_P(AppendFileFollowsThePath, SecondLineLandsInTheFileTheNameHolds) {
    TempDir dir;
    std::string path = dir.file("a.log");
    AppendFile file;
    ASSERT_TRUE(Put(file, path, "one\n"));
    GetParam().between(dir);
    ASSERT_TRUE(Put(file, path, "two\n"));
    EXPECT_EQ(ReadFileBytes(path), GetParam().expectedLog);
    if (GetParam().expectedAside) {
        EXPECT_EQ(ReadFileBytes(dir.file("aside.log")), GetParam().expectedAside);
    } else {
        EXPECT_FALSE(std::filesystem::exists(dir.file("aside.log")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppendFileFollowsThePath,
    ::testing::Values(
        Interference{"Untouched", [](const TempDir&) {}, "one\ntwo\n", nullptr},
        Interference{"Removed", [](const TempDir& d) { std::filesystem::remove(d.file("a.log")); }, "two\n",
                     nullptr},
        Interference{"RenamedAway",
                     [](const TempDir& d) { std::filesystem::rename(d.file("a.log"), d.file("aside.log")); },
                     "two\n", "one\n"},
        Interference{"ReplacedByAnotherFile",
                     [](const TempDir& d) {
                         WriteFileBytes(d.file("other"), "other\n");
                         std::filesystem::rename(d.file("other"), d.file("a.log"));
                     },
                     "other\ntwo\n", nullptr},
        Interference{"TruncatedInPlace", [](const TempDir& d) { WriteFileBytes(d.file("a.log"), ""); },
                     "two\n", nullptr},
        Interference{"AppendedToByAnotherWriter",
                     [](const TempDir& d) {
                         FILE* f = fopen(d.file("a.log").c_str(), "a");
                         fputs("middle\n", f);
                         fclose(f);
                     },
                     "one\nmiddle\ntwo\n", nullptr}),
    [](const ::testing::TestParamInfo<Interference>& info) { return info.param.name; });

TEST(AppendFile, AnotherPathIsOpenedAndTheFirstLeftAsItIs) {
    TempDir dir;
    AppendFile file;
    ASSERT_TRUE(Put(file, dir.file("a.log"), "a\n"));
    ASSERT_TRUE(Put(file, dir.file("b.log"), "b\n"));
    ASSERT_TRUE(Put(file, dir.file("a.log"), "a2\n"));
    EXPECT_EQ(ReadFileBytes(dir.file("a.log")), "a\na2\n");
    EXPECT_EQ(ReadFileBytes(dir.file("b.log")), "b\n");
}

TEST(AppendFile, UnopenablePathFailsAndALaterGoodOneWorks) {
    TempDir dir;
    AppendFile file;
    EXPECT_FALSE(Put(file, dir.file("missing/a.log"), "x\n"));
    EXPECT_FALSE(Put(file, dir.str(), "x\n")); // a directory
    ASSERT_TRUE(Put(file, dir.file("a.log"), "y\n"));
    EXPECT_EQ(ReadFileBytes(dir.file("a.log")), "y\n");
}

TEST(AppendFile, DirectoryRemovedUnderAnOpenLogFailsInsteadOfWritingToTheLostFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("logs"));
    std::string path = dir.file("logs/a.log");
    AppendFile file;
    ASSERT_TRUE(Put(file, path, "x\n"));
    std::filesystem::remove_all(dir.file("logs"));
    EXPECT_FALSE(Put(file, path, "y\n"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
