#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "nntp/NntpConnection.h"
#include "tests/support/InnServer.h"

namespace {

constexpr int kArticles = 40;
const char* const kGroup = "alt.binaries.bench";

// One private INN2 instance with 40 small articles, started on first use and kept for the program's run.
InnServer* BenchServer(std::string& error) {
    static std::unique_ptr<InnServer> server;
    static std::string startError;
    if (!server && startError.empty()) {
        auto started = std::make_unique<InnServer>();
        std::vector<std::string> articles;
        for (int i = 1; i <= kArticles; ++i) {
            articles.push_back(
                MakeArticle(kGroup, "bench article " + std::to_string(i), "line one\nline two\n"));
        }
        if (started->Start({kGroup}) && started->PostAll(articles)) {
            server = std::move(started);
        } else {
            startError = started->Error();
        }
    }
    error = startError;
    return server.get();
}

void BM_InnHeadRoundTrip(benchmark::State& state) {
    std::string error;
    InnServer* inn = BenchServer(error);
    if (!inn) {
        state.SkipWithError(error.c_str());
        return;
    }
    NntpConnection connection(inn->Address());
    std::string line;
    bool ready =
        connection.Connect() == 1 && connection.SendText(("group " + std::string(kGroup) + "\r\n").c_str());
    for (int tries = 0; ready && tries < 10 && !connection.ReadLine(line); ++tries) {
    }
    if (!ready || line.rfind("211 ", 0) != 0) {
        state.SkipWithError("the bench server does not answer");
        return;
    }
    int article = 0;
    for (auto _ : state) {
        std::string command = "head " + std::to_string(article % kArticles + 1) + "\r\n";
        ++article;
        connection.SendText(command.c_str());
        for (int tries = 0; tries < 1000 && !connection.IsDisconnected(); ++tries) {
            if (connection.ReadLine(line) && line == ".\r\n") {
                break;
            }
        }
    }
}
BENCHMARK(BM_InnHeadRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
