// yEnc posts made by Debian's python3-yenc, through the decode driver.
#include "decode/ArticleDecoder.h"
#include "decode/ClassifyBody.h"
#include "decode/Crc32.h"
#include "tests/decode/DecoderFixture.h"
#include "tests/decode/Encoders.h"
#include "tests/support/YEncPost.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <filesystem>
#include <map>
#include <random>

namespace fs = std::filesystem;

namespace {

const std::string kHeaders = "From: poster@example.com\r\nSubject: a post\r\n\r\n";

// Part bodies joined as the parts store joins them: in the given order (1-based), then the end marker.
std::string Joined(const std::vector<std::string>& parts, const std::vector<int>& order) {
    std::string body;
    for (int part : order) {
        body += parts[static_cast<size_t>(part - 1)];
    }
    return body + "\r\n.\r\n";
}

std::string Hex(uint32_t crc) {
    char text[16];
    snprintf(text, sizeof text, "%08x", crc);
    return text;
}

uint32_t CrcOf(const std::string& bytes) {
    return Crc32Plain(0, bytes.data(), bytes.size());
}

// One data byte of a body changed so that the decoded size stays: a plain character, not next to an escape.
std::string WithOneByteChanged(std::string body) {
    size_t data = body.find("\r\n", body.rfind("=y", body.size() / 2)) + 2;
    size_t at = data + (body.size() - data) / 3;
    while (body[at] == '=' || body[at - 1] == '=' || body[at] == '\r' || body[at] == '\n') {
        ++at;
    }
    body[at] = body[at] == 'A' ? 'B' : 'A';
    return body;
}

class YEncArticleTest : public DecoderFixture {
  protected:
    std::map<std::string, std::string> OutputFiles() {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(out)) {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
        }
        return files;
    }

    // The lines logged since the last call.
    std::string NewLog() {
        std::string all = Log();
        std::string fresh = all.substr(logged_);
        logged_ = all.size();
        return fresh;
    }

    size_t logged_ = 0;
};

TEST_F(YEncArticleTest, SinglePartPostsDecodeToTheOriginal) {
    for (size_t size : {1, 127, 128, 129, 4096, 1 << 20}) {
        for (int line : {128, 256}) {
            std::string bytes = RandomBytes(size, static_cast<unsigned>(size + line));
            std::string name = "file " + std::to_string(size) + "-" + std::to_string(line) + ".Bin";
            std::vector<std::string> post = YEncPost(bytes, name, 1, line);
            ASSERT_EQ(post.size(), 1u);
            ASSERT_EQ(Decode(kHeaders + post[0]), ArticleDecoder::kDecoded) << name;
            ASSERT_EQ(decoder.resultCount(), 1) << name;
            const FileStat& result = decoder.result(0);
            EXPECT_EQ(result.status, FileStat::kProduced);
            EXPECT_EQ(result.encoding, kYEnc);
            EXPECT_EQ(result.size, size);
            EXPECT_EQ(result.getName(), name);
            EXPECT_EQ(result.getFullPath(), out + "/" + name);
            EXPECT_EQ(result.getExtension(), "bin");
            EXPECT_EQ(result.repost_state, FileStat::kNewFile);
            EXPECT_TRUE(ReadFileBytes(out + "/" + name) == bytes) << name;
            EXPECT_EQ(NewLog(), "   yDecoding... \n") << name;
        }
    }
    // The same text with LF line ends, as a file on disk may hold it.
    std::string bytes = RandomBytes(300000, 3);
    std::string post = YEncPost(bytes, "lf.bin", 1)[0];
    for (size_t at = post.find("\r\n"); at != std::string::npos; at = post.find("\r\n", at)) {
        post.erase(at, 1);
    }
    EXPECT_EQ(Decode(post), ArticleDecoder::kDecoded);
    EXPECT_TRUE(ReadFileBytes(out + "/lf.bin") == bytes);
}

