#pragma once

#include "decode/UUDecode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The start of a yEnc block's first line.
inline constexpr std::string_view kYBeginMarker = "=ybegin ";

// What a block's "=ybegin" line, and "=ypart" line for a part, say.
struct YEncHeader {
    std::string name;       // as posted: the rest of the "=ybegin" line, blanks included
    uint64_t size = 0;      // the whole file's size
    bool multipart = false; // one part of the file, placed by its "=ypart" line
    int part = 1;
    int total = 0;      // 0 when not given
    uint64_t first = 0; // the block holds bytes [first, last) of the file
    uint64_t last = 0;
};

// What a block's "=yend" line says.
struct YEncTrailer {
    std::optional<uint64_t> size;
    std::optional<uint32_t> pcrc32; // the part's CRC
    std::optional<uint32_t> crc32;  // the whole file's CRC
};

// One block, its data decoded in place over its text.
struct YEncBlock {
    std::optional<YEncHeader> header;   // none when its control lines lack what a file needs (logged)
    std::optional<YEncTrailer> trailer; // none when the block breaks off before an "=yend" line
    char* data = nullptr;
    uint64_t size = 0;
    uint32_t crc = 0;
};

// What the "=ybegin" line of the next block at or after the cursor says, its place aside; nothing is
// consumed.
std::optional<YEncHeader> PeekYEncHeader(const TextCursor& cursor);

// Reads the next block at or after the cursor, which moves past its "=yend" line, or to where its data breaks
// off. False when no block is left; the cursor is then at the end.
bool ReadYEncBlock(TextCursor& cursor, YEncBlock& block);
