// Loads the library at run time, as a program that names it would, and calls each export by its
// undecorated name.

#include "idlkit/DebugOutput.h"
#include "idlkit/idlkit.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string>* traces = nullptr;

void Collect(const char* text) {
    traces->push_back(text);
}

// The symbols a shared library defines for others, as the binary tools list them.
std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::set<std::string> names;
    std::string command = "nm -D --defined-only '" + library + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return names;
    }
    std::array<char, 512> line;
    while (fgets(line.data(), line.size(), pipe.get())) {
        std::string text(line.data());
        std::size_t end = text.find_last_not_of("\r\n");
        std::size_t start = text.rfind(' ', end);
        if (end != std::string::npos && start != std::string::npos) {
            names.insert(text.substr(start + 1, end - start));
        }
    }
    return names;
}

const std::set<std::string> kExports = {
    "Idlkit_GetSize",           "Idlkit_Copy",
    "Idlkit_Concatenate",       "Idlkit_GetRelative",
    "Idlkit_GetFromPath",       "Idlkit_GetFromParentFolder",
    "Idlkit_GetFullyQualified", "Idlkit_GetFileFolder",
    "Idlkit_GetDisplayName",    "Idlkit_Dump",
};

TEST(IdlkitLibrary, ExportsExactlyTheTenFunctions) {
    EXPECT_EQ(DefinedDynamicSymbols(IDLKIT_LIBRARY_PATH), kExports);
}

TEST(IdlkitLibrary, LoadsTracesAndAnswersThroughEveryExport) {
    std::vector<std::string> texts;
    traces = &texts;
    SetDebugTextHandler(Collect);

    void* library = dlopen(IDLKIT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(texts, std::vector<std::string>{"IDLKIT.DLL Process Attaching.\r\n"});

    auto find = [&](const char* name) {
        void* symbol = dlsym(library, name);
        EXPECT_NE(symbol, nullptr) << name;
        return symbol;
    };
    auto getSize = reinterpret_cast<decltype(&Idlkit_GetSize)>(find("Idlkit_GetSize"));
    auto copy = reinterpret_cast<decltype(&Idlkit_Copy)>(find("Idlkit_Copy"));
    auto concatenate = reinterpret_cast<decltype(&Idlkit_Concatenate)>(find("Idlkit_Concatenate"));
    auto getRelative = reinterpret_cast<decltype(&Idlkit_GetRelative)>(find("Idlkit_GetRelative"));
    auto fromPath = reinterpret_cast<decltype(&Idlkit_GetFromPath)>(find("Idlkit_GetFromPath"));
    auto fromParent =
        reinterpret_cast<decltype(&Idlkit_GetFromParentFolder)>(find("Idlkit_GetFromParentFolder"));
    auto fullyQualified =
        reinterpret_cast<decltype(&Idlkit_GetFullyQualified)>(find("Idlkit_GetFullyQualified"));
    auto fileFolder = reinterpret_cast<decltype(&Idlkit_GetFileFolder)>(find("Idlkit_GetFileFolder"));
    auto displayName = reinterpret_cast<decltype(&Idlkit_GetDisplayName)>(find("Idlkit_GetDisplayName"));
    auto dump = reinterpret_cast<decltype(&Idlkit_Dump)>(find("Idlkit_Dump"));
    ASSERT_FALSE(::testing::Test::HasFailure());
    auto bytesOf = [&](const ITEMIDLIST* list) {
        const auto* start = reinterpret_cast<const unsigned char*>(list);
        return std::vector<unsigned char>(start, start + getSize(list));
    };

    TempDir dir;
    std::filesystem::create_directories(dir.path() / "sub");
    WriteFileBytes(dir.file("sub/file"), "x");
    IMalloc* shell = nullptr;
    SHGetMalloc(&shell);

    ITEMIDLIST* base = fromPath(dir.str().c_str());
    ASSERT_NE(base, nullptr);
    IShellFolder* folder = fileFolder(base);
    ASSERT_NE(folder, nullptr);
    ITEMIDLIST* relative = fromParent(folder, "sub/file");
    ASSERT_NE(relative, nullptr);
    EXPECT_EQ(getSize(relative), 6u + 7u + 2u);
    ITEMIDLIST* full = fullyQualified(folder, relative);
    ASSERT_NE(full, nullptr);
    ITEMIDLIST* joined = concatenate(shell, base, relative);
    EXPECT_EQ(bytesOf(joined), bytesOf(full));
    ITEMIDLIST* duplicate = copy(shell, full);
    EXPECT_EQ(bytesOf(duplicate), bytesOf(full));
    ITEMIDLIST* parent = nullptr;
    ITEMIDLIST* last = nullptr;
    EXPECT_EQ(getRelative(shell, full, &parent, &last), 1);
    char name[MAX_PATH];
    EXPECT_EQ(displayName(nullptr, parent, SHGDN_FORPARSING, name, sizeof name), 1);
    EXPECT_EQ(std::string(name), dir.file("sub"));
    EXPECT_EQ(displayName(folder, relative, SHGDN_INFOLDER, name, sizeof name), 1);
    EXPECT_STREQ(name, "file");
    texts.clear();
    EXPECT_EQ(dump(nullptr, full), 2);
    EXPECT_EQ(texts.back(), "\r\n");

    folder->Release();
    for (ITEMIDLIST* list : {base, relative, full, joined, duplicate, parent, last}) {
        shell->Free(list);
    }
    shell->Release();

    texts.clear();
    EXPECT_EQ(dlclose(library), 0);
    EXPECT_EQ(texts, std::vector<std::string>{"IDLKIT.DLL Process Detaching.\r\n"});
    SetDebugTextHandler(nullptr);
    traces = nullptr;
}

} // namespace
