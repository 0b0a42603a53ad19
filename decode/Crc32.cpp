#include "decode/Crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// Table k gives the CRC of a byte followed by k zero bytes.
constexpr auto kTables = [] {
    std::array<std::array<uint32_t, 256>, 8> tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        }
        tables[0][i] = c;
    }
    for (size_t k = 1; k < tables.size(); ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}();

// Works on the inverted register, as the folding below does.
uint32_t SliceBy8(uint32_t crc, const unsigned char* p, size_t size) {
    const auto& t = kTables;
    for (; size >= 8; p += 8, size -= 8) {
        uint64_t word;
        memcpy(&word, p, 8);
        if constexpr (std::endian::native == std::endian::big) {
            word = __builtin_bswap64(word);
        }
        uint32_t low = static_cast<uint32_t>(word) ^ crc;
        uint32_t high = static_cast<uint32_t>(word >> 32);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; size > 0; ++p, --size) {
        crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    }
    return crc;
}

#if defined(__x86_64__) || defined(__i386__)
inline __m128i Load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x carried 128 bits further (by the constant pair k), plus the next 128 bits.
__attribute__((target("pclmul,sse2"))) inline __m128i FoldInto(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)),
                         next);
}

// Folds 64 bytes a step with carry-less multiplies and reduces with Barrett's method (the constants are the
// powers of x modulo the bit-reflected polynomial that fold across 512 and 128 bits). `size` is a multiple
// of 16 and at least 64; works on the inverted register.
__attribute__((target("pclmul,sse2"))) uint32_t Fold(uint32_t crc, const unsigned char* p, size_t size) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
    for (p += 64, size -= 64; size >= 64; p += 64, size -= 64) {
        x1 = FoldInto(x1, k1k2, Load(p));
        x2 = FoldInto(x2, k1k2, Load(p + 16));
        x3 = FoldInto(x3, k1k2, Load(p + 32));
        x4 = FoldInto(x4, k1k2, Load(p + 48));
    }
    x1 = FoldInto(FoldInto(FoldInto(x1, k3k4, x2), k3k4, x3), k3k4, x4);
    for (; size >= 16; p += 16, size -= 16) {
        x1 = FoldInto(x1, k3k4, Load(p));
    }
    // 128 bits to 64, then Barrett's reduction to 32.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), _mm_srli_si128(x1, 4));
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10), low32);
    x1 = _mm_xor_si128(x1, _mm_clmulepi64_si128(t, poly, 0x00));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

const bool kFolding = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") != 0;
}();
#endif

// a times b modulo the polynomial, both reflected (bit 31 is x^0).
constexpr uint32_t MultiplyModulo(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
        if (a & bit) {
            product ^= b;
        }
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

// x^(2^k) modulo the polynomial, for every k a byte count of 64 bits needs (8 bits a byte: k up to 66).
constexpr auto kPowers = [] {
    std::array<uint32_t, 67> powers{};
    powers[0] = 1u << 30; // x^1
    for (size_t k = 1; k < powers.size(); ++k) {
        powers[k] = MultiplyModulo(powers[k - 1], powers[k - 1]);
    }
    return powers;
}();

} // namespace

uint32_t Crc32Plain(uint32_t crc, const char* data, size_t size) {
    return ~SliceBy8(~crc, reinterpret_cast<const unsigned char*>(data), size);
}

uint32_t Crc32(uint32_t crc, const char* data, size_t size) {
#if defined(__x86_64__) || defined(__i386__)
    if (kFolding && size >= 64) {
        auto p = reinterpret_cast<const unsigned char*>(data);
        size_t bulk = size & ~size_t{15};
        crc = ~SliceBy8(Fold(~crc, p, bulk), p + bulk, size - bulk);
        return crc;
    }
#endif
    return Crc32Plain(crc, data, size);
}

uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t sizeB) {
    // crcA moves past sizeB zero bytes, that is, it is multiplied by x^(8 sizeB).
    uint32_t shift = 1u << 31;
    uint64_t bits = sizeB;
    for (size_t k = 3; bits != 0; bits >>= 1, ++k) {
        if (bits & 1) {
            shift = MultiplyModulo(kPowers[k], shift);
        }
    }
    return MultiplyModulo(shift, crcA) ^ crcB;
}
