// Download runs against servers that send without end or number their articles up to the last 64-bit number:
// every run ends by itself, goes on past the fault as after a lost connection, and stays small.
#include "nntp/NntpConnection.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/FakeGroup.h"
#include "tests/support/FakeNewsServer.h"
#include "tests/support/PeakMemory.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>

namespace {

constexpr uint64_t kGibibyte = uint64_t{1} << 30;
constexpr long kMaxPeakKib = 100 * 1000;
constexpr int64_t kMaxArticle = std::numeric_limits<int64_t>::max();

using Fault = std::function<void(FakeNewsServer&, FakeGroup&)>;

// `command` is answered with `prefix`, then `unit` over and over up to a gibibyte, on every request or, with
// `once`, the first only.
Fault Endless(const std::string& command, const std::string& prefix, const std::string& unit, bool once) {
    return [=](FakeNewsServer& server, FakeGroup& group) {
        auto sent = std::make_shared<std::atomic<int>>(0);
        server.Handle(command, [=, &group](FakeNewsSession& session, const std::string& line) {
            if (once && (*sent)++ > 0) {
                group.Answer(session, line);
                return;
            }
            session.Send(prefix);
            session.SendRepeated(unit, kGibibyte);
        });
    };
}

struct FaultCase {
    const char* name;
    Fault fault;
    std::vector<std::string> logged;
    std::vector<std::string> decoded;
};

class MisbehavingServerTest : public EngineFixture, public ::testing::WithParamInterface<FaultCase> {
  protected:
    std::vector<std::string> Files(const std::string& group) {
        std::vector<std::string> articles;
        for (int i = 1; i <= 3; ++i) {
            std::string name = "f" + std::to_string(i) + ".bin";
            articles.push_back(Article(group, name, UUEncode(PatternBytes(5000, i), name)));
        }
        return articles;
    }

    // Runs the download in this process (a child of the test program) and ends it with the verdict, the
    // reasons on standard error.
    [[noreturn]] void RunAndExit(const FaultCase& fault) {
        const std::string group = "alt.binaries.misbehaving";
        FakeNewsServer server;
        FakeGroup articles(server, group, 1, Files(group));
        fault.fault(server, articles);
        AddGroup(AddServerAt(server.Address()), group);
        EngineTestHost host(settings_, "spindrel.cfg");
        std::string failures;
        auto check = [&failures](bool holds, const std::string& what) {
            failures += holds ? "" : what + "\n";
        };
        check(RunDownload(host), "the run did not end by itself");
        for (const std::string& line : fault.logged) {
            check(Logged(line), "not logged: " + line);
        }
        check(host.Decoded() == fault.decoded, "decoded files differ");
        long peak = PeakResidentKib();
        check(!kPlainBuild || peak < kMaxPeakKib, "peak resident memory " + std::to_string(peak) + " KiB");
        std::fputs(failures.c_str(), stderr);
        std::_Exit(failures.empty() ? 0 : 1);
    }
};

TEST_P(MisbehavingServerTest, RunEndsByItselfInBoundedMemory) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunAndExit(GetParam()), ::testing::ExitedWithCode(0), "");
}

const std::string kLongLine = "Server sent a line longer than ";
const std::vector<std::string> kAll = {"f1.bin", "f2.bin", "f3.bin"};

INSTANTIATE_TEST_SUITE_P(
    Faults, MisbehavingServerTest,
    ::testing::Values(
        FaultCase{"statusLineWithoutEnd",
                  Endless("group", "211 ", "9", false),
                  {kLongLine + "1024 bytes - connection closed",
                   "    Login failed?, Group not exist?, Proxy Failed?"},
                  {}},
        FaultCase{"xhdrLineOfAGibibyte",
                  Endless("xhdr lines", "221 lines follow\r\n1 ", "7", true),
                  {kLongLine + std::to_string(NntpConnection::kMaxAnswerLine) + " bytes - connection closed",
                   "Connection lost - reconnecting", "Re-processing group alt.binaries.misbehaving"},
                  kAll},
        FaultCase{"xhdrWithoutEnd",
                  Endless("xhdr lines", "221 lines follow\r\n", "1 80\r\n", true),
                  {"Server sent more header lines than articles asked for - connection closed",
                   "Connection lost - reconnecting"},
                  kAll},
        FaultCase{"bodyOfAGibibyteEveryTime",
                  Endless("body 2", "222 2 <2@fake>\r\n", "M" + std::string(60, 'x') + "\r\n", false),
                  {"   Article larger than 16 MBytes - connection closed", "   Article has no body",
                   "Connection lost - reconnecting"},
                  {"f1.bin", "f3.bin"}}),
    [](const auto& info) { return std::string(info.param.name); });

class LastArticleTest : public MisbehavingServerTest {};

TEST_F(LastArticleTest, LoopEndsAtTheHighestArticleNumberThereIs) {
    const std::string group = "alt.binaries.numbers";
    FakeNewsServer server;
    FakeGroup articles(server, group, kMaxArticle - 2, Files(group));
    GroupEntry& entry = AddGroup(AddServerAt(server.Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded(), kAll);
    EXPECT_TRUE(Logged("Processing article " + std::to_string(kMaxArticle) + ":"));
    EXPECT_EQ(Log().find("Processing article -"), std::string::npos);
    EXPECT_EQ(entry.NextArticle, kMaxArticle);

    // Nothing can be newer: the next visit looks at no article.
    size_t logged = Log().size();
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(Log().find("Processing article", logged), std::string::npos);
    EXPECT_EQ(entry.NextArticle, kMaxArticle);
}

} // namespace
