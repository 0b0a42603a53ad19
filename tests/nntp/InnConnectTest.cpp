#include <gtest/gtest.h>

#include "log/Log.h"
#include "nntp/NntpConnection.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/InnServer.h"
#include "tests/support/TempDir.h"

namespace {

TEST(InnConnect, ReadsTheGreetingOfARealServer) {
    InnServer inn;
    ASSERT_TRUE(inn.Start({"alt.binaries.test"})) << inn.Error();
    TempDir dir;
    std::string txrx = dir.file("txrx.log");
    NntpConnection connection(inn.Address());
    connection.SetTxRxLogName(txrx.c_str());
    ASSERT_EQ(connection.Connect(), 1);
    EXPECT_EQ(ReadFileBytes(txrx).rfind("rx():\n32 30 30 20 ", 0), 0u) << ReadFileBytes(txrx);

    // The server answers the first command at once (its status line is not held back).
    ASSERT_EQ(connection.SendText("group alt.binaries.test\r\n"), 1);
    std::optional<std::string> reply;
    for (int tries = 0; !reply && tries < 10; ++tries) {
        reply = connection.ReadLine();
    }
    EXPECT_EQ(reply, "211 0 1 0 alt.binaries.test\r\n");
}

TEST(InnConnect, ServerWithReadersTurnedAwayAnswers400) {
    InnServer inn;
    ASSERT_TRUE(inn.Start({"alt.binaries.test"})) << inn.Error();
    ASSERT_TRUE(inn.Control({"readers", "n", "closed for the test"})) << inn.Error();
    TempDir dir;
    ActivityLogFile log(dir.file("activity.log"));
    NntpConnection connection(inn.Address());
    EXPECT_EQ(connection.Connect(), 2);
    EXPECT_EQ(log.Read(), "Server has answered, but is not ready...\n");
}

} // namespace
