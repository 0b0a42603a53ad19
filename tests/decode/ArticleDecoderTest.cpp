#include "decode/ArticleDecoder.h"
#include "common/Trace.h"
#include "log/Log.h"
#include "tests/decode/DecoderFixture.h"
#include "tests/decode/Encoders.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ArticleDecoderTest : public DecoderFixture {
  protected:
    // sharutils output for `bytes` under the begin-line name `name`, with CR LF line ends.
    std::string Encoded(const std::string& bytes, const std::string& name) {
        WriteFileBytes(work.file("input"), bytes);
        return ToCrLf(UUEncodeFile(work.file("input"), name));
    }

    std::set<std::string> OutputFiles() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // Python's email: a multipart message with one GIF image, "GIF89a" and `bytes`, that names no file.
    std::string UnnamedGifMessage(const std::string& bytes) {
        WriteFileBytes(work.file("gif.py"),
                       "import sys\n"
                       "from email.mime.multipart import MIMEMultipart\n"
                       "from email.mime.image import MIMEImage\n"
                       "m = MIMEMultipart()\n"
                       "m.attach(MIMEImage(b'GIF89a' + open(sys.argv[1], 'rb').read(), 'gif'))\n"
                       "sys.stdout.write(m.as_string())\n");
        WriteFileBytes(work.file("image"), bytes);
        return CommandOutput("python3 " + ShellQuote(work.file("gif.py")) + " " +
                             ShellQuote(work.file("image")));
    }
};

const std::string kHeaders = "From: poster@example.com\r\nSubject: a file\r\n\r\n";

TEST_F(ArticleDecoderTest, NullAndPlainBodies) {
    EXPECT_EQ(decoder.DecodeArticle(nullptr, 0), ArticleDecoder::kNoEncoding);
    EXPECT_EQ(decoder.resultCount(), 0);
    EXPECT_EQ(decoder.result(0).status, FileStat::kNoEncoding);
    EXPECT_EQ(Decode(kHeaders + "just some words\r\n-- \r\nsig\r\n"), ArticleDecoder::kDecoded);
    EXPECT_EQ(decoder.resultCount(), 0);
    EXPECT_EQ(Decode(""), ArticleDecoder::kDecoded);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_EQ(log.Read(), "");
}

TEST_F(ArticleDecoderTest, UuencodedFileIsWrittenAndRecorded) {
    std::string bytes = RandomBytes(100000, 1);
    EXPECT_EQ(Decode(kHeaders + Encoded(bytes, "C:\\x\\y\\Pic.JPG")), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    const FileStat& result = decoder.result(0);
    EXPECT_EQ(result.status, FileStat::kProduced);
    EXPECT_EQ(result.size, bytes.size());
    EXPECT_EQ(result.encoding, 0);
    EXPECT_EQ(result.getName(), "Pic.JPG");
    EXPECT_EQ(result.getFullPath(), out + "/Pic.JPG");
    EXPECT_EQ(result.getExtension(), "jpg");
    EXPECT_EQ(result.repost_state, FileStat::kNewFile);
    EXPECT_EQ(ReadFileBytes(out + "/Pic.JPG"), bytes);
    std::string record = ReadFileBytes(decodes);
    EXPECT_EQ(record.substr(0, 7), "100000 ");
    EXPECT_EQ(record.substr(record.size() - 9), " Pic.JPG\n");
    EXPECT_EQ(Log(), "   UUDecoding... \n");
}

TEST_F(ArticleDecoderTest, TwoFilesWithTextBetweenAndAfter) {
    std::string a = RandomBytes(3000, 2), b = RandomBytes(46, 3);
    EXPECT_EQ(Decode(kHeaders + "first:\r\n" + Encoded(a, "a.bin") + "and the second:\r\n" + Encoded(b, "b") +
                     "thanks\r\n"),
              ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 2);
    EXPECT_EQ(decoder.result(0).getName(), "a.bin");
    EXPECT_EQ(decoder.result(1).getName(), "b");
    EXPECT_FALSE(decoder.result(1).hasExtension());
    EXPECT_EQ(ReadFileBytes(out + "/a.bin"), a);
    EXPECT_EQ(ReadFileBytes(out + "/b"), b);
}

TEST_F(ArticleDecoderTest, StartLineWithoutNameGivesCodeTwo) {
    EXPECT_EQ(Decode("begin 644\r\nM86)C\r\n`\r\nend\r\n"), ArticleDecoder::kNoFileName);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).status, FileStat::kNoFileName);
    EXPECT_EQ(Decode("begin \r\n#86)C\r\n`\r\nend\r\n"), ArticleDecoder::kNoFileName);
    EXPECT_TRUE(OutputFiles().empty());
}

