// Settings changed in the property sheet while a download runs against the fake news server: the bandwidth
// limit of the running connection, a new filter, and the priority of the next group's thread.
#include <QSlider>
#include <QTabWidget>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "engine/EngineState.h"
#include "log/Log.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/ui/SheetFixture.h"
#include "ui/FilteringPage.h"

namespace {

// Serves the same numbered articles in every group by head and body (xhdr is refused). The bodies whose turn
// is listed (1 for the first body asked for) wait until the test releases them.
class StallingServer {
  public:
    StallingServer(std::vector<std::string> articles, std::set<int> stalls)
        : articles_(std::move(articles)), stalls_(std::move(stalls)) {
        fake_.Handle("group", [this](FakeNewsSession& s, const std::string& line) {
            std::string n = std::to_string(articles_.size());
            s.Send("211 " + n + " 1 " + n + " " + line.substr(6) + "\r\n");
        });
        fake_.Reply("xhdr", "500 What?\r\n");
        fake_.Handle("head", [this](FakeNewsSession& s, const std::string& line) { Send(s, line, true); });
        fake_.Handle("body", [this](FakeNewsSession& s, const std::string& line) {
            Gate(++bodies_);
            Send(s, line, false);
        });
    }
    ~StallingServer() { Release(1 << 30); }

    std::string Address() const { return fake_.Address(); }
    bool WaitingAt(int body) {
        std::lock_guard<std::mutex> lock(mutex_);
        return waiting_ == body;
    }
    void Release(int body) {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = body;
        changed_.notify_all();
    }

  private:
    void Gate(int body) {
        if (!stalls_.contains(body)) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        waiting_ = body;
        changed_.wait_for(lock, std::chrono::seconds(60), [&] { return released_ >= body; });
        waiting_ = 0;
    }
    void Send(FakeNewsSession& s, const std::string& line, bool head) {
        size_t n = std::stoul(line.substr(5)) - 1;
        const std::string& text = articles_.at(n);
        size_t split = text.find("\n\n");
        std::string part = head ? text.substr(0, split + 1) : text.substr(split + 2);
        std::string wire = (head ? "221 " : "222 ") + std::to_string(n + 1) + " <a@b>\r\n";
        std::istringstream lines(part);
        for (std::string l; std::getline(lines, l);) {
            wire += (l.starts_with(".") ? "." : "") + l + "\r\n";
        }
        s.Send(wire + ".\r\n");
    }

    std::vector<std::string> articles_;
    std::set<int> stalls_;
    std::atomic<int> bodies_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    int released_ = 0;
    FakeNewsServer fake_;
};

class DuringDownloadTest : public SheetFixture {
  protected:
    std::string UUArticle(const std::string& subject, const std::string& name, size_t size) {
        WriteFileBytes(dir_.file("source"), PatternBytes(size, static_cast<unsigned>(size)));
        return Article("alt.test", subject,
                       CommandOutput("uuencode '" + dir_.file("source") + "' '" + name + "'"));
    }
    // Starts the window on `server` with the given groups and the activity log on, and presses Start.
    void Start(const StallingServer& server, std::vector<std::string> groups, const std::string& lines = "") {
        std::string config = "    LogFile=" + dir_.file("activity.log") + "\n    LoggingEnabled=1\n" + lines +
                             "    NumServers=1\nServer\n    Name=" + server.Address() +
                             ",,\n    NumGroups=" + std::to_string(groups.size()) + "\n";
        for (const std::string& group : groups) {
            config += "    Group=" + group + ",0,0k,Expanded,Include\n";
        }
        Open(config);
        Click(window_.get(), "startButton");
    }
    bool Ended() {
        return WaitUntil(
            [this] { return Find<QAbstractButton>(window_.get(), "startButton")->text() == "&Start"; },
            120000);
    }
    bool Logged(const std::string& text) {
        FlushLog();
        return ReadFileBytes(dir_.file("activity.log")).find(text) != std::string::npos;
    }
    void TearDown() override {
        SheetFixture::TearDown();
        SetLogEnabled(0);
    }
};

// Threads of this process running at a nice value.
int ThreadsAtNice(int nice) {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(task.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        for (int i = 3; i <= 19 && fields >> field; ++i) {
        }
        count += std::atoi(field.c_str()) == nice;
    }
    return count;
}

TEST_F(DuringDownloadTest, BandwidthLimitReachesTheRunningConnection) {
    StallingServer server({UUArticle("one.bin", "one.bin", 1000), UUArticle("two.bin", "two.bin", 1000),
                           UUArticle("big.bin", "big.bin", 500000), UUArticle("four.bin", "four.bin", 1000)},
                          {2});
    Start(server, {"alt.test"}, "    BandWidthLimit=5000\n");
    ASSERT_TRUE(WaitUntil([&] { return server.WaitingAt(2); }));
    WithSheet([](ConfigSheet& sheet) {
        Type(&sheet, "bandwidthEdit", "100000000");
        ClickOk(sheet);
    });
    // The limiter measures whole seconds since the connect: only after the first can it pause at all.
    QTest::qWait(1500);
    server.Release(2);
    // At the old limit the big body would be followed by a pause of minutes.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Logged("Actual bandwidth") || std::filesystem::exists(dir_.file("out/alt.test/four.bin"));
        },
        120000));
    ASSERT_FALSE(Logged("Actual bandwidth"));
    EXPECT_TRUE(Ended());
}

