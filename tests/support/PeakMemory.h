#pragma once

// The process's peak resident memory in KiB; -1 when it cannot be read.
long PeakResidentKib();

// Starts the peak over from the memory resident now.
void ResetPeakResident();

// Sanitizers keep shadow memory and freed blocks of their own: memory bounds hold for the plain build.
constexpr bool kPlainBuild =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    false;
#else
    true;
#endif
