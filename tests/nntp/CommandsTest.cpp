#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "nntp/NntpConnection.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/TempDir.h"

namespace {

// Commands against the fake server: every answer a real server will not give on demand.
class CommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DownloadRunning.store(1);
        GroupListCancel.store(0);
        ASSERT_EQ(connection.Connect(), 1);
    }
    void TearDown() override {
        server.Release();
        DownloadRunning.store(0);
        GroupListCancel.store(0);
    }

    // Answers "xhdr lines A-B" and "xhdr subject A-B" for the listed articles within the range.
    void ServeXhdr(std::set<int64_t> withLines, std::set<int64_t> withSubject) {
        auto answer = [](std::set<int64_t> articles, bool lines) {
            return [articles, lines](FakeNewsSession& session, const std::string& command) {
                long long first = 0, last = 0;
                std::sscanf(command.c_str() + command.rfind(' ') + 1, "%lld-%lld", &first, &last);
                std::string text = "221 Header follows\r\n";
                for (int64_t article : articles) {
                    if (article >= first && article <= last) {
                        text +=
                            std::to_string(article) + " " +
                            (lines ? std::to_string(article * 10) : "subject " + std::to_string(article)) +
                            "\r\n";
                    }
                }
                session.Send(text + ".\r\n");
            };
        };
        server.Handle("xhdr lines", answer(withLines, true));
        server.Handle("xhdr subject", answer(withSubject, false));
    }

    static std::string Summary(int64_t article) {
        return "Lines: " + std::to_string(article * 10) + "\r\nSubject: subject " + std::to_string(article) +
               "\r\n";
    }

    std::vector<std::string> XhdrCommands() const {
        std::vector<std::string> found;
        for (const std::string& command : server.Commands()) {
            if (command.rfind("xhdr", 0) == 0) {
                found.push_back(command);
            }
        }
        return found;
    }

    std::string ActivityLog() const { return log.Read(); }

    TempDir dir;
    ActivityLogFile log{dir.file("activity.log")};
    FakeNewsServer server;
    NntpConnection connection{server.Address()};
};

struct GroupCase {
    const char* name;
    std::string reply;
    bool selected;
    int64_t count, first, last;
    std::string log;
};

