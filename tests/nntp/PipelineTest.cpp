#include <gtest/gtest.h>

#include <string>

#include "nntp/NntpConnection.h"
#include "tests/support/FakeNewsServer.h"

namespace {

struct FitCase {
    const char* command;
    const char* status;
    bool fits;
};

// Whether an answer can belong to the command it must answer: the one check that keeps a server answering
// out of order from handing one article's text in place of another's.
TEST(PipelineTest, AnswerBelongsToItsCommand) {
    const FitCase cases[] = {
        {"body 12\r\n", "222 12 <a@b> body\r\n", true},
        {"body 12\r\n", "222 13 <a@b> body\r\n", false}, // another article's body
        {"body 12\r\n", "221 12 <a@b> head\r\n", false}, // a head for a body
        {"body 12\r\n", "222 body follows\r\n", false},  // no article number
        {"body 12\r\n", "222 0 <a@b>\r\n", true},
        {"body 12\r\n", "423 No such article\r\n", true},
        {"body 12\r\n", "480 Authentication required\r\n", true},
        {"body 12\r\n", "begin 644 x.bin\r\n", false}, // a data line taken for a status line
        {"body 12\r\n", "", false},
        {"head 7\r\n", "221 7 <a@b>\r\n", true},
        {"head 7\r\n", "221 77 <a@b>\r\n", false},
        {"head 7\r\n", "222 7 <a@b>\r\n", false},
        {"xhdr lines 1-16\r\n", "221 Header follows\r\n", true},
        {"xhdr lines 1-16\r\n", "222 1 <a@b>\r\n", false},
        {"group a.b\r\n", "211 3 1 3 a.b\r\n", true},
        {"group a.b\r\n", "221 Header follows\r\n", false},
        {"authinfo user x\r\n", "381 More\r\n", true},
    };
    for (const FitCase& c : cases) {
        EXPECT_EQ(NntpConnection::AnswerFits(c.command, c.status), c.fits) << c.command << c.status;
    }
}

// What may be in flight is bounded in count and in answer bytes, and nothing goes ahead while the bandwidth
// limit paces the commands or pipelining is off.
TEST(PipelineTest, CommandsAheadAreBounded) {
    FakeNewsServer server;
    NntpConnection connection(server.Address());
    ASSERT_EQ(connection.Connect(), 1);

    EXPECT_TRUE(connection.SendAhead("body 1\r\n", NntpConnection::kMinBytesAhead - 10));
    EXPECT_TRUE(connection.SendAhead("body 1\r\n", 1)); // already in flight: not sent twice
    EXPECT_FALSE(connection.SendAhead("body 2\r\n", 20));
    EXPECT_TRUE(connection.SendAhead("head 2\r\n", 10));

    NntpConnection counted(server.Address());
    ASSERT_EQ(counted.Connect(), 1);
    size_t sent = 0;
    while (sent < 1000 && counted.SendAhead("head " + std::to_string(sent) + "\r\n", 1)) {
        ++sent;
    }
    EXPECT_EQ(sent, NntpConnection::kMaxCommandsAhead);

    NntpConnection limited(server.Address());
    ASSERT_EQ(limited.Connect(), 1);
    limited.SetBandwidthLimit(1000);
    EXPECT_FALSE(limited.SendAhead("body 1\r\n", 1));
    limited.SetBandwidthLimit(0);
    limited.SetPipelining(false);
    EXPECT_FALSE(limited.SendAhead("body 1\r\n", 1));
}

} // namespace
