// Whole download runs against a private INN2 server, with posts made by real encoders.
#include "config/ConfigFile.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/InnServer.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

namespace {

const char* const kGroups[] = {"alt.binaries.sp.single", "alt.binaries.sp.culls", "alt.binaries.sp.window",
                               "alt.binaries.sp.limit",  "alt.binaries.sp.space", "alt.binaries.sp.post",
                               "alt.binaries.sp.skip",   "alt.binaries.sp.tenth", "alt.binaries.sp.order",
                               "alt.binaries.sp.yenc"};

class DownloadInnTest : public EngineFixture {
  protected:
    static void SetUpTestSuite() {
        server_ = new InnServer;
        std::vector<std::string> groups(std::begin(kGroups), std::end(kGroups));
        started_ = server_->Start(groups);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(started_) << server_->Error();
    }

    static InnServer* server_;
    static bool started_;
};

InnServer* DownloadInnTest::server_ = nullptr;
bool DownloadInnTest::started_ = false;

// A uuencoded file cut into `parts` articles with "(n/parts)" subjects; element i is part i + 1.
std::vector<std::string> MultipartArticles(const std::string& group, const std::string& encoded,
                                           const std::string& name, int parts) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < encoded.size()) {
        size_t end = encoded.find('\n', start);
        end = end == std::string::npos ? encoded.size() : end + 1;
        lines.push_back(encoded.substr(start, end - start));
        start = end;
    }
    std::vector<std::string> articles;
    size_t per = (lines.size() + parts - 1) / parts;
    for (int p = 0; p < parts; ++p) {
        std::string body;
        for (size_t i = p * per; i < std::min(lines.size(), (p + 1) * per); ++i) {
            body += lines[i];
        }
        articles.push_back(
            Article(group, name + " (" + std::to_string(p + 1) + "/" + std::to_string(parts) + ")", body));
    }
    return articles;
}

TEST_F(DownloadInnTest, SingleFileMultipartOverTwoRunsAndRepost) {
    const std::string group = kGroups[0];
    std::string single = PatternBytes(30000, 1);
    std::string multi = PatternBytes(90000, 2);
    auto parts = MultipartArticles(group, UUEncode(multi, "multi.bin"), "multi.bin", 3);
    ASSERT_TRUE(
        server_->PostAll({Article(group, "single.bin", UUEncode(single, "single.bin")), parts[2], parts[0]}))
        << server_->Error();

    settings_.PartsEnabled = 1;
    settings_.MaxNumParts = 10;
    ServerEntry& server = AddServerAt(server_->Address());
    GroupEntry& entry = AddGroup(server, group);
    {
        EngineTestHost host(settings_, "spindrel.cfg");
        ASSERT_TRUE(RunDownload(host));
        EXPECT_EQ(host.Decoded(), std::vector<std::string>{"single.bin"});
        EXPECT_TRUE(host.HasStatus(server_->Address() + " (finished)"));
        EXPECT_EQ(host.StatusLines().back(), "Download Completed");
    }
    EXPECT_EQ(ReadFileBytes(OutputFile(group, "single.bin")), single);
    EXPECT_EQ(CountLogged("   processing as part-multipart"), 2u);
    EXPECT_FALSE(Logged("   Malformed post: Indeterminable encoding type"));
    EXPECT_EQ(entry.NextArticle, 3);
    // The advanced article number reached the configuration file.
    Settings saved;
    LoadConfig(saved, "spindrel.cfg");
    ASSERT_EQ(saved.NumServers, 1);
    EXPECT_EQ(saved.Servers[0].Groups[0].NextArticle, 3);

    std::filesystem::remove(settings_.LogFile);
    // The second run sees only the new articles: the missing part and a repost of the single file.
    ASSERT_TRUE(
        server_->PostAll({parts[1], Article(group, "single.bin again", UUEncode(single, "single.bin"))}))
        << server_->Error();
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded(), std::vector<std::string>{"multi.bin"});
    EXPECT_EQ(ReadFileBytes(OutputFile(group, "multi.bin")), multi);
    EXPECT_TRUE(Logged("   a repost"));
    EXPECT_FALSE(std::filesystem::exists(OutputFile(group, "single.bin.001")));
    EXPECT_EQ(host.Panel(PanelScope::Server, PanelRow::Reposts).substr(0, 2), "1,");
    EXPECT_EQ(entry.NextArticle, 5);
    EXPECT_TRUE(Logged("Processing article 4:"));
    EXPECT_FALSE(Logged("Processing article 3:"));
}

