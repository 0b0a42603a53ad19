// Download runs against the scriptable fake server: the faults a real server does not produce on demand.
#include "tests/engine/ArticleServer.h"
#include "tests/engine/EngineFixture.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <thread>

#include "config/ConfigFile.h"
#include "config/FilterList.h"
#include "nntp/Flags.h"

namespace {

class DownloadFaultTest : public EngineFixture {
  protected:
    // Starts a run, presses Stop once `reached` is set, and tells whether the run ended within five seconds,
    // as it must whatever the server does. The watchdog keeps its real pace so it cannot step in first.
    bool StopOnceAndWait(EngineTestHost& host, const std::atomic<bool>& reached) {
        SetEngineTimeScale(1.0);
        if (!StartDownload(host, settings_)) {
            return false;
        }
        for (int i = 0; i < 3000 && !reached; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        StopDownload();
        bool ended = reached && host.WaitForEnd(std::chrono::seconds(5));
        JoinDownload();
        return ended;
    }

    // Breaks the link in the middle of the first transfer of `article`'s body.
    static ArticleServer::BodyFault BreakFirstBody(int article) {
        auto broken = std::make_shared<std::atomic<bool>>(false);
        return [article, broken](FakeNewsSession& s, int n, const std::string& wire) {
            if (n != article || broken->exchange(true)) {
                return false;
            }
            s.Send(wire.substr(0, wire.size() / 2));
            s.Close();
            return true;
        };
    }

    std::vector<std::string> Files(int count, const std::string& group) {
        std::vector<std::string> articles;
        for (int i = 1; i <= count; ++i) {
            std::string name = "f" + std::to_string(i) + ".bin";
            articles.push_back(Article(group, name, UUEncode(PatternBytes(4000, 100 + i), name)));
        }
        return articles;
    }
};

TEST_F(DownloadFaultTest, ConnectionDroppedInTheMiddleOfABodyRedoesThePreviousArticle) {
    const std::string group = "alt.binaries.fault";
    FakeNewsServer fake;
    ArticleServer articles(fake, group, Files(3, group));
    articles.SetBodyFault(BreakFirstBody(2));
    AddGroup(AddServerAt(fake.Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_TRUE(Logged("   Article has no body"));
    EXPECT_TRUE(Logged("Connection lost - reconnecting"));
    EXPECT_TRUE(Logged("Re-Connected"));
    EXPECT_TRUE(Logged("Re-processing group " + group));
    EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"f1.bin", "f2.bin", "f3.bin"}));
    EXPECT_TRUE(host.HasStatus(fake.Address() + " (re-connected)"));
}

TEST_F(DownloadFaultTest, StalledGroupThreadIsReportedKilledAndTheNextGroupGetsANewConnection) {
    const std::string group = "alt.binaries.stall";
    FakeNewsServer fake;
    std::vector<std::string> files = Files(2, group);
    ArticleServer articles(fake, group, files);
    std::atomic<int> bodies{0};
    articles.SetBodyFault([&](FakeNewsSession& s, int, const std::string& wire) {
        if (bodies++ == 0) {
            s.Send(wire.substr(0, 200));
            s.Stall();
            return true;
        }
        return false;
    });
    ServerEntry& server = AddServerAt(fake.Address());
    AddGroup(server, group);
    AddGroup(server, group); // the same group again: served after the stall on a fresh connection
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_TRUE(host.HasStatus(fake.Address() + " (not responding)"));
    EXPECT_TRUE(Logged(fake.Address() + " not responding"));
    EXPECT_TRUE(Logged("No response from " + fake.Address() + ", re-connecting "));
    EXPECT_TRUE(Logged("Killing the group download thread..."));
    EXPECT_TRUE(Logged("The group download thread is dead."));
    EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"f1.bin", "f2.bin"}));
    EXPECT_GE(fake.Connections(), 3);
}

