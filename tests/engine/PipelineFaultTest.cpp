// Faults in the middle of commands sent ahead, from the scriptable fake server: the run goes on as after a
// drop, and no answer is ever taken for another command's.
#include "tests/engine/ArticleServer.h"
#include "tests/engine/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "config/ServerList.h"
#include "nntp/Flags.h"

namespace {

const char* const kGroup = "alt.binaries.ahead";
constexpr int kArticles = 6;

// Sets up the server's faults for one run; the server and its articles are new for every run.
using Faults = std::function<void(FakeNewsServer&, ArticleServer&)>;

class PipelineFaultTest : public EngineFixture {
  protected:
    void TearDown() override {
        PipelineCommands.store(true);
        EngineFixture::TearDown();
    }

    std::vector<std::string> Files(int count = kArticles) {
        std::vector<std::string> articles;
        for (int i = 1; i <= count; ++i) {
            std::string name = "f" + std::to_string(i) + ".bin";
            articles.push_back(Article(kGroup, name, UUEncode(PatternBytes(4000, 100 + i), name)));
        }
        return articles;
    }

    // One run from article 0 in a directory of its own; returns its log with the port made neutral.
    std::string Run(bool pipelined, const std::string& name, const Faults& faults,
                    const std::string& user = "") {
        PipelineCommands.store(pipelined);
        std::string dir = dir_.file(name);
        std::filesystem::create_directories(dir + "/out");
        std::filesystem::current_path(dir);
        FakeNewsServer fake;
        ArticleServer articles(fake, kGroup, files_);
        faults(fake, articles);
        Settings settings;
        settings.OutputDir = dir + "/out/";
        settings.PartsDir = dir + "/";
        settings.BandWidthLimit = 0;
        settings.HeaderCacheSize = headerCacheSize_;
        auto server = std::make_unique<ServerEntry>();
        server->Address = fake.Address();
        server->User = user;
        server->Password = user.empty() ? "" : "secret";
        auto group = std::make_unique<GroupEntry>();
        group->Name = kGroup;
        AppendGroup(*server, std::move(group));
        AddServer(settings, std::move(server));
        SetLogFileName((dir + "/activity.log").c_str());
        EngineTestHost host(settings, "spindrel.cfg");
        EXPECT_TRUE(StartDownload(host, settings));
        EXPECT_TRUE(host.WaitForEnd(std::chrono::seconds(60)));
        JoinDownload();
        FlushLog();
        SetLogFileName(log_.path().c_str());
        decoded_ = host.Decoded();
        // Every file decoded holds its own article's bytes, never another answer's.
        for (const std::string& file : decoded_) {
            int i = std::atoi(file.c_str() + 1);
            EXPECT_EQ(ReadFileBytes(dir + "/out/" + kGroup + "/" + file), PatternBytes(4000, 100 + i))
                << file;
        }
        std::string log = ReadFileBytes(dir + "/activity.log");
        std::string address = fake.Address();
        for (size_t at = log.find(address); at != std::string::npos; at = log.find(address, at)) {
            log.replace(at, address.size(), "SERVER");
        }
        return log;
    }

    // The files of every article but `missing`.
    static std::vector<std::string> AllFiles(int missing = 0) {
        std::vector<std::string> all;
        for (int i = 1; i <= kArticles; ++i) {
            if (i != missing) {
                all.push_back("f" + std::to_string(i) + ".bin");
            }
        }
        return all;
    }

    std::vector<std::string> files_ = Files();
    std::vector<std::string> decoded_;
    int headerCacheSize_ = 16;
};

// The answer to the first request of `article`'s body, in place of the real one; later requests are served.
ArticleServer::BodyFault FirstBody(int article,
                                   std::function<void(FakeNewsSession&, const std::string&)> fault) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    return [=](FakeNewsSession& s, int n, const std::string& wire) {
        if (n != article || done->exchange(true)) {
            return false;
        }
        fault(s, wire);
        return true;
    };
}

// A server that asks for a login in the middle of the answers: from the third body on it answers 480 until
// the client has logged in again.
void LoginInTheMiddle(FakeNewsServer& fake, ArticleServer& articles) {
    auto needLogin = std::make_shared<std::atomic<bool>>(false);
    auto asked = std::make_shared<std::atomic<bool>>(false);
    fake.Reply("authinfo user", "381 More authentication required\r\n");
    fake.Handle("authinfo pass", [needLogin](FakeNewsSession& s, const std::string&) {
        needLogin->store(false);
        s.Send("281 Authentication accepted\r\n");
    });
    articles.SetBodyFault([needLogin, asked](FakeNewsSession& s, int n, const std::string&) {
        if (n == 3 && !asked->exchange(true)) {
            needLogin->store(true);
        }
        if (needLogin->load()) {
            s.Send("480 Authentication required\r\n");
            return true;
        }
        return false;
    });
}

