#include "idlkit/DebugOutput.h"
#include "tests/idlkit/FakeFolder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::vector<std::string>* traces = nullptr;

// Collects the library's trace texts for the length of a test.
class IdlkitDump : public ::testing::Test {
  protected:
    void SetUp() override {
        traces = &texts;
        SetDebugTextHandler([](const char* text) { traces->push_back(text); });
    }
    void TearDown() override {
        SetDebugTextHandler(nullptr);
        traces = nullptr;
    }

    std::string Joined() const {
        std::string all;
        for (const std::string& text : texts) {
            all += text;
        }
        return all;
    }

    std::vector<std::string> texts;
};

TEST_F(IdlkitDump, TracesEveryLevelOfARealTree) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "a" / "b");
    WriteFileBytes(dir.file("a/b/file.bin"), "x");
    for (const std::string& path : {dir.file("a/b"), dir.file("a/b/file.bin")}) {
        ITEMIDLIST* list = Idlkit_GetFromPath(path.c_str());
        ASSERT_NE(list, nullptr);
        texts.clear();
        // Nobody else holds the shell allocator, so only the shell's own reference is left.
        EXPECT_EQ(Idlkit_Dump(nullptr, list), 1) << path;
        EXPECT_EQ(Joined(), "Fully Qualifed Idlkit: " + path + "\r\n");
        EXPECT_EQ(texts.front(), "Fully Qualifed Idlkit: ");
        FreeShellList(list);
    }
}

TEST_F(IdlkitDump, RelativeDumpStartsInTheGivenFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "a" / "b");
    ITEMIDLIST* base = Idlkit_GetFromPath(dir.str().c_str());
    ASSERT_NE(base, nullptr);
    IShellFolder* folder = Idlkit_GetFileFolder(base);
    ASSERT_NE(folder, nullptr);
    ITEMIDLIST* relative = Idlkit_GetFromParentFolder(folder, "a/b");
    ASSERT_NE(relative, nullptr);

    IMalloc* shell = nullptr;
    SHGetMalloc(&shell);
    EXPECT_EQ(Idlkit_Dump(folder, relative), 2);
    EXPECT_EQ(Joined(), "Relative Idlkit: /a/b\r\n");
    EXPECT_EQ(folder->Release(), 0u);
    shell->Release();
    FreeShellList(relative);
    FreeShellList(base);
}

TEST_F(IdlkitDump, EmptyAndNullLists) {
    std::vector<unsigned char> empty = MakeList({});
    EXPECT_EQ(Idlkit_Dump(nullptr, AsList(empty)), 1);
    EXPECT_EQ(Joined(), "Fully Qualifed Idlkit: \r\n");
    texts.clear();
    EXPECT_EQ(Idlkit_Dump(nullptr, nullptr), 0);
    EXPECT_TRUE(texts.empty());
}

TEST_F(IdlkitDump, StopsAtTheFirstItemThatIsNotAFolderAndReleasesEveryFolder) {
    auto state = std::make_shared<FakeFolder::State>();
    state->nameFromItem = true;
    FakeFolder* root = FakeFolder::Create(state);
    std::vector<unsigned char> list = MakeList({Component("a"), Component("file"), Component("never")});
    EXPECT_EQ(Idlkit_Dump(root, AsList(list)), 1);
    EXPECT_EQ(Joined(), "Relative Idlkit: /a/file\r\n");
    EXPECT_EQ(state->flags, (std::vector<std::uint32_t>{SHGDN_INFOLDER, SHGDN_INFOLDER}));
    EXPECT_EQ(state->alive, 1);
    EXPECT_EQ(root->Release(), 0u);
    EXPECT_EQ(state->alive, 0);
}

TEST_F(IdlkitDump, EachItemIsHandedOverAsATerminatedOneItemList) {
    // The scratch block starts at twice the first count plus 2 (here 2 * 4 + 2 = 10 bytes). Items of
    // count 8, exactly 10 and beyond still need room for the terminator behind them.
    auto state = std::make_shared<FakeFolder::State>();
    state->nameFromItem = true;
    FakeFolder* root = FakeFolder::Create(state);
    std::vector<std::string> items = {Component("a"), Component(std::string(5, 'b')),
                                      Component(std::string(7, 'c')), Component(std::string(40, 'd')),
                                      Component("e")};
    std::vector<unsigned char> list = MakeList(items);
    EXPECT_EQ(Idlkit_Dump(root, AsList(list)), 1);
    ASSERT_EQ(state->asked.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(state->asked[i], MakeList({items[i]})) << i;
    }
    root->Release();
}

} // namespace
