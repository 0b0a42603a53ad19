#pragma once

#include <optional>
#include <string>

#include "parts/Header.h"
#include "parts/PartsClock.h"

// Keeps the body of part article `header` in the parts directory and records it in the index, then scans the
// index. When that completes the post, returns the part bodies joined in part order followed by "\r\n.\r\n",
// and adds 1 to each counter. `partsDir` is PartsDir (empty or ending in "/"), `maxAgeDays` is MaxPartAge.
// A header that is not a part subject stores nothing.
std::optional<std::string> StorePart(Header& header, std::string body, const std::string& partsDir,
                                     long& counterA, long& counterB, long maxAgeDays,
                                     const PartsClock& clock = SystemClock);

// The scan: expires old records, collects the records of `signature`, re-stamps them while incomplete and
// joins them once slots 1 to the total are all filled. The caller holds the parts lock.
std::optional<std::string> CollectParts(const std::string& signature, const std::string& partsDir,
                                        long& counterA, long& counterB, long maxAgeDays,
                                        const PartsClock& clock = SystemClock);

// Forgets the remembered second, the same-second counter and the index held in memory (once what it has not
// yet written is written), as a process ends and a new one starts.
void ResetPartFileNaming();

// Writes what the index held in memory has not yet written (refreshed times) to the index file.
void FlushPartsIndex();
