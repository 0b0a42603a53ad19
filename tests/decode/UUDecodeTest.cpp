#include "decode/UUDecode.h"
#include "log/Log.h"
#include "tests/decode/Encoders.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// What a data line of n "!" characters (value 1 each) decodes to.
std::string Ones(size_t groups) {
    std::string bytes;
    for (size_t i = 0; i < groups; ++i) {
        bytes += "\x04\x10\x41";
    }
    return bytes;
}

class UUDecodeTest : public ::testing::Test {
  protected:
    // Decodes the first block of text; `rest` receives what follows the consumed lines.
    std::string Decode(std::string text, uint64_t* count = nullptr, std::string* rest = nullptr) {
        std::vector<char> body(text.begin(), text.end());
        TextCursor cursor{body.data(), body.data() + body.size()};
        std::string out = dir.file("out");
        FILE* file = fopen(out.c_str(), "wb");
        uint64_t bytes = UUDecodeFile(file, cursor, 0);
        fclose(file);
        if (count) {
            *count = bytes;
        }
        if (rest) {
            rest->assign(cursor.pos, cursor.end);
        }
        std::string decoded = ReadFileBytes(out);
        EXPECT_EQ(decoded.size(), bytes);
        return decoded;
    }

    std::string Log() { return log.Read(); }

    TempDir dir;
    ActivityLogFile log{dir.file("activity.log")};
};

TEST(NextLineTest, SplitsAtRunsOfLineEndsAndReportsTheEnd) {
    std::string text = "\r\n\r\nfirst\r\n\r\n\nsecond\rthird\nlast";
    TextCursor cursor{text.data(), text.data() + text.size()};
    std::vector<std::string> lines;
    for (int guard = 0; guard < 10; ++guard) {
        std::string_view line = NextLine(cursor);
        if (line.empty()) {
            break;
        }
        lines.emplace_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "third", "last"}));
    EXPECT_EQ(cursor.pos, cursor.end);
    EXPECT_TRUE(NextLine(cursor).empty());
}

TEST(CheckUULineTest, ComparesLengthWithTheCountCharacter) {
    struct Case {
        std::string line;
        UULineVerdict verdict;
        int count, expected, octets;
    } cases[] = {
        {"M" + std::string(60, 'A'), UULineVerdict::kGood, 45, 60, 60},
        {"M" + std::string(59, 'A'), UULineVerdict::kShort, 45, 60, 59},
        {"M" + std::string(58, 'A'), UULineVerdict::kShort, 45, 60, 58},
        {"M" + std::string(57, 'A'), UULineVerdict::kCorrupt, 45, 60, 57},
        {"M" + std::string(61, 'A'), UULineVerdict::kTooMuch, 45, 60, 61},
        {"M" + std::string(62, 'A'), UULineVerdict::kTooMuch, 45, 60, 62},
        {"M" + std::string(63, 'A'), UULineVerdict::kCorrupt, 45, 60, 63},
        {"M" + std::string(56, 'A') + "CUT", UULineVerdict::kCorrupt, 45, 60, 59}, // no repair with CUT
        {"M" + std::string(57, 'A') + "CUT", UULineVerdict::kGood, 45, 60, 60},
        {"`", UULineVerdict::kGood, 0, 0, 0},
        {" ", UULineVerdict::kGood, 0, 0, 0},
        {"!", UULineVerdict::kCorrupt, 1, 4, 0},
        {"!AA", UULineVerdict::kShort, 1, 4, 2},
        {"end", UULineVerdict::kCorrupt, 5, 8, 2},
        {std::string(1, '\x7f') + "AAAA", UULineVerdict::kCorrupt, 31, 44, 4}, // count out of range wraps
        {std::string(1, '\0') + "AA", UULineVerdict::kCorrupt, 32, 44, 2},
        {"", UULineVerdict::kCorrupt, 0, 0, 0},
    };
    for (const Case& c : cases) {
        UULineCheck check = CheckUULine(c.line);
        EXPECT_EQ(check.verdict, c.verdict) << c.line;
        if (!c.line.empty()) {
            EXPECT_EQ(check.count, c.count) << c.line;
            EXPECT_EQ(check.expected, c.expected) << c.line;
            EXPECT_EQ(check.octets, c.octets) << c.line;
        }
    }
}