TEST_F(ArticleDecoderTest, NameComesFromTheStartLineNotFromASentence) {
    std::string bytes = RandomBytes(500, 4);
    EXPECT_EQ(Decode("Subject: Please begin with part 1\r\n\r\nPlease begin here.\r\n" +
                     Encoded(bytes, "real.zip")),
              ArticleDecoder::kDecoded);
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"real.zip"});
    EXPECT_EQ(ReadFileBytes(out + "/real.zip"), bytes);
}

TEST_F(ArticleDecoderTest, BlockWithoutBytesLeavesNoFile) {
    EXPECT_EQ(Decode("begin 644 empty.bin\r\n`\r\nend\r\n"), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).status, FileStat::kNoBytes);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_FALSE(fs::exists(decodes));
}

TEST_F(ArticleDecoderTest, CollisionsAreRenamedAndRepostsDeleted) {
    std::string bytes = RandomBytes(10000, 5);
    WriteFileBytes(out + "/pic.jpg", "someone else's");
    EXPECT_EQ(Decode(Encoded(bytes, "pic.jpg")), ArticleDecoder::kDecoded);
    EXPECT_EQ(decoder.result(0).getName(), "pic000.jpg");
    EXPECT_EQ(decoder.result(0).repost_state, FileStat::kNewFile);
    EXPECT_EQ(ReadFileBytes(out + "/pic000.jpg"), bytes);
    EXPECT_NE(Log().find("   Mangling filename to \"" + out + "/pic000.jpg\"\n"), std::string::npos);

    // The same name in other letters and a size within the same KiB: a repost, even in the same run.
    std::string again = RandomBytes(10100, 6);
    EXPECT_EQ(Decode(Encoded(again, "PIC.JPG")), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).status, FileStat::kProduced);
    EXPECT_EQ(decoder.result(0).repost_state, FileStat::kRepost);
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"pic.jpg", "pic000.jpg"}));

    // A new run loads the record and still knows the name as posted.
    ArticleDecoder later(decodes);
    later.setOutputDir(out.c_str());
    std::string text = Encoded(bytes, "pic.jpg");
    std::vector<char> body(text.begin(), text.end());
    EXPECT_EQ(later.DecodeArticle(body), ArticleDecoder::kDecoded);
    EXPECT_EQ(later.result(0).repost_state, FileStat::kRepost);
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"pic.jpg", "pic000.jpg"}));
}

// What a run cut short leaves in the output directory: the file whole under its name but not yet recorded, or
// the hidden file it was writing. The run after decodes the same article again.
TEST_F(ArticleDecoderTest, WhatARunCutShortLeftIsNeitherDuplicatedNorTakenForAFile) {
    const std::string bytes = RandomBytes(10000, 7);
    const struct {
        const char* left;    // the file left behind
        std::string content; // its bytes
        FileStat::RepostState state;
        std::set<std::string> files;
    } kCases[] = {
        {"pic.jpg", bytes, FileStat::kRepost, {"pic.jpg"}},
        {"pic.jpg", bytes.substr(0, 4096), FileStat::kNewFile, {"pic.jpg", "pic000.jpg"}},
        {".pic.jpg.partial", bytes.substr(0, 4096), FileStat::kNewFile, {"pic.jpg"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.left) + " of " + std::to_string(c.content.size()) + " bytes");
        fs::remove_all(out);
        fs::create_directories(out);
        fs::remove(decodes);
        WriteFileBytes(out + "/" + c.left, c.content);
        ArticleDecoder again(decodes);
        again.setOutputDir(out.c_str());
        std::string text = Encoded(bytes, "pic.jpg");
        std::vector<char> body(text.begin(), text.end());
        EXPECT_EQ(again.DecodeArticle(body), ArticleDecoder::kDecoded);
        EXPECT_EQ(again.result(0).repost_state, c.state);
        EXPECT_EQ(OutputFiles(), c.files);
        EXPECT_EQ(ReadFileBytes(out + "/" + *c.files.rbegin()), bytes);
        // Recorded either way: the copy after this one is a repost by the record alone.
        EXPECT_NE(ReadFileBytes(decodes).find("pic.jpg"), std::string::npos);
    }
}

