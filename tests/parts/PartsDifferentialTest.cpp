#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "log/Log.h"
#include "parts/PartRecord.h"
#include "parts/PartsBrowser.h"
#include "parts/PartsCleanup.h"
#include "parts/PartsPaths.h"
#include "parts/PartsStore.h"
#include "tests/parts/FullScanStore.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"

namespace {

// Random sequences of stores, browser deletions, clean-ups, restarts and hand edits, each step done by the
// real store in one directory and by a full-scan store in another: after every step both must have logged
// the same lines and hold the same records and the same part files.
class PartsDifferential : public ::testing::Test {
  protected:
    std::string LogSince(size_t& seen, const std::string& partsDir) {
        std::string all = activityLog.Read();
        std::string fresh = all.substr(seen);
        seen = all.size();
        for (size_t at; (at = fresh.find(partsDir)) != std::string::npos;) {
            fresh.replace(at, partsDir.size(), "DIR/");
        }
        return fresh;
    }

    static std::vector<std::string> Records(const std::string& partsDir) {
        std::vector<std::string> records;
        FILE* in = fopen(IndexPath(partsDir).c_str(), "r");
        PartRecord record;
        for (int guard = 0; in && !feof(in) && guard < 100000; ++guard) {
            if (ReadRecord(in, record)) {
                records.push_back(FormatRecord(record));
            }
        }
        if (in) {
            fclose(in);
        }
        return records;
    }

    static std::vector<std::pair<std::string, std::string>> PartFiles(const std::string& partsDir) {
        std::vector<std::pair<std::string, std::string>> files;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(PartsDirectory(partsDir), ec)) {
            std::string name = entry.path().filename().string();
            if (name != "index") {
                files.emplace_back(name, ReadFileBytes(entry.path().string()));
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    static void AppendToIndex(const std::string& partsDir, const std::string& text) {
        if (FILE* out = fopen(IndexPath(partsDir).c_str(), "a")) {
            fputs(text.c_str(), out);
            fclose(out);
        }
    }

    // Deletes the same part (or all parts) of the `pick`-th binary the browser shows in both directories.
    static void BrowserDelete(const std::string& real, const std::string& reference, size_t pick, int part) {
        PartsListing realList = ListCollectedParts(real), referenceList = ListCollectedParts(reference);
        ASSERT_EQ(realList.binaries.size(), referenceList.binaries.size());
        if (realList.binaries.empty()) {
            return;
        }
        pick %= realList.binaries.size();
        DeleteCollectedParts(real, realList.binaries[pick], part);
        DeleteCollectedParts(reference, referenceList.binaries[pick], part);
    }

    void RunSequence(unsigned seed, int steps) {
        const std::string real = dir.str() + "/real" + std::to_string(seed) + "/";
        const std::string reference = dir.str() + "/reference" + std::to_string(seed) + "/";
        std::mt19937 random(seed);
        auto roll = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
        FullScanStore full(reference);
        ResetPartFileNaming();
        time_t now = 915148812;
        long counterA = 0, counterB = 0;
        size_t seen = activityLog.Read().size();
        for (int step = 0; step < steps; ++step) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
            int op = roll(100);
            now += roll(3);
            std::string referenceLog;
            if (op < 70) {
                int binary = roll(8);
                int total = 2 + binary % 4 + (roll(20) == 0 ? 1 : 0); // now and then a total that disagrees
                std::string subject = "post" + std::to_string(binary) + ".rar (" +
                                      std::to_string(1 + roll(total)) + "/" + std::to_string(total) + ")";
                std::string body = "body " + std::to_string(step) + "\r\n";
                long maxAge = roll(10) == 0 ? roll(2) : 7;
                Header referenceHeader("Lines: 1\r\nSubject: " + subject + "\r\n");
                std::optional<std::string> expected = full.Store(referenceHeader, body, maxAge, now);
                referenceLog = LogSince(seen, reference);
                Header header("Lines: 1\r\nSubject: " + subject + "\r\n");
                std::optional<std::string> got =
                    StorePart(header, body, real, counterA, counterB, maxAge, [now] { return now; });
                ASSERT_EQ(got, expected);
            } else if (op < 80) {
                now += 3 * 86400;
            } else if (op < 87) {
                BrowserDelete(real, reference, static_cast<size_t>(roll(8)),
                              roll(3) == 0 ? kAllParts : 1 + roll(3));
            } else if (op < 92) {
                ASSERT_EQ(RemoveOldestQuarter(real), RemoveOldestQuarter(reference));
            } else if (op < 96) {
                // A new process; a second later, as a process that restarts within the same second finds its
                // part file names taken and moves on, which the plain store does not.
                ResetPartFileNaming();
                full.Restart();
                now += 1;
            } else {
                FlushPartsIndex(); // a hand edit after the refreshed times were written
                AppendToIndex(real, "edited by hand\n");
                AppendToIndex(reference, "edited by hand\n");
            }
            ASSERT_EQ(LogSince(seen, real), referenceLog);
            ASSERT_EQ(counterA, full.counter);
            FlushPartsIndex();
            ASSERT_EQ(Records(real), Records(reference));
            ASSERT_EQ(PartFiles(real), PartFiles(reference));
        }
    }

    TempDir dir;
    ActivityLogFile activityLog{dir.file("activity.log")};
};

TEST_F(PartsDifferential, RandomSequencesMatchAFullScanStore) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        RunSequence(seed, 250);
        if (HasFatalFailure()) {
            return;
        }
    }
}

} // namespace