TEST_F(UUDecodeTest, SharutilsOutputDecodesToTheOriginalBytes) {
    const size_t sizes[] = {0, 1, 2, 3, 44, 45, 46, 14, 14 + 45, 14 + 45 * 7, 1 << 20};
    for (size_t size : sizes) {
        std::string original = RandomBytes(size, static_cast<unsigned>(size));
        std::string input = dir.file("input");
        ASSERT_TRUE(WriteFileBytes(input, original));
        std::string encoded = UUEncodeFile(input, "file.bin");
        for (const std::string& text : {encoded, ToCrLf(encoded)}) {
            uint64_t count = 0;
            std::string rest;
            EXPECT_EQ(Decode(text, &count, &rest), original) << size;
            EXPECT_EQ(count, size);
            // The "end" line is left for the caller.
            EXPECT_EQ(rest.substr(0, 3), "end") << size;
        }
    }
}

TEST_F(UUDecodeTest, StrippedTrailingBlanksAreRepairedSilently) {
    // Old encoders write blanks for zero values; news software strips them at line ends.
    std::string original = RandomBytes(45 * 50 + 7, 3);
    std::string input = dir.file("input");
    WriteFileBytes(input, original);
    std::string encoded = CommandOutput("uuencode " + ShellQuote(input) + " f | tr '`' ' '");
    std::string stripped;
    for (size_t pos = 0; pos < encoded.size();) {
        size_t eol = encoded.find('\n', pos);
        std::string line = encoded.substr(pos, eol - pos);
        size_t keep = line.find_last_not_of(' ');
        // Keep the count character even when it is a blank.
        line.resize(std::max<size_t>(1, keep == std::string::npos ? 1 : keep + 1));
        stripped += line + "\n";
        pos = eol + 1;
    }
    ASSERT_NE(stripped, encoded); // some line lost blanks
    EXPECT_EQ(Decode(ToCrLf(stripped)), original);
    EXPECT_EQ(Log(), "   UUDecoding... \n");
}

TEST_F(UUDecodeTest, SurplusCharactersAreLoggedAndIgnored) {
    std::string text = "begin 644 x\nM" + std::string(60, '!') + "zz\n#04)#\n`\nend\n";
    EXPECT_EQ(Decode(text), Ones(15) + "ABC");
    EXPECT_EQ(Log(), "   UUDecoding... \n"
                     "   Too much data, 62 octets, should be 60, using anyway\n"
                     "   Data: M" +
                         std::string(60, '!') + "zz\n");
}

TEST_F(UUDecodeTest, CutMarkerInsideTheBlockIsSkipped) {
    std::string original = RandomBytes(45 * 4, 9);
    std::string input = dir.file("input");
    WriteFileBytes(input, original);
    std::string encoded = UUEncodeFile(input, "f");
    size_t third = encoded.find('\n', encoded.find('\n', encoded.find('\n') + 1) + 1) + 1;
    encoded.insert(third, "--- CUT here ---\n");
    EXPECT_EQ(Decode(ToCrLf(encoded)), original);
    EXPECT_NE(Log().find("Corrupt binary data, 15 octets, should be 20.\nData: --- CUT here ---\n"),
              std::string::npos)
        << Log();
}

TEST_F(UUDecodeTest, DamagedLinesCostOnlyTheirOwnBytes) {
    std::string line1 = "M" + std::string(60, '!');
    std::string text =
        "begin 644 x\r\n" + line1 + "\r\nM" + std::string(20, '!') + "\r\n" + line1 + "\r\n`\r\nend\r\n";
    uint64_t count;
    EXPECT_EQ(Decode(text, &count), Ones(30));
    EXPECT_EQ(count, 90u);
}