TEST_F(ArticleDecoderTest, HostileNamesStayInsideTheOutputDirectory) {
    const char* names[] = {"../../x",  "/etc/passwd", "C:\\dir\\x.exe", "$(touch pwned)", "`touch pwned`",
                           "..",       ".",           "\"\"",           "a/b/../../../c", "~/x",
                           "..\\..\\y"};
    int n = 0;
    for (const char* name : names) {
        EXPECT_EQ(Decode(Encoded(RandomBytes(100, static_cast<unsigned>(++n) + 100), name)),
                  ArticleDecoder::kDecoded)
            << name;
        ASSERT_EQ(decoder.resultCount(), 1) << name;
        EXPECT_EQ(fs::path(decoder.result(0).getFullPath()).parent_path(), fs::path(out)) << name;
    }
    std::set<std::string> files = OutputFiles();
    EXPECT_EQ(files.size(), std::size(names));
    for (const std::string& file : files) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out + "/" + file))) << file;
        EXPECT_NE(file, ".");
        EXPECT_NE(file, "..");
    }
    EXPECT_TRUE(files.count(".._.._x"));
    EXPECT_TRUE(files.count("_etc_passwd"));
    EXPECT_TRUE(files.count("x.exe"));
    EXPECT_TRUE(files.count("NoFileName"));
    // Only the output directory, the log and the record are beside the input.
    for (const auto& entry : fs::directory_iterator(work.path())) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "out" || name == "activity.log" || name == "decodes" || name == "input") << name;
    }
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(ArticleDecoderTest, ControlCharactersInAMimeNameAreReplaced) {
    std::string text = "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                       "Content-Type: application/x; name=\"evil\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\nQUJDREVGR0hJSktM\r\n--b--\r\n";
    EXPECT_EQ(Decode(text), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).getName(), "evil.x"); // the name ends with its line
    text = "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
           "Content-Disposition: attachment; filename=\"a\tb\x01.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\nQUJDREVGR0hJSktM\r\n--b--\r\n";
    EXPECT_EQ(Decode(text), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).getName(), "a_b_.bin");
}

TEST_F(ArticleDecoderTest, MissingOutputDirectoryIsLoggedAndStops) {
    decoder.setOutputDir((out + "/missing").c_str());
    EXPECT_EQ(Decode(Encoded("abc", "a.bin") + Encoded("def", "b.bin")), ArticleDecoder::kDecoded);
    EXPECT_EQ(decoder.resultCount(), 0);
    EXPECT_NE(Log().find("ERROR: Failed to write file \"" + out + "/missing/a.bin\"\n"), std::string::npos);
    EXPECT_EQ(Log().find("b.bin"), std::string::npos);
    EXPECT_FALSE(fs::exists(decodes));

    std::string mime = "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                       "Content-Type: application/x; name=\"m.bin\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\nQUJDREVGR0hJSktM\r\n--b--\r\n";
    EXPECT_EQ(Decode(mime), ArticleDecoder::kDecoded);
    EXPECT_EQ(decoder.resultCount(), 0);
    EXPECT_NE(Log().find("ERROR: Failed to write file \"" + out + "/missing/m.bin\"\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(decodes));
}

TEST_F(ArticleDecoderTest, NullOutputDirectoryMeansTheCurrentOne) {
    decoder.setOutputDir(nullptr);
    EXPECT_EQ(decoder.outputDir(), ".");
}

TEST_F(ArticleDecoderTest, MimeBase64PartsAreWrittenWhenLargerThanEightBytes) {
    auto message = [](const std::string& data) {
        return "Content-Type: multipart/mixed; boundary=\"xyz\"\r\n\r\n--xyz\r\n"
               "Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\nHello\r\n--xyz\r\n"
               "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n"
               "Content-Disposition: attachment; filename=\"photo.jpg\"\r\n\r\n" +
               data + "\r\n--xyz--\r\n";
    };
    EXPECT_EQ(Decode(message("QUJDREVGR0g=")), ArticleDecoder::kDecoded); // 8 bytes
    EXPECT_EQ(decoder.resultCount(), 0);
    EXPECT_EQ(Decode(message("QUJDREVGR0hJ")), ArticleDecoder::kDecoded); // 9 bytes
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).encoding, 2);
    EXPECT_EQ(decoder.result(0).getExtension(), "jpg");
    EXPECT_EQ(ReadFileBytes(out + "/photo.jpg"), "ABCDEFGHI");
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"photo.jpg"});
}

