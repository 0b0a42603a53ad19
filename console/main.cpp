// spindrel-console: does what pressing Start does, in the current directory's configuration, without a
// window.
#include <cstdio>
#include <unistd.h>

#include "config/ConfigFile.h"
#include "engine/ConsoleHost.h"
#include "engine/Download.h"
#include "engine/EngineState.h"
#include "engine/Log.h"
#include "platform/Interrupts.h"
#include "platform/Memory.h"

int main() {
    static const char* const kConfigFile = "spindrel.cfg";
    ReuseLargeAllocations();
    Settings settings;
    LoadConfig(settings, kConfigFile);
    SetLogEnabled(settings.LoggingEnabled);

    // The first Ctrl+C stops the download as the Stop button does; a second one ends the process at once.
    HandleInterrupts([](int count) {
        if (count == 1) {
            StopDownload();
        } else {
            _exit(130);
        }
    });

    ConsoleHost host(settings, kConfigFile, stdout);
    if (!StartDownload(host, settings)) {
        return 1;
    }
    host.WaitForEnd();
    JoinDownload();
    return host.SaveConfiguration() ? 0 : 1;
}
