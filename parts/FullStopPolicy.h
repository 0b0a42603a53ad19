#pragma once

#include <array>

// What the pipeline does when the parts directory's volume runs short of space (MultipartFullStop).
enum class FullStopAction { DisableParts = 0, StopDownload = 1, RemoveOldestQuarter = 2 };

// A policy as the Parts page offers it and the pipeline logs it. `logLine` and the other log formats are
// printf formats: "%%" prints as "%".
struct FullStopPolicy {
    FullStopAction action;
    const char* label;
    const char* toolTip;
    const char* logLine;
};

inline constexpr std::array<FullStopPolicy, 3> kFullStopPolicies{{
    {FullStopAction::DisableParts, "Disable Multi-part Processing",
     "Disable Parts Collection when Parts Directory becomes Full", "No longer processing parts!\n"},
    {FullStopAction::StopDownload, "Discontine Downloading",
     "Stop Downloading when Parts Directory becomes Full", "No longer processing download (stopping)!\n"},
    {FullStopAction::RemoveOldestQuarter, "Delete the oldest 25% of collected parts and continue",
     "Clean Parts Directory when it becomes is Full", "Removing 25%% of oldest parts\n"},
}};

// Logged before the policy applies, with the free megabytes.
inline constexpr const char* kLowPartsSpaceFormat =
    "Parts partition has only %lu MBytes of disk space left...\n";
// Logged when the clean-up removed nothing; the run then stops.
inline constexpr const char* kCleanupFailedLine = "failed to remove any parts... stopping all together.\n";

// The policy of a MultipartFullStop value: any value other than 0 and 2 stops the download.
inline const FullStopPolicy& FullStopPolicyFor(int value) {
    return kFullStopPolicies[value == 0 || value == 2 ? value : 1];
}
