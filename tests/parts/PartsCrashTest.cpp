#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "parts/Header.h"
#include "parts/PartRecord.h"
#include "parts/PartsPaths.h"
#include "parts/PartsStore.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kPosts = 400;
constexpr int kParts = 3;
constexpr int kSteps = kPosts * kParts;
const int kOrder[kParts] = {3, 1, 2};

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A download that stores parts: step s stores part kOrder[s % 3] of post s / 3, writes down every assembled
// post, then the step as done (what the engine's NextArticle is). A run starts after the last step done, so a
// step cut short by the kill is done again, as the engine fetches its article again.
[[noreturn]] void RunStores(const std::string& dir) {
    ResetPartFileNaming();
    const std::string partsDir = dir + "/";
    std::vector<std::string> done = Lines(dir + "/done");
    int step = done.empty() ? 0 : std::stoi(done.back()) + 1;
    for (; step < kSteps; ++step) {
        int post = step / kParts, part = kOrder[step % kParts];
        Header header("Lines: 1\r\nSubject: post" + std::to_string(post) + ".bin (" + std::to_string(part) +
                      "/" + std::to_string(kParts) + ")\r\n");
        long a = 0, b = 0;
        std::optional<std::string> joined =
            StorePart(header, std::string(2000, static_cast<char>('a' + part)), partsDir, a, b, 7);
        if (joined) {
            std::ofstream(dir + "/assembled", std::ios::app) << post << "\n" << std::flush;
        }
        std::ofstream(dir + "/done", std::ios::app) << step << "\n" << std::flush;
    }
    FlushPartsIndex();
    _exit(0);
}

// What a reader finds after a kill: every line of the index belongs to a whole record, no file is listed
// twice and every listed file is there. A post is assembled again only when the kill came between its
// assembly and the next store, so by the step done again right after: its lines are neighbours.
void CheckAfterKill(const std::string& dir, int kill) {
    SCOPED_TRACE("after kill " + std::to_string(kill));
    const std::string partsDir = dir + "/";
    std::vector<std::string> lines = Lines(IndexPath(partsDir));
    ASSERT_EQ(lines.size() % 2, 0u);
    std::set<std::string> files;
    for (size_t i = 0; i < lines.size(); i += 2) {
        PartRecord record;
        ASSERT_TRUE(ParseRecordLine(lines[i], record)) << lines[i];
        EXPECT_TRUE(files.insert(record.file).second) << "file listed twice: " << record.file;
        EXPECT_TRUE(std::filesystem::exists(PartFilePath(partsDir, record.file))) << record.file;
    }
    std::vector<std::string> assembled = Lines(dir + "/assembled");
    std::set<std::string> seen;
    for (size_t i = 0; i < assembled.size(); ++i) {
        bool again = i > 0 && assembled[i] == assembled[i - 1];
        EXPECT_TRUE(seen.insert(assembled[i]).second || again)
            << "post " << assembled[i] << " assembled twice";
    }
}

TEST(PartsCrash, KilledAtRandomMomentsTheIndexStaysWholeAndNoPartIsAssembledTwice) {
    TempDir dir;
    std::mt19937 random(20261208);
    int kills = 0;
    for (int round = 0; round < 40; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RunStores(dir.str());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200 + random() % 8000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        kills += WIFSIGNALED(status) ? 1 : 0;
        CheckAfterKill(dir.str(), round);
        if (HasFailure()) {
            return;
        }
    }
    // The last run is left to finish (bounded: it has at most every step left to do).
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RunStores(dir.str());
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    CheckAfterKill(dir.str(), kills);
    EXPECT_GT(kills, 20) << "most runs must have been cut short";
    // Every post was assembled. What is left belongs to posts assembled already: a set whose release a kill
    // forestalled, or the copy of a completing part fetched again after a kill.
    std::vector<std::string> assembled = Lines(dir.str() + "/assembled");
    std::set<std::string> posts(assembled.begin(), assembled.end());
    EXPECT_EQ(posts.size(), static_cast<size_t>(kPosts));
    std::vector<std::string> left = Lines(IndexPath(dir.str() + "/"));
    for (size_t i = 1; i < left.size(); i += 2) {
        std::string post = left[i].substr(4, left[i].find('.') - 4);
        EXPECT_TRUE(posts.count(post)) << left[i];
    }
}

} // namespace