TEST_F(DuringDownloadTest, FilterAddedWhileDownloadingAppliesFromTheNextArticle) {
    StallingServer server({UUArticle("one.bin", "one.bin", 1000),
                           UUArticle("skipme - two.bin", "two.bin", 1000),
                           UUArticle("three.bin", "three.bin", 1000)},
                          {1});
    Start(server, {"alt.test"});
    ASSERT_TRUE(WaitUntil([&] { return server.WaitingAt(1); }));
    WithSheet([this](ConfigSheet& sheet) {
        auto* page = sheet.findChild<FilteringPage*>();
        Find<QTabWidget>(&sheet, "pages")->setCurrentWidget(page);
        Type(page, "filterFileEdit", QString::fromStdString(dir_.file("f.flt")));
        QTest::keyClick(Find<QLineEdit>(page, "filterFileEdit"), Qt::Key_Tab); // loads the new (empty) list
        Type(page, "entryEdit", "SKIPME");
        Click(page, "addButton");
        Click(page, "filteringCheck");
        ClickOk(sheet);
    });
    server.Release(1);
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(std::filesystem::exists(dir_.file("out/alt.test/one.bin")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("out/alt.test/two.bin")));
    EXPECT_TRUE(std::filesystem::exists(dir_.file("out/alt.test/three.bin")));
    EXPECT_EQ(ReadFileBytes(dir_.file("f.flt")), "SKIPME\n");
}

TEST_F(DuringDownloadTest, OkKeepsTheArticlesReachedWhileTheSheetWasOpen) {
    StallingServer server({UUArticle("one.bin", "one.bin", 1000), UUArticle("two.bin", "two.bin", 1000),
                           UUArticle("three.bin", "three.bin", 1000)},
                          {1, 3});
    Start(server, {"alt.test"});
    ASSERT_TRUE(WaitUntil([&] { return server.WaitingAt(1); }));
    WithSheet([&server](ConfigSheet& sheet) {
        server.Release(1);
        ASSERT_TRUE(WaitUntil([&] { return server.WaitingAt(3); })); // articles 1 and 2 are fetched
        ClickOk(sheet);
    });
    // The copy was loaded when the group stood at article 1; the download has moved on since.
    EXPECT_GE(Saved()->Servers[0].Groups[0].NextArticle, 2);
    server.Release(3);
    EXPECT_TRUE(Ended());
}

TEST_F(DuringDownloadTest, PriorityAppliesToTheNextGroupsThread) {
    StallingServer server({UUArticle("one.bin", "one.bin", 1000)}, {1, 2});
    Start(server, {"alt.one", "alt.two"});
    ASSERT_TRUE(WaitUntil([&] { return server.WaitingAt(1); }));
    EXPECT_EQ(ThreadsAtNice(10), 0);
    WithSheet([](ConfigSheet& sheet) {
        QSlider* slider = Find<QSlider>(&sheet, "prioritySlider");
        QTest::keyClick(slider, Qt::Key_Down);
        QTest::keyClick(slider, Qt::Key_Down); // "Minimum Priority": nice 10
        ClickOk(sheet);
    });
    server.Release(1);
    ASSERT_TRUE(WaitUntil([&] { return server.WaitingAt(2); }));
    EXPECT_GE(ThreadsAtNice(10), 1); // the second group's thread
    server.Release(2);
    EXPECT_TRUE(Ended());
}

} // namespace
