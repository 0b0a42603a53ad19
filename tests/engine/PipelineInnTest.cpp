// Runs against a private INN2 server behind the link simulator, with commands sent ahead and one at a time:
// what a user sees must not tell the two apart.
#include "config/ServerList.h"
#include "nntp/Flags.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/InnServer.h"
#include "tests/support/LinkSimulator.h"

#include <map>

namespace {

const char* const kGroup = "alt.binaries.sp.pipe";

// What one run leaves behind.
struct RunResult {
    std::string log;
    int64_t nextArticle = 0;
    std::map<std::string, std::string> files;
    std::vector<std::string> decoded;
    std::vector<std::string> articleBox; // titles, subjects, line counts, panel titles
    std::vector<std::string> panel;
};

class PipelineInnTest : public EngineFixture {
  protected:
    static void SetUpTestSuite() {
        server_ = new InnServer;
        started_ = server_->Start({kGroup});
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(started_) << server_->Error();
    }
    void TearDown() override {
        PipelineCommands.store(true);
        EngineFixture::TearDown();
    }

    // One run over `address` in a directory of its own, from article 0, with the settings both runs share.
    RunResult Run(const std::string& address, bool pipelined, const std::string& name) {
        PipelineCommands.store(pipelined);
        std::string dir = dir_.file(name);
        std::filesystem::create_directories(dir + "/out");
        std::filesystem::current_path(dir);
        WriteFileBytes(dir + "/filters.flt", "spammer\n");
        Settings settings;
        settings.OutputDir = dir + "/out/";
        settings.PartsDir = dir + "/";
        settings.LogFile = dir + "/activity.log";
        settings.BandWidthLimit = 0;
        settings.LoggingEnabled = 1;
        settings.PartsEnabled = 1;
        settings.MaxNumParts = 10;
        settings.HeaderCacheSize = 4; // several xhdr blocks in one visit
        settings.FilterFile = dir + "/filters.flt";
        settings.FilteringEnabled = filtering_;
        auto server = std::make_unique<ServerEntry>();
        server->Address = address;
        auto group = std::make_unique<GroupEntry>();
        group->Name = kGroup;
        group->MinSizeK = 20;
        GroupEntry& entry = *group;
        AppendGroup(*server, std::move(group));
        AddServer(settings, std::move(server));

        SetLogFileName(settings.LogFile.c_str());
        RunResult result;
        EngineTestHost host(settings, "spindrel.cfg");
        EXPECT_TRUE(StartDownload(host, settings));
        EXPECT_TRUE(host.WaitForEnd(std::chrono::seconds(120)));
        JoinDownload();
        FlushLog();
        SetLogFileName(log_.path().c_str());
        result.log = ReadFileBytes(settings.LogFile);
        // The run's own directory is the one difference the log may show.
        for (size_t at = result.log.find(dir); at != std::string::npos; at = result.log.find(dir, at)) {
            result.log.replace(at, dir.size(), "DIR");
        }
        result.nextArticle = entry.NextArticle;
        for (const auto& file : std::filesystem::recursive_directory_iterator(dir + "/out")) {
            if (file.is_regular_file()) {
                result.files[file.path().filename()] = ReadFileBytes(file.path());
            }
        }
        result.decoded = host.Decoded();
        for (const std::string& shown : host.Display()) {
            if (shown.rfind("rate:", 0) != 0 && shown.rfind("extraction:", 0) != 0) {
                result.articleBox.push_back(shown);
            }
        }
        for (PanelRow row : {PanelRow::Culled, PanelRow::Filtered, PanelRow::Extracted, PanelRow::Reposts}) {
            result.panel.push_back(host.Panel(PanelScope::Server, row));
        }
        return result;
    }

    void ExpectSame(const RunResult& pipelined, const RunResult& oneAtATime) {
        EXPECT_EQ(pipelined.log, oneAtATime.log);
        EXPECT_EQ(pipelined.nextArticle, oneAtATime.nextArticle);
        EXPECT_EQ(pipelined.decoded, oneAtATime.decoded);
        EXPECT_EQ(pipelined.articleBox, oneAtATime.articleBox);
        EXPECT_EQ(pipelined.panel, oneAtATime.panel);
        ASSERT_EQ(pipelined.files.size(), oneAtATime.files.size());
        for (const auto& [name, bytes] : oneAtATime.files) {
            EXPECT_TRUE(pipelined.files.count(name) && pipelined.files.at(name) == bytes) << name;
        }
    }

    static InnServer* server_;
    static bool started_;
    int filtering_ = 0;
};

InnServer* PipelineInnTest::server_ = nullptr;
bool PipelineInnTest::started_ = false;

// Singles, a multipart post out of order, yEnc parts, every kind of cull, a filtered post, a repost and
// a text post, over short round trips: the log, the article box, the counters, NextArticle and the files of
// a run with commands sent ahead equal those of a run without, with filters (heads ahead, bodies after
// them) and without (heads and bodies ahead).
TEST_F(PipelineInnTest, RunEqualsOneCommandAtATime) {
    std::vector<std::string> articles;
    for (int i = 0; i < 8; ++i) {
        std::string name = "single" + std::to_string(i) + ".bin";
        articles.push_back(Article(kGroup, name, UUEncode(PatternBytes(2000 + 15000 * i, i + 1), name)));
    }
    std::string multi = UUEncode(PatternBytes(60000, 20), "multi.bin");
    size_t half = multi.find('\n', multi.size() / 2) + 1;
    articles.push_back(Article(kGroup, "multi.bin (2/2)", multi.substr(half)));
    articles.push_back(ArticleWithLines(kGroup, "zero.bin", "x\n", 0));
    articles.push_back(Article(kGroup, "tiny.bin", UUEncode(PatternBytes(200, 21), "tiny.bin")));
    articles.push_back(Article(kGroup, "many.bin (1/30)", UUEncode(PatternBytes(20000, 22), "many.bin")));
    articles.push_back(Article(kGroup, "multi.bin (1/2)", multi.substr(0, half)));
    articles.push_back(Article(kGroup, "spam.bin", UUEncode(PatternBytes(9000, 23), "spam.bin"),
                               "Spammer <s@spam.example>"));
    for (const std::string& part : YEncArticles(kGroup, PatternBytes(50000, 24), "y.bin", 2)) {
        articles.push_back(part);
    }
    articles.push_back(Article(kGroup, "single3.bin again", UUEncode(PatternBytes(47000, 4), "single3.bin")));
    std::string words;
    for (int line = 0; line < 30; ++line) {
        words += "just some words, no binary here\n";
    }
    articles.push_back(Article(kGroup, "just words", words));
    for (int i = 8; i < 12; ++i) {
        std::string name = "single" + std::to_string(i) + ".bin";
        articles.push_back(Article(kGroup, name, UUEncode(PatternBytes(3000 * i, i + 1), name)));
    }
    ASSERT_TRUE(server_->PostAll(articles)) << server_->Error();

    LinkSimulator link(server_->Port(), std::chrono::milliseconds(3), 20'000'000, std::chrono::seconds(300));
    ASSERT_TRUE(link.Start());
    for (int filtering : {0, 1}) {
        filtering_ = filtering;
        std::string suffix = std::to_string(filtering);
        RunResult oneAtATime = Run(link.Address(), false, "single" + suffix);
        RunResult pipelined = Run(link.Address(), true, "pipelined" + suffix);
        ExpectSame(pipelined, oneAtATime);
        // The spammer's file is decoded only while filtering is off.
        EXPECT_EQ(oneAtATime.files.size(), filtering ? 14u : 15u) << oneAtATime.log;
    }
}

} // namespace
