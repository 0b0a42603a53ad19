#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "common/OwnedPtrArray.h"

// Set when the property sheet closes with OK; the group download thread reloads its filter list on seeing it.
extern std::atomic<int> FiltersChanged;

// The filter strings of a filter file, in order: one per line, each line cut at 1023 characters and at its
// first carriage return; lines shorter than 3 characters are dropped. Empty when the file cannot be read.
std::vector<std::string> ReadFilterFile(const std::string& path);

// Loads the strings of `path` into slots 0, 1, ... of `list` and returns their count; clears FiltersChanged.
int LoadFilterFile(const std::string& path, OwnedPtrArray<std::string>& list);

// Deletes the first `count` strings of `list`, leaving empty slots.
void FreeFilterList(OwnedPtrArray<std::string>& list, int count);

inline constexpr const char* kWriteFilterFileFailed = "Could not write file %s.";
inline constexpr const char* kWriteFilterFileTitle = "Writing Filter File";

// Writes `strings` to `path`, one "%s\n" line each, replacing the file in one step. An empty path writes
// nothing. Returns the message for the user when the file cannot be written (the old file then stays as it
// was).
std::optional<std::string> WriteFilterFile(const std::string& path, const std::vector<std::string>& strings);
