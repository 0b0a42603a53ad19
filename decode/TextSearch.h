#pragma once

#include <cstddef>
#include <string_view>

// Searches in byte ranges of a body. NUL bytes are ordinary bytes here; every search stops at `end`.

// First occurrence of needle in [from, end), or null.
char* FindText(char* from, char* end, std::string_view needle);
const char* FindText(const char* from, const char* end, std::string_view needle);

// First occurrence of needle in [from, end) that starts a line: at `lineStart` itself or right after a CR or
// LF.
const char* FindAtLineStart(const char* lineStart, const char* from, const char* end,
                            std::string_view needle);
char* FindAtLineStart(char* lineStart, char* from, char* end, std::string_view needle);

// First CR or LF in [from, end), or end.
const char* FindLineEnd(const char* from, const char* end);
char* FindLineEnd(char* from, char* end);

inline bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}