TEST_F(DownloadFaultTest, StopInTheMiddleOfABodyEndsTheRunPromptly) {
    const std::string group = "alt.binaries.stop";
    FakeNewsServer fake;
    ArticleServer articles(fake, group, Files(2, group));
    std::atomic<bool> inBody{false};
    articles.SetBodyFault([&](FakeNewsSession& s, int, const std::string& wire) {
        s.Send(wire.substr(0, 100));
        inBody = true;
        s.Stall();
        return true;
    });
    AddGroup(AddServerAt(fake.Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    EXPECT_TRUE(StopOnceAndWait(host, inBody));
    EXPECT_FALSE(host.closeApplication());
    EXPECT_TRUE(host.Decoded().empty());
}

TEST_F(DownloadFaultTest, StopWhileAServerNeverGreetsEndsTheRunPromptly) {
    FakeNewsServer fake;
    std::atomic<bool> connected{false};
    fake.SetGreetingHandler([&](FakeNewsSession& s, const std::string&) {
        connected = true;
        s.Stall();
    });
    AddGroup(AddServerAt(fake.Address()), "alt.binaries.silent");
    EngineTestHost host(settings_, "spindrel.cfg");
    EXPECT_TRUE(StopOnceAndWait(host, connected));
    EXPECT_EQ(fake.Connections(), 1);
}

// Where a Stop finds the run waiting on a silent server.
struct StopCase {
    int silentGreeting;        // the connection (counted from 0) whose greeting never comes; -1: none
    const char* silentCommand; // a command the server never answers, or null
};

// A Stop ends the waits for a server; none of them may then be reported as a failure of the server.
TEST_F(DownloadFaultTest, StopWhileTheServerIsSilentReportsNoFailure) {
    const std::string group = "alt.binaries.stopconnect";
    const StopCase cases[] = {{0, nullptr},          {1, nullptr},  {2, nullptr},
                              {-1, "authinfo user"}, {-1, "group"}, {-1, "xhdr"}};
    const char* const failures[] = {"%s (no response, retrying)",
                                    "%s (connection failed)",
                                    "Failed to connect to %s",
                                    "Unable to re-establish connection",
                                    "Sending username & password - Failed",
                                    "Error setting group",
                                    "Unable to re-set group",
                                    "   has no header - giving up"};
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.silentCommand ? c.silentCommand : std::to_string(c.silentGreeting));
        std::filesystem::remove(settings_.LogFile);
        ClearServers(settings_);
        FakeNewsServer fake;
        ArticleServer articles(fake, group, Files(2, group));
        std::atomic<bool> waiting{false};
        std::atomic<int> connections{0};
        fake.SetGreetingHandler([&](FakeNewsSession& s, const std::string&) {
            if (connections++ == c.silentGreeting) {
                waiting = true;
                s.Stall();
            } else {
                s.Send("200 ready\r\n");
            }
        });
        // The third connection is a reconnect: the link breaks in the middle of the first body.
        if (c.silentGreeting == 2) {
            articles.SetBodyFault(BreakFirstBody(1));
        }
        if (c.silentCommand) {
            fake.Handle(c.silentCommand, [&](FakeNewsSession& s, const std::string&) {
                waiting = true;
                s.Stall();
            });
        }
        bool login = c.silentCommand && std::string(c.silentCommand) == "authinfo user";
        AddGroup(login ? AddServerAt(fake.Address(), "reader", "secret") : AddServerAt(fake.Address()),
                 group);
        EngineTestHost host(settings_, "spindrel.cfg");
        EXPECT_TRUE(StopOnceAndWait(host, waiting));
        for (const char* failure : failures) {
            char line[512];
            snprintf(line, sizeof line, failure, fake.Address().c_str());
            EXPECT_EQ(Log().find(line), std::string::npos) << Log();
        }
        EXPECT_TRUE(host.Messages().empty());
        EXPECT_FALSE(host.HasStatus(fake.Address() + " (no response)"));
        EXPECT_FALSE(host.HasStatus(fake.Address() + " (login failed)"));
    }
}