TEST_F(YEncArticleTest, BeginInASubjectDoesNotHideThePost) {
    unsigned seed = 11;
    for (std::string subject : {"Let's begin (1/1)", "begin here", "\"guide.pdf\" yEnc begin again"}) {
        std::string bytes = RandomBytes(40000, ++seed);
        std::string name = "guide" + std::to_string(seed) + ".pdf";
        std::string headers =
            "From: poster@example.com\r\nSubject: " + subject + "\r\nMessage-ID: <a.b@example.com>\r\n\r\n";
        EXPECT_EQ(Decode(headers + YEncPost(bytes, name, 1)[0]), ArticleDecoder::kDecoded) << subject;
        ASSERT_EQ(decoder.resultCount(), 1) << subject;
        EXPECT_EQ(decoder.result(0).status, FileStat::kProduced) << subject;
        EXPECT_TRUE(ReadFileBytes(out + "/" + name) == bytes) << subject;
    }
}

TEST_F(YEncArticleTest, PartsJoinedInOneBodyMakeOneFileInAnyOrder) {
    std::string bytes = RandomBytes(500001, 4);
    std::vector<std::string> parts = YEncPost(bytes, "holiday.rar", 5, 256);
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(Decode(Joined(parts, {1, 2, 3, 4, 5})), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).size, bytes.size());
    EXPECT_EQ(decoder.result(0).encoding, kYEnc);
    EXPECT_EQ(NewLog(), "   yDecoding... \n");
    // Every part goes to its own place, whatever the order of the blocks.
    EXPECT_EQ(Decode(Joined(parts, {5, 3, 1, 4, 2})), ArticleDecoder::kDecoded);
    ASSERT_EQ(decoder.resultCount(), 1);
    EXPECT_EQ(decoder.result(0).repost_state, FileStat::kRepost);
    EXPECT_TRUE(OutputFiles() == (std::map<std::string, std::string>{{"holiday.rar", bytes}}));
    EXPECT_EQ(NewLog(), "   Mangling filename to \"" + out + "/holiday000.rar\"\n   yDecoding... \n");

    // Totals above 99 and 999 need no more than any other.
    std::string many = RandomBytes(1001 * 40, 5);
    std::vector<std::string> small = YEncPost(many, "many.bin", 1001, 128);
    std::vector<int> order;
    for (int part = 1; part <= 1001; ++part) {
        order.push_back(part);
    }
    EXPECT_EQ(Decode(Joined(small, order)), ArticleDecoder::kDecoded);
    EXPECT_TRUE(ReadFileBytes(out + "/many.bin") == many);
    EXPECT_EQ(NewLog(), "   yDecoding... \n");
}

TEST_F(YEncArticleTest, EscapesAtLineStartsAndEndsDecode) {
    // Bytes that encode to the characters the encoder escapes: NUL, LF, CR, "=", and TAB, blank and "." where
    // they start or end a line.
    const unsigned char kCritical[] = {214, 224, 227, 19, 223, 246, 4, 65};
    std::mt19937 random(8);
    std::string bytes(200000, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(kCritical[random() % sizeof kCritical]);
    }
    for (int line : {128, 256}) {
        std::string post = YEncPost(bytes, "escapes" + std::to_string(line), 1, line)[0];
        size_t startEscapes = 0, endEscapes = 0;
        for (size_t at = post.find("\r\n"); at != std::string::npos && at + 2 < post.size();
             at = post.find("\r\n", at + 2)) {
            startEscapes += post[at + 2] == '=';
            endEscapes += post[at - 2] == '=';
        }
        ASSERT_GT(startEscapes, 10u);
        ASSERT_GT(endEscapes, 10u);
        EXPECT_EQ(Decode(post), ArticleDecoder::kDecoded);
        EXPECT_TRUE(ReadFileBytes(out + "/escapes" + std::to_string(line)) == bytes) << line;
    }
    EXPECT_EQ(NewLog(), "   yDecoding... \n   yDecoding... \n");
}

