#pragma once

#include <functional>

// Routes Ctrl+C (SIGINT) and SIGTERM to `handler` on a thread of its own, with the number of interrupts so
// far (1 for the first). Call before any other thread starts, so that none of them receives the signals.
void HandleInterrupts(std::function<void(int count)> handler);
