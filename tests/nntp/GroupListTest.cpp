#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "nntp/GroupList.h"
#include "nntp/NntpConnection.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/InnServer.h"
#include "tests/support/TempDir.h"

namespace {

struct RecordingFetch : GroupFetchReport {
    void Status(const std::string& text) override { statuses.push_back(text); }
    void ListFetched() override { statuses.push_back("(list fetched)"); }
    void SoFar(const std::string& text) override { soFar.push_back(text); }
    void LastGroup(const std::string& text) override { lastGroups.push_back(text); }
    void Warning(const std::string& text) override { warnings.push_back(text); }
    void Beep() override { ++beeps; }
    std::vector<std::string> statuses, soFar, lastGroups, warnings;
    int beeps = 0;
};

struct RecordingLoad : GroupLoadReport {
    void Refreshed(const std::string& text) override { refreshed = text; }
    void GroupCount(const std::string& text) override { count = text; }
    void Progress(const std::string& text) override { progress.push_back(text); }
    void LoadingNote(bool shown) override { noteShown = shown; }
    void AddAvailable(const std::string& name) override { available.push_back(name); }
    std::string refreshed, count;
    std::vector<std::string> progress, available;
    bool noteShown = false;
};

std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(path), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

TEST(GroupListFile, FirstLineCarriesTheNewGroupsDate) {
    std::tm when{};
    when.tm_year = 99;
    when.tm_mon = 0;
    when.tm_mday = 5;
    when.tm_hour = 20;
    when.tm_min = 30;
    when.tm_sec = 0;
    std::string line = RefreshLine(when);
    EXPECT_EQ(line, "Jan 05 1999/990105 203000");
    EXPECT_EQ(NewGroupsDate(line), "990105 203000");

    TempDir dir;
    WriteFileBytes(dir.file("news.example.com"), line + "\n1\nalt.test\n");
    RecordingLoad load;
    std::atomic<int> cancel{0};
    EXPECT_TRUE(LoadGroupList("news.example.com", dir.str(), "", {}, cancel, load));
    EXPECT_EQ(load.refreshed, "Jan 5 1999");
    EXPECT_EQ(load.count, "1");
    EXPECT_EQ(load.available, std::vector<std::string>{"alt.test"});
}

TEST(GroupListFile, OnlyAWellFormedDateIsUsed) {
    struct Case {
        std::string line;
        std::optional<std::string> date;
    };
    for (const Case& c : std::vector<Case>{{"Jan 05 1999/990105 203000", "990105 203000"},
                                           {"Jan 05 1999/990105 203000\r", "990105 203000"},
                                           {"Jan 05 1999/", std::nullopt},
                                           {"Jan 05 1999 990105 203000", std::nullopt},
                                           {"x/abc", std::nullopt},
                                           {"x/990105 2030001", std::nullopt},
                                           {"x/990105\r\nlist", std::nullopt},
                                           {"", std::nullopt}}) {
        EXPECT_EQ(NewGroupsDate(c.line), c.date) << c.line;
    }
}

TEST(GroupListFile, ServerNamesBecomeSafeFileNames) {
    EXPECT_EQ(GroupListFileName("news.example.com"), "news.example.com");
    EXPECT_EQ(GroupListFileName("news.example.com:563"), "news.example.com:563");
    EXPECT_EQ(GroupListFileName("../etc/passwd"), ".._etc_passwd");
    EXPECT_EQ(GroupListFileName(".."), "_..");
    EXPECT_EQ(GroupListFileName(""), "_");
}

TEST(GroupListFile, TimerShowsOnlyPlainNames) {
    EXPECT_EQ(TimerLastGroup("alt.test 0000000003 0000000001 y"), "alt.test");
    EXPECT_EQ(TimerLastGroup(""), std::nullopt);
    EXPECT_EQ(TimerLastGroup(" alt.test"), std::nullopt);
    EXPECT_EQ(TimerLastGroup("alt\x01test 1"), std::nullopt);
    EXPECT_EQ(TimerLastGroup(std::string(300, 'a'))->size(), 255u);
}

class GroupFetchTest : public ::testing::Test {
  protected:
    void SetUp() override { GroupListCancel.store(0); }
    void TearDown() override { GroupListCancel.store(0); }

    bool Fetch(RecordingFetch& report) {
        return FetchServerGroups(server.Address(), "", "", dir.str(), report, progress);
    }
    std::string FilePath() const { return dir.file(GroupListFileName(server.Address())); }