// Damage is logged with the numbers a user needs, and the file is still written for repair.
TEST_F(YEncArticleTest, DamagedPostsAreLoggedAndStillWritten) {
    std::string bytes = RandomBytes(300000, 6);
    std::vector<std::string> single = YEncPost(bytes, "single.bin", 1, 128);
    std::vector<std::string> parts = YEncPost(bytes, "parts.bin", 5, 128);
    const size_t per = 60000;
    auto take = [&](const std::string& name) {
        std::string bytes = ReadFileBytes(out + "/" + name);
        fs::remove(out + "/" + name);
        return bytes;
    };

    EXPECT_EQ(Decode(WithOneByteChanged(single[0])), ArticleDecoder::kDecoded);
    std::string written = take("single.bin");
    ASSERT_EQ(written.size(), bytes.size());
    EXPECT_NE(written, bytes);
    EXPECT_EQ(NewLog(), "   yDecoding... \n   CRC error in file (expected " + Hex(CrcOf(bytes)) + ", got " +
                            Hex(CrcOf(written)) + ")\n");

    std::vector<std::string> damaged = parts;
    damaged[1] = WithOneByteChanged(parts[1]);
    EXPECT_EQ(Decode(Joined(damaged, {1, 2, 3, 4, 5})), ArticleDecoder::kDecoded);
    written = take("parts.bin");
    ASSERT_EQ(written.size(), bytes.size());
    EXPECT_EQ(NewLog(), "   yDecoding... \n   CRC error in part 2 (expected " +
                            Hex(CrcOf(bytes.substr(per, per))) + ", got " +
                            Hex(CrcOf(written.substr(per, per))) + ")\n   CRC error in file (expected " +
                            Hex(CrcOf(bytes)) + ", got " + Hex(CrcOf(written)) + ")\n");

    // A part missing: the others at their places, a gap of zeros where it belongs.
    EXPECT_EQ(Decode(Joined(parts, {1, 2, 4, 5})), ArticleDecoder::kDecoded);
    written = take("parts.bin");
    EXPECT_TRUE(written == bytes.substr(0, 2 * per) + std::string(per, '\0') + bytes.substr(3 * per));
    EXPECT_EQ(NewLog(), "   yDecoding... \n   Incomplete file, 240000 of 300000 bytes\n");

    // The last line cut short, and no "=yend" after it.
    std::string cut = single[0].substr(0, single[0].rfind("\r\n", single[0].rfind("=yend")) - 5);
    EXPECT_EQ(Decode(cut), ArticleDecoder::kDecoded);
    written = take("single.bin");
    ASSERT_LT(written.size(), bytes.size());
    EXPECT_TRUE(written == bytes.substr(0, written.size()));
    std::string size = std::to_string(written.size());
    EXPECT_EQ(NewLog(), "   yDecoding... \n   yEnc part 1 breaks off without its =yend line\n"
                        "   yEnc part 1 has " +
                            size + " bytes, should be 300000\n   Incomplete file, " + size +
                            " of 300000 bytes\n");
}

// A damaged file is checked against the record but not entered in it: a sound copy posted later is kept.
TEST_F(YEncArticleTest, RepostsOfSoundAndDamagedFiles) {
    std::string bytes = RandomBytes(50000, 7);
    std::string post = YEncPost(bytes, "r.bin", 1)[0];
    EXPECT_EQ(Decode(WithOneByteChanged(post)), ArticleDecoder::kDecoded);
    EXPECT_EQ(decoder.result(0).repost_state, FileStat::kNewFile);
    EXPECT_FALSE(fs::exists(decodes));
    EXPECT_EQ(Decode(post), ArticleDecoder::kDecoded);
    EXPECT_EQ(decoder.result(0).repost_state, FileStat::kNewFile);
    EXPECT_EQ(decoder.result(0).getName(), "r000.bin");
    EXPECT_TRUE(ReadFileBytes(out + "/r000.bin") == bytes);
    for (const std::string& again : {post, WithOneByteChanged(post)}) {
        EXPECT_EQ(Decode(again), ArticleDecoder::kDecoded);
        EXPECT_EQ(decoder.result(0).repost_state, FileStat::kRepost);
    }
    EXPECT_EQ(OutputFiles().size(), 2u);
    EXPECT_EQ(ReadFileBytes(decodes).substr(0, 6), "50000 ");
}

