#include "config/ServerList.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace {

std::string ServerOrder(const Settings& settings) {
    std::string order;
    for (long i = 0; i < settings.NumServers; ++i) {
        order += settings.Servers.get(static_cast<uint32_t>(i))->Address;
    }
    // No entry is left behind the count.
    EXPECT_EQ(settings.Servers.get(static_cast<uint32_t>(settings.NumServers)), nullptr);
    return order;
}

std::string GroupOrder(const ServerEntry& server) {
    std::string order;
    for (long i = 0; i < server.NumGroups; ++i) {
        order += server.Groups.get(static_cast<uint32_t>(i))->Name;
    }
    EXPECT_EQ(server.Groups.get(static_cast<uint32_t>(server.NumGroups)), nullptr);
    return order;
}

enum class Op { Remove, Up, Down };

struct ListCase {
    Op op;
    long index;
    int result;
    const char* order;
};

// The same cases hold for the server list and for a server's group list, both starting as "abc".
const ListCase kListCases[] = {
    {Op::Remove, LONG_MIN, 0, "abc"},
    {Op::Remove, -1, 0, "abc"},
    {Op::Remove, 0, 1, "bc"},
    {Op::Remove, 1, 1, "ac"},
    {Op::Remove, 2, 1, "ab"},
    {Op::Remove, 3, 0, "abc"},
    {Op::Remove, LONG_MAX, 0, "abc"},
    {Op::Up, LONG_MIN, 0, "abc"},
    {Op::Up, -1, 0, "abc"},
    {Op::Up, 0, 0, "abc"},
    {Op::Up, 1, 1, "bac"},
    {Op::Up, 2, 1, "acb"},
    {Op::Up, 3, 0, "abc"},
    {Op::Up, LONG_MAX, 0, "abc"},
    {Op::Down, LONG_MIN, 0, "abc"},
    {Op::Down, -1, 0, "abc"},
    {Op::Down, 0, 1, "bac"},
    {Op::Down, 1, 1, "acb"},
    {Op::Down, 2, 0, "abc"},
    {Op::Down, 3, 0, "abc"},
    {Op::Down, LONG_MAX, 0, "abc"},
};

TEST(ServerListTest, RemoveAndMoveServers) {
    for (const ListCase& c : kListCases) {
        Settings settings;
        for (const char* name : {"a", "b", "c"}) {
            ASSERT_EQ(AddServer(settings, MakeServer(name)), 1);
        }
        int result = c.op == Op::Remove ? RemoveServer(settings, c.index)
                     : c.op == Op::Up   ? MoveServerUp(settings, c.index)
                                        : MoveServerDown(settings, c.index);
        EXPECT_EQ(result, c.result) << static_cast<int>(c.op) << " " << c.index;
        EXPECT_EQ(ServerOrder(settings), c.order) << static_cast<int>(c.op) << " " << c.index;
    }
}

TEST(ServerListTest, RemoveAndMoveGroups) {
    for (const ListCase& c : kListCases) {
        ServerEntry server;
        for (const char* name : {"a", "b", "c"}) {
            ASSERT_EQ(AppendGroup(server, MakeGroup(name, 0, 0, 0, 0)), 1);
        }
        int result = c.op == Op::Remove ? RemoveGroup(server, c.index)
                     : c.op == Op::Up   ? MoveGroupUp(server, c.index)
                                        : MoveGroupDown(server, c.index);
        EXPECT_EQ(result, c.result) << static_cast<int>(c.op) << " " << c.index;
        EXPECT_EQ(GroupOrder(server), c.order) << static_cast<int>(c.op) << " " << c.index;
    }
}