    TempDir dir;
    FakeNewsServer server;
    GroupListProgress progress;
};

TEST_F(GroupFetchTest, FirstRefreshWritesTheDistinctLowerCaseNames) {
    server.Reply(
        "list",
        "215 list\r\nalt.b 2 1 y\r\nAlt.A 2 1 y\r\nalt.a 5 1 y\r\nalt.c++ 1 1 y\r\nalt.c 1 1 m\r\n.\r\n");
    RecordingFetch report;
    EXPECT_TRUE(Fetch(report));
    EXPECT_EQ(server.Connections(), 2) << "the first connection is replaced by a fresh one";
    std::vector<std::string> lines = FileLines(FilePath());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_TRUE(NewGroupsDate(lines[0]));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"3", "alt.a", "alt.b", "alt.c"}));
    EXPECT_EQ(report.statuses,
              (std::vector<std::string>{"Connecting...", "Fetching Groups...", "(list fetched)",
                                        "Sorting Groups...", "Writing File...", "Done", "Complete.."}));
    EXPECT_EQ(report.soFar, (std::vector<std::string>{"25 %", "50 %", "75 %", "100 %", "0", ""}));
    EXPECT_EQ(report.lastGroups, (std::vector<std::string>{"alt.b", "alt.a", "alt.a", "alt.c", ""}));
    EXPECT_EQ(progress.Count(), 4);
    EXPECT_EQ(progress.LastLine(), "alt.c 1 1 m");
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_FALSE(std::filesystem::exists(FilePath() + ".tmp"));
}

TEST_F(GroupFetchTest, RefreshAsksForNewGroupsAndMergesThem) {
    WriteFileBytes(FilePath(), "Jan 05 1999/990105 203000\n2\nalt.old\nalt.zed\n");
    server.Reply("newgroups", "231 new\r\nalt.new 1 1 y\r\nALT.OLD 1 1 y\r\n.\r\n");
    RecordingFetch report;
    EXPECT_TRUE(Fetch(report));
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"newgroups 990105 203000"});
    std::vector<std::string> lines = FileLines(FilePath());
    EXPECT_NE(lines[0], "Jan 05 1999/990105 203000");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"3", "alt.new", "alt.old", "alt.zed"}));
    EXPECT_EQ(report.statuses[1], "Updating Groups...");
}

TEST_F(GroupFetchTest, RefreshWithNothingNewLeavesTheFileAlone) {
    std::string stored = "Jan 05 1999/990105 203000\n2\nalt.old\nalt.zed\n";
    WriteFileBytes(FilePath(), stored);
    server.Reply("newgroups", "231 new\r\n.\r\n");
    RecordingFetch report;
    EXPECT_TRUE(Fetch(report));
    EXPECT_EQ(ReadFileBytes(FilePath()), stored);
    EXPECT_EQ(report.statuses.back(), "Complete..");
}

TEST_F(GroupFetchTest, FileWithoutADateIsFetchedWhole) {
    WriteFileBytes(FilePath(), "garbage\n2\nalt.old\nalt.zed\n");
    server.Reply("list", "215 list\r\nalt.new 1 1 y\r\n.\r\n");
    RecordingFetch report;
    EXPECT_TRUE(Fetch(report));
    std::vector<std::string> lines = FileLines(FilePath());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"1", "alt.new"}));
}

TEST_F(GroupFetchTest, UnwritableFileIsReportedAndTheOldOneKept) {
    server.Reply("list", "215 list\r\nalt.new 1 1 y\r\n.\r\n");
    RecordingFetch report;
    EXPECT_TRUE(FetchServerGroups(server.Address(), "", "", dir.file("missing-dir"), report, progress));
    EXPECT_EQ(report.warnings, std::vector<std::string>{"Unable to record group list"});
}