TEST_F(YEncArticleTest, NamesAreCleanedAndStayInTheOutputDirectory) {
    struct Case {
        std::string posted;
        std::string file;
    } cases[] = {
        {"holiday pics 2024.rar", "holiday pics 2024.rar"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"a\x01"
         "b\x1f"
         "c\x7f.bin",
         "a_b_c_.bin"},
        {"C:\\dir\\x.exe", "x.exe"},
        {"$(touch pwned).bin", "$(touch pwned).bin"},
        {"..", "NoFileName"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Decode(YEncPost(RandomBytes(1000, 9), c.posted, 1)[0]), ArticleDecoder::kDecoded)
            << c.posted;
        ASSERT_EQ(decoder.resultCount(), 1);
        EXPECT_EQ(decoder.result(0).getName(), c.file);
        EXPECT_EQ(fs::path(decoder.result(0).getFullPath()).parent_path(), fs::path(out));
    }
    EXPECT_EQ(OutputFiles().size(), std::size(cases));
    EXPECT_EQ(Decode("=ybegin line=128 size=3 name=\r\n*+,\r\n=yend size=3\r\n"),
              ArticleDecoder::kNoFileName);
    EXPECT_EQ(decoder.result(0).status, FileStat::kNoFileName);
    EXPECT_EQ(Decode("=ybegin line=128 size=3\r\n*+,\r\n=yend size=3\r\n"), ArticleDecoder::kNoFileName);
    EXPECT_EQ(OutputFiles().size(), std::size(cases));
    EXPECT_FALSE(fs::exists(work.file("pwned")));
}

TEST_F(YEncArticleTest, YEncInsideMime) {
    std::string bytes = RandomBytes(20000, 10);
    std::string post = YEncPost(bytes, "in-mime.bin", 1)[0];
    struct Case {
        std::string text;
        bool decoded;
    } cases[] = {
        {"MIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n"
         "Content-Transfer-Encoding: 8bit\r\n\r\n" +
             post,
         true},
        {"Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: "
         "text/plain\r\n\r\nhello\r\n"
         "--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
             post + "--b--\r\n",
         true},
        {"Content-Transfer-Encoding: quoted-printable\r\n\r\n" + post, false},
    };
    for (const Case& c : cases) {
        FreshDecode fresh(c.text);
        EXPECT_EQ(fresh.code, ArticleDecoder::kDecoded);
        auto expected = c.decoded ? std::map<std::string, std::string>{{"in-mime.bin", bytes}}
                                  : std::map<std::string, std::string>{};
        EXPECT_TRUE(fresh.files == expected) << c.text.substr(0, 60);
    }
}

