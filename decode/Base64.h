#pragma once

#include <cstddef>

// Decodes base64 text in [begin, end) over itself: characters outside the alphabet are skipped, "=" or the
// end ends the data, and a final group of two or three characters gives one or two bytes. Returns the number
// of bytes now at begin.
size_t DecodeBase64InPlace(char* begin, char* end);
