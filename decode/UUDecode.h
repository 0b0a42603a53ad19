#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

// The unread rest [pos, end) of a body that the decoders may overwrite in place.
struct TextCursor {
    char* pos = nullptr;
    char* end = nullptr;
};

// The next non-empty line (runs of CR and LF separate lines); an empty view at the end of the text.
std::string_view NextLine(TextCursor& cursor);

// How a data line compares with the length its count character announces.
enum class UULineVerdict { kGood, kShort, kTooMuch, kCorrupt };

struct UULineCheck {
    UULineVerdict verdict;
    int count;    // bytes the line announces
    int expected; // characters that should follow the count character
    int octets;   // characters that do follow it
};

UULineCheck CheckUULine(std::string_view line);

// Decodes the data of a line that passed CheckUULine into `out` (which may lie before the line in the same
// buffer); characters missing at the end count as 0. Returns the bytes stored (the announced count).
int DecodeUULine(std::string_view line, int count, char* out);

// Logs the two lines for a line with surplus characters or a corrupt one.
void LogUULine(const UULineCheck& check, std::string_view line);

// Decodes the next uuencoded block after the cursor into `file` with one write, overwriting the consumed text
// with the decoded bytes. The cursor ends up after the last line taken. Returns the number of bytes decoded.
uint64_t UUDecodeFile(FILE* file, TextCursor& cursor, int kind);

// The start of a block's first line.
inline constexpr std::string_view kBeginMarker = "begin ";
