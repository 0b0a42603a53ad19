#include "parts/Header.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

Header WithSubject(const std::string& subject) {
    return Header("Path: a!b\r\nSubject: " + subject + "\r\nLines: 12\r\n");
}

struct SubjectCase {
    const char* subject;
    bool parses;
    int part;
    int total;
    const char* line;
    const char* name;
    bool multi;
};

class SubjectGrammar : public ::testing::TestWithParam<SubjectCase> {};

TEST_P(SubjectGrammar, GivesPartTotalLineNameAndVerdict) {
    const SubjectCase& c = GetParam();
    auto parsed = Header::isPartArticle(c.subject);
    ASSERT_EQ(parsed.has_value(), c.parses);
    Header h = WithSubject(c.subject);
    EXPECT_EQ(h.isMultiPart(), c.multi);
    EXPECT_EQ(h.getPartNumber(), c.part);
    EXPECT_EQ(h.getPartTotal(), c.total);
    EXPECT_EQ(h.getPartLine(), c.line);
    EXPECT_EQ(h.getPartName(), c.name);
    if (parsed) {
        EXPECT_EQ(parsed->part, c.part);
        EXPECT_EQ(parsed->total, c.total);
        EXPECT_EQ(parsed->line, c.line);
        EXPECT_EQ(parsed->name, c.name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SubjectGrammar,
    ::testing::Values(SubjectCase{"pic.jpg (2/5)", true, 2, 5, "pic.jpg (", "pic.jpg", true},
                      SubjectCase{"holiday pics - beach.jpg [03/12] - nice", true, 3, 12,
                                  "holiday pics - beach.jpg [", "beach.jpg", true},
                      SubjectCase{"song.mp3 part 4 of 7", true, 4, 7, "song.mp3 part", "song.mp3", true},
                      SubjectCase{"movie.avi (1/1)", true, 1, 1, "movie.avi (", "movie.avi", false},
                      SubjectCase{"intro (0/3)", true, 0, 3, "intro (", "intro (", false},
                      // Refused subjects are no part subjects at all: zeros and empty strings.
                      SubjectCase{"readme.txt (5-8)", false, 0, 0, "", "", false},
                      SubjectCase{"a (1/2)", false, 0, 0, "", "", false}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, SubjectGrammar,
    ::testing::Values(
        // The last bracket after a digit closes "(2)"; its separator is "(" and is refused.
        SubjectCase{"name (1/3) (2)", false, 0, 0, "", "", false},
        SubjectCase{"name 3 of 5 yEnc", true, 3, 5, "name", "name", true},
        SubjectCase{"file (3 / 5)", true, 3, 5, "file (", "file (", true},
        SubjectCase{"Big FILE.ZIP 2 OF 4", true, 2, 4, "Big FILE.ZIP", "FILE.ZIP", true},
        SubjectCase{"Big FILE.ZIP 2 Of 4", true, 2, 4, "Big FILE.ZIP", "FILE.ZIP", true},
        SubjectCase{"typo.bin 2 fo 4", true, 2, 4, "typo.bin", "typo.bin", true},
        SubjectCase{"pipe.bin 2|4", true, 2, 4, "pipe.bin", "pipe.bin", true},
        SubjectCase{"back.bin 2\\4", true, 2, 4, "back.bin", "back.bin", true},
        SubjectCase{"over.bin (6/5)", true, 6, 5, "over.bin (", "over.bin", false},
        SubjectCase{"zero.bin (1/0)", true, 1, 0, "zero.bin (", "zero.bin", false},
        SubjectCase{"no numbers at all", false, 0, 0, "", "", false},
        SubjectCase{"", false, 0, 0, "", "", false},
        // Part number that leaves nothing in front of it: refused, never a part with an empty signature.
        SubjectCase{"  3 of 5", false, 0, 0, "", "", false},
        SubjectCase{"123456/7", false, 0, 0, "", "", false},
        // Separator walk reaching the first character.
        SubjectCase{"abcdef/5", false, 0, 0, "", "", false},
        // Counters too large for an int saturate instead of wrapping.
        SubjectCase{"huge.bin (1/99999999999999999999)", true, 1, INT_MAX, "huge.bin (", "huge.bin", true},
        SubjectCase{"huge.bin (99999999999999999999/3)", true, INT_MAX, 3, "huge.bin (", "huge.bin", false}));

INSTANTIATE_TEST_SUITE_P(
    TodaysStyles, SubjectGrammar,
    ::testing::Values(
        SubjectCase{"\"file.rar\" yEnc (1/50)", true, 1, 50, "\"file.rar\" yEnc (", "\"file.rar\"", true},
        SubjectCase{"\"holiday.rar\" yEnc (03/15)", true, 3, 15, "\"holiday.rar\" yEnc (", "\"holiday.rar\"",
                    true},
        SubjectCase{"[1/5] - \"holiday.rar\" yEnc (01/15)", true, 1, 15, "[1/5] - \"holiday.rar\" yEnc (",
                    "\"holiday.rar\"", true},
        // Totals of three and four digits.
        SubjectCase{"\"big.rar\" yEnc (150/150)", true, 150, 150, "\"big.rar\" yEnc (", "\"big.rar\"", true},
        SubjectCase{"[2/3] - \"dvd.iso\" yEnc (0999/1500) 512 MB", true, 999, 1500,
                    "[2/3] - \"dvd.iso\" yEnc (", "\"dvd.iso\"", true},
        SubjectCase{"[01/10] - \"x.part01.rar\" yEnc (01/99)", true, 1, 99,
                    "[01/10] - \"x.part01.rar\" yEnc (", "\"x.part01.rar\"", true},
        SubjectCase{"name (1 / 3)", true, 1, 3, "name (", "name (", true},
        SubjectCase{"holiday pic (01/05)", true, 1, 5, "holiday pic (", "holiday pic (", true},
        SubjectCase{"Re: mountain.jpg (1/5)", true, 1, 5, "Re: mountain.jpg (", "mountain.jpg", true},
        SubjectCase{"caf\xe9 \xc3\xa9t\xc3\xa9.jpg (2/3)", true, 2, 3, "caf\xe9 \xc3\xa9t\xc3\xa9.jpg (",
                    "\xc3\xa9t\xc3\xa9.jpg", true}));

TEST(HeaderSubject, HighBytesShowAsUnderscoreButGrammarSeesRawBytes) {
    Header h = WithSubject("caf\xe9 \x7f\x01.jpg (2/3)");
    EXPECT_EQ(h.getSubject(), "caf_ __.jpg (2/3)");
    EXPECT_EQ(h.getPartName(), "\x7f\x01.jpg");
}

TEST(HeaderSubject, CarriageReturnBeforeLineFeedDoesNotDisturbTheCounter) {
    Header h("Subject: song.mp3 part 4 of 7\r\nFrom: x@y\r\n");
    EXPECT_TRUE(h.isMultiPart());
    EXPECT_EQ(h.getPartTotal(), 7);
    EXPECT_EQ(h.getPartLine(), "song.mp3 part");
}

TEST(HeaderFields, SubjectAndFromCleaning) {
    struct Case {
        const char* text;
        const char* subject;
        const char* from;
    };
    const Case cases[] = {
        {"From: Ann <a@b>\r\nSubject:    spaced out\r\n", "spaced out", "Ann <a@b>"},
        {"Subject: tab\there\r\nFrom:\tx@yy\r\n", "tab_here", "_x@yy"},
        // Too short after the field name: nothing.
        {"Subject: a", "", ""},
        {"From: a", "", ""},
        {"Subject: ab", "ab", ""},
        {"From: ab", "", "ab"},
        // Without a line end the value runs to the end of the text.
        {"Subject: the end", "the end", ""},
        // A bare line feed ends the value as well.
        {"Subject: one\nFrom: two@x\n", "one", "two@x"},
        // Case-sensitive field names; the first occurrence counts wherever it stands.
        {"subject: lower\r\nX-Subject: first\r\nSubject: second\r\n", "first", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        Header h(c.text);
        EXPECT_EQ(h.getSubject(), c.subject) << c.text;
        EXPECT_EQ(h.getFrom(), c.from) << c.text;
    }
}

TEST(HeaderFields, OverlongSubjectIsCutAt1023Characters) {
    Header h("Subject: " + std::string(5000, 'a') + "\r\n");
    EXPECT_EQ(h.getSubject(), std::string(1023, 'a'));
}

TEST(HeaderFields, Lines) {
    struct Case {
        const char* text;
        int lines;
    };
    const Case cases[] = {
        {"Lines: 1234\r\n", 1234},
        {"Lines:", 0},
        {"Lines: \r\n", 0},
        {"Lines:   +17x\r\n", 17},
        {"Lines: -3\r\n", -3},
        {"Lines: abc\r\n", 0},
        {"Subject: no lines\r\n", 0},
        {"Lines: 99999999999999999999\r\n", INT_MAX},
        {"X-Lines: 5\r\nLines: 6\r\n", 5},
        // The summary the header caches build.
        {"Lines: 42\r\nSubject: pic.jpg (2/5)\r\n", 42},
    };
    for (const Case& c : cases) {
        Header h(c.text);
        EXPECT_EQ(h.getLines(), c.lines) << c.text;
    }
}

TEST(HeaderFields, NoTextAnswersNothing) {
    Header h;
    EXPECT_EQ(h.getLines(), 0);
    EXPECT_EQ(h.getSubject(), "");
    EXPECT_EQ(h.getFrom(), "");
    EXPECT_FALSE(h.isMultiPart());
    EXPECT_EQ(h.getPartNumber(), 0);
    EXPECT_EQ(h.getPartTotal(), 0);
    EXPECT_EQ(h.getPartName(), "");
    EXPECT_EQ(h.getPartLine(), "");
    EXPECT_FALSE(h.MatchFilter("x"));
}

TEST(HeaderMultiPart, NoSubjectLineIsNeverMultiPart) {
    EXPECT_FALSE(Header("Lines: 3\r\nX-Note: pic.jpg (2/5)\r\n").isMultiPart());
    EXPECT_FALSE(Header("subject: pic.jpg (2/5)\r\n").isMultiPart());
    EXPECT_TRUE(Header("Subject: pic.jpg (2/5)").isMultiPart());
}

TEST(HeaderMultiPart, AnswersStayTheSameOnRepeatedQuestions) {
    const char* subjects[] = {"pic.jpg (2/5)", "pic.jpg (5/5)", "pic.jpg (1/1)", "pic.jpg (0/5)",
                              "pic.jpg (6/5)"};
    const bool expected[] = {true, true, false, false, false};
    for (size_t i = 0; i < std::size(subjects); ++i) {
        Header h = WithSubject(subjects[i]);
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(h.isMultiPart(), expected[i]) << subjects[i];
        }
    }
}

TEST(HeaderMultiPart, HostileSubjectsNeverCrash) {
    const std::string hostile[] = {
        std::string(100000, ')'),          std::string(100000, '9'),
        std::string(50000, ' ') + "1/2",   "))))]]]]0)",
        std::string("\0\0\0 (1/2)", 9),    "x" + std::string(70000, '/') + "1",
        std::string(3, '\xff') + " (1/2)",
    };
    for (const std::string& s : hostile) {
        Header h = WithSubject(s);
        h.isMultiPart();
        EXPECT_LE(h.getSubject().size(), 1023u);
    }
}

TEST(HeaderFilter, CaseInsensitiveSubstringOfTheWholeText) {
    Header h("From: Someone <Spam@Example.COM>\r\nSubject: Cheap PILLS (1/2)\r\nLines: 5\r\n");
    struct Case {
        std::string filter;
        bool match;
    };
    const Case cases[] = {
        {"cheap pills", true}, {"CHEAP pills", true},   {"spam@example.com", true},
        {"Subject:", true},    {"lines: 5", true},      {"pills (2/2)", false},
        {"", false},           {"cheap  pills", false}, {std::string(200, 'a'), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(h.MatchFilter(c.filter), c.match) << c.filter;
    }
}

TEST(HeaderFilter, FilterLongerThanTextNeverMatches) {
    Header h("Subject: x");
    EXPECT_TRUE(h.MatchFilter("subject: x"));
    EXPECT_FALSE(h.MatchFilter("subject: x "));
}

TEST(HeaderFilter, OnlyAsciiLettersFoldCase) {
    Header h("Subject: \xc9t\xc9\r\n");
    EXPECT_TRUE(h.MatchFilter("\xc9T\xc9"));
    EXPECT_FALSE(h.MatchFilter("\xe9t\xe9"));
}

} // namespace