// Hostile control lines: each gets a clear log line, nothing lands beyond the declared size or outside the
// output directory, and the body after a bad block is still read.
TEST_F(YEncArticleTest, BadControlLines) {
    const std::string data = "*+,-./01\r\n"; // bytes 0 to 7
    auto single = [&](const std::string& begin) { return begin + "\r\n" + data + "=yend size=8\r\n"; };
    auto part = [&](const std::string& begin, const std::string& place) {
        return begin + "\r\n" + place + "\r\n" + data + "=yend size=8\r\n";
    };
    std::string escapes(1 << 20, '=');
    std::string longLine;
    for (int i = 0; i < (3 << 20); ++i) {
        longLine += static_cast<char>('*' + i % 16);
    }
    struct Case {
        std::string text;
        std::string logged;
        std::map<std::string, uint64_t> files; // name and size
    } cases[] = {
        {single("=ybegin line=128 size=0 name=a"),
         "   Malformed yEnc line: =ybegin line=128 size=0 name=a\n",
         {}},
        {single("=ybegin line=128 size=18446744073709551616 name=a"), "   Malformed yEnc line: =ybegin", {}},
        {single("=ybegin line=128 size=9223372036854775808 name=a"), "   Malformed yEnc line: =ybegin", {}},
        {single("=ybegin line=128 size=x8 name=a"), "   Malformed yEnc line: =ybegin", {}},
        {single("=ybegin line=128 name=a"), "   Malformed yEnc line: =ybegin", {}},
        {part("=ybegin part=99999999999 line=128 size=8 name=a", "=ypart begin=1 end=8"),
         "   Malformed yEnc",
         {}},
        {part("=ybegin part=1 line=128 size=8 name=a", "=ypart begin=0 end=8"),
         "   Malformed yEnc line: =ypart begin=0 end=8\n",
         {}},
        {part("=ybegin part=1 line=128 size=8 name=a", "=ypart begin=5 end=4"),
         "   Malformed yEnc line: =ypart",
         {}},
        {single("=ybegin part=1 line=128 size=8 name=a"), "   Malformed yEnc line: =ybegin part=1", {}},
        {part("=ybegin part=1 total=1 line=128 size=4 name=b", "=ypart begin=1 end=8"),
         "   yEnc part 1 lies outside the file (bytes 1 to 8 of 4)\n",
         {}},
        // A lone part far into a big file would leave a gap larger than the article.
        {part("=ybegin part=90 total=100 line=128 size=800 name=k", "=ypart begin=713 end=720"),
         "   yEnc part 90 lies too far out for this article (bytes 713 to 720 of 800)\n",
         {}},
        {part("=ybegin part=3 total=2 line=128 size=8 name=c", "=ypart begin=1 end=8"),
         "   yEnc part 3 of 2: the part number is above the total\n",
         {}},
        {part("=ybegin part=1 total=2 line=128 size=12 name=d", "=ypart begin=1 end=8") +
             part("=ybegin part=2 total=2 line=128 size=12 name=d", "=ypart begin=5 end=12"),
         "   yEnc part 2 overlaps a part already written\n   Incomplete file, 8 of 12 bytes\n",
         {{"d", 8}}},
        {part("=ybegin part=1 total=2 line=128 size=16 name=e", "=ypart begin=1 end=8") +
             part("=ybegin part=1 total=2 line=128 size=16 name=e", "=ypart begin=1 end=8"),
         "   yEnc part 1 overlaps a part already written\n",
         {{"e", 8}}},
        {"=ybegin line=128 size=8 name=f\r\n" + data,
         "   yEnc part 1 breaks off without its =yend line\n",
         {{"f", 8}}},
        {"=ybegin line=128 size=8 name=g\r\n" + escapes + "\r\n=yend size=8\r\n",
         "   yEnc part 1 has 524288 bytes, should be 8\n",
         {{"g", 8}}},
        {"=ybegin line=128 size=8 name=h\r\n" + longLine + "\r\n=yend size=8\r\n",
         "   yEnc part 1 has 3145728 bytes, should be 8\n",
         {{"h", 8}}},
        // After a bad block the next one is read.
        {single("=ybegin line=128 size=0 name=i") + single("=ybegin line=128 size=8 name=j"),
         "   Malformed yEnc line: =ybegin line=128 size=0 name=i\n",
         {{"j", 8}}},
    };
    for (const Case& c : cases) {
        FreshDecode fresh(c.text);
        EXPECT_TRUE(fresh.code == ArticleDecoder::kDecoded || fresh.code == ArticleDecoder::kNoEncoding);
        std::string logged = NewLog();
        EXPECT_NE(logged.find(c.logged), std::string::npos) << c.text.substr(0, 80) << "\n" << logged;
        std::map<std::string, uint64_t> files;
        for (const auto& [name, bytes] : fresh.files) {
            files[name] = bytes.size();
        }
        EXPECT_EQ(files, c.files) << c.text.substr(0, 80);
    }
    EXPECT_TRUE(fs::is_empty(out));
}

} // namespace
