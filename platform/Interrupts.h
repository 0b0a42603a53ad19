#pragma once

#include <functional>

// Blocks Ctrl+C (SIGINT) and SIGTERM in the calling thread and in every thread it starts from then on. Call
// first thing in main, before anything can start a thread: a thread that still accepts the signals would be
// ended by them, and the process with it.
void BlockInterrupts();

// Routes Ctrl+C and SIGTERM to `handler` on a thread of its own, with the number of interrupts so far (1 for
// the first). Interrupts that came in since BlockInterrupts are handled at once.
void HandleInterrupts(std::function<void(int count)> handler);
