#include "parts/Header.h"
#include "parts/PartsPaths.h"
#include "parts/PartsStore.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace {

constexpr int kGroups = 4;
constexpr int kPartsPerGroup = 2500;
const std::string kBody(600, 'p'); // a small part article's body

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Stores part articles `first` to `first + count`: parts 1 and 2 of 3 of each post, so no post completes and
// the index only grows, as when a user keeps parts for days.
void StoreParts(const std::string& partsDir, const std::string& group, int first, int count) {
    long counterA = 0, counterB = 0;
    for (int i = first; i < first + count; ++i) {
        Header header("Lines: 10\r\nSubject: " + group + " post" + std::to_string(i / 2) + ".rar (" +
                      std::to_string(i % 2 + 1) + "/3)\r\n");
        StorePart(header, kBody, partsDir, counterA, counterB, 7);
    }
}

void StoreGroup(const std::string& partsDir, const std::string& group, int parts) {
    StoreParts(partsDir, group, 0, parts);
    FlushPartsIndex();
}

// What the same articles cost as single-part binaries when only their bytes are written: one new file each.
void WritePlainFiles(const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        FILE* file = fopen((prefix + std::to_string(i)).c_str(), "wb");
        fwrite(kBody.data(), 1, kBody.size(), file);
        fclose(file);
    }
}

// An index of `records` waiting parts of other posts, stamped now so that none expires.
void PrefillIndex(const std::string& partsDir, int records) {
    std::filesystem::create_directories(PartsDirectory(partsDir));
    FILE* index = fopen(IndexPath(partsDir).c_str(), "w");
    long now = static_cast<long>(std::time(nullptr));
    for (int i = 0; i < records; ++i) {
        fprintf(index, "%ld 1 3 x%09d\nold.group waiting%d.rar (\n", now, i, i);
    }
    fclose(index);
}

// 10,000 part articles in four group visits beside the same 10,000 bodies written as plain files. Creating
// files costs more while the file system still remembers many recently deleted ones nearby, so the plain
// files go into the parts directory itself and the two sides take turns group by group: both meet the same
// state.
void BM_StorePartsAgainstPlainFiles(benchmark::State& state) {
    for (auto _ : state) {
        TempDir dir;
        const std::string partsDir = dir.str() + "/";
        ResetPartFileNaming();
        double store = 0, files = 0;
        for (int g = 0; g < kGroups; ++g) {
            auto start = std::chrono::steady_clock::now();
            StoreGroup(partsDir, "alt.binaries.g" + std::to_string(g), kPartsPerGroup);
            store += Seconds(start);
            start = std::chrono::steady_clock::now();
            WritePlainFiles(PartFilePath(partsDir, "plain" + std::to_string(g) + "-"), kPartsPerGroup);
            files += Seconds(start);
        }
        state.counters["parts_s"] = store;
        state.counters["plain_s"] = files;
        state.counters["ratio"] = store / files;
    }
}
BENCHMARK(BM_StorePartsAgainstPlainFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// 5000 part articles stored into an index that already holds 100,000 records beside the same into an empty
// index, taking turns in slices of 500: what a part costs must not depend on how many are waiting.
void BM_StorePartsIntoLargeIndex(benchmark::State& state) {
    const int waiting = static_cast<int>(state.range(0));
    constexpr int kParts = 5000, kSlice = 500;
    for (auto _ : state) {
        // Both in one directory, so their files are created under the same conditions.
        TempDir dir;
        const std::string empty = dir.str() + "/empty/", full = dir.str() + "/full/";
        PrefillIndex(full, waiting);
        ResetPartFileNaming();
        double intoEmpty = 0, intoFull = 0;
        for (int first = 0; first < kParts; first += kSlice) {
            auto start = std::chrono::steady_clock::now();
            StoreParts(empty, "alt.binaries.new", first, kSlice);
            FlushPartsIndex();
            intoEmpty += Seconds(start);
            start = std::chrono::steady_clock::now();
            StoreParts(full, "alt.binaries.new", first, kSlice);
            FlushPartsIndex();
            intoFull += Seconds(start);
        }
        state.counters["empty_s"] = intoEmpty;
        state.counters["full_s"] = intoFull;
        state.counters["ratio"] = intoFull / intoEmpty;
    }
}
BENCHMARK(BM_StorePartsIntoLargeIndex)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace
