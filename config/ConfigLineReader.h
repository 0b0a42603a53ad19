#pragma once

#include <cstdio>
#include <optional>
#include <string>

// Reads the next significant line of a configuration file: comment lines (beginning with "#") and empty lines
// are skipped, the text is trimmed of surrounding white space, and lines left empty are skipped too. Physical
// lines longer than 1023 characters are read as several lines, and text after a NUL byte does not count. A
// last line without a line end is not used. None at the end of the file.
std::optional<std::string> ReadSignificantLine(std::FILE* file);