// The watchdog's kill of a stalled group thread takes the download flag down and up again; a Stop pressed
// while it waits for the thread to end must stay a Stop.
TEST_F(DownloadFaultTest, StopDuringTheKillOfAStalledThreadIsKept) {
    const std::string group = "alt.binaries.killstop";
    FakeNewsServer fake;
    ArticleServer articles(fake, group, Files(2, group));
    std::atomic<int> bodies{0};
    articles.SetBodyFault([&](FakeNewsSession& s, int, const std::string& wire) {
        if (bodies++ > 0) {
            return false;
        }
        s.Send(wire.substr(0, wire.find('\n') + 1)); // the status line, then nothing
        s.Stall();
        return true;
    });
    ServerEntry& server = AddServerAt(fake.Address());
    AddGroup(server, group);
    AddGroup(server, group); // would be served after the kill, were the Stop lost
    // The stalled transfer asks whether to go on about once a second, showing its rate; once the kill has
    // begun, the group thread stays there until Stop has been pressed, so the Stop falls inside the kill.
    class KillHost : public EngineTestHost {
      public:
        KillHost(Settings& settings, std::string address)
            : EngineTestHost(settings, "spindrel.cfg"), killing_(std::move(address) + " (re-connecting)") {}
        void SetArticleRate(const std::string& text) override {
            EngineTestHost::SetArticleRate(text);
            for (int i = 0; i < 1000 && DownloadRunning == 0 && !UserStop && HasStatus(killing_); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }

      private:
        std::string killing_;
    } host(settings_, fake.Address());
    ASSERT_TRUE(StartDownload(host, settings_));
    for (int i = 0; i < 6000 && !host.HasStatus(fake.Address() + " (re-connecting)"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StopDownload();
    EXPECT_TRUE(host.WaitForEnd(std::chrono::seconds(30)));
    JoinDownload();
    EXPECT_TRUE(Logged("Killing the group download thread..."));
    EXPECT_EQ(CountLogged("Processing group " + group), 1u) << Log();
    EXPECT_TRUE(host.Decoded().empty());
    EXPECT_EQ(DownloadRunning.load(), 0);
}

TEST_F(DownloadFaultTest, ReConnectAnsweredNotReadyIsAFailedConnection) {
    const std::string group = "alt.binaries.notready";
    FakeNewsServer fake;
    ArticleServer articles(fake, group, Files(3, group));
    std::atomic<int> connections{0};
    fake.SetGreetingHandler([&](FakeNewsSession& s, const std::string&) {
        // The controller's connection and the group thread's are welcome, later ones are not.
        if (connections++ < 2) {
            s.Send("200 ready\r\n");
        } else {
            s.Send("400 not ready\r\n");
            s.Close();
        }
    });
    articles.SetBodyFault(BreakFirstBody(2));
    GroupEntry& entry = AddGroup(AddServerAt(fake.Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_TRUE(Logged("Server has answered, but is not ready..."));
    EXPECT_TRUE(Logged("Unable to re-establish connection")) << Log();
    EXPECT_FALSE(Logged("Re-Connected"));
    EXPECT_TRUE(host.HasStatus(fake.Address() + " (disconnected)"));
    EXPECT_EQ(host.Decoded(), std::vector<std::string>{"f1.bin"});
    // Articles 2 and 3 are not passed over: the next visit starts with them.
    EXPECT_EQ(entry.NextArticle, 1);
}

// Values no settings page produces, from a hand-edited file: the run goes on as with sane ones.
TEST_F(DownloadFaultTest, ExtremeSettingsFromAHandEditedFile) {
    const std::string group = "alt.binaries.extreme";
    WriteFileBytes(dir_.file("extreme.cfg"),
                   "Config\n    HeaderCacheSize=2147483647\n    BandWidthLimit=nan\n");
    LoadConfig(settings_, dir_.file("extreme.cfg"));
    ASSERT_EQ(settings_.HeaderCacheSize, 2147483647);
    ASSERT_TRUE(std::isnan(settings_.BandWidthLimit));
    FakeNewsServer fake;
    ArticleServer articles(fake, group, Files(3, group));
    // A slow first body: the commands after it come more than a second after the connect, where the
    // bandwidth limit is looked at.
    articles.SetBodyFault([&](FakeNewsSession& s, int article, const std::string&) {
        if (article == 1) {
            s.Pause(1100);
        }
        return false;
    });
    AddGroup(AddServerAt(fake.Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"f1.bin", "f2.bin", "f3.bin"}));
    EXPECT_EQ(Log().find("Sleeping for"), std::string::npos) << Log();
    auto commands = fake.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "xhdr lines 1-5000"), commands.end());
}

// The filters-changed flag with filtering switched off, or the filter file unnamed, in the middle of a run.
TEST_F(DownloadFaultTest, FiltersSwitchedOffMidRunNoLongerFilter) {
    const std::function<void(Settings&)> changes[] = {
        [](Settings& s) { s.FilteringEnabled = 0; },
        [](Settings& s) { s.FilterFile.clear(); },
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(&change - changes);
        const std::string group = "alt.binaries.filteroff" + std::to_string(&change - changes);
        std::filesystem::remove(settings_.LogFile);
        std::filesystem::remove(dir_.file("decodes")); // the same files again are no reposts
        ClearServers(settings_);
        WriteFileBytes(dir_.file("filters.flt"), "junk mailer\n");
        settings_.FilterFile = dir_.file("filters.flt");
        settings_.FilteringEnabled = 1;
        std::vector<std::string> files = Files(1, group);
        files.push_back(Article(group, "junk.bin", UUEncode(PatternBytes(500, 9), "junk.bin"),
                                "Junk Mailer <j@junk.example>"));
        FakeNewsServer fake;
        ArticleServer articles(fake, group, files);
        // The property sheet's OK while the first article's body is on its way.
        articles.SetBodyFault([&](FakeNewsSession&, int article, const std::string&) {
            if (article == 1) {
                std::lock_guard<std::mutex> lock(SettingsMutex);
                change(settings_);
                FiltersChanged = 1;
            }
            return false;
        });
        AddGroup(AddServerAt(fake.Address()), group);
        EngineTestHost host(settings_, "spindrel.cfg");
        ASSERT_TRUE(RunDownload(host));
        EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"f1.bin", "junk.bin"}));
        EXPECT_FALSE(Logged("   filtered with \"junk mailer\""));
        EXPECT_EQ(FiltersChanged.load(), 0);
    }
}

