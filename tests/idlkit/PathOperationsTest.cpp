#include "tests/idlkit/IdlkitTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;

// Creates directories under `base` (plain ASCII) so that the deepest one's path is `characters` characters
// long, each of them beyond `base` being `unit` (one character of one or more bytes).
std::string MakeDirectoryOfLength(const std::string& base, std::size_t characters, const std::string& unit) {
    std::string path = base;
    std::size_t count = base.size();
    auto add = [&](std::size_t n) {
        path += '/';
        for (std::size_t i = 0; i < n; ++i) {
            path += unit;
        }
        count += n + 1;
    };
    while (characters - count > 102) {
        add(100);
    }
    add(characters - count - 1);
    fs::create_directories(path);
    return path;
}

std::string DisplayName(IShellFolder* folder, const ITEMIDLIST* list, unsigned flags) {
    char buffer[MAX_PATH];
    if (!Idlkit_GetDisplayName(folder, list, flags, buffer, sizeof buffer)) {
        return "<refused>";
    }
    return buffer;
}

// Puts the character type locale back as it was.
struct LocaleGuard {
    LocaleGuard() : saved(std::setlocale(LC_CTYPE, nullptr)) {}
    ~LocaleGuard() { std::setlocale(LC_CTYPE, saved.c_str()); }
    std::string saved;
};

class IdlkitPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "a" / "b");
        WriteFileBytes(dir.file("a/b/file.bin"), "data");
    }

    TempDir dir;
};

TEST_F(IdlkitPaths, RoundTripsPathToListToName) {
    for (const std::string& path :
         {dir.str(), dir.str() + "/a", dir.file("a/b/file.bin"), std::string("/")}) {
        ITEMIDLIST* list = Idlkit_GetFromPath(path.c_str());
        ASSERT_NE(list, nullptr) << path;
        EXPECT_EQ(DisplayName(nullptr, list, SHGDN_FORPARSING), path);
        std::string leaf = path == "/" ? "/" : fs::path(path).filename().string();
        EXPECT_EQ(DisplayName(nullptr, list, SHGDN_INFOLDER), leaf) << path;
        EXPECT_EQ(DisplayName(nullptr, list, SHGDN_NORMAL), leaf) << path;
        FreeShellList(list);
    }
}

TEST_F(IdlkitPaths, RefusesMissingAndNullPaths) {
    EXPECT_EQ(Idlkit_GetFromPath(nullptr), nullptr);
    EXPECT_EQ(Idlkit_GetFromPath(dir.file("a/none").c_str()), nullptr);
    EXPECT_EQ(Idlkit_GetFromPath(dir.file("a/b/file.bin/below").c_str()), nullptr);
    EXPECT_EQ(Idlkit_GetFromPath((dir.str() + "/a/../a").c_str()), nullptr);
}

TEST_F(IdlkitPaths, PathsOf260CharactersOrMoreAreRefused) {
    std::string fits = MakeDirectoryOfLength(dir.str(), 259, "f");
    std::string tooLong = MakeDirectoryOfLength(dir.str(), 260, "g");
    std::string farTooLong = MakeDirectoryOfLength(dir.str(), 1000, "h");
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(tooLong.size(), 260u);

    ITEMIDLIST* list = Idlkit_GetFromPath(fits.c_str());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(DisplayName(nullptr, list, SHGDN_FORPARSING), fits);
    ITEMIDLIST* again = Idlkit_GetFullyQualified(nullptr, list);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(BytesOf(again), BytesOf(list));
    FreeShellList(again);
    FreeShellList(list);

    EXPECT_EQ(Idlkit_GetFromPath(tooLong.c_str()), nullptr);
    EXPECT_EQ(Idlkit_GetFromPath(farTooLong.c_str()), nullptr);
}

TEST_F(IdlkitPaths, LongerPathReachedThroughAFolderIsCutButNeverParsed) {
    // A relative list may name a path longer than the 260-byte buffers: its name is cut to the buffer, but a
    // cut path is never parsed (it could name another object).
    std::string tooLong = MakeDirectoryOfLength(dir.str(), 260, "g");
    std::string base = dir.str() + "/" + std::string(100, 'g');
    ITEMIDLIST* baseList = Idlkit_GetFromPath(base.c_str());
    ASSERT_NE(baseList, nullptr);
    IShellFolder* folder = Idlkit_GetFileFolder(baseList);
    ASSERT_NE(folder, nullptr);
    ITEMIDLIST* relative = Idlkit_GetFromParentFolder(folder, tooLong.substr(base.size() + 1).c_str());
    ASSERT_NE(relative, nullptr);

    char buffer[MAX_PATH];
    EXPECT_EQ(Idlkit_GetDisplayName(folder, relative, SHGDN_FORPARSING, buffer, sizeof buffer), 1);
    EXPECT_EQ(std::string(buffer), tooLong.substr(0, MAX_PATH - 1));
    EXPECT_EQ(Idlkit_GetFullyQualified(folder, relative), nullptr);
    // The in-folder name is short and fits.
    EXPECT_EQ(Idlkit_GetDisplayName(folder, relative, SHGDN_INFOLDER, buffer, sizeof buffer), 1);

    folder->Release();
    FreeShellList(relative);
    FreeShellList(baseList);
}

