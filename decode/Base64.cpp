#include "decode/Base64.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint8_t kSkip = 0x40;
constexpr uint8_t kStop = 0x80;
constexpr uint32_t kNotInAlphabet = 0xFF000000u;

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of each byte: 0-63 for the alphabet, kStop for "=", kSkip for everything else.
constexpr std::array<uint8_t, 256> MakeValues() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) {
        entry = kSkip;
    }
    for (uint8_t i = 0; i < 64; ++i) {
        table[static_cast<uint8_t>(kAlphabet[i])] = i;
    }
    table['='] = kStop;
    return table;
}

// The value already moved to its place in a group of four; bytes outside the alphabet set the top byte.
constexpr std::array<uint32_t, 256> MakeShifted(int shift) {
    std::array<uint32_t, 256> table{};
    for (auto& entry : table) {
        entry = kNotInAlphabet;
    }
    for (uint32_t i = 0; i < 64; ++i) {
        table[static_cast<uint8_t>(kAlphabet[i])] = i << shift;
    }
    return table;
}

constexpr std::array<uint8_t, 256> kValues = MakeValues();
constexpr std::array<uint32_t, 256> kFirst = MakeShifted(18);
constexpr std::array<uint32_t, 256> kSecond = MakeShifted(12);
constexpr std::array<uint32_t, 256> kThird = MakeShifted(6);
constexpr std::array<uint32_t, 256> kFourth = MakeShifted(0);

inline uint8_t Byte(const char* p) {
    return static_cast<uint8_t>(*p);
}

// Stores the three bytes of a group with one four-byte write; the fourth byte lands on text already read
// (out + 4 <= in + 4) and is overwritten by the next group or lies past the result.
inline void StoreGroup(char* out, uint32_t bits) {
    uint32_t word = bits << 8;
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap32(word);
    }
    memcpy(out, &word, 4);
}

inline uint32_t Group(const char* in) {
    return kFirst[Byte(in)] | kSecond[Byte(in + 1)] | kThird[Byte(in + 2)] | kFourth[Byte(in + 3)];
}

// Two groups with one eight-byte write, under the same condition (out + 8 <= in + 8).
inline void StoreGroups(char* out, uint32_t first, uint32_t second) {
    uint64_t word = static_cast<uint64_t>(first) << 40 | static_cast<uint64_t>(second) << 16;
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    memcpy(out, &word, 8);
}

} // namespace

size_t DecodeBase64InPlace(char* begin, char* end) {
    const char* in = begin;
    char* out = begin;
    uint32_t group = 0;
    int held = 0;
    while (in < end) {
        // Whole groups of four alphabet characters, and the line ends between them: the common case.
        while (held == 0 && end - in >= 8) {
            uint32_t first = Group(in), second = Group(in + 4);
            if ((first | second) & kNotInAlphabet) {
                if (in[0] == '\r' && in[1] == '\n') {
                    in += 2;
                    continue;
                }
                if (first & kNotInAlphabet) {
                    break;
                }
                StoreGroup(out, first);
                out += 3;
                in += 4;
                continue;
            }
            StoreGroups(out, first, second);
            out += 6;
            in += 8;
        }
        if (in >= end) {
            break;
        }
        uint8_t v = kValues[Byte(in++)];
        if (v == kStop) {
            break;
        }
        if (v == kSkip) {
            continue;
        }
        group = group << 6 | v;
        if (++held == 4) {
            out[0] = static_cast<char>(group >> 16);
            out[1] = static_cast<char>(group >> 8);
            out[2] = static_cast<char>(group);
            out += 3;
            group = 0;
            held = 0;
        }
    }
    if (held == 3) {
        out[0] = static_cast<char>(group >> 10);
        out[1] = static_cast<char>(group >> 2);
        out += 2;
    } else if (held == 2) {
        out[0] = static_cast<char>(group >> 4);
        out += 1;
    }
    return static_cast<size_t>(out - begin);
}
