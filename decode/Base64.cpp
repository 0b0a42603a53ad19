#include "decode/Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr uint8_t kSkip = 0x40;
constexpr uint8_t kStop = 0x80;

constexpr std::array<uint8_t, 256> MakeTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) {
        entry = kSkip;
    }
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (uint8_t i = 0; i < 64; ++i) {
        table[static_cast<uint8_t>(alphabet[i])] = i;
    }
    table['='] = kStop;
    return table;
}

constexpr std::array<uint8_t, 256> kTable = MakeTable();

inline uint8_t Value(char c) {
    return kTable[static_cast<uint8_t>(c)];
}

} // namespace

size_t DecodeBase64InPlace(char* begin, char* end) {
    const char* in = begin;
    char* out = begin;
    uint32_t group = 0;
    int held = 0;
    while (in < end) {
        // Four alphabet characters in a row: the common case, taken whole.
        if (held == 0) {
            while (end - in >= 4) {
                uint32_t a = Value(in[0]), b = Value(in[1]), c = Value(in[2]), d = Value(in[3]);
                if ((a | b | c | d) >= 64) {
                    break;
                }
                uint32_t bits = a << 18 | b << 12 | c << 6 | d;
                out[0] = static_cast<char>(bits >> 16);
                out[1] = static_cast<char>(bits >> 8);
                out[2] = static_cast<char>(bits);
                out += 3;
                in += 4;
            }
            if (in >= end) {
                break;
            }
        }
        uint8_t v = Value(*in++);
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
