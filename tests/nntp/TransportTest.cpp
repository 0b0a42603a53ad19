#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "nntp/NntpConnection.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/TempDir.h"

namespace {

// One dump row as the traffic log writes it, for texts of at most 16 bytes.
std::string DumpRow(const std::string& bytes) {
    std::string hex, text;
    for (size_t i = 0; i < 16; ++i) {
        if (i < bytes.size()) {
            char pair[4];
            std::snprintf(pair, sizeof pair, "%02x ", static_cast<unsigned char>(bytes[i]));
            hex += pair;
            text += (bytes[i] >= 0x20 && bytes[i] <= 0x7e) ? bytes[i] : '.';
        } else {
            hex += "   ";
            text += ' ';
        }
        if (i % 4 == 3) {
            hex += ' ';
        }
    }
    return hex + "  " + text + "\n";
}

class TransportTest : public ::testing::Test {
  protected:
    std::unique_ptr<NntpConnection> Connected() {
        auto connection = std::make_unique<NntpConnection>(server.Address());
        EXPECT_EQ(connection->Connect(), 1);
        return connection;
    }

    // Reads lines until `count` have come or the connection gives up (bounded).
    static std::vector<std::string> ReadLines(NntpConnection& connection, size_t count) {
        std::vector<std::string> lines;
        for (int tries = 0; lines.size() < count && tries < 100000 && !connection.IsDisconnected(); ++tries) {
            if (std::optional<std::string> line = connection.ReadLine()) {
                lines.push_back(*line);
            }
        }
        return lines;
    }

    std::string ActivityLog() const { return log.Read(); }

