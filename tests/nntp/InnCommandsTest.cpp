#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "nntp/NntpConnection.h"
#include "tests/support/InnServer.h"
#include "tests/support/TempDir.h"

namespace {

const char* const kGroup = "alt.binaries.test";

std::string WithCrLf(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n') {
            result += '\r';
        }
        result += c;
    }
    return result;
}

// One INN2 instance for the suite, holding: 1 and 3 with a Lines header, 2 without, 4 a uuencoded file
// whose last data line starts with ".", 5 a body of about 5 MB.
class InnCommandsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        inn = new InnServer;
        if (!inn->Start({kGroup, "alt.test.other"})) {
            return;
        }
        std::string bigBody;
        for (int i = 0; bigBody.size() < 5 * 1000 * 1000; ++i) {
            std::string line = std::to_string(i) + " ";
            line.resize(78, static_cast<char>('a' + i % 26));
            bigBody += line + "\n";
        }
        bigBodyText = new std::string(WithCrLf(bigBody));
        uuencoded = new std::string(MakeUuencoded());
        std::vector<std::string> articles{
            MakeArticle(kGroup, "first", "one\ntwo\n"),
            "From: t@example.com\nNewsgroups: alt.binaries.test\nSubject: second\n\nno lines header\n",
            MakeArticle(kGroup, "third", "three\n"),
            MakeArticle(kGroup, "file.bin (1/1)", *uuencoded),
            MakeArticle(kGroup, "big", bigBody),
        };
        posted = inn->PostAll(articles);
    }
    static void TearDownTestSuite() {
        delete inn;
        delete bigBodyText;
        delete uuencoded;
    }

    // A file of 45 × 100 + 14 bytes: its last uuencoded line carries 14 bytes, so it starts with ".".
    static std::string MakeUuencoded() {
        TempDir dir;
        std::string data;
        for (int i = 0; i < 45 * 100 + 14; ++i) {
            data += static_cast<char>((i * 7 + 3) % 256);
        }
        WriteFileBytes(dir.file("file.bin"), data);
        std::string command = "uuencode " + dir.file("file.bin") + " file.bin > " + dir.file("file.uue");
        if (std::system(command.c_str()) != 0) {
            return "";
        }
        return ReadFileBytes(dir.file("file.uue"));
    }

    void SetUp() override {
        ASSERT_TRUE(posted) << inn->Error();
        ASSERT_FALSE(uuencoded->empty()) << "uuencode (sharutils) is missing";
        DownloadRunning.store(1);
        ASSERT_EQ(connection.Connect(), 1);
    }
    void TearDown() override { DownloadRunning.store(0); }

    static InnServer* inn;
    static std::string* bigBodyText;
    static std::string* uuencoded;
    static bool posted;
    NntpConnection connection{inn->Address()};
};

InnServer* InnCommandsTest::inn = nullptr;
std::string* InnCommandsTest::bigBodyText = nullptr;
std::string* InnCommandsTest::uuencoded = nullptr;
bool InnCommandsTest::posted = false;

TEST_F(InnCommandsTest, SelectsExistingGroupsOnly) {
    std::unique_ptr<GroupStatus> status = connection.SelectGroup(kGroup);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->first(), 1);
    EXPECT_EQ(status->last(), 5);
    EXPECT_EQ(status->count(), 5);
    EXPECT_EQ(connection.SelectGroup("alt.does.not.exist"), nullptr);
    EXPECT_FALSE(connection.IsDisconnected());
    EXPECT_NE(connection.SelectGroup(kGroup), nullptr);
}

