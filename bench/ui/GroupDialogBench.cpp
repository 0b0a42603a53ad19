// The group selection dialog and the "Groups on Server" window with 100,000 names, on Qt's offscreen
// platform, each beside the same work done without a window. Besides the time of a whole run, each window
// run reports the longest time the GUI thread went without handling its events and the most processor time
// it spent at once (on a busy machine the first also holds the time other processes had the processor).
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "config/ServerList.h"
#include "nntp/Flags.h"
#include "nntp/GroupList.h"
#include "platform/Thread.h"
#include "tests/support/InnServer.h"
#include "tests/support/TempDir.h"
#include "tests/ui/TestDialogs.h"
#include "ui/GroupListWindow.h"
#include "ui/SelectGroupsDialog.h"

namespace {

constexpr int kNames = 100000;
const std::string kServer = "bench.example.com";

// Between ticks of a 1 ms timer: the longest time that passed (the longest the window did not answer) and
// the most processor time the GUI thread used (its own work, without the time others had the processor).
class StallMeter {
  public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longestMs_ = std::max(longestMs_, static_cast<double>(sinceTick_.restart()));
            double cpu = ThreadCpuMilliseconds();
            busiestMs_ = std::max(busiestMs_, cpu - cpuAtTick_);
            cpuAtTick_ = cpu;
        });
        sinceTick_.start();
        timer_.start();
    }
    // Adds the figures to the benchmark's counters, keeping the largest of all runs.
    void Report(benchmark::State& state) const {
        for (auto [name, value] :
             {std::pair{"longest_stall_ms", longestMs_}, {"busiest_gui_ms", busiestMs_}}) {
            state.counters[name] = std::max(static_cast<double>(state.counters[name]), value);
        }
    }

  private:
    QTimer timer_;
    QElapsedTimer sinceTick_;
    double cpuAtTick_ = ThreadCpuMilliseconds();
    double longestMs_ = 0;
    double busiestMs_ = 0;
};

bool RunUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 120000) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A directory with the group-list file of 100,000 names.
const TempDir& ListDirectory() {
    static TempDir dir;
    static bool written = [] {
        std::string text = "Jan 05 1999/990105 203000\n" + std::to_string(kNames) + "\n";
        for (int i = 0; i < kNames; ++i) {
            text += "alt.bench.group" + std::to_string(i) + "\n";
        }
        return WriteFileBytes(dir.file(kServer), text);
    }();
    (void)written;
    return dir;
}

struct CountingLoad : GroupLoadReport {
    void Refreshed(const std::string&) override {}
    void GroupCount(const std::string&) override {}
    void Progress(const std::string&) override {}
    void LoadingNote(bool) override {}
    void AddAvailable(const std::string&) override { ++names; }
    long names = 0;
};

void BM_LoadFileWithoutWindow(benchmark::State& state) {
    std::atomic<int> cancel{0};
    for (auto _ : state) {
        CountingLoad load;
        LoadGroupList(kServer, ListDirectory().str(), "", {"alt.bench.group7"}, cancel, load);
        benchmark::DoNotOptimize(load.names);
    }
}

bool LoadEnded(QWidget* dialog) {
    return dialog->findChild<QPushButton*>("refreshButton")->isEnabled();
}

void BM_SelectionDialogLoad(benchmark::State& state) {
    Settings settings;
    TestDialogs dialogs;
    for (auto _ : state) {
        SelectGroupsDialog dialog(nullptr, kServer, settings, dialogs, ListDirectory().str());
        StallMeter meter;
        dialog.show();
        if (!RunUntil([&dialog] { return LoadEnded(&dialog); })) {
            state.SkipWithError("the load did not end");
            return;
        }
        meter.Report(state);
    }
}

void BM_SelectionDialogFilter(benchmark::State& state) {
    Settings settings;
    TestDialogs dialogs;
    SelectGroupsDialog dialog(nullptr, kServer, settings, dialogs, ListDirectory().str());
    dialog.show();
    RunUntil([&dialog] { return LoadEnded(&dialog); });
    bool narrow = true;
    for (auto _ : state) {
        StallMeter meter;
        // In turn a filter that keeps a tenth of the names and one that keeps them all.
        dialog.findChild<QLineEdit*>("filterEdit")->setText(narrow ? "group1" : "group");
        narrow = !narrow;
        dialog.findChild<QPushButton*>("filterButton")->click();
        RunUntil([&dialog] { return LoadEnded(&dialog); });
        meter.Report(state);
    }
}

// One private INN2 instance with 100,000 groups, kept for the program's run; null, with the benchmark
// skipped, when it cannot start.
InnServer* BenchServer(benchmark::State& state) {
    static std::unique_ptr<InnServer> server;
    static std::string startError;
    if (!server && startError.empty()) {
        auto started = std::make_unique<InnServer>();
        std::vector<std::string> groups;
        for (int i = 0; i < kNames; ++i) {
            groups.push_back("alt.bench.group" + std::to_string(i));
        }
        if (started->StartWithManyGroups(groups)) {
            server = std::move(started);
        } else {
            startError = started->Error();
        }
    }
    if (!server) {
        state.SkipWithError(startError.c_str());
    }
    return server.get();
}

struct SilentFetch : GroupFetchReport {
    void Status(const std::string&) override {}
    void ListFetched() override {}
    void SoFar(const std::string&) override {}
    void LastGroup(const std::string&) override {}
    void Warning(const std::string&) override {}
    void Beep() override {}
};

void BM_FetchWithoutWindow(benchmark::State& state) {
    InnServer* inn = BenchServer(state);
    if (!inn) {
        return;
    }
    TempDir dir;
    for (auto _ : state) {
        std::filesystem::remove(dir.file(GroupListFileName(inn->Address())));
        SilentFetch report;
        GroupListProgress progress;
        GroupListCancel.store(0);
        if (!FetchServerGroups(inn->Address(), "", "", dir.str(), report, progress)) {
            state.SkipWithError("the fetch failed");
            return;
        }
    }
}

void BM_FetchWindow(benchmark::State& state) {
    InnServer* inn = BenchServer(state);
    if (!inn) {
        return;
    }
    TempDir dir;
    TestDialogs dialogs;
    for (auto _ : state) {
        std::filesystem::remove(dir.file(GroupListFileName(inn->Address())));
        StallMeter meter;
        GroupListWindow window(nullptr, inn->Address(), dialogs, dir.str());
        window.open();
        if (!RunUntil([&window] { return !window.isVisible(); })) {
            state.SkipWithError("the fetch did not end");
            return;
        }
        meter.Report(state);
    }
    if (!std::filesystem::exists(dir.file(GroupListFileName(inn->Address())))) {
        state.SkipWithError("no file written");
    }
}

BENCHMARK(BM_LoadFileWithoutWindow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SelectionDialogLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SelectionDialogFilter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_FetchWithoutWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FetchWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