// yEnc posts through the news server: a multipart post out of order and completed over two runs, a single
// part, its repost, and a damaged copy that is still written and counted.
TEST_F(DownloadInnTest, YEncPostsOverTwoRuns) {
    const std::string group = kGroups[9];
    std::string single = PatternBytes(40000, 70), multi = PatternBytes(300000, 71),
                damaged = PatternBytes(9000, 72);
    auto parts = YEncArticles(group, multi, "holiday.rar", 5, 256, "[1/3] - ");
    std::string broken = YEncArticles(group, damaged, "damaged.bin", 1)[0];
    broken[broken.size() / 2] =
        broken[broken.size() / 2] == 'A' ? 'B' : 'A'; // a data byte of its middle line
    ASSERT_EQ(parts.size(), 5u);
    ASSERT_TRUE(
        server_->PostAll({parts[3], YEncArticles(group, single, "single.bin", 1)[0], parts[1], parts[4]}))
        << server_->Error();
    settings_.PartsEnabled = 1;
    settings_.MaxNumParts = 10;
    GroupEntry& entry = AddGroup(AddServerAt(server_->Address()), group);
    {
        EngineTestHost host(settings_, "spindrel.cfg");
        ASSERT_TRUE(RunDownload(host));
        EXPECT_EQ(host.Decoded(), std::vector<std::string>{"single.bin"});
    }
    EXPECT_TRUE(ReadFileBytes(OutputFile(group, "single.bin")) == single);
    EXPECT_TRUE(Logged("   Incomplete post, 3 parts so far")) << Log();
    EXPECT_TRUE(Logged("   Part 5 of 5 \"\"holiday.rar\"\""));

    std::filesystem::remove(settings_.LogFile);
    ASSERT_TRUE(
        server_->PostAll({parts[2], YEncArticles(group, single, "single.bin", 1)[0], broken, parts[0]}))
        << server_->Error();
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"damaged.bin", "holiday.rar"}));
    EXPECT_TRUE(ReadFileBytes(OutputFile(group, "holiday.rar")) == multi);
    EXPECT_EQ(ReadFileBytes(OutputFile(group, "damaged.bin")).size(), damaged.size());
    EXPECT_TRUE(Logged("   Found all parts"));
    EXPECT_TRUE(Logged("   a repost"));
    EXPECT_EQ(CountLogged("   yDecoding... "), 3u);
    EXPECT_NE(Log().find("   CRC error in file (expected "), std::string::npos) << Log();
    EXPECT_EQ(host.Panel(PanelScope::Server, PanelRow::Extracted).substr(0, 2), "2,");
    EXPECT_EQ(entry.NextArticle, 8);
}

