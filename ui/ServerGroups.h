#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Settings.h"

// The groups a server already has, as the group dialogs ask about them. The server is found by its address
// exactly as configured; the settings lock is taken while they are read.

// The names of every group of `server`, in list order; none when no server has that address.
std::vector<std::string> ConfiguredGroupNames(const Settings& settings, const std::string& server);

// The first of the blank-separated `names` that `server` already has, compared exactly (letter case
// counts).
std::optional<std::string> FirstIncludedGroup(const Settings& settings, const std::string& server,
                                              const std::string& names);
