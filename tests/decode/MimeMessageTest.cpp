#include "decode/MimeMessage.h"
#include "decode/Base64.h"
#include "log/Log.h"
#include "tests/decode/Encoders.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ParsedPart {
    int kind;
    std::string name;
    std::optional<std::string> contentType;
    std::optional<std::string> encoding;
    std::optional<std::string> data; // none for a null block
};

struct Parsed {
    bool multiPart;
    std::vector<ParsedPart> parts;
};

Parsed ParseText(std::string text) {
    std::vector<char> buffer(text.begin(), text.end());
    MimeMessage message;
    Parsed parsed;
    parsed.multiPart = message.Parse(buffer.data(), buffer.data() + buffer.size());
    // More parts than the text has bytes would mean a loop.
    for (size_t guard = 0; guard <= buffer.size() + 1 && message.NextPart(); ++guard) {
        const MimePart& part = message.part();
        ParsedPart out{message.TransferKind(), part.name, part.contentType, part.encoding, std::nullopt};
        if (part.data) {
            out.data = std::string(part.data, part.size);
        } else {
            EXPECT_EQ(part.size, 0u);
        }
        parsed.parts.push_back(out);
    }
    EXPECT_FALSE(message.NextPart());
    return parsed;
}

std::string DecodeBase64(std::string text) {
    std::vector<char> buffer(text.begin(), text.end());
    return std::string(buffer.data(), DecodeBase64InPlace(buffer.data(), buffer.data() + buffer.size()));
}

TEST(TransferKindTest, FirstMatchingRuleWins) {
    struct Case {
        std::optional<std::string> value;
        int kind;
    } cases[] = {
        {std::nullopt, kTransferNone},
        {"", kTransferNone},
        {"base64", kTransferBase64},
        {"BASE64", kTransferBase64},
        {"x-uuencode", kTransferUUEncode},
        {"x-uue", kTransferUUEncode},
        {"7bit", kTransfer7Bit},
        {"8bit", kTransfer8Bit},
        {"quoted-printable", kTransferQuotedPrintable},
        {"QUOTED-PRINTABLE", kTransferQuotedPrintable},
        {"Quoted-Printable", kTransferNone}, // the tests are case-sensitive
        {"binary", kTransferBinary},
        {"BINARY", kTransferBinary},
        {"x-binhex40", kTransferBinhex}, // binhex before "bin"
        {"x-gzip64", kTransferBase64},
        {"something", kTransferNone},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TransferKind(c.value), c.kind) << c.value.value_or("<none>");
    }
}