TEST_F(DownloadInnTest, CullsAndFiltersAreLoggedAndCounted) {
    const std::string group = kGroups[1];
    std::string tiny = UUEncode(PatternBytes(300, 3), "tiny.bin");
    std::string good = UUEncode(PatternBytes(3000, 4), "good.bin");
    ASSERT_TRUE(server_->PostAll({
        ArticleWithLines(group, "zero.bin", good, 0),                 // 1: corrupt
        ArticleWithLines(group, "huge.bin", good, 20000),             // 2: corrupt
        Article(group, "tiny.bin", tiny),                             // 3: below the minimum
        Article(group, "many.bin (1/30)", good),                      // 4: too many parts
        Article(group, "spam.bin", good, "Spammer <s@spam.example>"), // 5: filtered
        Article(group, "good.bin", good),                             // 6: decoded
    }));
    WriteFileBytes(dir_.file("filters.flt"), "spammer\n");
    settings_.FilterFile = dir_.file("filters.flt");
    settings_.FilteringEnabled = 1;
    settings_.PartsEnabled = 1;
    settings_.MaxNumParts = 25;
    ServerEntry& server = AddServerAt(server_->Address());
    AddGroup(server, group).MinSizeK = CountLines(tiny) + 1;
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));

    EXPECT_EQ(CountLogged("   Corrupt article - culled"), 2u);
    EXPECT_TRUE(Logged("   culled by group minimum"));
    EXPECT_TRUE(Logged("   Culled, recovery of 30 parts unlikely ( > 25 parts)"));
    EXPECT_TRUE(Logged("   filtered with \"spammer\""));
    EXPECT_EQ(host.Decoded(), std::vector<std::string>{"good.bin"});
    // Culled: 40 bytes a line, filtered: 62; corrupt articles are not counted.
    double culledBytes = 40.0 * (CountLines(tiny) + CountLines(good));
    char expected[64];
    snprintf(expected, sizeof expected, "2,%1.1f", culledBytes / 1048576.0);
    EXPECT_EQ(host.Panel(PanelScope::Server, PanelRow::Culled), expected);
    snprintf(expected, sizeof expected, "1,%1.1f", 62.0 * CountLines(good) / 1048576.0);
    EXPECT_EQ(host.Panel(PanelScope::Server, PanelRow::Filtered), expected);
}

TEST_F(DownloadInnTest, AtMostFiveThousandArticlesAVisitAndNegativeStart) {
    const std::string group = kGroups[2];
    std::vector<std::string> articles;
    for (int i = 0; i < 5100; ++i) {
        articles.push_back(Article(group, "note " + std::to_string(i), "x\n"));
    }
    ASSERT_TRUE(server_->PostAll(articles)) << server_->Error();
    ServerEntry& server = AddServerAt(server_->Address());
    GroupEntry& entry = AddGroup(server, group);
    entry.MinSizeK = 5;
    {
        EngineTestHost host(settings_, "spindrel.cfg");
        ASSERT_TRUE(RunDownload(host));
        EXPECT_EQ(host.Panel(PanelScope::Server, PanelRow::Culled).substr(0, 5), "5000,");
    }
    EXPECT_TRUE(Logged("5100 Articles is way too many to process"));
    EXPECT_TRUE(Logged("Starting at article 100 (5000 from the latest article)"));
    EXPECT_EQ(CountLogged("   culled by group minimum"), 5000u);
    EXPECT_FALSE(Logged("Processing article 100:"));
    EXPECT_TRUE(Logged("Processing article 101:"));
    EXPECT_EQ(entry.NextArticle, 5100);

    // A negative value counts back from the newest article.
    std::filesystem::remove(settings_.LogFile);
    entry.NextArticle = -3;
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(CountLogged("   culled by group minimum"), 3u);
    EXPECT_TRUE(Logged("Processing article 5098:"));
}

TEST_F(DownloadInnTest, DownloadLimitStopsTheRun) {
    const std::string group = kGroups[3];
    // Three files of 400 KB pass 1 MB; each stays under the 19999 lines of a sound article.
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        std::string name = "part" + std::to_string(i) + ".bin";
        files.push_back(Article(group, name, UUEncode(PatternBytes(400000, 20 + i), name)));
    }
    ASSERT_TRUE(server_->PostAll(files)) << server_->Error();
    settings_.MaxDownloadSize = 1;
    ServerEntry& server = AddServerAt(server_->Address());
    GroupEntry& entry = AddGroup(server, group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"part0.bin", "part1.bin", "part2.bin"}));
    EXPECT_TRUE(Logged("Reached maximum amount of extracted articles 1 Mb")) << Log();
    // The article after the one that reached the limit is not looked at, even though it may have been fetched
    // while the limit's file was being decoded.
    EXPECT_FALSE(Logged("Processing article 4:")) << Log();
    EXPECT_EQ(Log().find("part3.bin"), std::string::npos) << Log();
    // Stopped between the new file and the end of its article: the next visit starts after the group's end.
    EXPECT_EQ(entry.NextArticle, 4);
}