TEST_F(UUDecodeTest, BlockEndsAtAZeroCountLineAndTheCursorPointsAfterIt) {
    std::string text = "junk\nbegin 600 a\n#04)#\n`\nbegin 600 b\n#1$)#\n`\nend\n";
    std::string rest;
    EXPECT_EQ(Decode(text, nullptr, &rest), "ABC");
    EXPECT_EQ(rest, "begin 600 b\n#1$)#\n`\nend\n");
    EXPECT_EQ(Decode(rest), "DBC");
}

TEST_F(UUDecodeTest, StartLineMustBeLowerCaseBeginAndABlank) {
    for (const char* start :
         {"Begin 644 x\n", "begin\t644 x\n", "begin644 x\n", " begin 644 x\n", "xbegin 644 x\n"}) {
        uint64_t count = 1;
        std::string rest;
        EXPECT_EQ(Decode(std::string(start) + "#04)#\n`\n", &count, &rest), "") << start;
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(rest, "");
    }
}

TEST_F(UUDecodeTest, MalformedInputNeverReadsPastTheText) {
    std::string big(5 << 20, 'M');
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"begin 644 x", ""},                                         // nothing after the start line
        {"begin 644 x\r\n#04)", "AB@"},                              // truncated last group: padded with 0
        {"begin 644 x\r\nM04)#", ""},                                // truncated data line
        {"begin 644 x\r\n" + big + "\r\n#04)#\r\n`\r\n", "ABC"},     // a line of several MiB
        {"begin 644 x\r\n" + big, ""},                               // ... that ends the text
        {Bytes("begin 644 x\r\n#0\0)#\r\n`\r\n"), "B\x02\x43"},      // NUL inside
        {Bytes("begin 644 x\r\n\x7f\x7f\x7f\r\n\xff\r\n`\r\n"), ""}, // counts out of range
        {"begin 644 x\r\n\r\n\r\n\r\n#04)#\r\n", "ABC"},             // blank lines are invisible
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Decode(c.text), c.expected) << c.text.substr(0, 40);
    }
}

// The line-by-line reading every block could be decoded with: each line checked and decoded on its own.
std::string DecodeLineByLine(std::string text) {
    TextCursor cursor{text.data(), text.data() + text.size()};
    std::string out;
    for (std::string_view line = NextLine(cursor); !line.empty(); line = NextLine(cursor)) {
        UULineCheck check = CheckUULine(line);
        if (check.verdict == UULineVerdict::kCorrupt) {
            continue;
        }
        if (check.count == 0) {
            break;
        }
        char bytes[64];
        out.append(bytes, static_cast<size_t>(DecodeUULine(line, check.count, bytes)));
    }
    return out;
}

// Blocks of random lines: full lines of any characters from the blank up (high bytes included), full-length
// lines with control characters inside, short lines whose line end falls where a full line's data would be,
// and CRLF or LF endings. Whatever shortcut full lines take, the result must be the line-by-line one.
TEST_F(UUDecodeTest, FullLinesDecodeAsTheLineByLineReadingDoes) {
    std::mt19937 random(7);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 200; ++round) {
        std::string lines;
        for (int i = 0; i < 40; ++i) {
            std::string line = "M";
            int kind = pick(0, 3);
            int length = kind == 2 ? pick(1, 59) : 60;
            for (int k = 0; k < length; ++k) {
                line += static_cast<char>(kind == 1 && pick(0, 9) == 0 ? pick(1, 31) : pick(0x20, 0xFF));
            }
            for (char& c : line) {
                if (c == '\r' || c == '\n') {
                    c = '\x01';
                }
            }
            lines += line + (pick(0, 1) ? "\r\n" : "\n");
        }
        lines += "`\r\nend\r\n";
        ASSERT_EQ(Decode("begin 644 x\r\n" + lines), DecodeLineByLine(lines)) << "round " << round;
    }
}

TEST_F(UUDecodeTest, NullCursorDecodesNothing) {
    TextCursor cursor;
    EXPECT_EQ(UUDecodeFile(nullptr, cursor, 1), 0u);
    EXPECT_EQ(cursor.pos, nullptr);
}

} // namespace
