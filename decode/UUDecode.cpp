#include "decode/UUDecode.h"

#include "decode/TextSearch.h"
#include "log/Log.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

inline unsigned UUValue(char c) {
    return static_cast<unsigned>(static_cast<unsigned char>(c) - 32) & 63;
}

constexpr int kFullLineChars = 60; // a line announcing 45 bytes ("M"), the common case
constexpr int kFullLineBytes = 45;

// Word loads and stores in the byte order the arithmetic below assumes: first byte lowest.
inline uint64_t LoadLittle(const char* p) {
    uint64_t word;
    memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

inline void StoreBig(char* p, uint64_t word) {
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    memcpy(p, &word, 8);
}

// Decodes eight characters (two groups) into six bytes at out, writing eight; `below` collects a flag for
// every byte under the blank.
inline void DecodeEight(const char* in, char* out, uint64_t& below) {
    uint64_t word = LoadLittle(in);
    below |= (word - 0x2020202020202020ull) & ~word & 0x8080808080808080ull;
    // (c - 32) AND 63 equals (c XOR 32) AND 63, which needs no borrow between the bytes.
    uint64_t v = (word ^ 0x2020202020202020ull) & 0x3F3F3F3F3F3F3F3Full;
    uint64_t pairs = (v & 0x003F003F003F003Full) << 6 | (v >> 8 & 0x003F003F003F003Full);
    uint64_t groups = (pairs & 0x00000FFF00000FFFull) << 12 | (pairs >> 16 & 0x00000FFF00000FFFull);
    uint64_t bytes = (groups & 0xFFFFFFull) << 24 | groups >> 32;
    StoreBig(out, bytes << 16);
}

// Decodes the 60 characters of a full line into out[0..44] (writing up to out[46]). False when they hold a
// byte below the blank, such as a line end: the line is then shorter than it looked and is taken the careful
// way.
bool DecodeFullLineWords(const char* data, char* out) {
    uint64_t below = 0;
    for (int i = 0; i < 7; ++i) {
        DecodeEight(data + 8 * i, out + 6 * i, below);
    }
    // The last four characters, read with the four before them so as to stay inside the line: those give
    // again the bytes already at out[39..41].
    DecodeEight(data + kFullLineChars - 8, out + kFullLineBytes - 6, below);
    return below == 0;
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen characters (four groups) into twelve bytes, returned in the low twelve bytes of the result; `below`
// collects the characters under the blank.
__attribute__((target("ssse3"))) inline __m128i DecodeSixteen(const char* in, __m128i& below) {
    __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    __m128i blank = _mm_set1_epi8(0x20);
    below = _mm_or_si128(below,
                         _mm_xor_si128(_mm_cmpeq_epi8(_mm_max_epu8(chars, blank), chars), _mm_set1_epi8(-1)));
    __m128i values = _mm_and_si128(_mm_xor_si128(chars, blank), _mm_set1_epi8(0x3F));
    // a*64 + b and c*64 + d in each 16-bit half, then (a*64 + b)*4096 + c*64 + d in each 32-bit lane.
    __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

// The same as DecodeFullLineWords, four groups at a time; writes exactly out[0..44].
__attribute__((target("ssse3"))) bool DecodeFullLineVector(const char* data, char* out) {
    __m128i below = _mm_setzero_si128();
    __m128i first = DecodeSixteen(data, below);
    __m128i second = DecodeSixteen(data + 16, below);
    __m128i third = DecodeSixteen(data + 32, below);
    // The last twelve characters, read with the four before them: those give again out[33..35].
    __m128i last = DecodeSixteen(data + kFullLineChars - 16, below);
    if (_mm_movemask_epi8(below) != 0) {
        return false;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), second);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), third);
    char tail[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(tail), last);
    memcpy(out + 33, tail, 12);
    return true;
}

const bool kVectorLines = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}();

bool DecodeFullLine(const char* data, char* out) {
    return kVectorLines ? DecodeFullLineVector(data, out) : DecodeFullLineWords(data, out);
}
#else
bool DecodeFullLine(const char* data, char* out) {
    return DecodeFullLineWords(data, out);
}
#endif

// Takes the next line if it is a plain full line ("M", 60 characters, a line end), decoding it to `out`.
bool TakeFullLine(TextCursor& cursor, char* out) {
    char* p = cursor.pos;
    while (p < cursor.end && IsLineBreak(*p)) {
        ++p;
    }
    if (cursor.end - p <= kFullLineChars + 1 || p[0] != 'M' || !IsLineBreak(p[kFullLineChars + 1])) {
        return false;
    }
    // The 48 bytes written from out on are free text already consumed; only when they would reach into this
    // very line is the line decoded aside first.
    constexpr ptrdiff_t kWritten = 48;
    if (p - out >= kWritten) {
        if (!DecodeFullLine(p + 1, out)) {
            return false;
        }
    } else {
        char bytes[kWritten];
        if (!DecodeFullLine(p + 1, bytes)) {
            return false;
        }
        memcpy(out, bytes, kFullLineBytes);
    }
    cursor.pos = p + kFullLineChars + 1;
    return true;
}

