#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "log/Log.h"
#include "parts/Header.h"
#include "parts/PartRecord.h"
#include "parts/PartsPaths.h"
#include "parts/PartsStore.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"

// A parts directory in a fresh temporary directory, the activity log beside it and a clock the test sets.
class PartsFixture : public ::testing::Test {
  protected:
    static constexpr time_t kStart = 915148812; // 1999-01-01 00:00:12 UTC

    void SetUp() override {
        partsDir = dir.str() + "/";
        ResetPartFileNaming();
    }

    // The process keeps one index: a set it still holds belongs to this test's directory, not the next one's.
    void TearDown() override { FlushPartsIndex(); }

    PartsClock clock() {
        return [this] { return now.load(); };
    }

    std::optional<std::string> Store(const std::string& subject, const std::string& body,
                                     long maxAgeDays = 7) {
        Header header("Lines: 10\r\nSubject: " + subject + "\r\nFrom: poster@example.com\r\n");
        return StorePart(header, body, partsDir, counterA, counterB, maxAgeDays, clock());
    }

    // The log written so far; the next call returns only what follows.
    std::string TakeLog() {
        std::string all = activityLog.Read();
        std::string fresh = all.substr(logSeen);
        logSeen = all.size();
        return fresh;
    }

    // The index file once the store has written what it holds in memory.
    std::vector<PartRecord> Index() {
        FlushPartsIndex();
        std::vector<PartRecord> records;
        FILE* in = fopen(IndexPath(partsDir).c_str(), "r");
        if (!in) {
            return records;
        }
        PartRecord record;
        for (int guard = 0; guard < 100000 && !feof(in); ++guard) {
            if (ReadRecord(in, record)) {
                records.push_back(record);
            }
        }
        fclose(in);
        return records;
    }

    std::string PartPath(const std::string& name) { return PartFilePath(partsDir, name); }

    // Every file in the parts directory but the index, once the store has settled what it holds in memory.
    std::vector<std::string> PartFiles() {
        FlushPartsIndex();
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(PartsDirectory(partsDir), ec)) {
            std::string name = entry.path().filename().string();
            if (name != "index") {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void WriteIndex(const std::string& text) {
        std::filesystem::create_directories(PartsDirectory(partsDir));
        ASSERT_TRUE(WriteFileBytes(IndexPath(partsDir), text));
    }

    TempDir dir;
    ActivityLogFile activityLog{dir.file("activity.log")};
    std::string partsDir;
    std::atomic<time_t> now{kStart};
    long counterA = 0;
    long counterB = 0;
    size_t logSeen = 0;
};
