#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

uint64_t StatvfsFree(const std::string& path) {
    struct statvfs info {};
    EXPECT_EQ(statvfs(path.c_str(), &info), 0) << path;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

// Other processes write to the same disk meanwhile, so two readings a moment apart may differ a little.
constexpr uint64_t kDrift = uint64_t{256} << 20;

TEST(FreeSpace, MeasuresTheVolumeOfTheDirectoryOrItsNearestExistingParent) {
    TempDir dir;
    WriteFileBytes(dir.file("plain"), "x");
    const struct {
        std::string path;
        std::string measured;
    } cases[] = {
        {dir.str(), dir.str()},
        {dir.str() + "/", dir.str()},
        {dir.file("not/yet/there"), dir.str()},
        {dir.file("not/yet/there/"), dir.str()},
        {dir.file("plain/below"), dir.str()},
        {"no-such-dir-here/sub", "."},
        {"", "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::optional<uint64_t> free = FreeSpaceBytes(c.path);
        ASSERT_TRUE(free.has_value());
        uint64_t expected = StatvfsFree(c.measured);
        EXPECT_LE(std::max(*free, expected) - std::min(*free, expected), kDrift);
        EXPECT_GT(*free, 0u);
    }
}

TEST(FreeSpace, MissingDirectoryIsMeasuredOnItsParentsOwnVolume) {
    // /proc has no free space at all, unlike the disk: the answer shows which volume was measured.
    ASSERT_EQ(StatvfsFree("/proc"), 0u);
    EXPECT_EQ(FreeSpaceBytes("/proc/no-such-dir/deeper"), std::optional<uint64_t>(0));
}

TEST(FreeSpace, FailsWhenNoParentCanBeExamined) {
    TempDir dir;
    EXPECT_EQ(FreeSpaceBytes(dir.file(std::string(300, 'n'))), std::nullopt);
}

TEST(ListDirectory, ListsEveryEntryWithItsKindButNotDotAndDotDot) {
    TempDir dir;
    WriteFileBytes(dir.file("a.bin"), "1");
    WriteFileBytes(dir.file(".hidden"), "2");
    WriteFileBytes(dir.file("with space"), "3");
    ASSERT_TRUE(CreateDirectories(dir.file("sub")));
    ASSERT_EQ(symlink("sub", dir.file("link-to-sub").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", dir.file("dangling").c_str()), 0);

    std::optional<std::vector<DirEntry>> entries = ListDirectory(dir.str());
    ASSERT_TRUE(entries.has_value());
    std::vector<std::pair<std::string, bool>> seen;
    for (const DirEntry& e : *entries) {
        seen.emplace_back(e.name, e.isDirectory);
    }
    std::sort(seen.begin(), seen.end());
    std::vector<std::pair<std::string, bool>> expected = {{".hidden", false},  {"a.bin", false},
                                                          {"dangling", false}, {"link-to-sub", true},
                                                          {"sub", true},       {"with space", false}};
    EXPECT_EQ(seen, expected);
}

TEST(ListDirectory, EmptyDirectoryGivesAnEmptyListAndUnreadableOnesNone) {
    TempDir dir;
    WriteFileBytes(dir.file("file"), "x");
    ASSERT_TRUE(CreateDirectories(dir.file("empty")));
    std::optional<std::vector<DirEntry>> empty = ListDirectory(dir.file("empty"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
    EXPECT_EQ(ListDirectory(dir.file("missing")), std::nullopt);
    EXPECT_EQ(ListDirectory(dir.file("file")), std::nullopt);
    EXPECT_EQ(ListDirectory(""), std::nullopt);
}

TEST(Rename, ReplacingAndNonReplacingForms) {
    const struct {
        const char* name;
        bool targetExists;
        bool replace;
        bool moved;
    } cases[] = {
        {"replace onto free name", false, true, true},
        {"replace over existing file", true, true, true},
        {"no-replace onto free name", false, false, true},
        {"no-replace over existing file", true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFileBytes(dir.file("from"), "new");
        if (c.targetExists) {
            WriteFileBytes(dir.file("to"), "old");
        }
        bool ok = c.replace ? RenamePath(dir.file("from"), dir.file("to"))
                            : RenameNoReplace(dir.file("from"), dir.file("to"));
        EXPECT_EQ(ok, c.moved);
        EXPECT_EQ(ReadFileBytes(dir.file("to")), c.moved ? "new" : "old");
        EXPECT_EQ(PathExists(dir.file("from")), !c.moved);
    }
}

TEST(Rename, MissingSourceFailsAndLeavesTheTarget) {
    TempDir dir;
    WriteFileBytes(dir.file("to"), "keep");
    EXPECT_FALSE(RenamePath(dir.file("missing"), dir.file("to")));
    EXPECT_FALSE(RenameNoReplace(dir.file("missing"), dir.file("to")));
    EXPECT_EQ(ReadFileBytes(dir.file("to")), "keep");
}

TEST(RemoveFile, RemovesFilesOnly) {
    TempDir dir;
    WriteFileBytes(dir.file("f"), "x");
    ASSERT_TRUE(CreateDirectories(dir.file("d")));
    EXPECT_TRUE(RemoveFile(dir.file("f")));
    EXPECT_FALSE(PathExists(dir.file("f")));
    EXPECT_FALSE(RemoveFile(dir.file("f")));
    EXPECT_FALSE(RemoveFile(dir.file("d")));
    EXPECT_TRUE(IsDirectory(dir.file("d")));
}

TEST(CreateDirectories, CreatesMissingParentsAndAcceptsExistingOnes) {
    TempDir dir;
    WriteFileBytes(dir.file("file"), "x");
    const struct {
        std::string path;
        bool ok;
    } cases[] = {
        {dir.file("a/b/c"), true},  {dir.file("a/b/c"), true}, // already there
        {dir.file("a/b/c/"), true}, {dir.file("file"), false}, {dir.file("file/below"), false}, {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(CreateDirectories(c.path), c.ok);
    }
    EXPECT_TRUE(IsDirectory(dir.file("a/b")));
}

TEST(PathExists, AnythingThatTakesTheNameExists) {
    TempDir dir;
    WriteFileBytes(dir.file("unreadable"), "x");
    ASSERT_EQ(chmod(dir.file("unreadable").c_str(), 0), 0);
    ASSERT_EQ(symlink("nowhere", dir.file("dangling").c_str()), 0);
    ASSERT_TRUE(CreateDirectories(dir.file("dir")));
    ASSERT_EQ(symlink("dir", dir.file("dirlink").c_str()), 0);
    const struct {
        const char* name;
        bool exists;
        bool isDirectory;
    } cases[] = {
        {"unreadable", true, false}, {"dangling", true, false}, {"dir", true, true},
        {"dirlink", true, true},     {"missing", false, false}, {"unreadable/below", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PathExists(dir.file(c.name)), c.exists);
        EXPECT_EQ(IsDirectory(dir.file(c.name)), c.isDirectory);
    }
}

} // namespace
