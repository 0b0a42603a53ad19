#include <ctime>
#include <filesystem>

#include "nntp/GroupList.h"
#include "platform/Socket.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/InnServer.h"
#include "tests/ui/GroupDialogsSupport.h"
#include "tests/ui/TestDialogs.h"
#include "ui/GroupListWindow.h"
#include "ui/SelectGroupsDialog.h"

namespace {

const std::string kOldFile = GroupFile({"alt.old", "alt.zed"});

// The lines of a group-list file.
std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(path);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class GroupListWindowTest : public ::testing::Test {
  protected:
    // Opens the window for `server` and waits until it has closed by itself.
    void RunFetch(const std::string& server) {
        GroupListWindow window(nullptr, server, dialogs, dir.str());
        window.open();
        EXPECT_TRUE(WaitUntil([&window] { return !window.isVisible(); }));
        status = Text(&window, "statusLabel");
    }
    std::string ListFile(const std::string& server) const { return dir.file(GroupListFileName(server)); }

    TempDir dir;
    TestDialogs dialogs;
    std::string status;
};

TEST_F(GroupListWindowTest, FailuresAreReportedAndTheFileKept) {
    uint16_t closedPort;
    {
        TcpListener probe;
        ASSERT_TRUE(probe.Listen("127.0.0.1"));
        closedPort = probe.Port();
    }
    struct Case {
        const char* name;
        std::function<void(FakeNewsServer&)> setUp; // null: nothing listens
        std::vector<std::string> shown;             // with {} for the server's address
        std::string status;
    };
    for (const Case& c : std::vector<Case>{
             {"refused connection",
              nullptr,
              {"Spindrel: Could not connect to server {}.", "Spindrel: Failed to connect to {}"},
              "No Connection"},
             {"400 greeting",
              [](FakeNewsServer& s) { s.SetGreeting("400 not ready\r\n"); },
              {"Spindrel: Could not connect to server {}.", "Spindrel: Failed to connect to {}"},
              "No Connection"},
             {"list cut off",
              [](FakeNewsServer& s) {
                  s.Handle("newgroups", FakeNewsServer::SendThenClose("231 new\r\nalt.new 1 1 y\r\nalt.ne"));
              },
              {},
              "Complete.."},
         }) {
        SCOPED_TRACE(c.name);
        FakeNewsServer server;
        if (c.setUp) {
            c.setUp(server);
        }
        std::string address = c.setUp ? server.Address() : "127.0.0.1:" + std::to_string(closedPort);
        ASSERT_TRUE(WriteFileBytes(ListFile(address), kOldFile));
        dialogs.shown.clear();
        dialogs.beeps.clear();
        RunFetch(address);
        std::vector<std::string> expected;
        for (std::string text : c.shown) {
            expected.push_back(text.replace(text.find("{}"), 2, address));
        }
        EXPECT_EQ(dialogs.shown, expected);
        EXPECT_EQ(dialogs.beeps.size(), c.shown.empty() ? 0u : 1u);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(ReadFileBytes(ListFile(address)), kOldFile);
    }
}

TEST_F(GroupListWindowTest, UnwritableFileIsReported) {
    FakeNewsServer server;
    server.Reply("list", "215 list\r\nalt.new 1 1 y\r\n.\r\n");
    // A directory where the file should be: it can neither be read nor replaced.
    std::filesystem::create_directory(ListFile(server.Address()));
    RunFetch(server.Address());
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{"Spindrel: Unable to record group list"});
    EXPECT_TRUE(std::filesystem::is_directory(ListFile(server.Address())));
}

// A list that comes slowly: the timer shows how far it has come; Abort in the middle keeps the old file,
// waiting for the list to complete writes the merged one.
TEST_F(GroupListWindowTest, SlowListShowsProgressAndCanBeAborted) {
    for (bool abort : {true, false}) {
        SCOPED_TRACE(abort ? "abort" : "wait");
        FakeNewsServer server;
        server.Handle("newgroups", [](FakeNewsSession& session, const std::string&) {
            session.Send("231 new\r\nalt.one 1 1 y\r\nalt.two 1 1 y\r\n");
            session.Stall();
            session.Send("alt.three 1 1 y\r\n.\r\n");
        });
        ASSERT_TRUE(WriteFileBytes(ListFile(server.Address()), kOldFile));
        GroupListWindow window(nullptr, server.Address(), dialogs, dir.str());
        window.open();
        ASSERT_TRUE(WaitUntil([&window] { return Text(&window, "soFarValue") == "2"; }));
        EXPECT_EQ(Text(&window, "lastGroupValue"), "alt.two");
        EXPECT_EQ(Text(&window, "statusLabel"), "Updating Groups...");
        if (abort) {
            Click(&window, "abortButton");
            EXPECT_FALSE(Child<QPushButton>(&window, "abortButton")->isEnabled());
        } else {
            server.Release();
        }
        EXPECT_TRUE(WaitUntil([&window] { return !window.isVisible(); }));
        std::vector<std::string> kept{"2", "alt.old", "alt.zed"};
        std::vector<std::string> merged{"5", "alt.old", "alt.one", "alt.three", "alt.two", "alt.zed"};
        std::vector<std::string> lines = FileLines(ListFile(server.Address()));
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), abort ? kept : merged);
        server.Release();
    }
}

