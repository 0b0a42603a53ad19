#include "decode/YEncDecode.h"

#include "decode/Crc32.h"

#include <array>
#include <bit>

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
// For each set of kept bytes of eight, the positions of those bytes in order: a shuffle that packs them.
constexpr auto kPack = [] {
    std::array<uint64_t, 256> table{};
    for (unsigned keep = 0; keep < 256; ++keep) {
        int kept = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (keep & (1u << bit)) {
                table[keep] |= uint64_t{bit} << (8 * kept++);
            }
        }
    }
    return table;
}();

constexpr auto kKept = [] {
    std::array<uint8_t, 256> table{};
    for (unsigned keep = 0; keep < 256; ++keep) {
        table[keep] = static_cast<uint8_t>(std::popcount(keep));
    }
    return table;
}();

// Sixteen bytes a step. A step that holds an escaped "=" or the start of a control line goes byte by byte.
__attribute__((target("ssse3"))) const char* YDecodeVector(const char* p, const char* limit, const char* end,
                                                           char*& out, YDecodeState& state) {
    const __m128i equals = _mm_set1_epi8('='), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i y = _mm_set1_epi8('y'), offset = _mm_set1_epi8(42), escapeOffset = _mm_set1_epi8(64);
    char* o = out;
    unsigned escaped = state.escaped, lineStart = state.lineStart;
    // The look at the byte after the sixteen needs one more byte of text.
    while (limit - p >= 16 && end - p > 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i isEquals = _mm_cmpeq_epi8(v, equals);
        unsigned eq = static_cast<unsigned>(_mm_movemask_epi8(isEquals));
        unsigned breaks = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        unsigned starts = (breaks << 1 | lineStart) & eq;
        bool control =
            starts != 0 && (starts & static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)), y)))) != 0;
        if (control || (eq & (eq << 1 | escaped)) != 0) {
            YDecodeState bytewise{escaped != 0, lineStart != 0};
            const char* next = YDecodePlain(p, p + 16, end, o, bytewise);
            escaped = bytewise.escaped;
            lineStart = bytewise.lineStart;
            bool stopped = next != p + 16;
            p = next;
            if (stopped) {
                break;
            }
            continue;
        }
        __m128i escapes = _mm_or_si128(_mm_slli_si128(isEquals, 1), _mm_cvtsi32_si128(escaped ? 0xFF : 0));
        __m128i bytes = _mm_sub_epi8(_mm_sub_epi8(v, offset), _mm_and_si128(escapes, escapeOffset));
        unsigned keep = ~(eq | breaks) & 0xFFFF;
        if (keep == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), bytes);
            o += 16;
        } else {
            unsigned low = keep & 0xFF, high = keep >> 8;
            __m128i shuffle = _mm_set_epi64x(static_cast<long long>(kPack[high] + 0x0808080808080808ull),
                                             static_cast<long long>(kPack[low]));
            __m128i packed = _mm_shuffle_epi8(bytes, shuffle);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
            o += kKept[low];
            _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_srli_si128(packed, 8));
            o += kKept[high];
        }
        escaped = eq >> 15;
        lineStart = breaks >> 15;
        p += 16;
    }
    out = o;
    state = YDecodeState{escaped != 0, lineStart != 0};
    return YDecodePlain(p, limit, end, out, state);
}

const bool kVectorDecode = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
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