TEST_F(ArticleDecoderTest, UuencodeSentAsPlainTextIsDecodedQuotedPrintableNever) {
    std::string bytes = RandomBytes(2000, 7);
    std::string block = Encoded(bytes, "sent.zip");
    struct Case {
        std::string text;
        std::set<std::string> files;
    } cases[] = {
        {"Subject: x\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + block,
         {"sent.zip"}},
        {"Content-Transfer-Encoding: 8bit\r\n\r\nsee below\r\n" + block + "bye\r\n", {"sent.zip"}},
        {"Content-Type: multipart/mixed; boundary=\"b\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n--b\r\n"
         "Content-Type: text/plain\r\n\r\n" +
             block + "--b--\r\n",
         {"sent.zip"}},
        {"Content-Transfer-Encoding: quoted-printable\r\n\r\n" + block, {}},
        {"Content-Transfer-Encoding: Quoted-Printable\r\n\r\n" + block, {}},
        {"Content-Transfer-Encoding: 7bit\r\n\r\nno block here, just begin 644 words\r\n", {}},
    };
    for (const Case& c : cases) {
        TempDir target, record;
        ArticleDecoder fresh(record.file("decodes"));
        fresh.setOutputDir(target.str().c_str());
        std::vector<char> body(c.text.begin(), c.text.end());
        EXPECT_EQ(fresh.DecodeArticle(body), ArticleDecoder::kDecoded);
        std::set<std::string> files;
        for (const auto& entry : fs::directory_iterator(target.path())) {
            files.insert(entry.path().filename().string());
        }
        EXPECT_EQ(files, c.files) << c.text.substr(0, 80);
        if (!c.files.empty()) {
            EXPECT_TRUE(ReadFileBytes(target.file("sent.zip")) == bytes);
            ASSERT_EQ(fresh.resultCount(), 1);
            EXPECT_EQ(fresh.result(0).getName(), "sent.zip");
        }
    }
}

// Posters end their posts with signatures whose dashes look like MIME boundaries; none of them may cost the
// binary before it.
TEST_F(ArticleDecoderTest, SignatureAfterTheBinaryKeepsIt) {
    const std::string bytes = RandomBytes(3000, 30); // a multiple of 3: its base64 text has no padding
    WriteFileBytes(work.file("sig.bin"), bytes);
    std::string script = "import sys\n"
                         "from email.mime.application import MIMEApplication\n"
                         "m = MIMEApplication(open(sys.argv[1], 'rb').read())\n"
                         "m.add_header('Content-Disposition', 'attachment', filename='sig.bin')\n"
                         "sys.stdout.write(m.as_string())\n";
    WriteFileBytes(work.file("make.py"), script);
    CommandOutput("mpack -s sig -o " + ShellQuote(work.file("mpack.msg")) + " " +
                  ShellQuote(work.file("sig.bin")));
    const std::string posts[] = {
        "Subject: sig.bin\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\nhere:\r\n" +
            ToCrLf(UUEncodeFile(work.file("sig.bin"), "sig.bin")),
        ToCrLf(CommandOutput("python3 " + ShellQuote(work.file("make.py")) + " " +
                             ShellQuote(work.file("sig.bin")))),
        ToCrLf(ReadFileBytes(work.file("mpack.msg"))),
    };
    const std::string signatures[] = {
        "-- \r\nJohn\r\n",          "--\r\nJohn\r\n",    "-- \r\r\nJohn\r\n",
        "--John Doe\r\n",           "-----\r\nJohn\r\n", "-----\r\nJohn\r\n-------\r\n",
        "-- \r\nJohn\r\n-- --\r\n",
    };
    for (const std::string& post : posts) {
        for (const std::string& signature : signatures) {
            TempDir target, record;
            ArticleDecoder fresh(record.file("decodes"));
            fresh.setOutputDir(target.str().c_str());
            std::string text = post + signature;
            std::vector<char> body(text.begin(), text.end());
            EXPECT_EQ(fresh.DecodeArticle(body), ArticleDecoder::kDecoded);
            std::set<std::string> files;
            for (const auto& entry : fs::directory_iterator(target.path())) {
                files.insert(entry.path().filename().string());
            }
            EXPECT_EQ(files, std::set<std::string>{"sig.bin"}) << post.substr(0, 60) << signature;
            EXPECT_TRUE(ReadFileBytes(target.file("sig.bin")) == bytes) << post.substr(0, 60) << signature;
        }
    }
}

