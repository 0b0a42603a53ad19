#include "ui/RunConfigSheet.h"

#include <mutex>

#include "config/ConfigFile.h"
#include "config/FilterList.h"
#include "engine/EngineState.h"
#include "engine/RunningConnection.h"
#include "log/Log.h"
#include "ui/ConfigSheet.h"
#include "ui/MainWindow.h"

void RunConfigSheet(MainWindow& window, Settings& settings, Dialogs& dialogs, const std::string& configFile) {
    Settings copy;
    if (window.Host().SaveConfiguration()) {
        LoadConfig(copy, configFile);
    } else {
        // The file is older than the settings: they are edited as they stand.
        std::lock_guard<std::mutex> lock(SettingsMutex);
        CopySettings(copy, settings);
    }
    ConfigSheet sheet(copy, dialogs, &window);
    if (sheet.exec() != QDialog::Accepted) {
        return;
    }
    std::string oldOutputDir;
    int oldViewAllFiles;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        oldOutputDir = settings.OutputDir;
        oldViewAllFiles = settings.ViewAllFiles;
    }
    SetLogFileName(copy.LogFile.c_str());
    SetLogEnabled(copy.LoggingEnabled);
    SetRunningBandwidthLimit(copy.BandWidthLimit);
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        CopySettings(settings, copy);
    }
    FiltersChanged = 1;
    window.ApplyHideOnMin();
    // The record is saved rather than the copy: a running download may have moved its groups on meanwhile.
    window.Host().SaveConfiguration();
    if (copy.OutputDir != oldOutputDir || copy.ViewAllFiles != oldViewAllFiles) {
        window.RebuildTree();
    }
}
