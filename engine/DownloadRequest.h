#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "config/Settings.h"
#include "engine/DownloadStats.h"
#include "engine/EngineHost.h"

class ArticleDecoder;
class NntpConnection;

// Free bytes on the volume holding a directory; replaceable so tests can play a full disk.
using FreeSpaceProbe = std::function<std::optional<uint64_t>(const std::string& dir)>;

// What Start hands to the download controller.
struct DownloadRequest {
    EngineHost* host = nullptr;
    // The process-wide record; every access goes through SettingsMutex.
    Settings* settings = nullptr;
    std::string outputDir;
    FreeSpaceProbe freeSpace;
    DownloadStats stats;
};

// What the controller hands to each group download thread.
struct GroupJob {
    NntpConnection* connection = nullptr;
    ServerEntry* server = nullptr;
    GroupEntry* group = nullptr;
    ArticleDecoder* decoder = nullptr;
    DownloadRequest* request = nullptr;
    // 0 while fine; 1: no connection at the group's start; 3: the connection was lost and not re-established.
    std::atomic<int> serverOutcome{0};
    std::atomic<int> done{0};
};