TEST_F(ArticleDecoderTest, MimeTextAfterAUuencodedFileLeavesNoEmptyFile) {
    std::string text =
        Encoded("abcdef", "a.txt") +
        "Content-Transfer-Encoding: base64\r\nContent-Type: a/b; name=\"later.bin\"\r\n\r\nQUJD\r\n";
    EXPECT_EQ(Decode(text), ArticleDecoder::kDecoded);
    EXPECT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"a.txt"});
}

TEST_F(ArticleDecoderTest, RealEncoderMessagesDecodeToTheOriginals) {
    std::string bytes = RandomBytes(123457, 8);
    WriteFileBytes(work.file("payload.bin"), bytes);
    CommandOutput("mpack -s test -o " + ShellQuote(work.file("msg")) + " " +
                  ShellQuote(work.file("payload.bin")));
    EXPECT_EQ(Decode(ToCrLf(ReadFileBytes(work.file("msg")))), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(ReadFileBytes(out + "/payload.bin"), bytes);

    EXPECT_EQ(Decode(UnnamedGifMessage(bytes)), ArticleDecoder::kDecoded); // LF line ends
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).getName(), "NoFileName.gif");
    EXPECT_EQ(ReadFileBytes(out + "/NoFileName.gif"), "GIF89a" + bytes);
}

TEST_F(ArticleDecoderTest, InventedNamesAreNoEvidenceOfARepost) {
    // Two different images without names whose sizes fall in the same KiB.
    const std::string images[] = {RandomBytes(5000, 40), RandomBytes(5010, 41)};
    for (const std::string& image : images) {
        EXPECT_EQ(Decode(UnnamedGifMessage(image)), ArticleDecoder::kDecoded);
        ASSERT_EQ(decoder.resultCount(), 1);
        EXPECT_EQ(decoder.result(0).status, FileStat::kProduced);
        EXPECT_EQ(decoder.result(0).repost_state, FileStat::kNewFile);
    }
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"NoFileName.gif", "NoFileName000.gif"}));
    EXPECT_TRUE(ReadFileBytes(out + "/NoFileName000.gif") == "GIF89a" + images[1]);
    EXPECT_FALSE(fs::exists(decodes));
}

TEST_F(ArticleDecoderTest, BadInputGivesACodeAndNothingOutside) {
    std::string huge(4 << 20, 'M');
    std::string block = Encoded(RandomBytes(1000, 9), "bad.bin");
    const std::string texts[] = {
        "begin 644 trunc.bin\r\nM86)C",
        "begin 644 trunc.bin",
        "begin ",
        "begin 644 " + huge,
        "begin 644 big.bin\r\n" + huge + "\r\n" + huge,
        Bytes("begin 644 nul\0.bin\r\n#04)#\r\n`\r\n"),
        block.substr(0, block.size() / 2),
        std::string(block).replace(40, 1, std::string(1, '\0')),
        "begin 644 range.bin\r\n\x80\x81\x82\x83\r\n\xff\xfe\r\n",
        "Content-Transfer-Encoding: base64\r\n\r\n!!!!@@@@####$$$$%%%%\r\n",
        "Content-Transfer-Encoding: \r\nContent-Type: \r\nContent-Disposition: \r\n\r\nbegin",
        "Content-Transfer-Encoding: base64\r\nContent-Type: multipart/mixed; boundary=",
        "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 u\r\n" + huge,
        std::string(1, '\0'),
        std::string(100, '\r'),
    };
    for (const std::string& text : texts) {
        int code = Decode(text);
        EXPECT_TRUE(code == 0 || code == 1 || code == 2) << code;
        EXPECT_LE(decoder.resultCount(), 1);
    }
    for (const auto& entry : fs::directory_iterator(work.path())) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "out" || name == "activity.log" || name == "decodes" || name == "input") << name;
    }
}

