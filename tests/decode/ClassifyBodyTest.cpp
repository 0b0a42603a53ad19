#include "decode/ClassifyBody.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int Classify(const std::string& text) {
    return ClassifyBody(text.data(), text.data() + text.size());
}

std::optional<std::string> Name(const std::string& text, int kind) {
    return ExtractFileName(text.data(), text.data() + text.size(), kind);
}

std::string Lines(int count, const std::string& line) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += line + "\r\n";
    }
    return text;
}

TEST(ClassifyBodyTest, KindsFromTheFirstHundredLines) {
    struct Case {
        std::string text;
        int kind;
    } cases[] = {
        {"begin 644 a.bin\r\nM9V]O9\r\n", kUUEncode},
        {"begin 644 a.bin\r\nMABCD\r\n", kNothing}, // no punctuation or lower case after the start
        {"begin 644 a.bin\r\nthis is text\r\n", kUULike},
        {"\r\n\r\nbegin 644 a.bin\r\n\r\nM`!\r\n", kUUEncode},
        {"Subject: x\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n", kMime},
        {"Content-Transfer-Encoding: 7bit\r\n\r\nbegin 644 a\r\nM`!\r\n", kMime}, // the header comes first
        {"begin 644 a\r\nContent-Transfer-Encoding: base64\r\n", kUULike},        // after begin: lower case
        {"Please begin with part 1\r\nFrom: a@b.c\r\n", kUUEncode},               // any "begin " counts here
        {"begin", kNothing},
        {"", kNothing},
        {"plain text\r\nonly\r\n", kNothing},
        {Lines(100, "text") + "begin 644 a\r\nM`!\r\n", kNothing}, // beyond the 100th line
        {Lines(98, "text") + "begin 644 a\r\nM`!\r\n", kUUEncode},
        {"begin 644 a\nM`!\n", kUUEncode}, // LF only
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Classify(c.text), c.kind) << c.text.substr(0, 60);
    }
}

TEST(ClassifyBodyTest, YEncLineFirstMakesTheBodyYEnc) {
    const std::string yenc = "=ybegin line=128 size=3 name=a.bin\r\n*+,\r\n=yend size=3\r\n";
    struct Case {
        std::string text;
        int kind;
    } cases[] = {
        {yenc, kYEnc},
        {"Subject: \"a.bin\" yEnc (1/1)\r\n\r\n" + yenc, kYEnc}, // "=ybegin " holds "begin ", but comes first
        {"Please begin with part 1\r\n" + yenc, kYEnc},          // a "begin " that decided nothing yet
        {"begin 644 a\r\nM`!\r\n" + yenc, kUUEncode},
        {"Content-Transfer-Encoding: 8bit\r\n\r\n" + yenc, kMime}, // decoded as a MIME part's text
        {"x =ybegin line=128 size=3 name=a\r\n", kNothing},        // not at a line start
        {"=ybegin\r\n=yend\r\n", kNothing},
        {"x\n" + yenc, kYEnc}, // an LF line inside a classifier line that runs to the next CR
        {Lines(100, "text") + yenc, kNothing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Classify(c.text), c.kind) << c.text.substr(0, 60);
    }
}

TEST(ClassifyBodyTest, LinesRunToTheNextCarriageReturnAnywhere) {
    // Without CR LF a line runs to the next CR, so LF-separated lines before it are one line.
    EXPECT_EQ(Classify("begin 644 a\nABC\nM`!\r\n"), kNothing);
    EXPECT_EQ(Classify("x\nbegin 644 a\r\nM`!\n"), kUUEncode);
}

TEST(ExtractFileNameTest, UUNameComesFromTheLineTheDecoderUses) {
    struct Case {
        std::string text;
        std::optional<std::string> name;
    } cases[] = {
        {"begin 644 pic.jpg\r\nM`\r\n", "pic.jpg"},
        {"begin 644    spaced name.jpg  \r\n", "spaced name.jpg"},
        {"begin 644 C:\\x\\y\\pic.JPG\r\n", "pic.JPG"},
        {"begin 644 a:b?c.gif\r\n", "a_b_c.gif"},
        {"Subject: Please begin with part 1\r\n\r\nbegin 644 real.zip\r\n", "real.zip"},
        {"Please begin with part 1\r\n", "part 1"}, // no line starts with "begin ": any "begin " serves
        {"begin 644\r\nM`!\r\n`\r\nend\r\n", std::nullopt},       // nothing after the mode
        {"begin 644\r\nsome text with blanks\r\n", std::nullopt}, // the name never comes from a later line
        {"begin 644 \r\n", std::nullopt},
        {"begin ", std::nullopt},
        {"begin 644 last", "last"},
        {"begin 644 \"\"\r\n", ""}, // cleaned to nothing: the output path gives it a safe name
        {"no start here\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Name(c.text, kUUEncode), c.name) << c.text;
        EXPECT_EQ(Name(c.text, kUULike), c.name) << c.text;
    }
}

TEST(ExtractFileNameTest, MimeNameFromTheFirstSpellingFound) {
    struct Case {
        std::string text;
        std::optional<std::string> name;
    } cases[] = {
        {"Content-Type: a/b; name=\"x.gif\"\r\n", "x.gif"},
        {"Content-Disposition: attachment; filename=\"f.zip\"\r\nContent-Type: a/b; name=\"n.zip\"\r\n",
         "f.zip"},
        {"Content-Type: a/b; NAME=\"up.zip\"\r\n", "up.zip"},
        {"Content-Type: a/b; name=plain.txt\r\n", "plain.txt"},
        {"Content-Type: a/b; name=open\"quote\r\n", std::nullopt}, // a quote without its partner
        {"Content-Type: a/b; name=\"unterminated\r\nnext \"line\"\r\n", std::nullopt},
        {"Content-Type: a/b; name=at-the-end", std::nullopt},
        {"Content-Type: a/b; name=\"\"\r\n", std::nullopt},
        {"Content-Type: a/b; name=\"../../etc/passwd\"\r\n", ".._.._etc_passwd"},
        {"Content-Type: text/plain\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Name(c.text, kMime), c.name) << c.text;
    }
    EXPECT_EQ(Name("begin 644 x\r\n", kNothing), std::nullopt);
    EXPECT_EQ(ExtractFileName(nullptr, nullptr, kUUEncode), std::nullopt);
}

} // namespace
