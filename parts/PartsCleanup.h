#pragma once

#include <string>

// Removes the first quarter (n / 4) of the index's records with their part files: the binaries that have
// waited longest without a new part. Returns the number of records removed; 0 when the index has fewer than
// four records or cannot be read or replaced.
int RemoveOldestQuarter(const std::string& partsDir);
