#include "decode/YEncDecode.h"
#include "decode/Crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Lines built to reach every branch of the decoders: any byte, escapes (also "==", "=" before a line end and
// at the very end), "y" after "=" inside lines, CR LF, bare LF and bare CR, lines from empty to long (so
// escapes and line ends fall on every position of a 16-byte step) and, when asked, a control line somewhere.
std::string RandomText(std::mt19937& random, int lines, bool control) {
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    static const char* const kEnds[] = {"\r\n", "\n", "\r", "\r\n\r\n"};
    static const char kSpecial[] = {'=', '=', 'y', '\r', '\n', '.', ' '};
    std::string text;
    int controlLine = control ? pick(0, lines - 1) : -1;
    for (int i = 0; i < lines; ++i) {
        if (i == controlLine) {
            text += "=yend size=1 crc32=0\r\n";
        }
        int length = pick(0, 3) == 0 ? pick(0, 20) : pick(100, 300);
        for (int k = 0; k < length; ++k) {
            text +=
                pick(0, 4) == 0 ? kSpecial[pick(0, sizeof kSpecial - 1)] : static_cast<char>(pick(0, 255));
        }
        text += kEnds[pick(0, 3)];
    }
    if (pick(0, 1)) {
        text += "=";
    }
    return text;
}

struct Decoded {
    std::string bytes;
    size_t stop;
    YDecodeState state;
};

Decoded DecodeInPieces(const std::string& text, bool vector, size_t chunk) {
    std::vector<char> out(text.size() + 1);
    char* o = out.data();
    const char* in = text.data();
    const char* end = in + text.size();
    YDecodeState state;
    while (in < end) {
        const char* limit = static_cast<size_t>(end - in) > chunk ? in + chunk : end;
        const char* next =
            vector ? YDecode(in, limit, end, o, state) : YDecodePlain(in, limit, end, o, state);
        bool stopped = next != limit;
        in = next;
        if (stopped) {
            break;
        }
    }
    return Decoded{std::string(out.data(), o), static_cast<size_t>(in - text.data()), state};
}

TEST(YDecodeTest, ByteArithmeticEscapesAndLineEnds) {
    struct Case {
        std::string text;
        std::string bytes;
        size_t stop;
    } cases[] = {
        {"*+,", std::string("\0\1\2", 3), 3},
        {"=@=J=M=}", "\xd6\xe0\xe3\x13", 8}, // escaped NUL, LF, CR and "=" of the encoded text
        {")", "\xff", 1},
        {"a=\r\nb", std::string(1, 'a' - 42) + static_cast<char>('b' - 42), 5}, // escape before a line end
        {"ab=", std::string(1, 'a' - 42) + static_cast<char>('b' - 42), 3},     // escape at the very end
        {"==", std::string(1, static_cast<char>('=' - 106)), 2},
        {"=ybegin", "", 0},
        {"*\r\n=yend size=1", std::string(1, '\0'), 3},
        {"*=y*\r\n=y", std::string("\0\x0f\0", 3), 6}, // "=y" inside a line is an escape
        {"*\r\n=", std::string(1, '\0'), 4},
    };
    for (const Case& c : cases) {
        for (bool vector : {false, true}) {
            Decoded d = DecodeInPieces(c.text, vector, c.text.size() + 1);
            EXPECT_EQ(d.bytes, c.bytes) << c.text << vector;
            EXPECT_EQ(d.stop, c.stop) << c.text << vector;
        }
    }
}

// The vector decoder against the byte-at-a-time one over random text, whole and in pieces of random sizes,
// with and without a control line: the same bytes, the same stop and the same state at the end.
TEST(YDecodeTest, VectorDecoderMatchesThePlainOne) {
    std::mt19937 random(21);
    for (int round = 0; round < 400; ++round) {
        std::string text = RandomText(random, 1 + static_cast<int>(random() % 60), round % 4 == 0);
        Decoded plain = DecodeInPieces(text, false, text.size() + 1);
        size_t chunks[] = {text.size() + 1, 1 + random() % 40, 1 + random() % 5000};
        for (size_t chunk : chunks) {
            Decoded vector = DecodeInPieces(text, true, chunk);
            ASSERT_TRUE(vector.bytes == plain.bytes) << "round " << round << " chunk " << chunk;
            ASSERT_EQ(vector.stop, plain.stop) << "round " << round << " chunk " << chunk;
            EXPECT_EQ(vector.state.escaped, plain.state.escaped) << round;
            EXPECT_EQ(vector.state.lineStart, plain.state.lineStart) << round;
        }
        // In place over the text, with the CRC of what it decoded.
        std::string copy = text;
        YEncData data = DecodeYEncData(copy.data(), copy.data() + copy.size());
        ASSERT_TRUE(std::string(copy.data(), data.size) == plain.bytes) << round;
        EXPECT_EQ(static_cast<size_t>(data.stop - copy.data()), plain.stop) << round;
        EXPECT_EQ(data.crc, Crc32Plain(0, plain.bytes.data(), plain.bytes.size())) << round;
        // What follows the stop is left as it was.
        EXPECT_TRUE(copy.substr(plain.stop) == text.substr(plain.stop)) << round;
    }
}

} // namespace