TEST_F(IdlkitPaths, FolderOfAListParsesRelativeNames) {
    ITEMIDLIST* list = Idlkit_GetFromPath(dir.file("a").c_str());
    ASSERT_NE(list, nullptr);
    IShellFolder* folder = Idlkit_GetFileFolder(list);
    ASSERT_NE(folder, nullptr);

    ITEMIDLIST* relative = Idlkit_GetFromParentFolder(folder, "b/file.bin");
    ASSERT_NE(relative, nullptr);
    EXPECT_EQ(BytesOf(relative), MakeList({Component("b"), Component("file.bin")}));
    EXPECT_EQ(DisplayName(folder, relative, SHGDN_FORPARSING), dir.file("a/b/file.bin"));
    EXPECT_EQ(DisplayName(folder, relative, SHGDN_INFOLDER), "file.bin");

    ITEMIDLIST* full = Idlkit_GetFullyQualified(folder, relative);
    ASSERT_NE(full, nullptr);
    ITEMIDLIST* expected = Idlkit_GetFromPath(dir.file("a/b/file.bin").c_str());
    EXPECT_EQ(BytesOf(full), BytesOf(expected));

    EXPECT_EQ(Idlkit_GetFromParentFolder(folder, "missing"), nullptr);
    EXPECT_EQ(Idlkit_GetFromParentFolder(folder, "../a"), nullptr);
    EXPECT_EQ(Idlkit_GetFromParentFolder(folder, nullptr), nullptr);
    EXPECT_EQ(Idlkit_GetFromParentFolder(nullptr, "b"), nullptr);
    EXPECT_EQ(Idlkit_GetFromParentFolder(folder, std::string(260, 'b').c_str()), nullptr);
    // The file is not a folder.
    EXPECT_EQ(Idlkit_GetFileFolder(expected), nullptr);

    EXPECT_EQ(folder->Release(), 0u);
    for (ITEMIDLIST* owned : {list, relative, full, expected}) {
        FreeShellList(owned);
    }
}

TEST_F(IdlkitPaths, SplitListBindsToParentFolder) {
    // A fully qualified list split into its parent folder and the item in it names the same thing.
    ITEMIDLIST* full = Idlkit_GetFromPath(dir.file("a/b/file.bin").c_str());
    ASSERT_NE(full, nullptr);
    TestAllocator allocator;
    ITEMIDLIST* parent = nullptr;
    ITEMIDLIST* last = nullptr;
    ASSERT_EQ(Idlkit_GetRelative(&allocator, full, &parent, &last), 1);
    IShellFolder* folder = Idlkit_GetFileFolder(parent);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(DisplayName(folder, last, SHGDN_FORPARSING), dir.file("a/b/file.bin"));
    ITEMIDLIST* joined = Idlkit_Concatenate(&allocator, parent, last);
    EXPECT_EQ(BytesOf(joined), BytesOf(full));
    folder->Release();
    for (ITEMIDLIST* owned : {parent, last, joined}) {
        allocator.Free(owned);
    }
    FreeShellList(full);
}

TEST_F(IdlkitPaths, NamesFollowTheLocaleEncoding) {
    LocaleGuard guard;
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    std::string utf8 = dir.file("\xc3\xbc\x62\x65r");
    fs::create_directory(utf8);
    std::string invalid = dir.file("bad\xff");
    fs::create_directory(invalid);

    ITEMIDLIST* list = Idlkit_GetFromPath(utf8.c_str());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(DisplayName(nullptr, list, SHGDN_FORPARSING), utf8);
    EXPECT_EQ(DisplayName(nullptr, list, SHGDN_INFOLDER), "\xc3\xbc\x62\x65r");
    FreeShellList(list);
    EXPECT_EQ(Idlkit_GetFromPath(invalid.c_str()), nullptr);

    // The limit counts characters, not bytes.
    std::string fits = MakeDirectoryOfLength(dir.str(), 259, "\xc3\xbc");
    std::string tooLong = MakeDirectoryOfLength(dir.str(), 260, "\xc3\xa4");
    list = Idlkit_GetFromPath(fits.c_str());
    EXPECT_NE(list, nullptr);
    FreeShellList(list);
    EXPECT_EQ(Idlkit_GetFromPath(tooLong.c_str()), nullptr);
}

TEST_F(IdlkitPaths, ThreadsShareNothing) {
    const std::string path = dir.file("a/b/file.bin");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                ITEMIDLIST* list = Idlkit_GetFromPath(path.c_str());
                TestAllocator allocator;
                ITEMIDLIST* parent = nullptr;
                ITEMIDLIST* last = nullptr;
                IShellFolder* folder = nullptr;
                if (list && Idlkit_GetRelative(&allocator, list, &parent, &last) == 1) {
                    folder = Idlkit_GetFileFolder(parent);
                }
                if (!folder || DisplayName(folder, last, SHGDN_FORPARSING) != path ||
                    Idlkit_Dump(folder, last) < 1) {
                    ++failures;
                }
                if (folder) {
                    folder->Release();
                }
                allocator.Free(parent);
                allocator.Free(last);
                FreeShellList(list);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
