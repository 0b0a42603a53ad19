#pragma once

// Developer traces (object life, records read). They go to standard error, and only while switched on: a
// user's console and log stay clean.
void SetTracing(bool on);
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
