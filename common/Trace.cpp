#include "common/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<bool> tracing{false};
}

void SetTracing(bool on) {
    tracing = on;
}

void Trace(const char* format, ...) {
    if (!tracing) {
        return;
    }
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
}
