// spindrel-console as a process: its exit status, its output and what Ctrl+C does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "config/ConfigFile.h"
#include "parts/PartRecord.h"
#include "tests/engine/ArticleServer.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/InnServer.h"
#include "tests/support/TempDir.h"

namespace {

class ConsoleProgramTest : public ::testing::Test {
  protected:
    // `settings` are further "Key=value" lines of the Config section.
    void WriteConfig(const std::string& outputDir, const std::string& server,
                     const std::string& settings = "") {
        std::string config = "Config\n    OutputDir=" + outputDir + "\n" + settings +
                             "NumServers=" + (server.empty() ? "0" : "1") + "\n";
        if (!server.empty()) {
            config += "Server\n    Name=" + server +
                      ",,\n    NumGroups=1\n    Group=alt.binaries.console,0,0k,Expanded,Include\n";
        }
        WriteFileBytes(dir_.file("spindrel.cfg"), config);
    }

    // Starts the program in the test directory with its output going to "stdout.txt".
    pid_t Start() {
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.str().c_str()) != 0) {
                _exit(126);
            }
            int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            execl(SPINDREL_CONSOLE, SPINDREL_CONSOLE, static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }

    // The exit status once the program has ended, or -1 when it is still running after `seconds`.
    static int WaitForExit(pid_t pid, int seconds) {
        for (int i = 0; i < seconds * 100; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }

    std::string Output() const { return ReadFileBytes(dir_.file("stdout.txt")); }

    TempDir dir_;
};

TEST_F(ConsoleProgramTest, MissingOutputDirectoryRefusesWithStatusOne) {
    WriteConfig("/nonexistent/spindrel/", "");
    EXPECT_EQ(WaitForExit(Start(), 30), 1);
    EXPECT_EQ(Output(), "The currently selected output directory does not exist!\n");
}

TEST_F(ConsoleProgramTest, RunWithoutServersEndsWithStatusZero) {
    WriteConfig(dir_.str() + "/", "");
    EXPECT_EQ(WaitForExit(Start(), 30), 0);
    EXPECT_EQ(Output(), "Download Completed\n");
}

TEST_F(ConsoleProgramTest, DecodesYEncPostsFromANewsServer) {
    const std::string group = "alt.binaries.console";
    InnServer server;
    ASSERT_TRUE(server.Start({group})) << server.Error();
    std::string single = PatternBytes(100000, 80), multi = PatternBytes(250000, 81);
    std::vector<std::string> articles = YEncArticles(group, multi, "set.part1.rar", 3);
    std::swap(articles[0], articles[2]);
    articles.push_back(YEncArticles(group, single, "single file.bin", 1, 256)[0]);
    ASSERT_TRUE(server.PostAll(articles)) << server.Error();
    WriteConfig(dir_.str() + "/", server.Address(),
                "PartsDir=" + dir_.str() + "/\nPartsEnabled=1\nMaxNumParts=10\n");
    EXPECT_EQ(WaitForExit(Start(), 120), 0);
    EXPECT_TRUE(ReadFileBytes(dir_.file(group + "/set.part1.rar")) == multi) << Output();
    EXPECT_TRUE(ReadFileBytes(dir_.file(group + "/single file.bin")) == single) << Output();
    EXPECT_NE(Output().find("Download Completed"), std::string::npos) << Output();
}

TEST_F(ConsoleProgramTest, CtrlCStopsTheDownloadAndASecondOneEndsAtOnce) {
    for (int interrupts : {1, 2}) {
        SCOPED_TRACE(interrupts);
        FakeNewsServer fake;
        std::atomic<bool> greeted{false};
        fake.SetGreetingHandler([&](FakeNewsSession& s, const std::string&) {
            greeted = true;
            s.Stall();
        });
        WriteConfig(dir_.str() + "/", fake.Address());
        pid_t pid = Start();
        for (int i = 0; i < 3000 && !greeted; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(greeted);
        kill(pid, SIGINT);
        if (interrupts == 2) {
            // Apart, so the two do not merge into one pending signal; the stopped run needs longer to end.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            kill(pid, SIGINT);
        }
        // One interrupt is Stop: the run ends and the program with it; two end the process at once.
        EXPECT_EQ(WaitForExit(pid, 5), interrupts == 1 ? 0 : 130);
    }
}

TEST_F(ConsoleProgramTest, CtrlCWithLoggingOnStopsSavesAndFlushesTheLog) {
    const std::string group = "alt.binaries.console";
    FakeNewsServer fake;
    ArticleServer articles(fake, group, {Article(group, "c.bin", std::string(2000, 'x') + "\n")});
    std::atomic<bool> inBody{false};
    articles.SetBodyFault([&](FakeNewsSession& s, int, const std::string& wire) {
        s.Send(wire.substr(0, wire.size() / 2));
        inBody = true;
        s.Stall();
        return true;
    });
    // The log's writer thread starts while the configuration is read, before anything else.
    WriteConfig(dir_.str() + "/", fake.Address(),
                "LoggingEnabled=1\nLogFile=" + dir_.file("console.log") + "\n");
    pid_t pid = Start();
    for (int i = 0; i < 3000 && !inBody; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(inBody);
    kill(pid, SIGINT);
    EXPECT_EQ(WaitForExit(pid, 5), 0);
    std::string log = ReadFileBytes(dir_.file("console.log"));
    EXPECT_NE(log.find("Processing article 1:\n"), std::string::npos) << log;
    EXPECT_NE(log.find("   poster@example.com\n"), std::string::npos) << log;
    // Saved on the way out, in the program's own format, with the article the group has reached.
    std::string saved = ReadFileBytes(dir_.file("spindrel.cfg"));
    EXPECT_TRUE(saved.starts_with("#\n# Abandon all hope")) << saved;
    EXPECT_NE(saved.find("Group=" + group + ",1,0k,"), std::string::npos) << saved;
}

// What a run killed at any moment leaves: a configuration that loads whole and a parts index whose lines all
// belong to whole records naming files that exist.
void CheckWhatAKillLeaves(const std::string& dir, const std::string& group,
                          const std::string& partsDir = "") {
    Settings settings;
    LoadConfig(settings, dir + "/spindrel.cfg");
    ASSERT_EQ(settings.NumServers, 1);
    ASSERT_EQ(settings.Servers[0].NumGroups, 1);
    EXPECT_EQ(settings.Servers[0].Groups[0].Name, group) << "the configuration lost its last line";
    const std::string parts = (partsDir.empty() ? dir : partsDir) + "/parts/";
    std::ifstream index(parts + "index");
    std::vector<std::string> lines;
    for (std::string line; std::getline(index, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size() % 2, 0u);
    for (size_t i = 0; i < lines.size(); i += 2) {
        PartRecord record;
        ASSERT_TRUE(ParseRecordLine(lines[i], record)) << lines[i];
        EXPECT_TRUE(std::filesystem::exists(parts + record.file)) << record.file;
    }
}

TEST_F(ConsoleProgramTest, KilledFiftyTimesTheDownloadStillDecodesEveryBinaryOnce) {
    const std::string group = "alt.binaries.console";
    InnServer server;
    ASSERT_TRUE(server.Start({group})) << server.Error();
    // News arrives in batches: a new one is posted whenever a run got through everything there was.
    std::map<std::string, std::string> files;
    int batches = 0;
    auto postBatch = [&] {
        std::vector<std::string> articles;
        for (int i = 0; i < 12; ++i) {
            int post = batches * 12 + i;
            std::string name = "post" + std::to_string(post) + ".bin";
            files[name] = PatternBytes(60000 + 1000 * i, 100 + post);
            std::vector<std::string> parts = YEncArticles(group, files[name], name, post % 3 == 0 ? 1 : 4);
            std::reverse(parts.begin(), parts.end());
            articles.insert(articles.end(), parts.begin(), parts.end());
        }
        ++batches;
        return server.PostAll(articles);
    };
    ASSERT_TRUE(postBatch()) << server.Error();
    WriteConfig(
        dir_.str() + "/", server.Address(),
        "PartsDir=" + dir_.str() +
            "/\nMaxNumParts=10\nPartsEnabled=1\nLoggingEnabled=1\nLogFile=activity.log\nBandWidthLimit=0\n");

    std::mt19937 random(8122026);
    int kills = 0;
    for (int round = 0; round < 400 && kills < 50; ++round) {
        pid_t pid = Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 80));
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            if (batches == 80) {
                break;
            }
            ASSERT_TRUE(postBatch()) << server.Error();
            continue;
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        ++kills;
        SCOPED_TRACE("after kill " + std::to_string(kills));
        CheckWhatAKillLeaves(dir_.str(), group);
        if (HasFailure()) {
            return;
        }
    }
    EXPECT_EQ(kills, 50) << "the runs ended before fifty kills";
    ASSERT_EQ(WaitForExit(Start(), 120), 0) << Output() << ReadFileBytes(dir_.file("activity.log"));
    CheckWhatAKillLeaves(dir_.str(), group);
    std::set<std::string> decoded;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file(group))) {
        decoded.insert(entry.path().filename().string());
    }
    std::set<std::string> expected;
    for (const auto& [name, bytes] : files) {
        expected.insert(name);
        EXPECT_TRUE(ReadFileBytes(dir_.file(group + "/" + name)) == bytes) << name;
    }
    std::vector<std::string> extra, missing;
    std::set_difference(decoded.begin(), decoded.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    std::set_difference(expected.begin(), expected.end(), decoded.begin(), decoded.end(),
                        std::back_inserter(missing));
    EXPECT_EQ(extra, std::vector<std::string>{}) << "decoded twice, or left partial; the log of all runs:\n"
                                                 << ReadFileBytes(dir_.file("activity.log"));
    EXPECT_EQ(missing, std::vector<std::string>{});
}

} // namespace