TEST(FileStatTest, TracesConstructionAndDestructionWhenTracing) {
    testing::internal::CaptureStderr();
    { FileStat quiet; }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    SetTracing(true);
    testing::internal::CaptureStderr();
    {
        FileStat stat;
        stat.setName("n");
        stat.setExtension("JPG");
        EXPECT_EQ(stat.getExtension(), "jpg");
        EXPECT_TRUE(stat.hasExtension());
        stat.setExtension(nullptr);
        EXPECT_FALSE(stat.hasExtension());
        EXPECT_EQ(stat.getFullPath(), "");
    }
    std::string trace = testing::internal::GetCapturedStderr();
    SetTracing(false);
    EXPECT_NE(
        trace.find("](void)\n\textension = \"<null>\"\n\tname      = \"<null>\"\n\tfull_path = \"<null>\"\n"
                   "Delete FileStat["),
        std::string::npos)
        << trace;
    EXPECT_EQ(trace.rfind("\tname      = \"n\"\n"), trace.find("\tname      = \"n\"\n"));
    EXPECT_EQ(trace.find("New FileStat["), 0u);
}

TEST(FileStatTest, ResetClearsEverything) {
    FileStat stat;
    stat.status = 2;
    stat.size = 5;
    stat.encoding = 0;
    stat.repost_state = 2;
    stat.setName("a");
    stat.setFullPath("b");
    stat.setExtension("c");
    stat.reset();
    EXPECT_EQ(stat.status, 0);
    EXPECT_EQ(stat.size, 0u);
    EXPECT_EQ(stat.encoding, 3);
    EXPECT_EQ(stat.repost_state, 0);
    EXPECT_EQ(stat.getName(), "");
    EXPECT_FALSE(stat.hasExtension());
}

} // namespace

namespace {

// A file that cannot be written whole (here: the process may not make files larger than 1000 bytes) is
// reported, removed and not recorded, and decoding stops.
void DecodeUnderFileSizeLimit(const std::string& dir, const std::string& text) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string log = dir + "/activity.log";
    SetLogFileName(log.c_str());
    SetLogEnabled(1);
    ArticleDecoder decoder(dir + "/decodes");
    decoder.setOutputDir((dir + "/out").c_str());
    std::vector<char> body(text.begin(), text.end());
    int code = decoder.DecodeArticle(body);
    bool reported =
        ReadLogFile(log).find("ERROR: Failed to write file \"" + dir + "/out/big.bin\"") != std::string::npos;
    bool clean = fs::is_empty(dir + "/out") && !fs::exists(dir + "/decodes");
    _exit(code == 0 && decoder.resultCount() == 0 && reported && clean ? 0 : 1);
}

TEST(ArticleDecoderWriteFailureTest, ShortWritesAreReportedAndLeaveNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    fs::create_directory(dir.file("out"));
    WriteFileBytes(dir.file("input"), RandomBytes(5000, 21));
    std::string uu = ToCrLf(UUEncodeFile(dir.file("input"), "big.bin")) +
                     ToCrLf(UUEncodeFile(dir.file("input"), "next.bin"));
    EXPECT_EXIT(DecodeUnderFileSizeLimit(dir.str(), uu), testing::ExitedWithCode(0), "");
    std::string mime =
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
        "Content-Type: application/x; name=\"big.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        CommandOutput("base64 " + ShellQuote(dir.file("input"))) + "--b--\r\n";
    EXPECT_EXIT(DecodeUnderFileSizeLimit(dir.str(), mime), testing::ExitedWithCode(0), "");
}

} // namespace
