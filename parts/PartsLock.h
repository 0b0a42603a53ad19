#pragma once

// The one lock over the parts index and the part files. Storing, the scan, the clean-up and the browser's
// reads and deletions all hold it, so none of them ever sees another's half-written index.
void LockParts();
void UnlockParts();

// Holds the parts lock for its lifetime.
class PartsLockGuard {
  public:
    PartsLockGuard() { LockParts(); }
    ~PartsLockGuard() { UnlockParts(); }
    PartsLockGuard(const PartsLockGuard&) = delete;
    PartsLockGuard& operator=(const PartsLockGuard&) = delete;
};
