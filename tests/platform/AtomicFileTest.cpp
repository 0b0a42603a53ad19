#include "platform/AtomicFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

unsigned FileMode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

size_t EntryCount(const TempDir& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

TEST(AtomicFileTest, WritesContentWithExactlyTheGivenMode) {
    TempDir dir;
    std::string path = dir.file("state");
    mode_t oldMask = umask(077);
    for (mode_t mode : {0600, 0644, 0640, 0444}) {
        std::string content = "mode " + std::to_string(mode) + "\n";
        ASSERT_TRUE(WriteFileAtomically(path, content, mode)) << mode;
        EXPECT_EQ(ReadFileBytes(path), content);
        EXPECT_EQ(FileMode(path), mode);
    }
    umask(oldMask);
    EXPECT_EQ(EntryCount(dir), 1u);
}

TEST(AtomicFileTest, WritesInSeveralPiecesAndRelativeNames) {
    TempDir dir;
    fs::path oldCwd = fs::current_path();
    fs::current_path(dir.path());
    AtomicFile file;
    ASSERT_TRUE(file.open("relative", 0600));
    EXPECT_TRUE(file.write("one "));
    EXPECT_TRUE(file.write(""));
    EXPECT_TRUE(file.write(std::string(100000, 'x')));
    EXPECT_TRUE(file.commit());
    fs::current_path(oldCwd);
    EXPECT_EQ(ReadFileBytes(dir.file("relative")), "one " + std::string(100000, 'x'));
}

TEST(AtomicFileTest, UncommittedFileLeavesTargetAsItWas) {
    TempDir dir;
    std::string path = dir.file("state");
    WriteFileBytes(path, "old");
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(path, 0600));
        ASSERT_TRUE(file.write("new content"));
        EXPECT_EQ(EntryCount(dir), 2u);
    }
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(EntryCount(dir), 1u);

    AtomicFile unopened;
    EXPECT_FALSE(unopened.write("x"));
    EXPECT_FALSE(unopened.commit());
}

TEST(AtomicFileTest, FailureKeepsTargetAndRemovesTemporaryFile) {
    TempDir dir;
    fs::create_directory(dir.file("subdir"));
    WriteFileBytes(dir.file("subdir/inside"), "kept");
    WriteFileBytes(dir.file("state"), "old");
    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {{"target is a directory", dir.file("subdir")},
                          {"missing directory", dir.file("missing/state")},
                          {"target names a directory", dir.file("subdir/")}};
    for (const Case& c : cases) {
        EXPECT_FALSE(WriteFileAtomically(c.path, "new", 0600)) << c.name;
    }
    EXPECT_EQ(ReadFileBytes(dir.file("subdir/inside")), "kept");
    EXPECT_EQ(EntryCount(dir), 2u);

    // A write that runs out of room (the file size limit plays the full disk).
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    bool written = WriteFileAtomically(dir.file("state"), std::string(1000, 'n'), 0600);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFileBytes(dir.file("state")), "old");
    EXPECT_EQ(EntryCount(dir), 2u);
}

TEST(AtomicFileTest, ReaderSeesOldOrNewFileWhole) {
    TempDir dir;
    std::string path = dir.file("state");
    const std::string contents[] = {std::string(300000, 'a'), std::string(200000, 'b')};
    ASSERT_TRUE(WriteFileAtomically(path, contents[0], 0600));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        for (int i = 0; i < 100000 && !done; ++i) {
            std::string seen = ReadFileBytes(path);
            if (seen != contents[0] && seen != contents[1]) {
                ++torn;
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(WriteFileAtomically(path, contents[i % 2], 0600));
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(EntryCount(dir), 1u);
}

} // namespace
