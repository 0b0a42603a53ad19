#pragma once

#include <ctime>
#include <functional>

// The parts store's source of "now" in seconds since 1970; tests pass their own to move time without waiting.
using PartsClock = std::function<time_t()>;

inline time_t SystemClock() {
    return std::time(nullptr);
}