// Waits until the clock has passed `second`, so a file written from now on is dated after it.
void PassSecond(std::time_t second) {
    EXPECT_TRUE(WaitUntil([second] { return std::time(nullptr) > second; }, 5000));
}

TEST(GroupListInnTest, RefreshesFromARealServer) {
    std::vector<std::string> groups;
    for (int i = 0; i < 3000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "alt.bulk.g%04d", i);
        groups.push_back(name);
    }
    groups.push_back("Alt.Mixed.Case");
    InnServer inn;
    ASSERT_TRUE(inn.StartWithManyGroups(groups)) << inn.Error();
    TempDir dir;
    TestDialogs dialogs;
    Settings settings;
    AddConfiguredServer(settings, inn.Address(), {"ALT.BULK.G0001"});
    std::string path = dir.file(GroupListFileName(inn.Address()));
    SelectGroupsDialog dialog(nullptr, inn.Address(), settings, dialogs, dir.str());
    dialog.show();
    auto refresh = [&dialog] {
        Click(&dialog, "refreshButton");
        return WaitUntil([&dialog] { return Child<QPushButton>(&dialog, "filterButton")->isEnabled(); });
    };
    ASSERT_TRUE(WaitUntil([&dialog] { return Child<QPushButton>(&dialog, "refreshButton")->isEnabled(); }));
    EXPECT_FALSE(Child<QPushButton>(&dialog, "filterButton")->isEnabled()) << "no file yet";

    // No file: the whole list, every name once in lower case, the configured group left out; the filter
    // typed before is cleared.
    Child<QLineEdit>(&dialog, "filterEdit")->setText("zzz");
    ASSERT_TRUE(refresh());
    EXPECT_EQ(Text(&dialog, "filterEdit"), "");
    std::vector<std::string> lines = FileLines(path);
    ASSERT_EQ(lines.size(), 2u + 3004u) << "3001 groups and control, control.cancel, junk";
    EXPECT_EQ(lines[1], "3004");
    std::vector<std::string> names(lines.begin() + 2, lines.end());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "alt.mixed.case"));
    std::vector<std::string> shown = ListNames(&dialog, "availableList");
    EXPECT_EQ(shown.size(), 3003u);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "alt.bulk.g0001"), 0);
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{});

    // New groups: "newgroups" since the stored date brings them, merged with the stored names; a group the
    // server has dropped meanwhile stays, since only new groups were asked for.
    ASSERT_TRUE(inn.Control({"rmgroup", "alt.bulk.g0002"})) << inn.Error();
    for (const char* name : {"alt.fresh.one", "alt.fresh.two", "comp.fresh"}) {
        ASSERT_TRUE(inn.Control({"newgroup", name})) << inn.Error();
    }
    PassSecond(std::time(nullptr));
    std::string firstDate = lines[0];
    ASSERT_TRUE(refresh());
    lines = FileLines(path);
    EXPECT_NE(lines[0], firstDate);
    EXPECT_EQ(lines[1], "3007");
    names.assign(lines.begin() + 2, lines.end());
    for (const char* name : {"alt.fresh.one", "alt.fresh.two", "comp.fresh", "alt.bulk.g0002"}) {
        EXPECT_TRUE(std::binary_search(names.begin(), names.end(), name)) << name;
    }

    // Nothing new since: the file stays as it is, date and all.
    std::string stored = ReadFileBytes(path);
    PassSecond(std::time(nullptr));
    ASSERT_TRUE(refresh());
    EXPECT_EQ(ReadFileBytes(path), stored);

    // The filter over the reloaded list is case-sensitive.
    for (auto [filter, count] :
         std::vector<std::pair<const char*, size_t>>{{"fresh", 3}, {"Fresh", 0}, {"g000", 9}}) {
        Child<QLineEdit>(&dialog, "filterEdit")->setText(filter);
        Click(&dialog, "filterButton");
        ASSERT_TRUE(
            WaitUntil([&dialog] { return Child<QPushButton>(&dialog, "filterButton")->isEnabled(); }));
        EXPECT_EQ(ListNames(&dialog, "availableList").size(), count) << filter;
    }
}

} // namespace
