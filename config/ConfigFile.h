#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "config/Settings.h"

// Reads the configuration file `fileName` into `settings`. When the file cannot be opened (or is not a
// regular file) nothing changes; otherwise the server list is replaced by the file's servers and every key
// found overwrites its setting. Damaged files load as far as they can be read. The result is always 0.
int LoadConfig(Settings& settings, const std::string& fileName);

// Writes `settings` to `fileName`, replacing the old file as a whole with a file of mode 0600 (it holds
// passwords). Saves from several threads run one after the other. Returns 1, or 0 when the file could not be
// written; the old file then stays exactly as it was.
int SaveConfig(const Settings& settings, const std::string& fileName);

// SaveConfig in two steps, for a caller that must not hold its settings lock while the disk is flushed: the
// text is made under the lock, written after it.
std::string FormatConfig(const Settings& settings);
int WriteConfigText(const std::string& text, const std::string& fileName);

// A group from the value of a "Group=" line, "name,next,min k,Collapsed|Expanded,Skip|Include"; reading stops
// at the first missing comma, leaving the remaining fields zero.
std::unique_ptr<GroupEntry> ParseGroup(std::string_view value);
