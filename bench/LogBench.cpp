#include "log/Log.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

namespace {

// The lines a culled article costs (four short ones), a thousand articles' worth per iteration, until they
// are all in the file: the log must keep a header scan close to the speed of the server's answers.
void BM_LogCulledArticles(benchmark::State& state) {
    TempDir dir;
    std::string path = dir.file("activity.log");
    SetLogFileName(path.c_str());
    SetLogEnabled(1);
    for (auto _ : state) {
        for (long article = 0; article < 1000; ++article) {
            LogMessage("Processing article %ld:", article);
            LogMessage("   %s", "a subject of a usual length (1/1)");
            LogMessage("   %ld lines", article);
            LogMessage("   culled by group minimum");
        }
        FlushLog();
    }
    state.SetItemsProcessed(state.iterations() * 4000);
    SetLogEnabled(0);
    SetLogFileName(nullptr);
}
BENCHMARK(BM_LogCulledArticles)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
