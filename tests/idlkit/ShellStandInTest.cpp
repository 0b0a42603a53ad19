#include "idlkit/DebugOutput.h"
#include "idlkit/WideText.h"
#include "tests/idlkit/IdlkitTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>

namespace {

struct Desktop {
    Desktop() { EXPECT_EQ(SHGetDesktopFolder(&folder), S_OK); }
    ~Desktop() { EXPECT_EQ(folder->Release(), 0u); }
    IShellFolder* folder = nullptr;
};

TEST(ShellAllocator, ZeroFillsAndCountsReferences) {
    IMalloc* shell = nullptr;
    ASSERT_EQ(SHGetMalloc(&shell), S_OK);
    EXPECT_EQ(shell->AddRef(), 3u); // the shell's own, ours, this one
    EXPECT_EQ(shell->Release(), 2u);

    auto* block = static_cast<unsigned char*>(shell->Alloc(4096));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 4096, 0), 4096);
    block[0] = 7;
    block = static_cast<unsigned char*>(shell->Realloc(block, 65536));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 7);
    shell->Free(block);
    shell->Free(nullptr);

    EXPECT_EQ(shell->Release(), 1u);
    // The shell keeps its own reference whatever callers do.
    EXPECT_EQ(shell->Release(), 1u);
    EXPECT_EQ(SHGetMalloc(nullptr), E_INVALIDARG);
}

TEST(ShellConversions, RefuseWhatDoesNotFitWithItsTerminator) {
    wchar_t wide[4];
    EXPECT_EQ(MultiByteToWide("abc", wide, 4), 4u);
    EXPECT_STREQ(wide, L"abc");
    EXPECT_EQ(MultiByteToWide("abcd", wide, 4), 0u);
    EXPECT_STREQ(wide, L"");
    EXPECT_EQ(MultiByteToWide("abcd", nullptr, 0), 5u);
    EXPECT_EQ(MultiByteToWide(nullptr, wide, 4), 0u);

    char narrow[4];
    EXPECT_EQ(WideToMultiByte(L"abc", narrow, 4), 4u);
    EXPECT_STREQ(narrow, "abc");
    EXPECT_EQ(WideToMultiByte(L"abcd", narrow, 4), 0u);
    EXPECT_STREQ(narrow, "");
    EXPECT_EQ(WideToMultiByte(L"", nullptr, 0), 1u);
}

TEST(ShellDesktop, NormalisesOrRefusesNames) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "a");
    Desktop desktop;
    struct Case {
        std::string name;
        HRESULT result;
        std::string path; // what the list names when parsing succeeds
    };
    const Case cases[] = {
        {"/", S_OK, "/"},
        {"", S_OK, "/"},
        {dir.str() + "//a/./", S_OK, dir.str() + "/a"},
        {dir.str() + "/a/../a", E_INVALIDARG, ""},
        {dir.str() + "/missing", E_FILE_NOT_FOUND, ""},
        {dir.str() + "/" + std::string(256, 'x'), E_INVALIDARG, ""},
        {dir.str() + "/" + std::string(255, 'x'), E_FILE_NOT_FOUND, ""},
    };
    for (const Case& c : cases) {
        std::wstring wide(c.name.begin(), c.name.end());
        ITEMIDLIST* list = reinterpret_cast<ITEMIDLIST*>(&desktop);
        std::uint32_t eaten = 0;
        ASSERT_EQ(desktop.folder->ParseDisplayName(nullptr, nullptr, wide.c_str(), &eaten, &list, nullptr),
                  c.result)
            << c.name;
        if (c.result != S_OK) {
            EXPECT_EQ(list, nullptr);
            continue;
        }
        EXPECT_EQ(eaten, wide.size());
        STRRET name;
        ASSERT_EQ(desktop.folder->GetDisplayNameOf(list, SHGDN_FORPARSING, &name), S_OK);
        ASSERT_EQ(name.uType, STRRET_WSTR);
        EXPECT_EQ(std::wstring(name.pOleStr), std::wstring(c.path.begin(), c.path.end())) << c.name;
        FreeShellList(reinterpret_cast<ITEMIDLIST*>(name.pOleStr));
        FreeShellList(list);
    }
    ITEMIDLIST* list = nullptr;
    EXPECT_EQ(desktop.folder->ParseDisplayName(nullptr, nullptr, nullptr, nullptr, &list, nullptr),
              E_INVALIDARG);
}

