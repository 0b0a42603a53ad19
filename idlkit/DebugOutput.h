#pragma once

#include "idlkit/ShellTypes.h"

// The shell's debug channel. Text sent to it is dropped unless a handler is installed; nothing is ever
// written to a file or the console.

using DebugTextHandler = void (*)(const char* text);

IDLSHELL_API void OutputDebugText(const char* text);
// Installs `handler` (null: drop the text again) and returns the one it replaces.
IDLSHELL_API DebugTextHandler SetDebugTextHandler(DebugTextHandler handler);