namespace {

// A tmpfs of `size` mounted over `dir` for the life of the object; `error` says why when mounting was
// refused.
class SmallFileSystem {
  public:
    SmallFileSystem(const std::string& dir, const std::string& size) : dir_(dir) {
        std::filesystem::create_directories(dir);
        mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
        error_ = mounted_ ? "" : strerror(errno);
    }
    ~SmallFileSystem() {
        if (mounted_) {
            umount2(dir_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

  private:
    std::string dir_;
    bool mounted_ = false;
    std::string error_;
};

TEST_F(ConsoleProgramTest, FullSmallFileSystemStopsOrSwitchesAndLeavesNoPartialFile) {
    const std::string group = "alt.binaries.console";
    InnServer server;
    ASSERT_TRUE(server.Start({group})) << server.Error();
    // Eight posts of four parts, every first three parts before any fourth: the parts alone outgrow 4 MiB.
    std::map<std::string, std::string> files;
    std::vector<std::vector<std::string>> posts;
    for (int post = 0; post < 8; ++post) {
        std::string name = "big" + std::to_string(post) + ".bin";
        files[name] = PatternBytes(600000, 200 + post);
        posts.push_back(YEncArticles(group, files[name], name, 4));
    }
    std::vector<std::string> articles;
    for (int part : {0, 1, 2, 3}) {
        for (const auto& post : posts) {
            articles.push_back(post[part]);
        }
    }
    ASSERT_TRUE(server.PostAll(articles)) << server.Error();

    const struct {
        int policy;
        const char* line;
    } kCases[] = {
        {0, "No longer processing parts!\n"},
        {1, "No longer processing download (stopping)!\n"},
        {2, "Removing 25% of oldest parts\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE("MultipartFullStop " + std::to_string(c.policy));
        const std::string small = dir_.file("small" + std::to_string(c.policy));
        SmallFileSystem volume(small, "4m");
        if (!volume.mounted()) {
            GTEST_SKIP() << "cannot mount a tmpfs here (" << volume.error()
                         << "): needs root or CAP_SYS_ADMIN";
        }
        const std::string log = dir_.file("activity" + std::to_string(c.policy) + ".log");
        WriteConfig(
            small + "/", server.Address(),
            "PartsDir=" + small + "/\nMaxNumParts=10\nPartsEnabled=1\nMinFreeSpace=1\nMultipartFullStop=" +
                std::to_string(c.policy) + "\nBandWidthLimit=0\nLoggingEnabled=1\nLogFile=" + log + "\n");
        const std::string config = ReadFileBytes(dir_.file("spindrel.cfg"));
        ASSERT_EQ(WaitForExit(Start(), 120), 0) << Output();
        std::string activity = ReadFileBytes(log);
        EXPECT_NE(activity.find("Parts partition has only "), std::string::npos);
        EXPECT_NE(activity.find(c.line), std::string::npos) << activity;
        // The configuration, kept elsewhere, is whole: saved with the run's progress, never cut short.
        Settings settings;
        LoadConfig(settings, dir_.file("spindrel.cfg"));
        ASSERT_EQ(settings.NumServers, 1);
        EXPECT_EQ(settings.MultipartFullStop, c.policy);
        EXPECT_NE(ReadFileBytes(dir_.file("spindrel.cfg")).find("LogFile=" + log), std::string::npos)
            << config;
        CheckWhatAKillLeaves(dir_.str(), group, small);
        // Whatever was decoded is whole; nothing partial carries a decoded file's name.
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(small + "/" + group, ec)) {
            std::string name = entry.path().filename().string();
            EXPECT_TRUE(files.count(name) && ReadFileBytes(entry.path().string()) == files[name]) << name;
        }
    }
}

TEST_F(ConsoleProgramTest, FullOutputVolumeStopsTheRunWithOnlyWholeFiles) {
    const std::string group = "alt.binaries.console";
    InnServer server;
    ASSERT_TRUE(server.Start({group})) << server.Error();
    // Twelve posts of four parts, each whole before the next: every set completes and is decoded onto the
    // small volume until it fills.
    std::map<std::string, std::string> files;
    std::vector<std::string> articles;
    for (int post = 0; post < 12; ++post) {
        std::string name = "whole" + std::to_string(post) + ".bin";
        files[name] = PatternBytes(400000, 300 + post);
        for (const std::string& article : YEncArticles(group, files[name], name, 4)) {
            articles.push_back(article);
        }
    }
    ASSERT_TRUE(server.PostAll(articles)) << server.Error();
    const std::string small = dir_.file("small");
    SmallFileSystem volume(small, "4m");
    if (!volume.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << volume.error() << "): needs root or CAP_SYS_ADMIN";
    }
    const std::string log = dir_.file("activity.log");
    // The parts stay on the roomy volume: only the output fills.
    WriteConfig(small + "/", server.Address(),
                "PartsDir=" + dir_.str() +
                    "/\nMaxNumParts=10\nPartsEnabled=1\nMinFreeSpace=1\nBandWidthLimit=0\nLoggingEnabled=1\n"
                    "LogFile=" +
                    log + "\n");
    ASSERT_EQ(WaitForExit(Start(), 120), 0) << Output();
    std::string activity = ReadFileBytes(log);
    EXPECT_NE(activity.find("Output partition has only "), std::string::npos)
        << activity.substr(activity.size() > 3000 ? activity.size() - 3000 : 0);
    CheckWhatAKillLeaves(dir_.str(), group);
    int whole = 0;
    for (const auto& entry : std::filesystem::directory_iterator(small + "/" + group)) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(files.count(name) && ReadFileBytes(entry.path().string()) == files[name]) << name;
        whole += files.count(name) ? 1 : 0;
    }
    EXPECT_GT(whole, 2) << "the volume took some files before it filled";
}

} // namespace