TEST_F(DownloadInnTest, EveryTenthFileSavesTheConfiguration) {
    const std::string group = kGroups[7];
    std::vector<std::string> files;
    for (int i = 0; i < 12; ++i) {
        std::string name = "t" + std::to_string(i) + ".bin";
        files.push_back(Article(group, name, UUEncode(PatternBytes(300, 40 + i), name)));
    }
    ASSERT_TRUE(server_->PostAll(files)) << server_->Error();
    AddGroup(AddServerAt(server_->Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded().size(), 12u);
    // Once at the tenth file, once when the group is done.
    EXPECT_EQ(host.Saves(), 2);
}

// The article an article-box title names ("Article 12 (decoding)" gives 12); 0 for "Article" alone.
long TitleArticle(const std::string& title) {
    return std::strtol(title.c_str() + std::string("Article").size(), nullptr, 10);
}

// Holds the decoding of the first article until the next article shows up in the window, or a second has
// passed: where the window follows the fetch rather than the article order, the two are sure to mix.
class OverlapHost : public EngineTestHost {
  public:
    using EngineTestHost::EngineTestHost;
    void SetArticleTitle(const std::string& text) override {
        EngineTestHost::SetArticleTitle(text);
        for (int i = 0; text == "Article 1 (decoding)" && i < 100 && !Shown("title:Article 2"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

  private:
    bool Shown(const std::string& field) const {
        auto display = Display();
        return std::find(display.begin(), display.end(), field) != display.end();
    }
};

// Every field of the article box and the panel title belong to the article the box's title names, and the
// titles go from one article to the next, never back.
void ExpectOneArticleAtATime(const std::vector<std::string>& display, const std::string& group,
                             const std::map<std::string, long>& subjects) {
    long shown = 0;
    for (const std::string& field : display) {
        SCOPED_TRACE(field);
        if (field.starts_with("title:")) {
            long article = TitleArticle(field.substr(6));
            EXPECT_GE(article, shown);
            shown = std::max(shown, article);
        } else if (field.starts_with("subject:") && subjects.count(field.substr(8))) {
            EXPECT_EQ(subjects.at(field.substr(8)), shown);
        } else if (field.starts_with("panel:" + group + " (")) {
            EXPECT_EQ(std::strtol(field.c_str() + 8 + group.size(), nullptr, 10), shown);
        }
    }
    EXPECT_EQ(shown, static_cast<long>(subjects.size()));
}

// Articles are fetched while the one before is still being decoded; the log, the window, the counters and the
// files still come out in article order.
TEST_F(DownloadInnTest, LogKeepsArticleOrderWhileDecodingOverlapsTheNextFetch) {
    const std::string group = kGroups[8];
    std::string multipart = UUEncode(PatternBytes(6000, 61), "c.bin");
    std::vector<std::string> parts = MultipartArticles(group, multipart, "c.bin", 2);
    ASSERT_TRUE(server_->PostAll(
        {Article(group, "a.bin", UUEncode(PatternBytes(700000, 60), "a.bin")), Article(group, "note", "x\n"),
         Article(group, "b.bin", UUEncode(PatternBytes(1000, 62), "b.bin")), parts[0], parts[1],
         Article(group, "d.bin", UUEncode(PatternBytes(3000, 63), "d.bin"))}))
        << server_->Error();
    settings_.PartsEnabled = 1;
    settings_.MaxNumParts = 10;
    ServerEntry& server = AddServerAt(server_->Address());
    GroupEntry& entry = AddGroup(server, group);
    entry.MinSizeK = 5;
    OverlapHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_EQ(host.Decoded(), (std::vector<std::string>{"a.bin", "b.bin", "c.bin", "d.bin"}));
    ExpectOneArticleAtATime(
        host.Display(), group,
        {{"a.bin", 1}, {"note", 2}, {"b.bin", 3}, {"c.bin (1/2)", 4}, {"c.bin (2/2)", 5}, {"d.bin", 6}});
    std::string log = "\n" + Log();
    size_t previous = 0;
    for (const char* line :
         {"Processing article 1:", "   decoded \"a.bin\"", "Processing article 2:",
          "   culled by group minimum", "Processing article 3:", "   decoded \"b.bin\"",
          "Processing article 4:", "   Incomplete post, 1 part so far",
          "Processing article 5:", "   decoded \"c.bin\"", "Processing article 6:", "   decoded \"d.bin\""}) {
        size_t at = log.find("\n" + std::string(line) + "\n");
        ASSERT_NE(at, std::string::npos) << line << "\n" << log;
        EXPECT_GT(at, previous) << line << " is out of order\n" << log;
        EXPECT_EQ(CountLogged(line), 1u) << line;
        previous = at;
    }
    EXPECT_EQ(host.Panel(PanelScope::Server, PanelRow::Culled).substr(0, 2), "1,");
    EXPECT_EQ(entry.NextArticle, 6);
}

struct SpaceCase {
    int policy;
    const char* lines[2];
    bool partsDisabled;
};

TEST_F(DownloadInnTest, LowPartsVolumeFollowsThePolicy) {
    const std::string group = kGroups[4];
    std::string encoded = UUEncode(PatternBytes(20000, 7), "p.bin");
    ASSERT_TRUE(server_->PostAll(MultipartArticles(group, encoded, "p.bin", 2))) << server_->Error();
    const SpaceCase cases[] = {
        {0, {"No longer processing parts!\n", "   is multipart - culled"}, true},
        {1, {"No longer processing download (stopping)!\n", nullptr}, false},
        {2,
         {"Removing 25% of oldest parts\n", "failed to remove any parts... stopping all together.\n"},
         false},
    };
    for (const SpaceCase& c : cases) {
        SCOPED_TRACE(c.policy);
        std::filesystem::remove(settings_.LogFile);
        ClearServers(settings_);
        settings_.PartsEnabled = 1;
        settings_.MaxNumParts = 10;
        settings_.MinFreeSpace = 100;
        settings_.MultipartFullStop = c.policy;
        AddGroup(AddServerAt(server_->Address()), group);
        std::string partsDir = settings_.PartsDir;
        auto probe = [partsDir](const std::string& dir) -> std::optional<uint64_t> {
            return dir == partsDir ? 50ull << 20 : 1ull << 40;
        };
        EngineTestHost host(settings_, "spindrel.cfg");
        ASSERT_TRUE(RunDownload(host, probe));
        EXPECT_TRUE(Logged("Parts partition has only 50 MBytes of disk space left...\n"));
        for (const char* line : c.lines) {
            if (line) {
                EXPECT_TRUE(Logged(line)) << line;
            }
        }
        EXPECT_EQ(settings_.PartsEnabled == 0, c.partsDisabled);
    }
}

TEST_F(DownloadInnTest, LowOutputVolumeStops) {
    const std::string group = kGroups[4];
    settings_.MinFreeSpace = 100;
    ServerEntry& server = AddServerAt(server_->Address());
    AddGroup(server, group);
    ASSERT_TRUE(server_->PostAll({Article(group, "o1.bin", UUEncode(PatternBytes(2000, 8), "o1.bin")),
                                  Article(group, "o2.bin", UUEncode(PatternBytes(2000, 9), "o2.bin"))}));
    std::string partsDir = settings_.PartsDir;
    auto probe = [partsDir](const std::string& dir) -> std::optional<uint64_t> {
        return dir == partsDir ? 1ull << 40 : 3ull << 20;
    };
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host, probe));
    EXPECT_TRUE(Logged("Output partition has only 3 MBytes of disk space left, stopping\n"));
    EXPECT_EQ(host.Decoded().size(), 1u);
}

TEST_F(DownloadInnTest, PostProcessingGetsHostileNamesAsPlainArguments) {
    const std::string group = kGroups[5];
    const std::string name = "$(touch pwned)`touch pwned2`.bin";
    ASSERT_TRUE(server_->Post(Article(group, "hostile", UUEncode(PatternBytes(1000, 10), name))));
    settings_.PostProcessEnabled = 1;
    settings_.PostProcessCommand = "printf '%s\\n' >> '" + dir_.file("args.txt") + "'";
    AddGroup(AddServerAt(server_->Address()), group);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    ASSERT_EQ(host.Decoded().size(), 1u);
    std::string path = OutputFile(group, host.Decoded()[0]);
    std::string expected = "bin\n" + path + "\n";
    for (int i = 0; i < 500 && ReadFileBytes(dir_.file("args.txt")) != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadFileBytes(dir_.file("args.txt")), expected);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("pwned")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("out/" + group + "/pwned")));
    EXPECT_TRUE(Logged("   post processing with \"" + settings_.PostProcessCommand + "\""));
}