class SelectGroupTest : public CommandsTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(SelectGroupTest, ReplyDecidesTheGroupStatus) {
    server.Reply("group", GetParam().reply);
    std::unique_ptr<GroupStatus> status = connection.SelectGroup("Alt.Binaries.Test  ");
    ASSERT_EQ(status != nullptr, GetParam().selected);
    if (status) {
        EXPECT_EQ(status->count(), GetParam().count);
        EXPECT_EQ(status->first(), GetParam().first);
        EXPECT_EQ(status->last(), GetParam().last);
        EXPECT_EQ(status->groupName(), "alt.binaries.test");
    }
    EXPECT_EQ(ActivityLog(), GetParam().log);
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"group Alt.Binaries.Test  "});
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SelectGroupTest,
    ::testing::Values(
        GroupCase{"selected", "211 1234 5000 6233 alt.binaries.test\r\n", true, 1234, 5000, 6233, ""},
        GroupCase{"beyond32Bits", "211 3 4294967296 4294967298 alt.binaries.test\r\n", true, 3, 4294967296LL,
                  4294967298LL, ""},
        GroupCase{"noSuchGroup", "411 No such group\r\n", false, 0, 0, 0, ""},
        GroupCase{"notReady", "400 not ready\r\n", false, 0, 0, 0,
                  "Server has answered, but is not ready...\n"},
        GroupCase{"lastOfAll", "211 3 9223372036854775805 9223372036854775807 alt.binaries.test\r\n", true, 3,
                  9223372036854775805LL, 9223372036854775807LL, ""},
        GroupCase{"beyond64Bits", "211 3 1 9223372036854775808 alt.binaries.test\r\n", false, 0, 0, 0, ""},
        GroupCase{"negative", "211 3 -5 -3 alt.binaries.test\r\n", false, 0, 0, 0, ""},
        GroupCase{"tooFewNumbers", "211 12 3\r\n", false, 0, 0, 0, ""},
        GroupCase{"refusalWithNumbers", "502 1 2 3 denied\r\n", false, 0, 0, 0, ""},
        GroupCase{"garbage", "hello there\r\n", false, 0, 0, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandsTest, CacheRangeStopsAtTheHighestArticleNumber) {
    const int64_t highest = std::numeric_limits<int64_t>::max();
    server.Reply("xhdr lines", "221 lines\r\n9223372036854775806 40\r\n.\r\n");
    server.Reply("xhdr subject", "221 subjects\r\n9223372036854775806 last but one\r\n.\r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(highest - 1), "Lines: 40\r\nSubject: last but one\r\n");
    EXPECT_EQ(XhdrCommands(),
              (std::vector<std::string>{"xhdr lines 9223372036854775806-9223372036854775807",
                                        "xhdr subject 9223372036854775806-9223372036854775807"}));
}

TEST_F(CommandsTest, GroupStatusOfShortNamesStaysEmpty) {
    GroupStatus shortGroup("news.example.com", "misc", 3, 1, 3);
    EXPECT_EQ(shortGroup.first(), 0);
    EXPECT_EQ(shortGroup.last(), 0);
    EXPECT_EQ(shortGroup.groupName(), "");
    GroupStatus shortServer("srv", "alt.test", 3, 1, 3);
    EXPECT_EQ(shortServer.last(), 0);
    GroupStatus both("NEWS ", "Alt.Test ", 3, 1, 3);
    EXPECT_EQ(both.serverName(), "news");
    EXPECT_EQ(both.groupName(), "alt.test");
    EXPECT_EQ(both.last(), 3);
}

TEST_F(CommandsTest, GroupNameThatWouldEndTheCommandIsNotSent) {
    EXPECT_EQ(connection.SelectGroup("alt.test\r\nlist"), nullptr);
    EXPECT_EQ(connection.SelectGroup(""), nullptr);
    EXPECT_TRUE(server.Commands().empty());
}

TEST_F(CommandsTest, CacheRangesFollowTheRequests) {
    std::set<int64_t> all;
    for (int64_t i = 90; i < 140; ++i) {
        all.insert(i);
    }
    ServeXhdr(all, all);
    connection.SelectGroup("alt.binaries.test");
    EXPECT_EQ(connection.FetchHeaderSummary(100), Summary(100));
    EXPECT_EQ(XhdrCommands(), (std::vector<std::string>{"xhdr lines 100-115", "xhdr subject 100-115"}));
    for (int64_t article = 101; article <= 115; ++article) {
        EXPECT_EQ(connection.FetchHeaderSummary(article), Summary(article));
    }
    EXPECT_EQ(XhdrCommands().size(), 2u);
    EXPECT_EQ(connection.FetchHeaderSummary(116), Summary(116));
    EXPECT_EQ(connection.FetchHeaderSummary(99), Summary(99));
    EXPECT_EQ(XhdrCommands(),
              (std::vector<std::string>{"xhdr lines 100-115", "xhdr subject 100-115", "xhdr lines 116-131",
                                        "xhdr subject 116-131", "xhdr lines 99-114", "xhdr subject 99-114"}));
}

TEST_F(CommandsTest, ArticlesTheServerLeftOutGetNoSummary) {
    // 101 has no Lines header, 103 no subject: answers are matched by article number, never by position.
    ServeXhdr({100, 102, 103, 104}, {100, 101, 102, 104});
    EXPECT_EQ(connection.FetchHeaderSummary(101), std::nullopt) << "the first listed article is not 101";
    EXPECT_EQ(connection.FetchHeaderSummary(102), Summary(102));
    EXPECT_EQ(connection.FetchHeaderSummary(103), "Lines: 1030\r\nSubject: \r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(104), Summary(104));
    EXPECT_EQ(connection.FetchHeaderSummary(110), std::nullopt);
    EXPECT_EQ(XhdrCommands().size(), 2u) << "everything after the first request came from the cache";
}

TEST_F(CommandsTest, EmptyStretchCostsOneExchange) {
    ServeXhdr({5, 6}, {5, 6});
    EXPECT_EQ(connection.FetchHeaderSummary(5), Summary(5));
    connection.SelectGroup("alt.binaries.other");
    server.Reply("xhdr lines", "221 ok\r\n.\r\n");
    for (int64_t article = 5; article <= 20; ++article) {
        EXPECT_EQ(connection.FetchHeaderSummary(article), std::nullopt)
            << "nothing left from the other group";
    }
    EXPECT_EQ(XhdrCommands(),
              (std::vector<std::string>{"xhdr lines 5-20", "xhdr subject 5-20", "xhdr lines 5-20"}));
}

TEST_F(CommandsTest, NewSelectedGroupEmptiesTheCache) {
    ServeXhdr({5, 6}, {5, 6});
    server.Reply("group", "211 2 5 6 alt.binaries.test\r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(5), Summary(5));
    connection.SelectGroup("alt.binaries.test");
    EXPECT_EQ(connection.FetchHeaderSummary(6), Summary(6));
    EXPECT_EQ(XhdrCommands().size(), 4u);
}

TEST_F(CommandsTest, CacheSizeBelowTwoAsksForEachArticleAlone) {
    ServeXhdr({7, 8, 9}, {7, 8, 9});
    for (int size : {1, 0}) {
        connection.SetHeaderCacheSize(size);
        EXPECT_EQ(connection.FetchHeaderSummary(7), Summary(7)) << size;
        EXPECT_EQ(connection.FetchHeaderSummary(8), Summary(8)) << size;
        EXPECT_EQ(connection.FetchHeaderSummary(8), Summary(8)) << size;
    }
    std::vector<std::string> expected;
    for (int round = 0; round < 2; ++round) {
        for (std::string range : {"7-7", "8-8", "8-8"}) {
            expected.push_back("xhdr lines " + range);
            expected.push_back("xhdr subject " + range);
        }
    }
    EXPECT_EQ(XhdrCommands(), expected);
}

TEST_F(CommandsTest, RefusedXhdrFallsBackToHeadForGood) {
    server.Reply("xhdr", "500 What?\r\n");
    server.Handle("head", [](FakeNewsSession& session, const std::string& command) {
        session.Send("221 " + command.substr(5) + " <id> head\r\nSubject: s" + command.substr(5) +
                     "\r\n.\r\n");
    });
    EXPECT_TRUE(connection.XhdrUsable());
    EXPECT_EQ(connection.FetchHeaderSummary(100), "Subject: s100\r\n");
    EXPECT_FALSE(connection.XhdrUsable());
    EXPECT_EQ(connection.FetchHeaderSummary(101), "Subject: s101\r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(300), "Subject: s300\r\n");
    EXPECT_EQ(server.Commands(),
              (std::vector<std::string>{"xhdr lines 100-115", "head 100", "head 101", "head 300"}));
}

TEST_F(CommandsTest, LineSplitAcrossReceivesInsideAnXhdrAnswer) {
    server.Handle("xhdr lines", FakeNewsServer::SendSplit("221 ok\r\n100 12", 1300, "34\r\n101 7\r\n.\r\n"));
    server.Reply("xhdr subject", "221 ok\r\n100 first\r\n101 second\r\n.\r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(100), "Lines: 1234\r\nSubject: first\r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(101), "Lines: 7\r\nSubject: second\r\n");
    // Nothing of the first answer is left over for the next command.
    server.Reply("group", "211 2 100 101 alt.binaries.test\r\n");
    EXPECT_NE(connection.SelectGroup("alt.binaries.test"), nullptr);
}

TEST_F(CommandsTest, LoginAskedForInsideAnXhdrAnswerIsGivenAndTheCommandRepeated) {
    std::atomic<int> asked{0};
    server.Handle("xhdr lines", [&asked](FakeNewsSession& session, const std::string&) {
        session.Send(asked++ == 0 ? "480 Authentication required\r\n" : "221 ok\r\n5 40\r\n.\r\n");
    });
    server.Reply("xhdr subject", "221 ok\r\n5 five\r\n.\r\n");
    server.Reply("authinfo user", "381 more\r\n");
    server.Reply("authinfo pass", "281 ok\r\n");
    EXPECT_EQ(connection.Login("reader", "secret"), 1);
    EXPECT_EQ(connection.FetchHeaderSummary(5), "Lines: 40\r\nSubject: five\r\n");
    EXPECT_EQ(server.Commands(),
              (std::vector<std::string>{"authinfo user reader", "authinfo pass secret", "xhdr lines 5-20",
                                        "authinfo user reader", "authinfo pass secret", "xhdr lines 5-20",
                                        "xhdr subject 5-20"}));
}

TEST_F(CommandsTest, LoginAskedForTwiceEndsTheExchange) {
    server.Reply("xhdr lines", "480 Authentication required\r\n");
    server.Reply("authinfo user", "381 more\r\n");
    server.Reply("authinfo pass", "281 ok\r\n");
    connection.Login("reader", "secret");
    EXPECT_EQ(connection.FetchHeaderSummary(5), std::nullopt);
    EXPECT_TRUE(connection.XhdrUsable());
}

struct StatusCase {
    const char* name;
    std::string reply;
    bool disconnected;
};

class UselessStatusTest : public CommandsTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(UselessStatusTest, EndsTheExchangeAsAFailure) {
    server.Reply("body", GetParam().reply);
    server.Reply("head", GetParam().reply);
    server.Reply("xhdr lines", GetParam().reply);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.FetchBody(3, 10, nullptr), std::nullopt);
    if (!GetParam().disconnected) {
        EXPECT_EQ(connection.FetchHead(3), std::nullopt);
        std::vector<HeaderCacheEntry> scratch;
        EXPECT_EQ(connection.XhdrLines(scratch, 3, 4), -1);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(connection.IsDisconnected(), GetParam().disconnected);
}

INSTANTIATE_TEST_SUITE_P(Codes, UselessStatusTest,
                         ::testing::Values(StatusCase{"noSuchNumber", "423 No such article number\r\n",
                                                      false},
                                           StatusCase{"noGroup", "412 No newsgroup selected\r\n", false},
                                           StatusCase{"noCurrent", "420 No current article\r\n", false},
                                           StatusCase{"noSuchId", "430 No such article\r\n", false},
                                           StatusCase{"denied", "502 Permission denied\r\n", false},
                                           StatusCase{"otherFailure", "403 internal fault\r\n", false},
                                           StatusCase{"garbage", "hello\r\nmore\r\n", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandsTest, UselessStatusLeavesTheConnectionInStep) {
    server.Reply("body 3", "423 No such article number\r\n");
    server.Reply("body 4", "222 4 <id> body\r\nfour\r\n.\r\n");
    EXPECT_EQ(connection.FetchBody(3, 1, nullptr), std::nullopt);
    EXPECT_EQ(connection.FetchBody(4, 1, nullptr), "four\r\n");
}

// An answer as large as a bound allows (extra 0), and one a line or a byte past it (extra 1). Made when the
// case runs: some are tens of megabytes.
struct BoundCase {
    const char* name;
    const char* command;
    std::function<std::string(size_t extra)> answer;
    std::function<bool(NntpConnection&)> taken;
    std::string log;
};

class ReplyBoundTest : public CommandsTest, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(ReplyBoundTest, AnswerPastTheBoundCutsTheServerOff) {
    server.Reply(GetParam().command, GetParam().answer(0));
    EXPECT_TRUE(GetParam().taken(connection));
    EXPECT_FALSE(connection.IsDisconnected());
    EXPECT_EQ(ActivityLog(), "");
    server.Reply(GetParam().command, GetParam().answer(1));
    EXPECT_FALSE(GetParam().taken(connection));
    EXPECT_TRUE(connection.IsDisconnected());
    EXPECT_EQ(ActivityLog(), GetParam().log + " - connection closed\n");
}

// `start`, `count` copies of `line`, the end line; `length` pads the first line to that many bytes.
std::string Lines(const std::string& start, size_t count, const std::string& line, size_t length = 0) {
    std::string first = line.substr(0, line.size() - 2);
    first.resize(std::max(first.size(), length - std::min<size_t>(length, 2)), '7');
    std::string text = start + first + "\r\n";
    for (size_t i = 1; i < count; ++i) {
        text += line;
    }
    return text + ".\r\n";
}

const size_t kAnswerLine = NntpConnection::kMaxAnswerLine;
const std::string kLongLine = "Server sent a line longer than " + std::to_string(kAnswerLine) + " bytes";

bool Selected(NntpConnection& connection) {
    return connection.SelectGroup("alt.binaries.test") != nullptr;
}
bool XhdrTaken(NntpConnection& connection) {
    std::vector<HeaderCacheEntry> scratch;
    return connection.XhdrLines(scratch, 1, 16) != -1;
}
bool BodyTaken(NntpConnection& connection) {
    return connection.FetchBody(1, 2, nullptr).has_value();
}
bool ListTaken(NntpConnection& connection) {
    std::vector<std::string> lines;
    return connection.FetchGroupList(lines, nullptr, nullptr) == 32768;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, ReplyBoundTest,
    ::testing::Values(
        BoundCase{"statusLine", "group",
                  [](size_t extra) {
                      return "211 1 1 1 alt.binaries.test" + std::string(995 + extra, ' ') + "\r\n";
                  },
                  Selected, "Server sent a line longer than 1024 bytes"},
        BoundCase{"xhdrLine", "xhdr lines",
                  [](size_t extra) { return Lines("221 lines\r\n", 1, "1 \r\n", kAnswerLine + extra); },
                  XhdrTaken, kLongLine},
        BoundCase{"xhdrLineCount", "xhdr lines",
                  [](size_t extra) { return Lines("221 lines\r\n", 16 + extra, "2 30\r\n"); }, XhdrTaken,
                  "Server sent more header lines than articles asked for"},
        BoundCase{"bodyLine", "body",
                  [](size_t extra) { return Lines("222 1 <id>\r\n", 1, "b\r\n", kAnswerLine + extra); },
                  BodyTaken, kLongLine},
        BoundCase{"body", "body",
                  [](size_t extra) {
                      return Lines("222 1 <id>\r\n", 16384 + extra, std::string(1022, 'b') + "\r\n");
                  },
                  BodyTaken, "   Article larger than 16 MBytes"},
        BoundCase{"groupList", "list",
                  [](size_t extra) {
                      // Each line takes a kibibyte as a stored string.
                      std::string line = std::string(1024 - sizeof(std::string), 'g') + "\r\n";
                      return Lines("215 list\r\n", 32768 + extra, line);
                  },
                  ListTaken, "Server sent more than 32 MBytes of groups"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandsTest, AnswerGoingOnPastItsEndIsNotTakenForTheNextOne) {
    server.Reply("group", "411 No such group\r\n221 lines\r\n10 3\r\n.\r\n");
    server.Reply("xhdr lines", "221 lines\r\n10 7\r\n.\r\n");
    EXPECT_EQ(connection.SelectGroup("alt.binaries.test"), nullptr);
    std::vector<HeaderCacheEntry> scratch;
    EXPECT_EQ(connection.XhdrLines(scratch, 10, 10), -1);
    EXPECT_TRUE(connection.IsDisconnected());
    EXPECT_EQ(ActivityLog(), "Server sent more than was asked for - connection closed\n");
}

TEST_F(CommandsTest, WhatAClosedConnectionLeftUnreadIsNoAnswer) {
    server.Handle("group", FakeNewsServer::SendThenClose(
                               "211 1 10 10 alt.binaries.test\r\n221 lines\r\n10 3\r\n.\r\n"));
    EXPECT_NE(connection.SelectGroup("alt.binaries.test"), nullptr);
    std::vector<HeaderCacheEntry> scratch;
    EXPECT_EQ(connection.XhdrLines(scratch, 10, 10), -1);
    EXPECT_TRUE(scratch.empty());
}

TEST_F(CommandsTest, BodyKeepsEveryByteAndRemovesOneDotOfStuffedLines) {
    const char sent[] = "plain\r\n..a\r\n...\r\n..\r\n.x\r\nnul\0inside\r\nbare lf\n\xff\xfe\r\n";
    const char kept[] = "plain\r\n.a\r\n..\r\n.\r\n.x\r\nnul\0inside\r\nbare lf\n\xff\xfe\r\n";
    server.Reply("body", "222 1 <id> body\r\n" + std::string(sent, sizeof sent - 1) + ".\r\nafter\r\n");
    EXPECT_EQ(connection.FetchBody(1, 8, nullptr), std::string(kept, sizeof kept - 1));
}

TEST_F(CommandsTest, ManyStuffedLinesAmongPlainOnesAcrossManyReceives) {
    // Every third line is dot-stuffed; sent in odd-sized pieces so that lines break across receives.
    std::string sent, kept;
    for (int i = 0; i < 60000; ++i) {
        std::string line = (i % 3 == 0 ? "." : "") + std::to_string(i) + "\r\n";
        sent += (line[0] == '.' ? "." : "") + line;
        kept += line;
    }
    server.Handle("body", [sent](FakeNewsSession& session, const std::string&) {
        std::string all = "222 1 <id> body\r\n" + sent + ".\r\n";
        for (size_t at = 0; at < all.size(); at += 77777) {
            session.Send(all.substr(at, 77777));
        }
    });
    std::optional<std::string> body = connection.FetchBody(1, 60000, nullptr);
    ASSERT_TRUE(body);
    EXPECT_TRUE(*body == kept) << body->size() << " vs " << kept.size();
}

TEST_F(CommandsTest, BodyLineOfSeveralMebibytesAndWhatFollowsTheEnd) {
    std::string huge(6 << 20, 'u');
    huge += "\r\n";
    server.Handle("body", [huge](FakeNewsSession& session, const std::string&) {
        // The end line and the next answer arrive together with the body.
        session.Send("222 1 <id> body\r\n" + huge + "short\r\n.\r\n211 1 1 1 alt.binaries.test\r\n");
    });
    std::optional<std::string> body = connection.FetchBody(1, 2, nullptr);
    ASSERT_TRUE(body);
    EXPECT_TRUE(*body == huge + "short\r\n") << body->size();
    EXPECT_EQ(connection.ReadLine(), "211 1 1 1 alt.binaries.test\r\n");
}

TEST_F(CommandsTest, BodyFollowsTheGivenPrefixAndAnEmptyBodyIsStillNoBody) {
    server.Reply("body 1", "222 1 <id> body\r\n..dot\r\nline\r\n.\r\n");
    server.Reply("body 2", "222 2 <id> body\r\n.\r\n");
    EXPECT_EQ(connection.FetchBody(1, 2, nullptr, "Subject: x\r\n\r\n"),
              "Subject: x\r\n\r\n.dot\r\nline\r\n");
    EXPECT_EQ(connection.FetchBody(2, 0, nullptr, "Subject: y\r\n\r\n"), std::nullopt);
}

TEST_F(CommandsTest, EmptyBodyIsNoBody) {
    server.Reply("body", "222 1 <id> body\r\n.\r\n");
    EXPECT_EQ(connection.FetchBody(1, 0, nullptr), std::nullopt);
    EXPECT_FALSE(connection.IsDisconnected());
    EXPECT_EQ(connection.FetchBody(0, 0, nullptr), std::nullopt) << "article 0 is never asked for";
    EXPECT_EQ(server.Commands().size(), 1u);
}

TEST_F(CommandsTest, BodyProgressEveryHundredLinesNeverAfterTheEnd) {
    std::string body;
    for (int i = 0; i < 250; ++i) {
        body += "line " + std::to_string(i) + "\r\n";
    }
    server.Reply("body", "222 1 <id> body\r\n" + body + ".\r\n");
    std::set<long> counts;
    std::vector<int> percents;
    auto progress = [&](float, int percent, long lines) {
        counts.insert(lines);
        percents.push_back(percent);
        return 1;
    };
    EXPECT_EQ(connection.FetchBody(1, 250, progress), body);
    EXPECT_EQ(counts, (std::set<long>{0, 100, 200}));
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 80);

    percents.clear();
    EXPECT_EQ(connection.FetchBody(1, 0, progress), body);
    EXPECT_TRUE(std::all_of(percents.begin(), percents.end(), [](int p) { return p == 100; }));
}

TEST_F(CommandsTest, ProgressAnsweringZeroStopsTheBody) {
    server.Handle("body", FakeNewsServer::SendThenStall("222 1 <id> body\r\n"));
    int calls = 0;
    auto stop = [&calls](float, int, long) { return ++calls < 3 ? 1 : 0; };
    EXPECT_EQ(connection.FetchBody(1, 10, stop), std::nullopt);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(connection.IsDisconnected()) << "the rest of the body must not be read as the next reply";
}

TEST_F(CommandsTest, SilentServerMidBodyGivesUpOnceTheDownloadStops) {
    server.Handle("body", FakeNewsServer::SendThenStall("222 1 <id> body\r\nfirst line\r\nsecond li"));
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        DownloadRunning.store(0);
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.FetchBody(1, 10, nullptr), std::nullopt);
    auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_GE(took, std::chrono::milliseconds(1400));
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_TRUE(connection.IsDisconnected());
}

TEST_F(CommandsTest, SilentServerMidXhdrGivesUpOnceTheDownloadStops) {
    server.Handle("xhdr lines", FakeNewsServer::SendThenStall("221 ok\r\n5 1"));
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        DownloadRunning.store(0);
    });
    EXPECT_EQ(connection.FetchHeaderSummary(5), std::nullopt);
    stopper.join();
    EXPECT_TRUE(connection.IsDisconnected());
}

TEST_F(CommandsTest, ServerClosingMidAnswerGivesNothing) {
    server.Handle("body", FakeNewsServer::SendThenClose("222 1 <id> body\r\nline\r\n"));
    EXPECT_EQ(connection.FetchBody(1, 10, nullptr), std::nullopt);
    EXPECT_TRUE(connection.IsDisconnected());
    EXPECT_EQ(connection.FetchHead(1), std::nullopt);
}

TEST_F(CommandsTest, SplitStatusLineIsWaitedFor) {
    server.Handle("head", FakeNewsServer::SendSplit("22", 1200, "1 1 <id> head\r\nSubject: x\r\n.\r\n"));
    EXPECT_EQ(connection.FetchHead(1), "Subject: x\r\n");
}

struct LoginCase {
    const char* name;
    std::string user, password;
    std::vector<std::string> replies; // to "authinfo user", "authinfo pass"
    int expected;
    size_t commandsSent;
};

class LoginTest : public CommandsTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginTest, SendsOnlyWhatItMay) {
    const LoginCase& c = GetParam();
    if (c.replies.size() > 0) {
        server.Reply("authinfo user", c.replies[0]);
    }
    if (c.replies.size() > 1) {
        server.Reply("authinfo pass", c.replies[1]);
    }
    EXPECT_EQ(connection.Login(c.user, c.password), c.expected);
    server.Reply("date", "111 20260101000000\r\n");
    connection.SendCommand("date\r\n"); // the server has seen everything sent before it
    EXPECT_EQ(server.Commands().size(), c.commandsSent + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginTest,
    ::testing::Values(LoginCase{"accepted", "u", "p", {"381 more\r\n", "281 ok\r\n"}, 1, 2},
                      LoginCase{"wrongPassword", "u", "p", {"381 more\r\n", "481 failed\r\n"}, 0, 2},
                      LoginCase{"noPasswordWanted", "u", "p", {"281 ok\r\n"}, 0, 1},
                      LoginCase{"userRefused", "u", "p", {"481 no\r\n"}, 0, 1},
                      LoginCase{"emptyPassword", "u", "", {}, 0, 0},
                      LoginCase{"emptyUser", "", "p", {}, 0, 0},
                      LoginCase{
                          "longestUser", std::string(79, 'u'), "p", {"381 more\r\n", "281 ok\r\n"}, 1, 2},
                      LoginCase{"userTooLong", std::string(80, 'u'), "p", {}, 0, 0},
                      LoginCase{"passwordTooLong", "u", std::string(80, 'p'), {}, 0, 0},
                      LoginCase{"passwordWithLineEnd", "u", "p\r\nlist", {}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandsTest, EmptyPasswordIsStillStoredForTheNextLogin) {
    server.Reply("group", "480 Authentication required\r\n");
    EXPECT_EQ(connection.Login("reader", ""), 0);
    EXPECT_EQ(connection.SelectGroup("alt.binaries.test"), nullptr);
    EXPECT_EQ(server.Commands(),
              (std::vector<std::string>{"group alt.binaries.test", "group alt.binaries.test"}));
}

TEST_F(CommandsTest, GroupListKeepsOnlyPlainNames) {
    server.Reply("list", "215 list follows\r\n"
                         "alt.binaries.test 0000000003 0000000001 y\r\n"
                         "alt.c++ 10 1 y\r\n"
                         "alt.x&y 10 1 y\r\n"
                         "Comp.Lang_C-x 5 1 m\r\n"
                         "ab\r\n"
                         ".\r\n");
    std::vector<std::string> lines;
    GroupListProgress progress;
    EXPECT_EQ(connection.FetchGroupList(lines, &progress, nullptr), 2);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"alt.binaries.test 0000000003 0000000001 y", "Comp.Lang_C-x 5 1 m"}));
    EXPECT_EQ(progress.Count(), 2);
    EXPECT_EQ(progress.LastLine(), "Comp.Lang_C-x 5 1 m");
}

TEST_F(CommandsTest, NewGroupsSendsTheDateAsGiven) {
    server.Reply("newgroups", "231 new groups follow\r\nalt.new 3 1 y\r\n.\r\n");
    std::vector<std::string> lines;
    EXPECT_EQ(connection.FetchGroupList(lines, nullptr, "990105 203000"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{"alt.new 3 1 y"});
    EXPECT_EQ(connection.FetchGroupList(lines, nullptr, "990105\r\nlist"), 0);
    EXPECT_EQ(connection.FetchGroupList(lines, nullptr, ""), 0);
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"newgroups 990105 203000"});
}

TEST_F(CommandsTest, GroupListWithWrongStartCodeStoresNothing) {
    server.Reply("newgroups", "215 list follows\r\nalt.new 3 1 y\r\n.\r\n");
    std::vector<std::string> lines;
    EXPECT_EQ(connection.FetchGroupList(lines, nullptr, "990105 203000"), 0);
    EXPECT_TRUE(lines.empty());
}

TEST_F(CommandsTest, GroupListCutShortCountsAsNothing) {
    server.Handle("list", FakeNewsServer::SendThenClose("215 list follows\r\nalt.one 1 1 y\r\n"));
    std::vector<std::string> lines;
    EXPECT_EQ(connection.FetchGroupList(lines, nullptr, nullptr), 0);
    EXPECT_TRUE(connection.IsDisconnected());
}

TEST_F(CommandsTest, GroupListCancelEndsASilentList) {
    server.Handle("list", FakeNewsServer::SendThenStall("215 list follows\r\nalt.one 1 1 y\r\nalt.tw"));
    GroupListProgress progress;
    std::thread canceller([&progress] {
        for (int i = 0; i < 100 && progress.Count() == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        GroupListCancel.store(1);
    });
    std::vector<std::string> lines;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.FetchGroupList(lines, &progress, nullptr), 0);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(lines, std::vector<std::string>{"alt.one 1 1 y"});
}

TEST_F(CommandsTest, LoginAskedForInsideTheListIsGivenAndTheListRepeated) {
    std::atomic<int> asked{0};
    server.Handle("list", [&asked](FakeNewsSession& session, const std::string&) {
        session.Send(asked++ == 0 ? "480 Authentication required\r\n" : "215 ok\r\nalt.one 1 1 y\r\n.\r\n");
    });
    server.Reply("authinfo user", "381 more\r\n");
    server.Reply("authinfo pass", "281 ok\r\n");
    connection.Login("reader", "secret");
    std::vector<std::string> lines;
    EXPECT_EQ(connection.FetchGroupList(lines, nullptr, nullptr), 1);
    EXPECT_EQ(server.Commands().back(), "list");
    EXPECT_EQ(asked, 2);
}

TEST_F(CommandsTest, HeaderCacheEntryKeepsNumbersAndCutsLongTexts) {
    HeaderCacheEntry entry;
    EXPECT_EQ(entry.number(), 0);
    EXPECT_EQ(entry.text(), "");
    entry.assignNumber(7, 123456789012LL);
    EXPECT_EQ(entry.articleNumber(), 7);
    EXPECT_EQ(entry.number(), 123456789012LL);
    entry.assignText(8, std::string(2000, 's'));
    EXPECT_EQ(entry.text(), std::string(1023, 's'));
    EXPECT_EQ(entry.length(), 1024u);
    entry.assign(9, nullptr, 0);
    EXPECT_EQ(entry.articleNumber(), 9);
    EXPECT_EQ(entry.text(), "");
    EXPECT_EQ(entry.number(), 0);
}

} // namespace