// A 480 in the middle of the answers: the answers behind it are read, the client logs in again and sends
// what is unanswered, and the log is, line for line, that of a run with one command at a time.
TEST_F(PipelineFaultTest, LoginInTheMiddleLogsAsOneCommandAtATime) {
    std::string oneAtATime = Run(false, "single", LoginInTheMiddle, "reader");
    EXPECT_EQ(decoded_, AllFiles());
    std::string pipelined = Run(true, "pipelined", LoginInTheMiddle, "reader");
    EXPECT_EQ(decoded_, AllFiles());
    EXPECT_EQ(pipelined, oneAtATime);
}

struct BadAnswerCase {
    const char* name;
    Faults faults;
    const char* logged; // how the connection was given up
    int missing;        // the article the server refused, or 0
};

// A drop in the middle of the third answer, and answers that do not belong to what was sent: the link is
// closed and opened again, the group is processed again from the first article whose answer did not come
// (one command at a time where the server answered out of order), and every file is decoded once, from its
// own article.
TEST_F(PipelineFaultTest, AnswersThatDoNotBelongCloseTheLinkAndTheRunGoesOn) {
    const std::string outOfOrder = "Server answered commands out of order - sending one command at a time";
    const BadAnswerCase cases[] = {
        {"drop in the third answer",
         [](FakeNewsServer&, ArticleServer& articles) {
             articles.SetBodyFault(FirstBody(3, [](FakeNewsSession& s, const std::string& wire) {
                 s.Send(wire.substr(0, wire.size() / 2));
                 s.Close();
             }));
         },
         "Connection lost - reconnecting", 0},
        {"reset in the third answer", // what the client had not read yet is lost with the link
         [](FakeNewsServer&, ArticleServer& articles) {
             articles.SetBodyFault(FirstBody(3, [](FakeNewsSession& s, const std::string& wire) {
                 s.Send(wire.substr(0, wire.size() / 2));
                 s.Reset();
             }));
         },
         "Connection lost - reconnecting", 0},
        {"answers two commands out of order",
         [this](FakeNewsServer&, ArticleServer& articles) {
             // The third body's place is taken by the fourth article's answer.
             std::string fourth = files_[3].substr(files_[3].find("\n\n") + 2);
             articles.SetBodyFault(FirstBody(3, [fourth](FakeNewsSession& s, const std::string&) {
                 std::string wire = "222 4 <a@b>\r\n";
                 for (size_t at = 0; at < fourth.size();) {
                     size_t end = fourth.find('\n', at);
                     wire += fourth.substr(at, end - at) + "\r\n";
                     at = end + 1;
                 }
                 s.Send(wire + ".\r\n");
             }));
         },
         outOfOrder.c_str(), 0},
        {"more answers than commands",
         [](FakeNewsServer&, ArticleServer& articles) {
             articles.SetBodyFault(
                 FirstBody(1, [](FakeNewsSession& s, const std::string& wire) { s.Send(wire + wire); }));
         },
         outOfOrder.c_str(), 0},
        {"more answers than commands, none sent behind them",
         [](FakeNewsServer&, ArticleServer& articles) {
             articles.SetBodyFault(
                 FirstBody(2, [](FakeNewsSession& s, const std::string& wire) { s.Send(wire + wire); }));
         },
         "Server sent more than was asked for - connection closed", 0},
        {"unexpected multi-line answer",
         [](FakeNewsServer&, ArticleServer& articles) {
             articles.SetBodyFault(FirstBody(1, [](FakeNewsSession& s, const std::string&) {
                 s.Send("423 No such article\r\nbegin 644 f9.bin\r\n.\r\n");
             }));
         },
         outOfOrder.c_str(), 1},
        {"xhdr answer larger than the range asked for",
         [](FakeNewsServer& fake, ArticleServer&) {
             auto done = std::make_shared<std::atomic<bool>>(false);
             fake.Handle("xhdr lines 3-4", [done](FakeNewsSession& s, const std::string&) {
                 if (done->exchange(true)) {
                     s.Send("221 Header follows\r\n3 91\r\n4 91\r\n.\r\n");
                 } else {
                     s.Send("221 Header follows\r\n3 91\r\n4 91\r\n5 91\r\n6 91\r\n.\r\n");
                 }
             });
         },
         "Server sent more header lines than articles asked for - connection closed", 0},
    };
    headerCacheSize_ = 2;
    int run = 0;
    for (const BadAnswerCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string log = Run(true, "bad" + std::to_string(run++), c.faults);
        EXPECT_EQ(decoded_, AllFiles(c.missing)) << log;
        EXPECT_NE(log.find(std::string("\n") + c.logged + "\n"), std::string::npos) << log;
        EXPECT_NE(log.find("\nRe-processing group alt.binaries.ahead\n"), std::string::npos) << log;
    }
}

