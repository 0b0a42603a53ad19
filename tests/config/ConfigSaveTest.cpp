#include "config/ConfigFile.h"
#include "log/Log.h"
#include "tests/config/ConfigTestUtil.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

Settings SampleSettings(const std::string& tag, int servers) {
    Settings settings;
    FillAllSettings(settings);
    settings.PostProcessCommand = "post " + tag;
    for (int i = 0; i < servers; ++i) {
        auto server = MakeServer(tag + std::to_string(i) + ".example", "user" + tag, "pw" + tag);
        for (int g = 0; g < 20; ++g) {
            AppendGroup(*server,
                        MakeGroup("alt." + tag + "." + std::to_string(g), g * 1000 + i, g, g % 2, 0));
        }
        AddServer(settings, std::move(server));
    }
    return settings;
}

unsigned FileMode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

// Limits the size of files this process may write, as a full disk would; writes past it fail with EFBIG.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

TEST(ConfigSaveTest, FailedSaveKeepsOldFileAndReportsFailure) {
    struct Case {
        const char* name;
        std::function<std::string(TempDir&)> prepare; // returns the path to save to
        rlim_t sizeLimit;                             // 0: none
        bool stopsOnlyNonRoot;
    };
    auto oldFile = [](TempDir& d) {
        WriteFileBytes(d.file("spindrel.cfg"), "#\nConfig\n    NumServers=0\n");
        return d.file("spindrel.cfg");
    };
    const Case cases[] = {
        {"path is a directory",
         [](TempDir& d) {
             fs::create_directory(d.file("spindrel.cfg"));
             WriteFileBytes(d.file("spindrel.cfg/inside"), "kept");
             return d.file("spindrel.cfg");
         },
         0, false},
        {"directory does not exist", [](TempDir& d) { return d.file("missing/spindrel.cfg"); }, 0, false},
        {"disk full while writing", oldFile, 64, false},
        {"directory not writable",
         [&](TempDir& d) {
             chmod(d.str().c_str(), 0555);
             return oldFile(d);
         },
         0, true},
    };
    Settings settings = SampleSettings("a", 3);
    const std::string before = Describe(settings);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.stopsOnlyNonRoot && geteuid() == 0) {
            continue;
        }
        TempDir dir;
        std::string path = c.prepare(dir);
        std::vector<std::string> entries = DirectoryEntries(dir.path());
        auto content = [&path] { return fs::is_regular_file(path) ? ReadFileBytes(path) : std::string(); };
        std::string oldContent = content();
        int result;
        {
            std::optional<FileSizeLimit> limit;
            if (c.sizeLimit) {
                limit.emplace(c.sizeLimit);
            }
            result = SaveConfig(settings, path);
        }
        chmod(dir.str().c_str(), 0755);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(DirectoryEntries(dir.path()), entries); // no temporary file left behind
        EXPECT_EQ(content(), oldContent);
        if (fs::is_directory(path)) {
            EXPECT_EQ(ReadFileBytes(path + "/inside"), "kept");
        }
        EXPECT_EQ(Describe(settings), before);
    }
}

TEST(ConfigSaveTest, FileHoldsPasswordsSoOnlyTheOwnerMayReadIt) {
    TempDir dir;
    std::string path = dir.file("spindrel.cfg");
    mode_t oldMask = umask(0);
    ASSERT_EQ(SaveConfig(SampleSettings("a", 1), path), 1);
    EXPECT_EQ(FileMode(path), 0600u);

    for (unsigned existing : {0644u, 0666u, 0400u}) {
        chmod(path.c_str(), existing);
        ASSERT_EQ(SaveConfig(SampleSettings("b", 1), path), 1) << existing;
        EXPECT_EQ(FileMode(path), 0600u) << existing;
    }
    umask(oldMask);
}

TEST(ConfigSaveTest, ValuesThatCannotBeReadBackAreCutSoTheFileStaysReadable) {
    TempDir dir;
    std::string path = dir.file("spindrel.cfg");
    Settings settings = SampleSettings("a", 2);
    settings.PostProcessCommand = std::string(1500, 'c');
    settings.FilterFile = "/x\nServer\n    Name=evil,,";
    ServerEntry& server = *settings.Servers.get(0);
    server.User = "joe\n    NumGroups=0";
    server.Address = std::string(1200, 'h');
    settings.Servers.get(1)->Groups[0].Name = std::string(1200, 'g');
    ASSERT_EQ(SaveConfig(settings, path), 1);

    Settings loaded;
    LoadConfig(loaded, path);
    EXPECT_EQ(loaded.PostProcessCommand, std::string(512, 'c'));
    EXPECT_EQ(loaded.FilterFile, "/x");
    EXPECT_EQ(loaded.MultipartFullStop, settings.MultipartFullStop);
    ASSERT_EQ(loaded.NumServers, 2);
    EXPECT_EQ(loaded.Servers.get(0)->Address, std::string(255, 'h'));
    EXPECT_EQ(loaded.Servers.get(0)->User, "joe");
    EXPECT_EQ(loaded.Servers.get(0)->NumGroups, 20);
    EXPECT_EQ(loaded.Servers.get(1)->Groups.get(0)->Name, std::string(255, 'g'));
    EXPECT_EQ(loaded.Servers.get(1)->NumGroups, 20);
}

TEST(ConfigSaveTest, ConcurrentSavesNeverLeaveATruncatedOrMixedFile) {
    TempDir dir;
    std::string path = dir.file("spindrel.cfg");
    constexpr int kThreads = 4;
    constexpr int kSaves = 50;
    std::vector<Settings> records;
    std::vector<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        records.push_back(SampleSettings(std::string(1, static_cast<char>('a' + t)), t + 1));
        expected.push_back(Describe(records.back()));
    }
    auto isOneOfTheRecords = [&](const std::string& description) {
        return std::find(expected.begin(), expected.end(), description) != expected.end();
    };
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kSaves; ++i) {
                Settings loaded;
                if (SaveConfig(records[t], path) != 1) {
                    ++failures;
                }
                LoadConfig(loaded, path);
                if (!isOneOfTheRecords(Describe(loaded))) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    Settings final;
    LoadConfig(final, path);
    EXPECT_TRUE(isOneOfTheRecords(Describe(final)));
    EXPECT_EQ(DirectoryEntries(dir.path()), std::vector<std::string>{"spindrel.cfg"});
    SetLogFileName(nullptr);
}

} // namespace