TEST(Base64Test, DecodesGroupsAndStopsAtPadding) {
    struct Case {
        std::string text, bytes;
    } cases[] = {
        {"QUJD", "ABC"},
        {"QUI=", "AB"},
        {"QQ==", "A"},
        {"QUJDRA==", "ABCD"},
        {"QU\r\nJ\tD ", "ABC"}, // anything outside the alphabet is skipped
        {"Q!U@J#D$", "ABC"},    // garbage too
        {"QUJD=QUJD", "ABC"},   // "=" ends the data
        {"QUJDQ", "ABC"},       // a lone last character gives nothing
        {"QUJDQUI", "ABCAB"},   // a final group of three without padding
        {"", ""},
        {Bytes("QU\0JD"), "ABC"},
        {"\xff\xfe\x80QUJD", "ABC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
    }
    std::string original = RandomBytes(100003, 5);
    TempDir dir;
    WriteFileBytes(dir.file("in"), original);
    EXPECT_EQ(DecodeBase64(CommandOutput("base64 " + ShellQuote(dir.file("in")))), original);
}

TEST(MimeMessageTest, DeclaredBoundarySplitsPartsAndDispositionNamesThem) {
    Parsed parsed = ParseText("Subject: photo\r\n"
                              "Content-Type: multipart/mixed; boundary=\"xyz\"\r\n"
                              "\r\n"
                              "preamble\r\n"
                              "--xyz\r\n"
                              "Content-Type: text/plain\r\n"
                              "Content-Transfer-Encoding: 7bit\r\n"
                              "\r\n"
                              "Hello\r\n"
                              "--xyz\r\n"
                              "Content-Type: image/jpeg; name=\"ignored.jpg\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n"
                              "Content-Disposition: attachment; filename=\"photo.jpg\"\r\n"
                              "\r\n"
                              "QUJDREVGR0hJ\r\n"
                              "--xyz--\r\n");
    EXPECT_TRUE(parsed.multiPart);
    ASSERT_EQ(parsed.parts.size(), 3u);
    EXPECT_EQ(parsed.parts[0].kind, kTransfer7Bit);
    EXPECT_EQ(parsed.parts[0].data, "Hello\r\n");
    EXPECT_EQ(parsed.parts[0].name, "NoFileName.txt");
    EXPECT_EQ(parsed.parts[1].kind, kTransferBase64);
    EXPECT_EQ(parsed.parts[1].name, "photo.jpg");
    EXPECT_EQ(parsed.parts[1].contentType, "image/jpeg");
    EXPECT_EQ(parsed.parts[1].data, "ABCDEFGHI");
    EXPECT_EQ(parsed.parts[2].data, std::nullopt); // the closing delimiter's part
}

TEST(MimeMessageTest, UndeclaredDashLinesStillSeparateParts) {
    Parsed parsed = ParseText("Content-Transfer-Encoding: base64\r\n\r\n"
                              "--sep\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n"
                              "--sep\r\nContent-Transfer-Encoding: base64\r\n\r\nREVG\r\n--sep--\r\n");
    EXPECT_TRUE(parsed.multiPart);
    // Guessed boundaries leave the text before them a part of its own: here the headers and nothing else.
    ASSERT_EQ(parsed.parts.size(), 4u);
    EXPECT_EQ(parsed.parts[0].data, std::nullopt);
    EXPECT_EQ(parsed.parts[1].data, "ABC");
    EXPECT_EQ(parsed.parts[2].data, "DEF");
}

TEST(MimeMessageTest, TextNamingUuencodeIsOnePart) {
    Parsed parsed = ParseText("Subject: uuencode\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
                              "--not a boundary\r\nbegin 644 a\r\n#04)#\r\n`\r\nend\r\n");
    EXPECT_FALSE(parsed.multiPart);
    ASSERT_EQ(parsed.parts.size(), 1u);
    EXPECT_EQ(parsed.parts[0].kind, kTransferUUEncode);
    EXPECT_EQ(parsed.parts[0].data, "ABC");
    EXPECT_EQ(parsed.parts[0].name, "NoFileName.unk");
}

TEST(MimeMessageTest, FoldedContentTypeKeepsBlanksInTheName) {
    Parsed parsed = ParseText("--b\r\nContent-Type: application/octet-stream;\r\n name=\"a b.zip\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--b--\r\n");
    ASSERT_GE(parsed.parts.size(), 1u);
    EXPECT_EQ(parsed.parts[0].contentType, "application/octet-stream");
    EXPECT_EQ(parsed.parts[0].name, "a b.zip");
}

TEST(MimeMessageTest, NamesAreGuessedFromTypeOrData) {
    struct Case {
        std::string headers, data, name;
    } cases[] = {
        {"Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n", "QUJD", "NoFileName.gif"},
        {"Content-Transfer-Encoding: base64\r\n", "R0lGODlh", "NoFileName.gif"},
        {"Content-Transfer-Encoding: base64\r\n", "/9j/4AAQ", "NoFileName.jpg"},
        {"Content-Transfer-Encoding: base64\r\n", "UEsDBA==", "NoFileName.zip"},
        {"Content-Transfer-Encoding: base64\r\n", "QUJD", "NoFileName"},
        {"Content-Transfer-Encoding: base64\r\n", "R0", "NoFileName"},
        {"Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n", "hi", "NoFileName.txt"},
        {"Content-Transfer-Encoding: 7bit\r\n", "<HTML>", "NoFileName.html"},
        {"Content-Transfer-Encoding: quoted-printable\r\n", "plain", "NoFileName.txt"},
        {"Content-Transfer-Encoding: 8bit\r\n", "x", "NoFileName.bin"},
        {"Content-Transfer-Encoding: x-binhex40\r\n", "x", "NoFileName.unk"},
        {"Content-Type: application/x\r\nContent-Transfer-Encoding: base64\r\n", "QUJD", "NoFileName.x"},
        {"Content-Type: a/../../evil\r\nContent-Transfer-Encoding: base64\r\n", "QUJD",
         "NoFileName..._.._evil"},
        {"Content-Type: a/b; name=\"..\\\\..\\\\x\"\r\nContent-Transfer-Encoding: base64\r\n", "QUJD", "x.b"},
        {"Content-Type: a/b; name=\"pic\"\r\nContent-Transfer-Encoding: base64\r\n", "QUJD", "pic.b"},
    };
    for (const Case& c : cases) {
        Parsed parsed = ParseText("--b\r\n" + c.headers + "\r\n" + c.data + "\r\n--b--\r\n");
        ASSERT_GE(parsed.parts.size(), 1u);
        EXPECT_EQ(parsed.parts[0].name, c.name) << c.headers << c.data;
    }
}

TEST(MimeMessageTest, PartsWithoutEncodingOrWithTextEncodingsAreNotDecoded) {
    Parsed parsed = ParseText("--b\r\nContent-Type: text/plain\r\n\r\nQUJD\r\n"
                              "--b\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nQUJD=3D\r\n"
                              "--b\r\nContent-Transfer-Encoding: x-binhex40\r\n\r\n(This file)\r\n--b--\r\n");
    ASSERT_EQ(parsed.parts.size(), 4u);
    EXPECT_EQ(parsed.parts[0].data, std::nullopt);
    EXPECT_EQ(parsed.parts[1].kind, kTransferQuotedPrintable);
    EXPECT_EQ(parsed.parts[1].data, "QUJD=3D\r\n");
    EXPECT_EQ(parsed.parts[2].kind, kTransferBinhex);
    EXPECT_EQ(parsed.parts[2].data, "(This file)\r\n");
}

TEST(MimeMessageTest, UuencodedPartSkipsCorruptLinesAndStopsAtAnEmptyLine) {
    TempDir dir;
    ActivityLogFile log(dir.file("log"));
    Parsed parsed = ParseText("--b\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
                              "begin 644 a\r\n#04)#\r\n--- CUT ---\r\n#1$)#\r\n\r\n#04)#\r\n`\r\n--b--\r\n");
    ASSERT_GE(parsed.parts.size(), 1u);
    EXPECT_EQ(parsed.parts[0].data, "ABCDBC");
    EXPECT_EQ(log.Read(), "   MIME-UUDecoding...\n"
                          "Corrupt binary data, 10 octets, should be 20.\n"
                          "Data: --- CUT ---\n");
}

TEST(MimeMessageTest, ParsingEndsOnHostileText) {
    std::string loops;
    for (int i = 0; i < 20000; ++i) {
        loops += "--a\r\n";
    }
    std::string declared;
    for (int i = 0; i < 5000; ++i) {
        declared += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\r\n";
    }
    const std::string texts[] = {
        "Content-Type: multipart/mixed; boundary=",                       // at the very end
        "Content-Type: multipart/mixed; boundary=\"",                     // an open quote at the very end
        "Content-Type: multipart/mixed; boundary=\"\"\r\n--\r\n----\r\n", // empty value
        "Content-Type: multipart/mixed; boundary=\r\n\r\n--\r\n--\r\n",
        "Content-Type: multipart/mixed; boundary=\"x\"\r\n\r\n--x\r\nContent-Type: a/b\r\n", // no closing
                                                                                             // line
        "--x\r\n--x\r\n--x--x--\r\n--x----\r\n", // delimiters that contain each other
        "--\r\n--\r\n----\r\n",
        "Content-Type: ",
        "Content-Transfer-Encoding: ",
        "Content-Disposition: ",
        "Content-Type: a/b;",
        "Content-Type: a/b;\r\n",
        "Content-Type: a/b;\n",
        "--b\r\nContent-Transfer-Encoding: base64",
        "--b\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 x",
        "--b\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 x\r\nM",
        "boundary=\"a\"\r\n" + loops,
        declared + "--b1\r\n--b4999\r\n",
        Bytes("--b\0\r\nContent-\0Type: \0\r\n\r\n\0"),
        "",
    };
    for (const std::string& text : texts) {
        Parsed parsed = ParseText(text);
        EXPECT_GE(parsed.parts.size(), 1u) << text.substr(0, 60);
    }
}

TEST(MimeMessageTest, DashInsideALineIsNoBoundary) {
    Parsed parsed = ParseText("Content-Transfer-Encoding: 7bit\r\n\r\nbegin 644 a\r\n#0--#\r\n`\r\nend\r\n");
    EXPECT_FALSE(parsed.multiPart);
}

TEST(MimeMessageTest, UnquotedBoundaryEndsAtTheNextParameter) {
    Parsed parsed = ParseText("Content-Type: multipart/mixed; boundary=abc; charset=x\r\n\r\n"
                              "--abc\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--abc--\r\n");
    EXPECT_TRUE(parsed.multiPart);
    ASSERT_EQ(parsed.parts.size(), 2u);
    EXPECT_EQ(parsed.parts[0].data, "ABC");
}

TEST(MimeMessageTest, PythonEmailAndMpackMessagesDecodeToTheOriginals) {
    TempDir dir;
    std::string first = RandomBytes(5000, 11), second = RandomBytes(77777, 12);
    WriteFileBytes(dir.file("first.bin"), first);
    WriteFileBytes(dir.file("second.bin"), second);
    std::string script = "import sys\n"
                         "from email.mime.multipart import MIMEMultipart\n"
                         "from email.mime.application import MIMEApplication\n"
                         "from email.mime.text import MIMEText\n"
                         "m = MIMEMultipart()\n"
                         "m.attach(MIMEText('see attached'))\n"
                         "a = MIMEApplication(open(sys.argv[1], 'rb').read(), name='by type.dat')\n"
                         "m.attach(a)\n"
                         "b = MIMEApplication(open(sys.argv[2], 'rb').read())\n"
                         "b.add_header('Content-Disposition', 'attachment', filename='by disposition.dat')\n"
                         "m.attach(b)\n"
                         "sys.stdout.write(m.as_string())\n";
    WriteFileBytes(dir.file("make.py"), script);
    std::string python =
        ToCrLf(CommandOutput("python3 " + ShellQuote(dir.file("make.py")) + " " +
                             ShellQuote(dir.file("first.bin")) + " " + ShellQuote(dir.file("second.bin"))));
    Parsed parsed = ParseText(python);
    std::vector<ParsedPart> binaries;
    for (const ParsedPart& part : parsed.parts) {
        if (part.kind == kTransferBase64) {
            binaries.push_back(part);
        }
    }
    ASSERT_EQ(binaries.size(), 2u);
    EXPECT_EQ(binaries[0].name, "by type.dat");
    EXPECT_EQ(binaries[0].data, first);
    EXPECT_EQ(binaries[1].name, "by disposition.dat");
    EXPECT_EQ(binaries[1].data, second);

    CommandOutput("mpack -s test -o " + ShellQuote(dir.file("mpack.msg")) + " " +
                  ShellQuote(dir.file("second.bin")));
    Parsed packed = ParseText(ToCrLf(ReadFileBytes(dir.file("mpack.msg"))));
    bool found = false;
    for (const ParsedPart& part : packed.parts) {
        if (part.kind == kTransferBase64 && part.data == second) {
            found = true;
            EXPECT_EQ(part.name, "second.bin");
        }
    }
    EXPECT_TRUE(found);
}

} // namespace
