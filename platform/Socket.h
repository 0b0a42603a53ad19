#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// A server address taken apart: "host", "host:port", "[v6addr]" or "[v6addr]:port". Without a port: 119.
struct HostPort {
    std::string host;
    uint16_t port = 119;
};

// Empty when the port is not a number from 1 to 65535, the brackets do not match or there is no host.
// A bare IPv6 address ("::1", more than one colon) is a host without a port.
std::optional<HostPort> ParseHostPort(const std::string& address, uint16_t defaultPort = 119);

// The first address a name resolves to (IPv4 or IPv6), kept as an opaque socket address.
struct SocketAddress {
    std::array<unsigned char, 128> bytes{};
    uint32_t length = 0;
};

std::optional<SocketAddress> ResolveAddress(const std::string& host, uint16_t port);

enum class ReceiveStatus { Data, Closed, TimedOut, Failed };

struct ReceiveResult {
    ReceiveStatus status;
    size_t count; // bytes stored when status is Data
};

// One connected TCP stream. Every wait is bounded; the descriptor is closed on destruction.
class TcpSocket {
  public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Connects within `timeoutMs`, with keep-alive and no Nagle delay. On failure the socket stays closed.
    // `abandon`, when given, is asked every few hundred milliseconds whether to give up waiting.
    bool Connect(const SocketAddress& address, int timeoutMs, const std::function<bool()>& abandon = {});

    // Sends every byte unless the peer takes none for `timeoutMs` or the connection fails; the count sent.
    size_t Send(const char* bytes, size_t count, int timeoutMs);

    // One receive of at most `capacity` bytes, waiting at most `timeoutMs` for the first byte. The
    // acknowledgement of every receive goes out at once, so a peer that writes a reply in two parts is
    // never held up by a delayed acknowledgement.
    ReceiveResult Receive(char* buffer, size_t capacity, int timeoutMs);

    // Makes the next close send a reset instead of an orderly end (for simulating a broken peer).
    void SetAbortiveClose();

    void Close();

  private:
    friend class TcpListener;
    explicit TcpSocket(int fd) : fd_(fd) {}
    bool WaitFor(short events, int timeoutMs) const;
    bool WaitToConnect(int timeoutMs, const std::function<bool()>& abandon) const;

    int fd_ = -1;
};

// A listening socket on a loopback address ("127.0.0.1" or "::1"), on a port chosen by the system.
class TcpListener {
  public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    bool Listen(const std::string& loopbackAddress);
    uint16_t Port() const { return port_; }
    // A connection accepted within `timeoutMs`, or an empty optional.
    std::optional<TcpSocket> Accept(int timeoutMs);
    void Close();

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};
