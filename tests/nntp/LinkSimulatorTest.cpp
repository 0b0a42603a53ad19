#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/FakeNewsServer.h"
#include "tests/support/LinkSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDelay = std::chrono::milliseconds(80);
constexpr double kRate = 2'000'000; // bytes a second

// Receives until `count` bytes have come or the connection ends; bounded by the socket's waits.
std::string ReceiveBytes(TcpSocket& socket, size_t count) {
    std::string bytes;
    char buffer[65536];
    for (int waits = 0; bytes.size() < count && waits < 100;) {
        ReceiveResult result = socket.Receive(buffer, sizeof buffer, 100);
        if (result.status == ReceiveStatus::Data) {
            bytes.append(buffer, result.count);
        } else if (result.status == ReceiveStatus::TimedOut) {
            ++waits;
        } else {
            break;
        }
    }
    return bytes;
}

class LinkSimulatorTest : public ::testing::Test {
  protected:
    TcpSocket Connect(uint16_t port) {
        TcpSocket socket;
        EXPECT_TRUE(socket.Connect(*ResolveAddress("127.0.0.1", port), 5000));
        return socket;
    }

    FakeNewsServer server_;
};

// No byte arrives before its delay and its serialisation at the rate; every byte arrives, in order.
TEST_F(LinkSimulatorTest, BytesLeaveNotBeforeDelayAndSerialisation) {
    const std::string answer = "222 1 <a@b> body\r\n" + std::string(300'000, 'x') + "\r\n.\r\n";
    server_.Reply("body 1", answer);
    LinkSimulator link(server_.Port(), kDelay, kRate, std::chrono::seconds(30));
    ASSERT_TRUE(link.Start());

    Clock::time_point connected = Clock::now();
    TcpSocket client = Connect(link.Port());
    std::string greeting = ReceiveBytes(client, 28);
    EXPECT_EQ(greeting, "200 fake news server ready\r\n");
    EXPECT_GE(Clock::now() - connected, kDelay);

    Clock::time_point sent = Clock::now();
    ASSERT_EQ(client.Send("body 1\r\n", 8, 1000), 8u);
    std::string received = ReceiveBytes(client, answer.size());
    auto serialisation = std::chrono::duration<double>(static_cast<double>(answer.size()) / kRate);
    EXPECT_EQ(received, answer);
    EXPECT_GE(Clock::now() - sent, 2 * kDelay + serialisation);
}

// Two connections through one simulator are independent, and a server's close reaches the client.
TEST_F(LinkSimulatorTest, ServerCloseReachesClientAfterItsData) {
    server_.Handle("quit", FakeNewsServer::SendThenClose("205 bye\r\n"));
    LinkSimulator link(server_.Port(), std::chrono::milliseconds(20), 0, std::chrono::seconds(30));
    ASSERT_TRUE(link.Start());
    TcpSocket first = Connect(link.Port());
    TcpSocket second = Connect(link.Port());
    ReceiveBytes(first, 28);
    ReceiveBytes(second, 28);
    ASSERT_EQ(first.Send("quit\r\n", 6, 1000), 6u);
    EXPECT_EQ(ReceiveBytes(first, 100), "205 bye\r\n");
    char byte;
    EXPECT_EQ(first.Receive(&byte, 1, 1000).status, ReceiveStatus::Closed);
    ASSERT_EQ(second.Send("quit\r\n", 6, 1000), 6u);
    EXPECT_EQ(ReceiveBytes(second, 100), "205 bye\r\n");
}

TEST_F(LinkSimulatorTest, StopsByItselfAfterItsLifetime) {
    LinkSimulator link(server_.Port(), std::chrono::milliseconds(1), 0, std::chrono::seconds(1));
    ASSERT_TRUE(link.Start());
    TcpSocket client = Connect(link.Port());
    for (int i = 0; i < 100 && !link.Stopped(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(link.Stopped());
}

} // namespace
