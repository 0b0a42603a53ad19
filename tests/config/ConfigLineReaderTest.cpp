#include "config/ConfigLineReader.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// All significant lines of `bytes`, read until the reader reports the end (at most 100).
std::vector<std::string> ReadAll(const std::string& bytes) {
    TempDir dir;
    std::string path = dir.file("lines.cfg");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    std::FILE* file = std::fopen(path.c_str(), "r");
    EXPECT_NE(file, nullptr);
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) {
        std::optional<std::string> line = ReadSignificantLine(file);
        if (!line) {
            // Once at the end, the reader stays there.
            EXPECT_FALSE(ReadSignificantLine(file));
            break;
        }
        lines.push_back(*line);
    }
    std::fclose(file);
    return lines;
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(ConfigLineReaderTest, SignificantLines) {
    const std::string x1022(1022, 'x');
    const std::string x1023(1023, 'x');
    const LineCase cases[] = {
        {"empty file", "", {}},
        {"comments and empty lines skipped", "#\n# c\n\nA\n\n#B\nC\n", {"A", "C"}},
        {"blank-only lines skipped", "   \n\t \nA\n \r\n", {"A"}},
        {"white space trimmed both sides", "    key=value \t \nx\n", {"key=value", "x"}},
        {"indented hash is not a comment", "  # kept\n", {"# kept"}},
        {"CR LF accepted", "Config\r\n    A=1\r\n\r\n", {"Config", "A=1"}},
        {"last line without line end ignored", "A\nB", {"A"}},
        {"only a line without line end", "A", {}},
        {"1022 characters and LF are one line", x1022 + "\nB\n", {x1022, "B"}},
        {"1023 characters and LF are one line", x1023 + "\nB\n", {x1023, "B"}},
        {"1024 characters are read as two lines", x1023 + "y\nB\n", {x1023, "y", "B"}},
        {"long last piece without line end ignored", x1023 + "yy", {x1023}},
        {"continuation starting with # is a comment", x1023 + "#tail\nB\n", {x1023, "B"}},
        {"text after NUL does not count", "A\0B\nC\n"s, {"A", "C"}},
        {"line starting with NUL is skipped", "\0junk\nC\n"s, {"C"}},
        {"binary bytes kept", "\xff\x01=\x80\n", {"\xff\x01=\x80"}},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(ReadAll(c.bytes), c.lines) << c.name;
    }
}

} // namespace
