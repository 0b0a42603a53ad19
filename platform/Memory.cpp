#include "platform/Memory.h"

#include <malloc.h>

void ReuseLargeAllocations() {
    constexpr int kLargestReusedBlock = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, kLargestReusedBlock);
    mallopt(M_TRIM_THRESHOLD, kLargestReusedBlock);
}
