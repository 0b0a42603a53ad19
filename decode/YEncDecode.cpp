#include "decode/YEncDecode.h"

#include "decode/Crc32.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// The decoded bytes are checked a piece at a time, while the piece is still in the cache.
constexpr long kChunk = 32 * 1024;

inline bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

#if defined(__x86_64__) || defined(__i386__)
// For each set of kept bytes among eight, the positions of those bytes in order (plus `base`): the shuffle
// that packs them.
constexpr std::array<uint64_t, 256> PackTable(unsigned base) {
    std::array<uint64_t, 256> table{};
    for (unsigned keep = 0; keep < 256; ++keep) {
        int kept = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (keep & (1u << bit)) {
                table[keep] |= uint64_t{bit + base} << (8 * kept++);
            }
        }
    }
    return table;
}
constexpr auto kPackLow = PackTable(0);
constexpr auto kPackHigh = PackTable(8);

// The decoded bytes of sixteen characters: each minus 42, minus 64 more after an escape. `before` holds the
// escape flags of the sixteen characters in front: only its last one counts.
__attribute__((target("ssse3"))) inline __m128i DecodeSixteen(__m128i chars, __m128i isEquals,
                                                              __m128i before) {
    __m128i escaped = _mm_alignr_epi8(isEquals, before, 15);
    return _mm_sub_epi8(_mm_sub_epi8(chars, _mm_set1_epi8(42)), _mm_and_si128(escaped, _mm_set1_epi8(64)));
}

// Stores the bytes whose bits are set in `keep` (16 bits), packed, at out; writes 16 bytes at most. Returns
// the number kept.
__attribute__((target("ssse3,popcnt"))) inline unsigned PackSixteen(__m128i bytes, unsigned keep, char* out) {
    unsigned low = keep & 0xFF, high = keep >> 8;
    __m128i shuffle = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kPackLow[low])),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kPackHigh[high])));
    __m128i packed = _mm_shuffle_epi8(bytes, shuffle);
    unsigned lowKept = static_cast<unsigned>(__builtin_popcount(low));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + lowKept), _mm_srli_si128(packed, 8));
    return lowKept + static_cast<unsigned>(__builtin_popcount(high));
}

inline unsigned Mask(__m128i flags) {
    return static_cast<unsigned>(_mm_movemask_epi8(flags));
}

// Thirty-two bytes a step, without a branch for escapes and line ends. A step that holds an escaped "=" or
// the start of a control line (both rare) goes byte by byte.
__attribute__((target("ssse3,popcnt"))) const char*
YDecodeVector(const char* p, const char* limit, const char* end, char*& out, YDecodeState& state) {
    const __m128i equals = _mm_set1_epi8('='), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i y = _mm_set1_epi8('y');
    auto load = [](const char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    char* o = out;
    bool escaped = state.escaped;
    unsigned lineStart = state.lineStart;
    // The look at the byte after the step needs one more byte of text.
    while (limit - p >= 32 && end - p > 32) {
        __m128i first = load(p), second = load(p + 16);
        __m128i firstEquals = _mm_cmpeq_epi8(first, equals), secondEquals = _mm_cmpeq_epi8(second, equals);
        uint32_t eq = Mask(firstEquals) | Mask(secondEquals) << 16;
        uint32_t breaks = Mask(_mm_or_si128(_mm_cmpeq_epi8(first, cr), _mm_cmpeq_epi8(first, lf))) |
                          Mask(_mm_or_si128(_mm_cmpeq_epi8(second, cr), _mm_cmpeq_epi8(second, lf))) << 16;
        uint32_t starts = (breaks << 1 | lineStart) & eq;
        bool control = starts != 0 && (starts & (Mask(_mm_cmpeq_epi8(load(p + 1), y)) |
                                                 Mask(_mm_cmpeq_epi8(load(p + 17), y)) << 16)) != 0;
        if (control || (eq & (eq << 1 | static_cast<uint32_t>(escaped))) != 0) {
            YDecodeState bytewise{escaped, lineStart != 0};
            const char* next = YDecodePlain(p, p + 32, end, o, bytewise);
            escaped = bytewise.escaped;
            lineStart = bytewise.lineStart;
            bool stopped = next != p + 32;
            p = next;
            if (stopped) {
                break;
            }
            continue;
        }
        __m128i before = _mm_slli_si128(_mm_cvtsi32_si128(escaped ? 0xFF : 0), 15);
        uint32_t keep = ~(eq | breaks);
        o += PackSixteen(DecodeSixteen(first, firstEquals, before), keep & 0xFFFF, o);
        o += PackSixteen(DecodeSixteen(second, secondEquals, firstEquals), keep >> 16, o);
        escaped = (eq >> 31) != 0;
        lineStart = breaks >> 31;
        p += 32;
    }
    out = o;
    state = YDecodeState{escaped, lineStart != 0};
    return YDecodePlain(p, limit, end, out, state);
}

const bool kVectorDecode = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
}();
#endif

} // namespace

const char* YDecodePlain(const char* p, const char* limit, const char* end, char*& out, YDecodeState& state) {
    char* o = out;
    bool escaped = state.escaped, lineStart = state.lineStart;
    for (; p < limit; ++p) {
        char c = *p;
        if (IsBreak(c)) {
            escaped = false;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '=' && end - p > 1 && p[1] == 'y') {
            break;
        }
        lineStart = false;
        if (escaped) {
            *o++ = static_cast<char>(c - 106);
            escaped = false;
        } else if (c == '=') {
            escaped = true;
        } else {
            *o++ = static_cast<char>(c - 42);
        }
    }
    out = o;
    state = YDecodeState{escaped, lineStart};
    return p;
}

const char* YDecode(const char* in, const char* limit, const char* end, char*& out, YDecodeState& state) {
#if defined(__x86_64__) || defined(__i386__)
    if (kVectorDecode) {
        return YDecodeVector(in, limit, end, out, state);
    }
#endif
    return YDecodePlain(in, limit, end, out, state);
}

YEncData DecodeYEncData(char* data, char* end) {
    YDecodeState state;
    char* out = data;
    const char* p = data;
    uint32_t crc = 0;
    while (p < end) {
        const char* limit = end - p > kChunk ? p + kChunk : end;
        char* piece = out;
        const char* next = YDecode(p, limit, end, out, state);
        crc = Crc32(crc, piece, static_cast<size_t>(out - piece));
        bool stopped = next != limit;
        p = next;
        if (stopped) {
            break;
        }
    }
    return YEncData{data + (p - data), static_cast<uint64_t>(out - data), crc};
}