// Culled and filtered articles never have their body asked for, whatever went ahead: with a filter (bodies
// wait for their head) and without (heads and bodies go ahead together).
TEST_F(PipelineFaultTest, CulledAndFilteredArticlesAreNeverAskedForTheirBody) {
    std::string good = UUEncode(PatternBytes(4000, 7), "good.bin");
    std::vector<std::string> posts = {
        Article(kGroup, "good1.bin", good),
        Article(kGroup, "tiny.bin", UUEncode(PatternBytes(100, 8), "tiny.bin")), // below the minimum
        Article(kGroup, "spam.bin", good, "Spammer <s@spam.example>"),           // filtered when filtering
        Article(kGroup, "good4.bin", good),
        Article(kGroup, "many.bin (1/30)", good), // too many parts
        Article(kGroup, "good6.bin", good),
    };
    WriteFileBytes(dir_.file("filters.flt"), "spammer\n");
    settings_.FilterFile = dir_.file("filters.flt");
    settings_.PartsEnabled = 1;
    settings_.MaxNumParts = 10;
    for (int filtering : {1, 0}) {
        SCOPED_TRACE(filtering);
        FakeNewsServer fake;
        ArticleServer articles(fake, kGroup, posts);
        settings_.FilteringEnabled = filtering;
        ServerEntry& server = AddServerAt(fake.Address());
        AddGroup(server, kGroup).MinSizeK = 20;
        EngineTestHost host(settings_, "spindrel.cfg");
        ASSERT_TRUE(RunDownload(host));
        std::vector<std::string> bodies;
        for (const std::string& command : fake.Commands()) {
            if (command.rfind("body ", 0) == 0) {
                bodies.push_back(command);
            }
        }
        std::vector<std::string> expected = {"body 1", "body 3", "body 4", "body 6"};
        if (filtering) {
            expected.erase(expected.begin() + 1);
        }
        EXPECT_EQ(bodies, expected);
        ClearServers(settings_);
    }
}

// From `article`'s body on, the session that asked for it answers nothing more: the first `partial` bytes
// of that body, then silence for every head and body; `unanswered` counts the requests left without answer.
void FallSilentAt(ArticleServer& articles, int article, size_t partial, std::atomic<int>& unanswered) {
    auto silent = std::make_shared<std::atomic<FakeNewsSession*>>(nullptr);
    auto quiet = [silent, &unanswered](FakeNewsSession& s, int, const std::string&) {
        if (silent->load() != &s) {
            return false;
        }
        ++unanswered;
        return true;
    };
    articles.SetHeadFault(quiet);
    articles.SetBodyFault(
        [silent, quiet, article, partial](FakeNewsSession& s, int n, const std::string& wire) {
            FakeNewsSession* none = nullptr;
            if (n == article && silent->compare_exchange_strong(none, &s)) {
                s.Send(wire.substr(0, partial));
                return true;
            }
            return quiet(s, n, wire);
        });
}

// Stop while the first body hangs half-way with ten and more commands behind it: the run ends within five
// seconds and nothing after the Stop is counted, logged or stored.
TEST_F(PipelineFaultTest, StopWithTenCommandsInFlight) {
    SetEngineTimeScale(1.0); // the watchdog keeps its pace, so it cannot step in first
    FakeNewsServer fake;
    ArticleServer articles(fake, kGroup, Files(12));
    std::atomic<int> unanswered{0};
    FallSilentAt(articles, 1, 100, unanswered);
    GroupEntry& group = AddGroup(AddServerAt(fake.Address()), kGroup);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(StartDownload(host, settings_));
    for (int i = 0; i < 3000 && unanswered < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(unanswered.load(), 10);
    StopDownload();
    EXPECT_TRUE(host.WaitForEnd(std::chrono::seconds(5)));
    JoinDownload();
    EXPECT_TRUE(host.Decoded().empty());
    EXPECT_EQ(host.Panel(PanelScope::Server, PanelRow::Extracted), "0,0.0");
    EXPECT_EQ(group.NextArticle, 1);
    EXPECT_FALSE(Logged("Processing article 2:")) << Log();
}

// A command sent ahead that is never answered: the watchdog finds the group thread stalled and ends it, and
// the next visit of the group, on a new connection, fetches every file once.
TEST_F(PipelineFaultTest, NeverAnsweredCommandIsLeftToTheWatchdog) {
    FakeNewsServer fake;
    ArticleServer articles(fake, kGroup, files_);
    std::atomic<int> unanswered{0};
    FallSilentAt(articles, 3, 0, unanswered);
    ServerEntry& server = AddServerAt(fake.Address());
    AddGroup(server, kGroup);
    AddGroup(server, kGroup);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_TRUE(Logged("Killing the group download thread..."));
    EXPECT_TRUE(Logged("The group download thread is dead."));
    EXPECT_GT(unanswered.load(), 0);
    EXPECT_EQ(host.Decoded(), AllFiles());
}

} // namespace
