#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/Settings.h"

// The groups a server already has, as the group dialogs ask about them. The server is found by its address
// exactly as configured; the settings lock is taken while they are read.

// The names of every group of `server`, in list order; none when no server has that address.
std::vector<std::string> ConfiguredGroupNames(const Settings& settings, const std::string& server);

// The group names in what the user typed or picked: separated by white space or commas (a comma can never be
// part of a stored name, and separates groups in news headers), each as it is stored (cut to 255 bytes) and
// once, in the order they first come.
std::vector<std::string> GroupNamesIn(const std::string& text);

// The first of the `names` (as GroupNamesIn reads them) that `server` already has, compared exactly (letter
// case counts).
std::optional<std::string> FirstIncludedGroup(const Settings& settings, const std::string& server,
                                              const std::string& names);