TEST(ShellDesktop, GivesEachNameKindAsItsOwnResultKind) {
    Desktop desktop;
    std::vector<unsigned char> list = MakeList({Component("usr"), Component("lib")});
    STRRET name;

    ASSERT_EQ(desktop.folder->GetDisplayNameOf(AsList(list), SHGDN_FORPARSING, &name), S_OK);
    ASSERT_EQ(name.uType, STRRET_WSTR);
    EXPECT_STREQ(name.pOleStr, L"/usr/lib");
    FreeShellList(reinterpret_cast<ITEMIDLIST*>(name.pOleStr));

    ASSERT_EQ(desktop.folder->GetDisplayNameOf(AsList(list), SHGDN_INFOLDER, &name), S_OK);
    ASSERT_EQ(name.uType, STRRET_OFFSET);
    EXPECT_EQ(name.uOffset, 6u + 2u);
    EXPECT_STREQ(reinterpret_cast<const char*>(list.data()) + name.uOffset, "lib");

    ASSERT_EQ(desktop.folder->GetDisplayNameOf(AsList(list), SHGDN_NORMAL, &name), S_OK);
    ASSERT_EQ(name.uType, STRRET_CSTR);
    EXPECT_STREQ(name.cStr, "lib");

    std::vector<unsigned char> empty = MakeList({});
    ASSERT_EQ(desktop.folder->GetDisplayNameOf(AsList(empty), SHGDN_INFOLDER, &name), S_OK);
    ASSERT_EQ(name.uType, STRRET_CSTR);
    EXPECT_STREQ(name.cStr, "/");
}

TEST(ShellDesktop, RefusesItemsThatAreNotComponents) {
    Desktop desktop;
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    const Case cases[] = {
        {"count 1", {1, 0, 0, 0}},
        {"no data", MakeList({""})},
        {"only the NUL", MakeList({std::string(1, '\0')})},
        {"no NUL", MakeList({"abc"})},
        {"NUL inside", MakeList({std::string("a\0b", 3) + '\0'})},
        {"slash", MakeList({Component("a/b")})},
        {"dot", MakeList({Component(".")})},
        {"dot dot", MakeList({Component("usr"), Component("..")})},
    };
    for (const Case& c : cases) {
        STRRET name;
        EXPECT_EQ(desktop.folder->GetDisplayNameOf(AsList(c.bytes), SHGDN_NORMAL, &name), E_INVALIDARG)
            << c.what;
        void* bound = nullptr;
        EXPECT_EQ(desktop.folder->BindToObject(AsList(c.bytes), nullptr, IID_IShellFolder, &bound),
                  E_INVALIDARG)
            << c.what;
        EXPECT_EQ(bound, nullptr);
    }
}

TEST(ShellDesktop, BindsOnlyToDirectoriesAndOnlyAsFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "sub");
    WriteFileBytes(dir.file("file"), "x");
    Desktop desktop;
    auto parse = [&](const std::string& path) {
        std::wstring wide(path.begin(), path.end());
        ITEMIDLIST* list = nullptr;
        desktop.folder->ParseDisplayName(nullptr, nullptr, wide.c_str(), nullptr, &list, nullptr);
        return list;
    };
    ITEMIDLIST* sub = parse(dir.str() + "/sub");
    ITEMIDLIST* file = parse(dir.file("file"));
    ASSERT_NE(sub, nullptr);
    ASSERT_NE(file, nullptr);

    void* bound = &dir;
    GUID other = IID_IShellFolder;
    other.Data1 += 1;
    EXPECT_EQ(desktop.folder->BindToObject(sub, nullptr, other, &bound), E_NOINTERFACE);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(desktop.folder->BindToObject(file, nullptr, IID_IShellFolder, &bound), E_FAIL);
    ASSERT_EQ(desktop.folder->BindToObject(sub, nullptr, IID_IShellFolder, &bound), S_OK);
    auto* folder = static_cast<IShellFolder*>(bound);
    EXPECT_EQ(folder->AddRef(), 2u);
    EXPECT_EQ(folder->Release(), 1u);

    std::vector<unsigned char> empty = MakeList({});
    STRRET name;
    ASSERT_EQ(folder->GetDisplayNameOf(AsList(empty), SHGDN_NORMAL, &name), S_OK);
    EXPECT_STREQ(name.cStr, "sub");
    EXPECT_EQ(folder->Release(), 0u);
    FreeShellList(sub);
    FreeShellList(file);
}

std::vector<std::string>* captured = nullptr;

TEST(ShellDebugOutput, DropsTextUnlessAHandlerIsInstalled) {
    std::vector<std::string> texts;
    captured = &texts;
    OutputDebugText("dropped");
    EXPECT_EQ(SetDebugTextHandler([](const char* text) { captured->push_back(text); }), nullptr);
    OutputDebugText("kept");
    EXPECT_NE(SetDebugTextHandler(nullptr), nullptr);
    OutputDebugText("dropped again");
    captured = nullptr;
    EXPECT_EQ(texts, std::vector<std::string>{"kept"});
}

} // namespace
