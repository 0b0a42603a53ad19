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

// Stores `parts` part articles as one group visit: parts 1 and 2 of 3 of each post, so no post completes and
// the index only grows, as when a user keeps parts for days.
void StoreGroup(const std::string& partsDir, const std::string& group, int parts) {
    long counterA = 0, counterB = 0;
    for (int i = 0; i < parts; ++i) {
        Header header("Lines: 10\r\nSubject: " + group + " post" + std::to_string(i / 2) + ".rar (" +
                      std::to_string(i % 2 + 1) + "/3)\r\n");
        StorePart(header, kBody, partsDir, counterA, counterB, 7);
    }
    FlushPartsIndex();
}

// What the same articles cost as single-part binaries when only their bytes are written: one new file each.
void WritePlainFiles(const std::string& dir, int count) {
    std::filesystem::create_directories(dir);
    for (int i = 0; i < count; ++i) {
        FILE* file = fopen((dir + "/" + std::to_string(i)).c_str(), "wb");
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

// 10,000 part articles in four group visits beside the same 10,000 bodies written as plain files.
void BM_StorePartsAgainstPlainFiles(benchmark::State& state) {
    for (auto _ : state) {
        TempDir parts, plain;
        ResetPartFileNaming();
        auto start = std::chrono::steady_clock::now();
        for (int g = 0; g < kGroups; ++g) {
            StoreGroup(parts.str() + "/", "alt.binaries.g" + std::to_string(g), kPartsPerGroup);
        }
        double store = Seconds(start);
        start = std::chrono::steady_clock::now();
        WritePlainFiles(plain.str(), kGroups * kPartsPerGroup);
        double files = Seconds(start);
        state.counters["parts_s"] = store;
        state.counters["plain_s"] = files;
        state.counters["ratio"] = store / files;
    }
}
BENCHMARK(BM_StorePartsAgainstPlainFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// 5000 part articles stored into an index that already holds 100,000 records beside the same into an empty
// index: what a part costs must not depend on how many are waiting.
void BM_StorePartsIntoLargeIndex(benchmark::State& state) {
    const int waiting = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TempDir empty, full;
        PrefillIndex(full.str() + "/", waiting);
        ResetPartFileNaming();
        auto start = std::chrono::steady_clock::now();
        StoreGroup(empty.str() + "/", "alt.binaries.new", 5000);
        double intoEmpty = Seconds(start);
        start = std::chrono::steady_clock::now();
        StoreGroup(full.str() + "/", "alt.binaries.new", 5000);
        double intoFull = Seconds(start);
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
