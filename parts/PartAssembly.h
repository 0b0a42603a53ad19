#pragma once

#include <optional>
#include <string>
#include <vector>

#include "parts/PartRecord.h"

// Joins the part files of `parts`, in the given order, followed by "\r\n.\r\n". The files stream through a
// temporary file in the parts directory and the result is read back once, so no part is ever held twice in
// memory. A missing part file is logged and left out; nothing when the temporary file cannot be made or
// written.
std::optional<std::string> AssembleParts(const std::string& partsDir, const std::vector<PartRecord>& parts);