    TempDir dir;
    ActivityLogFile log{dir.file("activity.log")};
    FakeNewsServer server;
};

struct GreetingCase {
    const char* name;
    std::string greeting;
    int expected;
    bool logsNotReady;
};

class GreetingTest : public TransportTest, public ::testing::WithParamInterface<GreetingCase> {};

TEST_P(GreetingTest, ResultFollowsTheGreetingCode) {
    server.SetGreeting(GetParam().greeting);
    NntpConnection connection(server.Address());
    EXPECT_EQ(connection.Connect(), GetParam().expected);
    std::string text = GetParam().greeting;
    text.erase(text.find_last_not_of("\r\n") + 1);
    EXPECT_EQ(connection.Greeting(), text);
    std::string notReady = "Server has answered, but is not ready...\n";
    EXPECT_EQ(ActivityLog() == notReady, GetParam().logsNotReady) << ActivityLog();
}

INSTANTIATE_TEST_SUITE_P(Codes, GreetingTest,
                         ::testing::Values(GreetingCase{"ready", "200 news ready\r\n", 1, false},
                                           GreetingCase{"readyNoPosting", "201 news ready\r\n", 1, false},
                                           GreetingCase{"notReady", "400 try later\r\n", 2, true},
                                           GreetingCase{"refused", "502 access denied\r\n", 1, false},
                                           GreetingCase{"bareLineFeed", "200 news ready\n", 1, false},
                                           GreetingCase{"garbage", "\x01\xff hello\r\n", 1, false},
                                           GreetingCase{"emptyLine", "\r\n", 1, false},
                                           GreetingCase{"longestThereMayBe",
                                                        "200 " + std::string(1018, 'n') + "\r\n", 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransportTest, GreetingSplitAcrossReceivesIsWaitedFor) {
    server.SetGreetingHandler(FakeNewsServer::SendSplit("200 news ", 300, "ready\r\n"));
    NntpConnection connection(server.Address());
    EXPECT_EQ(connection.Connect(), 1);
}

struct BrokenGreetingCase {
    const char* name;
    FakeNewsServer::Handler greeting;
    bool disconnected;
};

class BrokenGreetingTest : public TransportTest, public ::testing::WithParamInterface<BrokenGreetingCase> {};

TEST_P(BrokenGreetingTest, GivesUpWithinTheGreetingTime) {
    server.SetGreetingHandler(GetParam().greeting);
    NntpConnection connection(server.Address());
    connection.SetGreetingTimeout(1500);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.Connect(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(connection.IsDisconnected(), GetParam().disconnected);
    server.Release();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BrokenGreetingTest,
    ::testing::Values(BrokenGreetingCase{"partialThenSilence", FakeNewsServer::SendThenStall("200 news"),
                                         false},
                      BrokenGreetingCase{"nothingAtAll", FakeNewsServer::SendThenStall(""), false},
                      BrokenGreetingCase{"partialThenClose", FakeNewsServer::SendThenClose("200 news"), true},
                      BrokenGreetingCase{"closeAtOnce", FakeNewsServer::SendThenClose(""), true},
                      BrokenGreetingCase{"withoutEnd",
                                         [](FakeNewsSession& session, const std::string&) {
                                             session.Send("200 ");
                                             session.SendRepeated("n", uint64_t{1} << 30);
                                         },
                                         true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransportTest, ConnectFailsWithoutAServerOrAValidAddress) {
    uint16_t closedPort;
    {
        TcpListener probe;
        ASSERT_TRUE(probe.Listen("127.0.0.1"));
        closedPort = probe.Port();
    }
    for (std::string address :
         {"127.0.0.1:" + std::to_string(closedPort), std::string("127.0.0.1:70000"), std::string("[::1")}) {
        NntpConnection connection(address);
        EXPECT_EQ(connection.Connect(), 0) << address;
        EXPECT_FALSE(connection.IsDisconnected()) << address;
        EXPECT_EQ(connection.SendText("group a\r\n"), 0) << address;
    }
}

TEST_F(TransportTest, ConnectsOverIpv6Loopback) {
    std::unique_ptr<FakeNewsServer> v6;
    try {
        v6 = std::make_unique<FakeNewsServer>("::1");
    } catch (const std::exception&) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    NntpConnection connection(v6->Address());
    EXPECT_EQ(connection.Port(), v6->Port());
    EXPECT_EQ(connection.Connect(), 1);
}

TEST_F(TransportTest, IsDisconnectedOnlyAfterTheServerCloses) {
    server.Handle("quit", FakeNewsServer::SendThenClose("205 bye\r\n"));
    NntpConnection connection(server.Address());
    EXPECT_FALSE(connection.IsDisconnected());
    ASSERT_EQ(connection.Connect(), 1);
    EXPECT_FALSE(connection.IsDisconnected());
    ASSERT_EQ(connection.SendText("quit\r\n"), 1);
    EXPECT_EQ(ReadLines(connection, 1), std::vector<std::string>{"205 bye\r\n"});
    EXPECT_FALSE(connection.ReadLine());
    EXPECT_TRUE(connection.IsDisconnected());
    EXPECT_EQ(connection.SendText("group a\r\n"), 0);
    EXPECT_EQ(connection.ReceiveBlock(), 0);
}

TEST_F(TransportTest, LineEndsWithLineFeedWithOrWithoutCarriageReturn) {
    server.Reply("list", "a\nb\r\n\nc\rd\n");
    auto connection = Connected();
    ASSERT_EQ(connection->SendText("list\r\n"), 1);
    EXPECT_EQ(ReadLines(*connection, 4), (std::vector<std::string>{"a\n", "b\r\n", "\n", "c\rd\n"}));
}

TEST_F(TransportTest, PartialLineWaitsInTheRingUntilCompleted) {
    std::string block;
    std::vector<std::string> lines;
    for (int i = 0; block.size() < 8192; ++i) {
        lines.push_back("line " + std::to_string(i) + std::string(i % 97, 'x') + "\r\n");
        block += lines.back();
    }
    std::string rest = block.substr(8192) + "tail\r\n";
    block.resize(8192);
    lines.push_back("tail\r\n");
    server.Handle("body", FakeNewsServer::SendSplit(block, 300, rest));
    auto connection = Connected();
    ASSERT_EQ(connection->SendText("body\r\n"), 1);
    std::vector<std::string> taken;
    ASSERT_EQ(connection->ReceiveBlock(), 1);
    while (std::optional<std::string> line = connection->TakeLine()) {
        taken.push_back(*line);
    }
    ASSERT_EQ(taken.size(), lines.size() - 2) << "the cut line must not come out early";
    std::vector<std::string> more = ReadLines(*connection, 2);
    taken.insert(taken.end(), more.begin(), more.end());
    EXPECT_EQ(taken, lines);
}

TEST_F(TransportTest, RingGrownPastItsFirstSizeKeepsEveryByteInOrder) {
    std::string answer;
    std::vector<std::string> lines;
    for (int i = 0; answer.size() < 3 * ByteRing::kInitialCapacity; ++i) {
        lines.push_back(std::to_string(i) + " " + std::string(i % 200, static_cast<char>('a' + i % 26)) +
                        "\r\n");
        answer += lines.back();
    }
    server.Reply("list", answer);
    auto connection = Connected();
    ASSERT_EQ(connection->SendText("list\r\n"), 1);
    // Receive everything before taking any line, so the unread bytes pass 262144; the server sends it all
    // at once, so the first time-out means everything is in.
    for (int tries = 0; tries < 10000 && connection->ReceiveBlock() == 1; ++tries) {
    }
    std::vector<std::string> taken;
    while (std::optional<std::string> line = connection->TakeLine()) {
        taken.push_back(*line);
    }
    EXPECT_EQ(taken, lines);
}

TEST_F(TransportTest, LineOfSeveralMebibytesArrivesWhole) {
    std::string huge;
    for (int i = 0; huge.size() < 5 * 1024 * 1024; ++i) {
        huge += std::to_string(i) + ",";
    }
    huge += "\r\n";
    server.Reply("body", huge + "next\r\n");
    auto connection = Connected();
    ASSERT_EQ(connection->SendText("body\r\n"), 1);
    std::vector<std::string> lines = ReadLines(*connection, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0] == huge) << "line of " << lines[0].size() << " bytes differs";
    EXPECT_EQ(lines[1], "next\r\n");
}

TEST_F(TransportTest, TimeOutLeavesTheConnectionOpenAndWritesNoTrafficEntry) {
    server.Handle("head", [](FakeNewsSession& session, const std::string&) {
        session.Pause(1600);
        session.Send("221 late\r\n");
    });
    std::string txrx = dir.file("txrx.log");
    auto connection = Connected();
    ASSERT_EQ(connection->SendText("head 1\r\n"), 1);
    connection->SetTxRxLogName(txrx.c_str());
    EXPECT_FALSE(connection->ReadLine());
    EXPECT_FALSE(connection->IsDisconnected());
    EXPECT_EQ(ReadFileBytes(txrx), "");
    std::vector<std::string> lines = ReadLines(*connection, 1);
    EXPECT_EQ(lines, std::vector<std::string>{"221 late\r\n"});
}

TEST_F(TransportTest, ResetByTheServerClosesTheConnection) {
    server.Handle("group", [](FakeNewsSession& session, const std::string&) { session.Reset(); });
    std::string txrx = dir.file("txrx.log");
    auto connection = Connected();
    connection->SetTxRxLogName(txrx.c_str());
    ASSERT_EQ(connection->SendText("group a\r\n"), 1);
    EXPECT_FALSE(connection->ReadLine());
    for (int tries = 0; tries < 10 && !connection->IsDisconnected(); ++tries) {
        connection->ReadLine();
    }
    EXPECT_TRUE(connection->IsDisconnected());
    std::string log = ReadFileBytes(txrx);
    EXPECT_NE(log.find("rx():\nError 0: Unkown Socket recv() Error\n\n"), std::string::npos) << log;
}

TEST_F(TransportTest, TrafficLogEntriesHaveTheirExactForm) {
    std::string txrx = dir.file("txrx.log");
    server.SetGreeting("200 ok\r\n");
    server.Handle("quit", FakeNewsServer::SendThenClose("205 .\r\n"));
    NntpConnection connection(server.Address());
    connection.SetTxRxLogName(txrx.c_str());
    ASSERT_EQ(connection.Connect(), 1);
    ASSERT_EQ(connection.SendText("quit\r\n"), 1);
    ReadLines(connection, 2);
    ASSERT_TRUE(connection.IsDisconnected());
    EXPECT_EQ(connection.SendText("never\r\n"), 0);
    std::string expected = "rx():\n" + DumpRow("200 ok\r\n") + "\n" + "tx():\n" + DumpRow("quit\r\n") + "\n" +
                           "rx():\n" + DumpRow("205 .\r\n") + "\n" + "rx():\nConnection terminated\n\n";
    EXPECT_EQ(ReadFileBytes(txrx), expected);
    EXPECT_EQ(DumpRow("200\r\n"),
              "32 30 30 0d  0a " + std::string(36, ' ') + "  200.." + std::string(11, ' ') + "\n");
}

TEST_F(TransportTest, TrafficEntriesHoldAtMost8192BytesEach) {
    std::string txrx = dir.file("txrx.log");
    std::string big(20000, 'x');
    server.Handle("big", [big](FakeNewsSession& s, const std::string&) { s.Send(big + "\r\n"); });
    NntpConnection connection(server.Address());
    connection.SetTxRxLogName(txrx.c_str());
    ASSERT_EQ(connection.Connect(), 1);
    ASSERT_EQ(connection.SendText("big\r\n"), 1);
    ASSERT_EQ(ReadLines(connection, 1), std::vector<std::string>{big + "\r\n"});
    // Every byte received after the command is dumped once, in entries of at most 8192 bytes.
    std::string log = ReadFileBytes(txrx);
    size_t total = 0;
    for (size_t entry = log.find("rx():\n", log.find("tx():\n")); entry != std::string::npos;
         entry = log.find("rx():\n", entry + 1)) {
        size_t bytes = 0;
        for (size_t row = entry + 6; row + 52 <= log.size() && log[row] != '\n';
             row = log.find('\n', row) + 1) {
            for (size_t column = 0; column < 52; ++column) {
                bytes += log[row + column] != ' ' && column + 1 < 52 && log[row + column + 1] != ' ' ? 1 : 0;
            }
        }
        EXPECT_LE(bytes, 8192u);
        total += bytes;
    }
    EXPECT_EQ(total, big.size() + 2);
}

TEST_F(TransportTest, NoTrafficEntriesWithoutALogName) {
    auto connection = Connected();
    connection->SetTxRxLogName(dir.file("txrx.log").c_str());
    connection->SetTxRxLogName(nullptr);
    ASSERT_EQ(connection->SendText("date\r\n"), 1);
    EXPECT_EQ(ReadLines(*connection, 1), std::vector<std::string>{"500 What?\r\n"});
    EXPECT_FALSE(std::filesystem::exists(dir.file("txrx.log")));
}

TEST_F(TransportTest, ConnectDropsWhatAnEarlierConnectionLeftUnread) {
    server.Reply("body", "222 body follows\r\nhalf a li");
    auto connection = Connected();
    ASSERT_EQ(connection->SendText("body\r\n"), 1);
    EXPECT_EQ(ReadLines(*connection, 1), std::vector<std::string>{"222 body follows\r\n"});
    EXPECT_FALSE(connection->ReadLine());
    connection->Disconnect();
    EXPECT_TRUE(connection->IsDisconnected());
    ASSERT_EQ(connection->Connect(), 1);
    EXPECT_FALSE(connection->IsDisconnected());
    ASSERT_EQ(connection->SendText("date\r\n"), 1);
    EXPECT_EQ(ReadLines(*connection, 1), std::vector<std::string>{"500 What?\r\n"});
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(TransportTest, ServerSeesCommandsExactlyAsSent) {
    auto connection = Connected();
    ASSERT_EQ(connection->SendText("group alt.test\r\n"), 1);
    const char raw[] = {'x', 'h', 'd', 'r', '\0', '1', '\r', '\n'};
    ASSERT_EQ(connection->SendBytes(raw, sizeof raw), 1);
    ReadLines(*connection, 2);
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"group alt.test", std::string("xhdr\0"
                                                                                         "1",
                                                                                         6)}));
}

} // namespace
