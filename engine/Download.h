#pragma once

#include "engine/DownloadRequest.h"

// Start: checks the output directory (a warning box and false when it is missing), then runs the download
// controller on its own thread. Only one run at a time: false while one is still going.
bool StartDownload(EngineHost& host, Settings& settings, FreeSpaceProbe freeSpace = {});
// Asks the running download to end; the workers notice at their next check.
void StopDownload();
// Waits until the controller thread of the last run has ended.
void JoinDownload();

// The end of every run: the beep, DownloadRunning cleared, and the host told whether an unattended run that
// ended by itself should close the application.
void DownloadEnded(DownloadRequest& request);

// The controller's thread body.
void DownloadControllerThread(DownloadRequest& request);
