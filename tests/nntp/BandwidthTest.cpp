#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "nntp/NntpConnection.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/TempDir.h"

namespace {

// A connection whose clock the test moves and whose pauses are only recorded.
class BandwidthTest : public ::testing::Test {
  protected:
    void SetUp() override {
        connection.SetClock([this] { return now; },
                            [this](int64_t ms) {
                                pauses.push_back(ms);
                                flagDuringPause = BandwidthPauseFlag.load();
                            });
        ASSERT_EQ(connection.Connect(), 1);
    }
    // Moves exactly `count` bytes over the connection (sent; the server's answers are never read).
    void Move(size_t count) {
        std::string bytes(count, 'x');
        for (size_t i = 99; i < count; i += 100) {
            bytes[i] = '\n';
        }
        ASSERT_EQ(connection.SendBytes(bytes.data(), bytes.size()), 1);
    }

    std::string ActivityLog() const { return log.Read(); }

    TempDir dir;
    ActivityLogFile log{dir.file("activity.log")};
    FakeNewsServer server;
    NntpConnection connection{server.Address()};
    int64_t now = 1000000;
    std::vector<int64_t> pauses;
    int flagDuringPause = -1;
};

TEST_F(BandwidthTest, AverageAboveTheLimitPausesUntilItIsBackAtTheLimit) {
    connection.SetBandwidthLimit(1000);
    Move(50000);
    now += 10;
    connection.ThrottleBandwidth();
    EXPECT_EQ(pauses, std::vector<int64_t>{40000});
    EXPECT_EQ(flagDuringPause, 1);
    EXPECT_EQ(BandwidthPauseFlag.load(), 0);
    EXPECT_EQ(ActivityLog(), "Actual bandwidth == 5000.00 b/s, should be 1000.00 b/s\n"
                             "Sleeping for 40000 milliseconds\n");
}

// A limit of a tiny fraction of a byte a second asks for a pause of many lifetimes: it is cut to the longest
// pause a 32-bit count of milliseconds holds, about 24 days.
TEST_F(BandwidthTest, AbsurdlySmallLimitPausesAtMostTheLongestPause) {
    connection.SetBandwidthLimit(1e-300);
    Move(50000);
    now += 10;
    connection.ThrottleBandwidth();
    EXPECT_EQ(pauses, std::vector<int64_t>{2147483647});
    EXPECT_NE(ActivityLog().find("Sleeping for 2147483647 milliseconds\n"), std::string::npos)
        << ActivityLog();
}

struct NoPauseCase {
    const char* name;
    double limit;
    size_t bytes;
    int64_t elapsed;
};

class NoPauseTest : public BandwidthTest, public ::testing::WithParamInterface<NoPauseCase> {};

TEST_P(NoPauseTest, NeitherPausesNorLogs) {
    connection.SetBandwidthLimit(GetParam().limit);
    Move(GetParam().bytes);
    now += GetParam().elapsed;
    connection.ThrottleBandwidth();
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(ActivityLog(), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, NoPauseTest,
                         ::testing::Values(NoPauseCase{"noLimit", 0, 50000, 10},
                                           NoPauseCase{"negativeLimit", -5, 50000, 10},
                                           NoPauseCase{"withinTheFirstSecond", 1000, 50000, 0},
                                           NoPauseCase{"clockWentBack", 1000, 50000, -3},
                                           NoPauseCase{"exactlyAtTheLimit", 1000, 50000, 50},
                                           NoPauseCase{"belowTheLimit", 1000, 49999, 50},
                                           NoPauseCase{"notANumber", std::nan(""), 50000, 10},
                                           NoPauseCase{"infinite", HUGE_VAL, 50000, 10},
                                           NoPauseCase{"largestNumber", DBL_MAX, 50000, 10}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BandwidthTest, RateIsReceivedBytesPerWholeSecond) {
    server.Reply("list", std::string(999, 'r') + "\n");
    connection.ResetRate();
    EXPECT_EQ(connection.CurrentRate(), 0u);
    ASSERT_EQ(connection.SendText("list\r\n"), 1);
    std::string received;
    for (int tries = 0; received.size() < 1000 && tries < 20; ++tries) {
        if (std::optional<std::string> line = connection.ReadLine()) {
            received += *line;
        }
    }
    ASSERT_EQ(received.size(), 1000u);
    EXPECT_EQ(connection.CurrentRate(), 0u) << "no whole second has passed";
    now += 3;
    EXPECT_EQ(connection.CurrentRate(), 333u);
    connection.ResetRate();
    EXPECT_EQ(connection.CurrentRate(), 0u);
}

TEST(BandwidthPause, EndsEarlyWhenTheDownloadIsStopped) {
    TempDir dir;
    SetLogFileName(dir.file("activity.log").c_str());
    FakeNewsServer server;
    NntpConnection connection(server.Address());
    ASSERT_EQ(connection.Connect(), 1);
    connection.SetBandwidthLimit(1);
    std::string bytes(5000, 'x');
    ASSERT_EQ(connection.SendBytes(bytes.data(), bytes.size()), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // one whole second since connect
    DownloadRunning.store(1);
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        DownloadRunning.store(0);
    });
    auto start = std::chrono::steady_clock::now();
    connection.ThrottleBandwidth(); // about 4000 s without the stop
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(BandwidthPauseFlag.load(), 0);
    SetLogFileName(nullptr);
}

} // namespace
