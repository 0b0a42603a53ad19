#pragma once

#include <cstddef>
#include <cstdio>

// The activity log: one line per call, appended to the file named by SetLogFileName while logging is enabled.
// Lines are written by a background thread moments after the call; FlushLog returns once every line logged
// before it is in the file (and is run at exit).
void SetLogFileName(const char* path);
void SetLogEnabled(int flag);
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void FlushLog();

// The transmit/receive log: off until EnableTxRxLog, then "txrxlog.log" for the rest of the process.
void EnableTxRxLog();
const char* GetTxRxLogName();

// Writes `count` bytes as rows of 16: hex column, two blanks, printable characters.
void HexDump(FILE* stream, const unsigned char* bytes, size_t count);
