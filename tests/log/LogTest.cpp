#include "log/Log.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

namespace {

class LogTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SetLogEnabled(0);
        SetLogFileName(nullptr);
    }
    // Points the log at `name` in the test's directory and switches it on; returns the path.
    std::string StartLog(const std::string& name = "a.log") {
        std::string path = dir.file(name);
        SetLogFileName(path.c_str());
        SetLogEnabled(1);
        return path;
    }
    TempDir dir;
};

TEST_F(LogTest, DisabledWritesNothingAndCreatesNoFile) {
    SetLogFileName(dir.file("a.log").c_str());
    SetLogEnabled(0);
    LogMessage("hello %d", 1);
    FlushLog();
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.log")));
}

TEST_F(LogTest, EnabledWithEmptyNameWritesNothing) {
    SetLogFileName("");
    SetLogEnabled(1);
    LogMessage("hello");
    FlushLog();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(LogTest, AppendsOneLinePerCallAndKeepsEarlierContent) {
    std::string path = dir.file("a.log");
    WriteFileBytes(path, "earlier run\n");
    SetLogFileName(path.c_str());
    SetLogEnabled(1);
    LogMessage("Connecting to %s", "news.example");
    LogMessage("   a repost");
    EXPECT_EQ(ReadLogFile(path), "earlier run\nConnecting to news.example\n   a repost\n");
}

TEST_F(LogTest, OverlongMessageIsCutNotOverflowed) {
    std::string path = StartLog();
    std::string huge(10000, 'x');
    LogMessage("%s", huge.c_str());
    EXPECT_EQ(ReadLogFile(path), std::string(4095, 'x') + "\n");
}

TEST_F(LogTest, UnwritablePathDropsMessageSilently) {
    SetLogFileName(dir.file("no/such/dir/a.log").c_str());
    SetLogEnabled(1);
    LogMessage("lost");
    FlushLog();
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST_F(LogTest, ALogRemovedOrRotatedDuringARunIsStartedAfresh) {
    std::string path = StartLog();
    LogMessage("first");
    FlushLog();
    std::filesystem::rename(path, dir.file("a.log.1"));
    LogMessage("second");
    FlushLog();
    std::filesystem::remove(path);
    LogMessage("third");
    EXPECT_EQ(ReadLogFile(dir.file("a.log.1")), "first\n");
    EXPECT_EQ(ReadLogFile(path), "third\n");
}

TEST_F(LogTest, RepointedOrDisabledLogStopsWritingTheOldFile) {
    std::string first = dir.file("a.log");
    std::string second = dir.file("b.log");
    SetLogFileName(first.c_str());
    SetLogEnabled(1);
    LogMessage("to a");
    SetLogFileName(second.c_str());
    LogMessage("to b");
    SetLogEnabled(0);
    LogMessage("nowhere");
    SetLogEnabled(1);
    SetLogFileName(first.c_str());
    LogMessage("a again");
    EXPECT_EQ(ReadLogFile(first), "to a\na again\n");
    EXPECT_EQ(ReadLogFile(second), "to b\n");
}

// The owner of a hold logs while another thread finishes work handed over earlier: the other thread's lines
// come first, then the owner's, in the order each logged them.
TEST_F(LogTest, HeldLinesFollowTheLinesOfTheWorkTheyWaitedFor) {
    std::string path = StartLog();
    LogHold hold;
    LogMessage("before");
    hold.Hold();
    std::thread other([&] {
        LogMessage("other 1");
        LogMessage("other 2");
    });
    LogMessage("owner 1");
    LogMessage("owner 2");
    other.join();
    std::thread([&] { hold.Release(); }).join();
    LogMessage("owner 3");
    EXPECT_EQ(ReadLogFile(path), "before\nother 1\nother 2\nowner 1\nowner 2\nowner 3\n");
}

// Other output of the owner (a window's fields) goes out with its held lines, in its place among them, and is
// dropped with them.
TEST_F(LogTest, DeferredOutputKeepsItsPlaceAmongTheHeldLines) {
    std::string path = StartLog();
    auto show = [](const char* text) { return [text] { LogMessage("%s", text); }; };
    LogHold hold;
    LogHold::Defer(show("shown at once"));
    hold.Hold();
    LogMessage("owner 1");
    LogHold::Defer(show("shown 1"));
    LogHold::Defer(show("shown 2"));
    LogMessage("owner 2");
    EXPECT_EQ(ReadLogFile(path), "shown at once\n");
    std::thread([&] { hold.Release(); }).join();
    hold.Hold();
    LogHold::Defer(show("never shown"));
    std::thread([&] { hold.Drop(); }).join();
    LogHold::Defer(show("dropped too"));
    EXPECT_TRUE(hold.Resume());
    EXPECT_EQ(ReadLogFile(path), "shown at once\nowner 1\nshown 1\nshown 2\nowner 2\n");
}

TEST_F(LogTest, DroppedLinesStayDroppedUntilResumed) {
    std::string path = StartLog();
    LogHold hold;
    hold.Hold();
    LogMessage("held, then dropped");
    std::thread([&] { hold.Drop(); }).join();
    LogMessage("dropped too");
    EXPECT_TRUE(hold.Resume());
    LogMessage("straight");
    EXPECT_FALSE(hold.Resume());
    hold.Hold();
    LogMessage("held at the end");
    EXPECT_EQ(ReadLogFile(path), "straight\n");
    std::thread([&] { hold.Release(); }).join();
    EXPECT_EQ(ReadLogFile(path), "straight\nheld at the end\n");
}

TEST_F(LogTest, LinesFromManyThreadsNeverInterleave) {
    std::string path = StartLog();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::string body(300, static_cast<char>('a' + t));
            for (int i = 0; i < 200; ++i) {
                LogMessage("%s", body.c_str());
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    std::istringstream in(ReadLogFile(path));
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        ASSERT_EQ(line.size(), 300u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos);
    }
    EXPECT_EQ(lines, 800);
}

std::string Dump(const std::vector<unsigned char>& bytes) {
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    HexDump(f, bytes.data(), bytes.size());
    fclose(f);
    std::string s(buf, len);
    free(buf);
    return s;
}

TEST(HexDump, RowsOfSixteen) {
    EXPECT_EQ(Dump({}), "");
    std::string greeting = Dump({'2', '0', '0', '\r', '\n'});
    EXPECT_EQ(greeting, "32 30 30 0d  0a " + std::string(36, ' ') + "  200.." + std::string(11, ' ') + "\n");
    std::vector<unsigned char> sixteen(16, 'A');
    std::string full = Dump(sixteen);
    EXPECT_EQ(full.size(), 71u);
    EXPECT_EQ(full, "41 41 41 41  41 41 41 41  41 41 41 41  41 41 41 41    AAAAAAAAAAAAAAAA\n");
    std::vector<unsigned char> seventeen(17, 0xFF);
    std::string two = Dump(seventeen);
    EXPECT_EQ(two.size(), 142u);
    EXPECT_EQ(two.substr(71, 3), "ff ");
    EXPECT_EQ(two.substr(71 + 54, 16), "." + std::string(15, ' '));
}

TEST(TxRxLog, OffUntilEnabledThenStaysOn) {
    // The process starts with it off; this test binary never enabled it before.
    EXPECT_EQ(GetTxRxLogName(), nullptr);
    EnableTxRxLog();
    ASSERT_NE(GetTxRxLogName(), nullptr);
    EXPECT_STREQ(GetTxRxLogName(), "txrxlog.log");
    EnableTxRxLog();
    EXPECT_STREQ(GetTxRxLogName(), "txrxlog.log");
}

} // namespace