// The log cuts every message to a few KiB; a longer line need not be handed over whole.
int LogLength(std::string_view line) {
    return static_cast<int>(std::min<size_t>(line.size(), 8192));
}

} // namespace

std::string_view NextLine(TextCursor& cursor) {
    char* p = cursor.pos;
    while (p < cursor.end && IsLineBreak(*p)) {
        ++p;
    }
    char* lineEnd = FindLineEnd(p, cursor.end);
    char* next = lineEnd;
    while (next < cursor.end && IsLineBreak(*next)) {
        ++next;
    }
    cursor.pos = next;
    return std::string_view(p, static_cast<size_t>(lineEnd - p));
}

UULineCheck CheckUULine(std::string_view line) {
    UULineCheck check{UULineVerdict::kCorrupt, 0, 0, 0};
    if (line.empty()) {
        return check;
    }
    check.count = static_cast<int>(UUValue(line[0]));
    check.expected = 4 * ((check.count + 2) / 3);
    check.octets = static_cast<int>(std::min<size_t>(line.size() - 1, INT_MAX));
    int diff = check.octets - check.expected;
    if (diff == 0) {
        check.verdict = UULineVerdict::kGood;
    } else if (line.find("CUT") != std::string_view::npos) {
        check.verdict = UULineVerdict::kCorrupt;
    } else if (diff == -1 || diff == -2) {
        check.verdict = UULineVerdict::kShort;
    } else if (diff == 1 || diff == 2) {
        check.verdict = UULineVerdict::kTooMuch;
    }
    return check;
}

int DecodeUULine(std::string_view line, int count, char* out) {
    const char* in = line.data() + 1;
    size_t available = line.size() - 1;
    int left = count;
    size_t i = 0;
    // Whole groups that are all present: the common case.
    while (left >= 3 && i + 4 <= available) {
        unsigned p = UUValue(in[i]), q = UUValue(in[i + 1]), r = UUValue(in[i + 2]), s = UUValue(in[i + 3]);
        out[0] = static_cast<char>(p << 2 | q >> 4);
        out[1] = static_cast<char>((q & 15) << 4 | r >> 2);
        out[2] = static_cast<char>((r & 3) << 6 | s);
        out += 3;
        i += 4;
        left -= 3;
    }
    // The last group: it may be partial or lack characters stripped in transit.
    while (left > 0) {
        unsigned v[4];
        for (size_t k = 0; k < 4; ++k) {
            v[k] = i + k < available ? UUValue(in[i + k]) : 0;
        }
        char bytes[3] = {static_cast<char>(v[0] << 2 | v[1] >> 4),
                         static_cast<char>((v[1] & 15) << 4 | v[2] >> 2),
                         static_cast<char>((v[2] & 3) << 6 | v[3])};
        int take = std::min(left, 3);
        std::copy(bytes, bytes + take, out);
        out += take;
        i += 4;
        left -= take;
    }
    return count;
}

void LogUULine(const UULineCheck& check, std::string_view line) {
    if (check.verdict == UULineVerdict::kTooMuch) {
        LogMessage("   Too much data, %d octets, should be %d, using anyway", check.octets, check.expected);
        LogMessage("   Data: %.*s", LogLength(line), line.data());
    } else if (check.verdict == UULineVerdict::kCorrupt) {
        LogMessage("Corrupt binary data, %d octets, should be %d.", check.octets, check.expected);
        LogMessage("Data: %.*s", LogLength(line), line.data());
    }
}

uint64_t UUDecodeFile(FILE* file, TextCursor& cursor, int /*kind: both kinds decode alike*/) {
    if (!cursor.pos) {
        return 0;
    }
    char* start = FindAtLineStart(cursor.pos, cursor.pos, cursor.end, kBeginMarker);
    if (!start) {
        cursor.pos = cursor.end;
        return 0;
    }
    cursor.pos = start;
    NextLine(cursor);
    LogMessage("   UUDecoding... ");

    // Decoded bytes are never longer than the text they come from, so they go over the consumed text.
    char* out = start;
    uint64_t total = 0;
    for (;;) {
        if (TakeFullLine(cursor, out)) {
            out += kFullLineBytes;
            total += kFullLineBytes;
            continue;
        }
        std::string_view line = NextLine(cursor);
        if (line.empty()) {
            break;
        }
        UULineCheck check = CheckUULine(line);
        if (check.verdict == UULineVerdict::kCorrupt) {
            LogUULine(check, line);
            continue;
        }
        LogUULine(check, line);
        if (check.count == 0) {
            break;
        }
        out += DecodeUULine(line, check.count, out);
        total += static_cast<uint64_t>(check.count);
    }
    if (total > 0) {
        fwrite(start, 1, total, file);
    }
    return total;
}
