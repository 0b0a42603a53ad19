#include "nntp/Flags.h"

std::atomic<int> DownloadRunning{0};
std::atomic<int> GroupListCancel{0};
std::atomic<int> BandwidthPauseFlag{0};
std::atomic<bool> PipelineCommands{true};