TEST_F(GroupFetchTest, CancelledFetchWritesNothing) {
    server.Handle("list", FakeNewsServer::SendThenStall("215 list\r\nalt.new 1 1 y\r\n"));
    std::thread canceller([this] {
        for (int i = 0; i < 200 && progress.Count() == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        GroupListCancel.store(1);
    });
    RecordingFetch report;
    EXPECT_FALSE(Fetch(report));
    canceller.join();
    server.Release();
    EXPECT_FALSE(std::filesystem::exists(FilePath()));
}

// A server that answers "400 not ready" has not been connected to, at either of the fetch's two connects.
TEST_F(GroupFetchTest, NotReadyServerIsAFailedConnection) {
    struct Case {
        const char* greetings[2];
        std::vector<std::string> warnings;
        bool fetched;
    };
    const std::string address = server.Address();
    const Case cases[] = {
        {{"400 not ready\r\n", "400 not ready\r\n"},
         {"Could not connect to server " + address + ".", "Failed to connect to " + address},
         false},
        {{"200 ready\r\n", "400 not ready\r\n"}, {"Failed to connect to " + address}, false},
        {{"400 not ready\r\n", "200 ready\r\n"}, {"Could not connect to server " + address + "."}, true},
    };
    server.Reply("list", "215 list\r\nalt.new 1 1 y\r\n.\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.greetings[0]);
        std::filesystem::remove(FilePath());
        std::atomic<int> connections{0};
        server.SetGreetingHandler(
            [&](FakeNewsSession& s, const std::string&) { s.Send(c.greetings[connections++ % 2]); });
        RecordingFetch report;
        EXPECT_EQ(Fetch(report), c.fetched);
        EXPECT_EQ(report.warnings, c.warnings);
        EXPECT_EQ(report.statuses.back(), c.fetched ? "Complete.." : "No Connection");
        EXPECT_EQ(std::filesystem::exists(FilePath()), c.fetched);
    }
}

TEST(GroupFetchFailure, NoServerIsReported) {
    uint16_t port;
    {
        TcpListener probe;
        ASSERT_TRUE(probe.Listen("127.0.0.1"));
        port = probe.Port();
    }
    TempDir dir;
    std::string server = "127.0.0.1:" + std::to_string(port);
    RecordingFetch report;
    GroupListProgress progress;
    EXPECT_FALSE(FetchServerGroups(server, "", "", dir.str(), report, progress));
    EXPECT_EQ(report.warnings, (std::vector<std::string>{"Could not connect to server " + server + ".",
                                                         "Failed to connect to " + server}));
    EXPECT_EQ(report.statuses.back(), "No Connection");
    EXPECT_EQ(report.beeps, 1);
}

TEST(GroupLoad, FilterAndConfiguredGroupsDecideWhatIsAvailable) {
    TempDir dir;
    WriteFileBytes(dir.file("srv"),
                   "Jan 05 1999/990105 203000\n4\nalt.binaries.x\nalt.test\ncomp.lang.c\nalt.bin\n");
    std::atomic<int> cancel{0};
    struct Case {
        std::string filter;
        std::vector<std::string> configured, available;
    };
    for (const Case& c : std::vector<Case>{
             {"", {}, {"alt.binaries.x", "alt.test", "comp.lang.c", "alt.bin"}},
             {"bin", {}, {"alt.binaries.x", "alt.bin"}},
             {"Bin", {}, {}},
             {"", {"ALT.Test", "alt.bin"}, {"alt.binaries.x", "comp.lang.c"}},
         }) {
        RecordingLoad load;
        EXPECT_TRUE(LoadGroupList("srv", dir.str(), c.filter, c.configured, cancel, load));
        EXPECT_EQ(load.available, c.available) << c.filter;
        EXPECT_EQ(load.progress.front(), "0%");
        EXPECT_FALSE(load.noteShown);
    }
}

TEST(GroupLoad, EmptyOrMissingList) {
    TempDir dir;
    std::atomic<int> cancel{0};
    RecordingLoad missing;
    EXPECT_FALSE(LoadGroupList("srv", dir.str(), "", {}, cancel, missing));
    WriteFileBytes(dir.file("srv"), "Jan 05 1999/990105 203000\n0\n");
    RecordingLoad empty;
    EXPECT_TRUE(LoadGroupList("srv", dir.str(), "", {}, cancel, empty));
    EXPECT_EQ(empty.available, std::vector<std::string>{"(No Group List Downloaded)"});
    WriteFileBytes(dir.file("srv"), "\x01\xff\n99999999999\nalt.one\r\n");
    RecordingLoad hostile;
    EXPECT_TRUE(LoadGroupList("srv", dir.str(), "", {}, cancel, hostile));
    EXPECT_EQ(hostile.available, std::vector<std::string>{"alt.one"});
}

TEST(GroupLoad, ProgressEveryFiftyNames) {
    TempDir dir;
    std::string file = "Jan 05 1999/990105 203000\n120\n";
    for (int i = 0; i < 120; ++i) {
        file += "alt.g" + std::to_string(i) + "\n";
    }
    WriteFileBytes(dir.file("srv"), file);
    std::atomic<int> cancel{0};
    RecordingLoad load;
    EXPECT_TRUE(LoadGroupList("srv", dir.str(), "", {}, cancel, load));
    EXPECT_EQ(load.progress, (std::vector<std::string>{"0%", "0%", "41%", "83%"}));
    EXPECT_EQ(load.available.size(), 120u);
}

TEST(GroupListInn, FirstRefreshFromARealServer) {
    InnServer inn;
    ASSERT_TRUE(inn.Start({"alt.binaries.test", "Alt.Mixed", "comp.test"})) << inn.Error();
    TempDir dir;
    RecordingFetch report;
    GroupListProgress progress;
    GroupListCancel.store(0);
    ASSERT_TRUE(FetchServerGroups(inn.Address(), "", "", dir.str(), report, progress))
        << report.warnings.size();
    std::vector<std::string> lines = FileLines(dir.file(GroupListFileName(inn.Address())));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::stoul(lines[1]), lines.size() - 2);
    std::vector<std::string> names(lines.begin() + 2, lines.end());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (std::string expected : {"alt.binaries.test", "alt.mixed", "comp.test", "control", "junk"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
}

} // namespace
