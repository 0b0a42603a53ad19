#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// Reads the next significant line of a configuration file: comment lines (beginning with "#") and empty lines
// are skipped, the text is trimmed of surrounding white space, and lines left empty are skipped too. Physical
// lines longer than 1023 characters are read as several lines, and text after a NUL byte does not count. A
// last line without a line end is not used. None at the end of the file.
std::optional<std::string> ReadSignificantLine(std::FILE* file);

// The first `limit` characters of a value that ends its line, without the white space such a cut can leave at
// its end: a line loses that when it is read, so the value would not survive a save.
std::string CutLineEndValue(std::string_view value, size_t limit);