TEST_F(InnCommandsTest, XhdrOverRangesWithMissingArticles) {
    ASSERT_NE(connection.SelectGroup(kGroup), nullptr);
    std::vector<HeaderCacheEntry> scratch;
    ASSERT_EQ(connection.XhdrLines(scratch, 1, 16), 4) << "article 2 has no Lines header";
    EXPECT_EQ(scratch[0].articleNumber(), 1);
    EXPECT_EQ(scratch[0].number(), 2);
    EXPECT_EQ(scratch[1].articleNumber(), 3);
    ASSERT_EQ(connection.XhdrSubject(scratch, 1, 16), 5);
    EXPECT_EQ(scratch[1].text(), "second");
    EXPECT_EQ(connection.XhdrLines(scratch, 50, 60), -1);

    EXPECT_EQ(connection.FetchHeaderSummary(1), "Lines: 2\r\nSubject: first\r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(2), std::nullopt);
    EXPECT_EQ(connection.FetchHeaderSummary(3), "Lines: 1\r\nSubject: third\r\n");
    EXPECT_EQ(connection.FetchHeaderSummary(12), std::nullopt);
    EXPECT_TRUE(connection.XhdrUsable());
}

TEST_F(InnCommandsTest, HeadAndMissingArticles) {
    ASSERT_NE(connection.SelectGroup(kGroup), nullptr);
    std::optional<std::string> head = connection.FetchHead(3);
    ASSERT_TRUE(head);
    EXPECT_NE(head->find("Subject: third\r\n"), std::string::npos);
    EXPECT_NE(head->find("Lines: 1\r\n"), std::string::npos);
    EXPECT_EQ(head->find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(connection.FetchHead(99), std::nullopt);
    EXPECT_EQ(connection.FetchBody(99, 1, nullptr), std::nullopt);
    EXPECT_FALSE(connection.IsDisconnected());
    EXPECT_EQ(connection.FetchBody(3, 1, nullptr), "three\r\n");
}

TEST_F(InnCommandsTest, UuencodedLineStartingWithADotComesBackUnchanged) {
    std::string expected = WithCrLf(*uuencoded);
    ASSERT_NE(expected.find("\r\n.", 0), std::string::npos)
        << "the test file must have a line starting with '.'";
    ASSERT_NE(connection.SelectGroup(kGroup), nullptr);
    EXPECT_EQ(connection.FetchBody(4, 0, nullptr), expected);
}

TEST_F(InnCommandsTest, BodyOfFiveMegabytes) {
    ASSERT_NE(connection.SelectGroup(kGroup), nullptr);
    long lines = static_cast<long>(std::count(bigBodyText->begin(), bigBodyText->end(), '\n'));
    long calls = 0;
    std::optional<std::string> body = connection.FetchBody(5, lines, [&calls](float, int, long) {
        ++calls;
        return 1;
    });
    ASSERT_TRUE(body);
    EXPECT_EQ(body->size(), bigBodyText->size());
    EXPECT_TRUE(*body == *bigBodyText);
    EXPECT_GE(calls, lines / 100);
}

TEST_F(InnCommandsTest, ListAndNewGroups) {
    std::vector<std::string> lines;
    GroupListProgress progress;
    long count = connection.FetchGroupList(lines, &progress, nullptr);
    EXPECT_GE(count, 2);
    EXPECT_EQ(progress.Count(), count);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "alt.binaries.test 0000000005 0000000001 y"),
              lines.end());

    count = connection.FetchGroupList(lines, nullptr, "990101 000000");
    EXPECT_GE(count, 2);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("alt.test.other ", 0) == 0; }));
    EXPECT_EQ(connection.FetchGroupList(lines, nullptr, "991301 000000"), 0) << "a bad date is refused";
}

TEST(InnLogin, StoredLoginIsReplayedWhenTheServerAsks) {
    InnServer inn;
    ASSERT_TRUE(inn.Start({kGroup}, "reader", "s3cret")) << inn.Error();
    DownloadRunning.store(1);
    NntpConnection connection(inn.Address());
    ASSERT_EQ(connection.Connect(), 1);
    EXPECT_EQ(connection.SelectGroup(kGroup), nullptr) << "480 without any stored login";
    EXPECT_EQ(connection.Login("reader", "wrong"), 0);
    EXPECT_EQ(connection.SelectGroup(kGroup), nullptr);

    ASSERT_EQ(connection.Connect(), 1);
    EXPECT_EQ(connection.Login("reader", "s3cret"), 1);
    EXPECT_NE(connection.SelectGroup(kGroup), nullptr);

    // A fresh session is not logged in: the server answers 480, the stored login goes out, the command again.
    ASSERT_EQ(connection.Connect(), 1);
    EXPECT_NE(connection.SelectGroup(kGroup), nullptr);
    std::vector<std::string> lines;
    ASSERT_EQ(connection.Connect(), 1);
    EXPECT_GE(connection.FetchGroupList(lines, nullptr, nullptr), 1);
    DownloadRunning.store(0);
}

} // namespace
