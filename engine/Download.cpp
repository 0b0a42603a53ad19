#include "engine/Download.h"

#include <memory>

#include "engine/EngineState.h"
#include "log/Log.h"
#include "nntp/Flags.h"
#include "platform/FileSystem.h"
#include "platform/Thread.h"

namespace {

constexpr size_t kControllerStack = 80 * 1024;

std::mutex startMutex; // Start and Join from different threads
Thread controllerThread;
std::unique_ptr<DownloadRequest> currentRequest;

std::string WithoutTrailingSeparator(std::string dir) {
    if (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) {
        dir.pop_back();
    }
    return dir;
}

} // namespace

bool StartDownload(EngineHost& host, Settings& settings, FreeSpaceProbe freeSpace) {
    std::string outputDir;
    int priority;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        outputDir = settings.OutputDir;
        priority = settings.ThreadPriority;
    }
    if (!IsDirectory(WithoutTrailingSeparator(outputDir))) {
        host.MessageBox("The currently selected output directory does not exist!", "Starting Download");
        return false;
    }
    std::lock_guard<std::mutex> lock(startMutex);
    if (controllerThread.joinable()) {
        if (!controllerThread.finished()) {
            return false;
        }
        controllerThread.join();
    }
    UserStop = 0;
    currentRequest = std::make_unique<DownloadRequest>();
    currentRequest->host = &host;
    currentRequest->settings = &settings;
    currentRequest->outputDir = outputDir;
    currentRequest->freeSpace = freeSpace ? std::move(freeSpace) : FreeSpaceProbe(FreeSpaceBytes);
    BeginRun();
    DownloadRequest* request = currentRequest.get();
    if (!controllerThread.start([request] { DownloadControllerThread(*request); }, kControllerStack,
                                priority)) {
        EndRun();
        return false;
    }
    return true;
}

void StopDownload() {
    // Under the lock: no worker shows a status after it has found the run going on and before the Stop. Every
    // holder of the lock is quick, so Stop is never kept waiting on a server.
    StatusLockGuard lock;
    EndRun();
    UserStop = 1;
}

void JoinDownload() {
    std::lock_guard<std::mutex> lock(startMutex);
    controllerThread.join();
}

void DownloadEnded(DownloadRequest& request) {
    // The run's log is complete in its file by the time anyone hears that the run has ended.
    FlushLog();
    request.host->Beep(700, 500);
    EndRun();
    bool unattended;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        unattended = request.settings->UnAttendedMode != 0;
    }
    request.host->DownloadEnded(unattended && !UserStop);
    UserStop = 0;
}
