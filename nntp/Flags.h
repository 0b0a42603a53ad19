#pragma once

#include <atomic>

// Process-wide flags shared between the download threads, the group-list threads and the window.

// Non-zero while a download run is wanted; clearing it is the only stop signal for the workers.
extern std::atomic<int> DownloadRunning;
// Set by the abort of a group-list fetch; the fetch and the list reader give up when they see it.
extern std::atomic<int> GroupListCancel;
// 1 only while the bandwidth limiter pauses a connection, so the watchdog does not take the pause for a hang.
extern std::atomic<int> BandwidthPauseFlag;
// Whether new connections send commands ahead of their answers; cleared only to compare a run without it.
extern std::atomic<bool> PipelineCommands;