TEST(ServerListTest, AddGrowsPastInitialCapacityAndRefusesNull) {
    Settings settings;
    ServerEntry server;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(AddServer(settings, MakeServer(std::string(1, static_cast<char>('a' + i)))), 1);
        ASSERT_EQ(AppendGroup(server, MakeGroup(std::string(1, static_cast<char>('a' + i)), i, 0, 0, 0)), 1);
    }
    EXPECT_EQ(AddServer(settings, nullptr), 0);
    EXPECT_EQ(AppendGroup(server, nullptr), 0);
    EXPECT_EQ(ServerOrder(settings), "abcdefghij");
    EXPECT_EQ(GroupOrder(server), "abcdefghij");

    ClearServers(settings);
    EXPECT_EQ(settings.NumServers, 0);
    EXPECT_EQ(settings.Servers.get(0), nullptr);
    EXPECT_EQ(AddServer(settings, MakeServer("z")), 1);
    EXPECT_EQ(ServerOrder(settings), "z");
}

TEST(ServerListTest, GetGroupOnlyWithinCount) {
    ServerEntry server;
    AppendGroup(server, MakeGroup("a", 0, 0, 0, 0));
    AppendGroup(server, MakeGroup("b", 0, 0, 0, 0));
    ASSERT_NE(GetGroup(server, 1), nullptr);
    EXPECT_EQ(GetGroup(server, 1)->Name, "b");
    for (long index : {LONG_MIN, -1L, 2L, 4L, LONG_MAX}) {
        EXPECT_EQ(GetGroup(server, index), nullptr) << index;
    }
    // Looking past the count creates nothing.
    EXPECT_EQ(server.Groups.get(2), nullptr);
}

TEST(ServerListTest, SetServerLoginSplitsAndCuts) {
    struct Case {
        std::string text, address, user, password;
    };
    const std::string longAddress(300, 'h');
    const std::string longUser(40, 'u');
    const Case cases[] = {
        {"news.example,joe,secret", "news.example", "joe", "secret"},
        {"news.example", "news.example", "", ""},
        {"news.example,joe", "news.example", "joe", ""},
        {"news.example,,", "news.example", "", ""},
        {",,", "", "", ""},
        {"", "", "", ""},
        {"h,u,pa,ss,word", "h", "u", "pa,ss,word"},
        {longAddress + "," + longUser + "," + longUser, std::string(255, 'h'), std::string(31, 'u'),
         std::string(31, 'u')},
    };
    for (const Case& c : cases) {
        ServerEntry entry;
        entry.Password = "old";
        SetServerLogin(entry, c.text);
        EXPECT_EQ(entry.Address, c.address) << c.text;
        EXPECT_EQ(entry.User, c.user) << c.text;
        EXPECT_EQ(entry.Password, c.password) << c.text;
    }
}

TEST(ServerListTest, SetServerUserAndPasswordRefuseNullAndOverlongText) {
    using Setter = int (*)(ServerEntry&, const char*);
    struct Case {
        const char* name;
        Setter set;
        std::string ServerEntry::*field;
    };
    const Case setters[] = {{"user", SetServerUser, &ServerEntry::User},
                            {"password", SetServerPassword, &ServerEntry::Password}};
    const std::string fits(31, 'x');
    const std::string tooLong(32, 'y');
    for (const Case& s : setters) {
        ServerEntry entry;
        entry.*s.field = "old";
        EXPECT_EQ(s.set(entry, nullptr), 0) << s.name;
        EXPECT_EQ(entry.*s.field, "old") << s.name;
        EXPECT_EQ(s.set(entry, tooLong.c_str()), 0) << s.name;
        EXPECT_EQ(entry.*s.field, "old") << s.name;
        EXPECT_EQ(s.set(entry, fits.c_str()), 1) << s.name;
        EXPECT_EQ(entry.*s.field, fits) << s.name;
        EXPECT_EQ(s.set(entry, ""), 1) << s.name;
        EXPECT_EQ(entry.*s.field, "") << s.name;
    }
}

TEST(ServerListTest, CopySettingsLeavesServersOfTarget) {
    Settings from;
    FillAllSettings(from);
    AddServer(from, MakeServer("from"));
    Settings to;
    AddServer(to, MakeServer("x"));
    AddServer(to, MakeServer("y"));

    CopySettings(to, from);

    Settings expected;
    FillAllSettings(expected);
    AddServer(expected, MakeServer("x"));
    AddServer(expected, MakeServer("y"));
    EXPECT_EQ(Describe(to), Describe(expected));
}

} // namespace
