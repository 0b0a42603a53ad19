#pragma once

#include "engine/DownloadRequest.h"

#include <cstddef>

class EngineHost;

// Stack of the group thread, and of the thread that decodes beside it.
constexpr size_t kGroupThreadStack = 128 * 1024;

// Thread body that processes one group on the job's connection; sets the job's done flag as its last act.
void GroupDownloadThread(GroupJob& job);

// The progress callback of a body transfer: shows the rate and the percentage, records the lines received so
// far for the watchdog, and asks for the transfer to stop (0) once the download should end.
int BodyProgress(EngineHost& host, float rate, int percent, long linesSoFar);
