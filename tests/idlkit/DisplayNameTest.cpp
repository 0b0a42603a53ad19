#include "tests/idlkit/FakeFolder.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

STRRET Wide() {
    STRRET reply{};
    reply.uType = STRRET_WSTR;
    return reply;
}

STRRET Offset(std::uint32_t offset) {
    STRRET reply{};
    reply.uType = STRRET_OFFSET;
    reply.uOffset = offset;
    return reply;
}

STRRET Inline(const std::string& text) {
    STRRET reply{};
    reply.uType = STRRET_CSTR;
    std::memcpy(reply.cStr, text.data(), std::min(text.size() + 1, sizeof reply.cStr));
    return reply;
}

STRRET Kind(std::uint32_t kind) {
    STRRET reply{};
    reply.uType = kind;
    return reply;
}

TEST(IdlkitDisplayName, CopiesEachResultKindCutToTheBufferAndRefusesBadOnes) {
    // The list "ab", "cde": its second item's data starts at offset 6 and ends at the terminator.
    std::vector<unsigned char> list = MakeList({"ab", "cde"});
    struct Case {
        const char* what;
        STRRET reply;
        std::wstring wide;
        unsigned size;
        int result;
        std::string name;
    };
    const Case cases[] = {
        {"wide", Wide(), L"wide name", 260, 1, "wide name"},
        {"wide exactly fits", Wide(), L"abc", 4, 1, "abc"},
        {"wide too long is cut", Wide(), L"abcd", 4, 1, "abc"},
        {"wide null", Wide(), L"", 260, 0, ""},
        {"offset", Offset(6), L"", 260, 1, "cde"},
        {"offset into first item runs on to the NUL", Offset(2), L"", 260, 1, std::string("ab\x05", 3)},
        {"offset at the terminator", Offset(9), L"", 260, 1, ""},
        {"offset past the list", Offset(11), L"", 260, 0, ""},
        {"offset far away", Offset(0xFFFFFFF0u), L"", 260, 0, ""},
        {"offset too long is cut", Offset(6), L"", 3, 1, "cd"},
        {"inline", Inline("inline"), L"", 260, 1, "inline"},
        {"inline exactly fits", Inline("inline"), L"", 7, 1, "inline"},
        {"inline too long is cut", Inline("inline"), L"", 6, 1, "inlin"},
        {"one byte holds the terminator only", Inline("inline"), L"", 1, 1, ""},
        {"inline without terminator", Inline(std::string(300, 'x')), L"", 1000, 0, ""},
        {"unknown kind", Kind(3), L"", 260, 0, ""},
    };
    for (const Case& c : cases) {
        auto state = std::make_shared<FakeFolder::State>();
        state->reply = c.reply;
        state->wide = c.wide;
        FakeFolder* folder = FakeFolder::Create(state);
        std::vector<char> buffer(c.size, '#');
        EXPECT_EQ(Idlkit_GetDisplayName(folder, AsList(list), 0x8001, buffer.data(), c.size), c.result)
            << c.what;
        EXPECT_EQ(std::string(buffer.data()), c.name) << c.what;
        EXPECT_EQ(state->flags, std::vector<std::uint32_t>{0x8001}) << c.what;
        folder->Release();
        EXPECT_EQ(state->alive, 0);
    }
}

TEST(IdlkitDisplayName, CutNeverSplitsACharacter) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    auto state = std::make_shared<FakeFolder::State>();
    state->reply = Wide();
    state->wide = L"a\u00e9\u20ac"; // one, two and three bytes in UTF-8
    FakeFolder* folder = FakeFolder::Create(state);
    std::vector<unsigned char> list = MakeList({"a"});
    const std::pair<unsigned, std::string> cases[] = {
        {2, "a"}, {3, "a"}, {4, "a\xC3\xA9"}, {6, "a\xC3\xA9"}, {7, "a\xC3\xA9\xE2\x82\xAC"}};
    for (const auto& [size, name] : cases) {
        std::vector<char> buffer(size, '#');
        EXPECT_EQ(Idlkit_GetDisplayName(folder, AsList(list), 0, buffer.data(), size), 1) << size;
        EXPECT_EQ(std::string(buffer.data()), name) << size;
    }
    folder->Release();
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(IdlkitDisplayName, RefusesFailuresAndUnusableArguments) {
    auto state = std::make_shared<FakeFolder::State>();
    state->reply = Inline("name");
    FakeFolder* folder = FakeFolder::Create(state);
    std::vector<unsigned char> list = MakeList({"a"});
    char buffer[8] = "unused";

    EXPECT_EQ(Idlkit_GetDisplayName(folder, AsList(list), 0, buffer, 0), 0);
    EXPECT_STREQ(buffer, "unused");
    EXPECT_EQ(Idlkit_GetDisplayName(folder, AsList(list), 0, nullptr, 8), 0);
    EXPECT_EQ(Idlkit_GetDisplayName(folder, nullptr, 0, buffer, 8), 0);
    EXPECT_TRUE(state->flags.empty());

    state->result = E_FAIL;
    EXPECT_EQ(Idlkit_GetDisplayName(folder, AsList(list), 0, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    state->result = S_OK;
    EXPECT_EQ(Idlkit_GetDisplayName(folder, AsList(list), 0, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "name");
    folder->Release();
}

TEST(IdlkitDisplayName, NullFolderMeansTheDesktop) {
    std::vector<unsigned char> list = MakeList({Component("usr"), Component("share")});
    char buffer[MAX_PATH];
    ASSERT_EQ(Idlkit_GetDisplayName(nullptr, AsList(list), SHGDN_FORPARSING, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "/usr/share");
    // The desktop refuses lists that are not its own.
    std::vector<unsigned char> foreign = MakeList({"no terminator"});
    EXPECT_EQ(Idlkit_GetDisplayName(nullptr, AsList(foreign), SHGDN_NORMAL, buffer, sizeof buffer), 0);
}

} // namespace