TEST_F(DownloadFaultTest, ServerThatIsNotReady) {
    FakeNewsServer fake;
    fake.SetGreeting("400 not ready, try later\r\n");
    AddGroup(AddServerAt(fake.Address()), "alt.binaries.notready");
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_TRUE(Logged("Server has answered, but is not ready..."));
    EXPECT_TRUE(Logged("Failed to connect to " + fake.Address()));
    EXPECT_TRUE(host.HasStatus(fake.Address() + " (no response)"));
}

TEST_F(DownloadFaultTest, ServerThatNeverAnswersIsTriedFifteenTimes) {
    std::string address;
    {
        FakeNewsServer gone; // its port is free again once it is gone
        address = gone.Address();
    }
    AddGroup(AddServerAt(address), "alt.binaries.gone");
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    auto lines = host.StatusLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), address + " (no response, retrying)"), 14);
    EXPECT_TRUE(host.HasStatus(address + " (connection failed)"));
    EXPECT_EQ(CountLogged(address + " (no response, retrying)"), 14u);
    EXPECT_TRUE(Logged(address + " (connection failed)"));
    EXPECT_FALSE(Logged("Connected to " + address));
}

TEST_F(DownloadFaultTest, RefusedXhdrFallsBackToHeadAndStillFilters) {
    const std::string group = "alt.binaries.noxhdr";
    FakeNewsServer fake;
    std::vector<std::string> files = Files(2, group);
    files.push_back(Article(group, "junk.bin", UUEncode(PatternBytes(500, 9), "junk.bin"),
                            "Junk Mailer <j@junk.example>"));
    ArticleServer articles(fake, group, files);
    articles.RefuseXhdr();
    WriteFileBytes(dir_.file("filters.flt"), "junk mailer\n");
    settings_.FilterFile = dir_.file("filters.flt");
    settings_.FilteringEnabled = 1;
    AddGroup(AddServerAt(fake.Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"f1.bin", "f2.bin"}));
    EXPECT_TRUE(Logged("   filtered with \"junk mailer\""));
    auto commands = fake.Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& c) { return c.starts_with("xhdr"); }),
              1);
}

TEST_F(DownloadFaultTest, UnattendedPassesCountServers) {
    FakeNewsServer first, second;
    ArticleServer a(first, "alt.binaries.one", {});
    ArticleServer b(second, "alt.binaries.two", {});
    AddGroup(AddServerAt(first.Address()), "alt.binaries.one");
    AddGroup(AddServerAt(second.Address()), "alt.binaries.two");
    settings_.UnAttendedMode = 1;
    settings_.NumLoops = 3;
    settings_.InterLoopWait = 1;
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    std::vector<std::string> connecting;
    for (const std::string& line : host.StatusLines()) {
        if (line.ends_with(" (connecting)")) {
            connecting.push_back(line);
        }
    }
    std::string one = first.Address() + " (connecting)", two = second.Address() + " (connecting)";
    EXPECT_EQ(connecting, (std::vector<std::string>{one, two, one, two}));
    EXPECT_TRUE(host.HasStatus("Restarting in 1 sec"));
    // An unattended run that ends by itself closes the application.
    EXPECT_TRUE(host.closeApplication());
}

} // namespace
