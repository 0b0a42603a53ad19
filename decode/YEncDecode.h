#pragma once

#include <cstdint>

// Where a decoding that goes on over several calls stands.
struct YDecodeState {
    bool escaped = false;  // the byte before was an escape character "="
    bool lineStart = true; // the byte before ended a line; data always starts on a line of its own
};

// Decodes the yEnc data bytes [in, limit) to `out`, which it advances: CR and LF are dropped; "=" followed by
// a byte gives that byte minus 106, any other byte gives itself minus 42 (modulo 256). An "=" before a line
// end or at the very end gives nothing. A line that starts with "=y" is a control line, not data: decoding
// stops at its start, which is returned; otherwise `limit` is. `end` bounds the look at a line's second byte.
// `out` may be `in` itself: the output never overtakes the input. It may receive up to 16 bytes beyond what
// it keeps, but never more than `limit` - `in` in all.
const char* YDecode(const char* in, const char* limit, const char* end, char*& out, YDecodeState& state);

// The same a byte at a time: what YDecode falls back on where the processor has no SSSE3.
const char* YDecodePlain(const char* in, const char* limit, const char* end, char*& out, YDecodeState& state);

struct YEncData {
    char* stop;    // the start of the control line that ends the data, or the end of the text
    uint64_t size; // the bytes decoded
    uint32_t crc;  // their CRC-32
};

// Decodes the data lines of a block from `data` on, in place over their text, up to the next control line.
YEncData DecodeYEncData(char* data, char* end);