TEST_F(DownloadInnTest, SkippedGroupsAndMissingGroups) {
    ServerEntry& server = AddServerAt(server_->Address());
    AddGroup(server, kGroups[6]).Skip = 1;
    AddGroup(server, "alt.binaries.sp.nonexistent");
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_TRUE(host.HasStatus(server_->Address() + " (finished)"));
    EXPECT_FALSE(Logged("Processing group " + std::string(kGroups[6])));
    EXPECT_TRUE(Logged("Error setting group alt.binaries.sp.nonexistent on " + server_->Address()));
    EXPECT_TRUE(Logged("    Login failed?, Group not exist?, Proxy Failed?"));
    EXPECT_TRUE(Logged("No username & password needed"));
}

TEST(DownloadStart, MissingOutputDirectoryRefusesToStart) {
    Settings settings;
    settings.OutputDir = "/nonexistent/spindrel/output/";
    EngineTestHost host(settings, "spindrel.cfg");
    EXPECT_FALSE(StartDownload(host, settings));
    EXPECT_EQ(host.Messages(),
              std::vector<std::string>{
                  "Starting Download: The currently selected output directory does not exist!"});
}

class DownloadLoginTest : public EngineFixture {};

TEST_F(DownloadLoginTest, AcceptedAndRefusedLogins) {
    InnServer server;
    const std::string group = "alt.binaries.sp.auth";
    ASSERT_TRUE(server.Start({group}, "reader", "secret")) << server.Error();
    ASSERT_TRUE(server.Post(Article(group, "a.bin", UUEncode(PatternBytes(500, 11), "a.bin"))));
    AddGroup(AddServerAt(server.Address(), "reader", "secret"), group);
    {
        EngineTestHost host(settings_, "spindrel.cfg");
        ASSERT_TRUE(RunDownload(host));
        EXPECT_EQ(host.Decoded(), std::vector<std::string>{"a.bin"});
        EXPECT_TRUE(Logged("Sending username & password - Ok"));
    }
    ClearServers(settings_);
    AddGroup(AddServerAt(server.Address(), "reader", "wrong"), group, 0);
    EngineTestHost host(settings_, "spindrel.cfg");
    ASSERT_TRUE(RunDownload(host));
    EXPECT_TRUE(Logged("Sending username & password - Failed"));
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"Spindrel: Login Failed!"});
    EXPECT_TRUE(host.HasStatus(server.Address() + " (login failed)"));
}

} // namespace
