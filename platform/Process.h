#pragma once

#include <string>
#include <vector>

// Starts the program argv[0] (looked up in PATH when it has no "/") with the arguments argv[1...], each
// passed as it is, in a new session with standard input from /dev/null. The caller does not wait for it and
// no zombie is left behind. False when argv is empty or the program cannot be started.
bool StartDetached(const std::vector<std::string>& argv);

// Starts the user's post-processing `command` as `/bin/sh -c 'COMMAND "$@"' sh EXTENSION PATH`, detached: the
// command may use shell syntax, while the extension and the path reach it as two separate arguments that the
// shell never parses.
bool StartPostProcess(const std::string& command, const std::string& extension, const std::string& path);
