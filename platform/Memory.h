#pragma once

// Keeps freed large blocks (article bodies of many megabytes) in the heap for reuse instead of returning them
// to the system, so the next body of that size does not pay for fresh zeroed pages. Called once at start.
void ReuseLargeAllocations();
