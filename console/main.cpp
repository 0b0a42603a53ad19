// spindrel-console: does what pressing Start does, in the current directory's configuration, without a
// window.
#include <cstdio>
#include <cstdlib>

#include "config/ConfigFile.h"
#include "engine/ConsoleHost.h"
#include "engine/Download.h"
#include "log/Log.h"
#include "platform/Interrupts.h"
#include "platform/Memory.h"

namespace {

// Ends the process without running static destructors: the interrupt thread may still be inside Stop, using
// the engine's process-wide state. Every file is closed after each use, so only the log and the streams need
// flushing.
[[noreturn]] void Finish(int status) {
    FlushLog();
    fflush(stdout);
    fflush(stderr);
    std::_Exit(status);
}

} // namespace

int main() {
    static const char* const kConfigFile = "spindrel.cfg";
    // Before anything else: reading the configuration may already start the log's writer thread.
    BlockInterrupts();
    ReuseLargeAllocations();
    Settings settings;
    LoadConfig(settings, kConfigFile);
    SetLogEnabled(settings.LoggingEnabled);

    ConsoleHost host(settings, kConfigFile, stdout);
    if (!StartDownload(host, settings)) {
        Finish(1);
    }
    // The first Ctrl+C stops the download as the Stop button does, also one pressed while the run was being
    // started; a second one ends the process at once.
    HandleInterrupts([](int count) {
        if (count == 1) {
            StopDownload();
        } else {
            Finish(130);
        }
    });
    host.WaitForEnd();
    JoinDownload();
    if (!host.SaveConfiguration()) {
        fprintf(stderr, "spindrel-console: could not write %s\n", kConfigFile);
    }
    Finish(0);
}
