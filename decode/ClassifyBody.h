#pragma once

#include <optional>
#include <string>

// What the start of a text holds.
enum EncodingKind { kUUEncode = 0, kUULike = 1, kMime = 2, kNothing = 3, kYEnc = 4 };

// Looks at the first 100 lines of [text, end) for a yEnc "=ybegin" line, a start line followed by uuencoded
// data, or a MIME transfer-encoding header, whichever comes first.
int ClassifyBody(const char* text, const char* end);

// The cleaned name of the first file in [text, end) for kinds 0 and 1 (from the first line that starts with
// "begin ", else from the first "begin " anywhere) and kind 2 (from a name parameter); none otherwise.
std::optional<std::string> ExtractFileName(const char* text, const char* end, int kind);
