#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"

namespace {

struct AddressCase {
    std::string address;
    bool valid;
    std::string host;
    uint16_t port;
};

TEST(ParseHostPort, SplitsHostAndPort) {
    for (const AddressCase& c : std::vector<AddressCase>{
             {"news.example.com", true, "news.example.com", 119},
             {"news.example.com:563", true, "news.example.com", 563},
             {"127.0.0.1:1", true, "127.0.0.1", 1},
             {"127.0.0.1:65535", true, "127.0.0.1", 65535},
             {"[::1]:1190", true, "::1", 1190},
             {"[::1]", true, "::1", 119},
             {"::1", true, "::1", 119},
             {"fe80::1:2", true, "fe80::1:2", 119},
             {"host:", false, "", 0},
             {"host:0", false, "", 0},
             {"host:65536", false, "", 0},
             {"host:12a", false, "", 0},
             {"host:-1", false, "", 0},
             {"[::1", false, "", 0},
             {"[::1]x", false, "", 0},
             {"[::1]:", false, "", 0},
             {"[]:119", false, "", 0},
             {":119", false, "", 0},
             {"", false, "", 0},
         }) {
        std::optional<HostPort> parsed = ParseHostPort(c.address);
        ASSERT_EQ(parsed.has_value(), c.valid) << c.address;
        if (parsed) {
            EXPECT_EQ(parsed->host, c.host) << c.address;
            EXPECT_EQ(parsed->port, c.port) << c.address;
        }
    }
}

TEST(TcpSocket, ReportsDataTimeOutAndCloseApart) {
    TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1"));
    std::optional<SocketAddress> address = ResolveAddress("127.0.0.1", listener.Port());
    ASSERT_TRUE(address);
    TcpSocket client;
    ASSERT_TRUE(client.Connect(*address, 5000));
    std::optional<TcpSocket> server = listener.Accept(5000);
    ASSERT_TRUE(server);

    char buffer[16];
    EXPECT_EQ(client.Receive(buffer, sizeof buffer, 100).status, ReceiveStatus::TimedOut);
    ASSERT_EQ(server->Send("hello", 5, 1000), 5u);
    ReceiveResult result = client.Receive(buffer, sizeof buffer, 5000);
    EXPECT_EQ(result.status, ReceiveStatus::Data);
    EXPECT_EQ(std::string(buffer, result.count), "hello");
    server->Close();
    EXPECT_EQ(client.Receive(buffer, sizeof buffer, 5000).status, ReceiveStatus::Closed);
    // Writing to a peer that has gone must fail, not end the process with a signal.
    std::string block(65536, 'x');
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) {
        failed = client.Send(block.data(), block.size(), 1000) < block.size();
    }
    EXPECT_TRUE(failed);
}

TEST(TcpSocket, ConnectToAClosedPortFails) {
    uint16_t port;
    {
        TcpListener probe;
        ASSERT_TRUE(probe.Listen("127.0.0.1"));
        port = probe.Port();
    }
    TcpSocket client;
    EXPECT_FALSE(client.Connect(*ResolveAddress("127.0.0.1", port), 5000));
    EXPECT_FALSE(client.IsOpen());
    EXPECT_FALSE(client.Connect(SocketAddress{}, 5000));
}

TEST(TcpListener, RefusesAddressesThatAreNotNumeric) {
    TcpListener listener;
    EXPECT_FALSE(listener.Listen("localhost"));
    EXPECT_TRUE(listener.Listen("127.0.0.1"));
    EXPECT_NE(listener.Port(), 0);
    EXPECT_FALSE(listener.Accept(10));
}

} // namespace
