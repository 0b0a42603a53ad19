#include "parts/PartsLock.h"

#include <semaphore>

namespace {

// Taken and released by different calls, possibly on different threads, so a semaphore rather than a mutex.
std::binary_semaphore partsLock{1};

} // namespace

void LockParts() {
    partsLock.acquire();
}

void UnlockParts() {
    partsLock.release();
}
