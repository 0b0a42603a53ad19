#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/ByteRing.h"
#include "nntp/Flags.h"
#include "platform/Socket.h"

// One TCP connection to one news server, used by one thread at a time. The transport (connecting, sending,
// receiving, lines, rate meter and bandwidth limiter) lives in NntpConnection.cpp.
class NntpConnection {
  public:
    static constexpr int kConnectTimeoutMs = 15000;
    static constexpr int kGreetingTimeoutMs = 30000;
    static constexpr int kReceiveWaitMs = 1000;
    static constexpr int kSendTimeoutMs = 30000;
    static constexpr size_t kReceiveBlockSize = 8192;

    // Whole seconds since 1970, and a pause of some milliseconds: replaceable so tests need not wait.
    using SecondsClock = std::function<int64_t()>;
    using Sleeper = std::function<void(int64_t milliseconds)>;

    // `address` is "host", "host:port" or "[v6addr]:port"; empty means "localhost". The name is looked up
    // here; nothing is connected.
    explicit NntpConnection(const std::string& address = "");
    // As above; sets `constructed` to 1 once construction has finished.
    NntpConnection(const std::string& address, int& constructed);
    ~NntpConnection();
    NntpConnection(const NntpConnection&) = delete;
    NntpConnection& operator=(const NntpConnection&) = delete;

    // ---- Transport ----

    // 0: no connection or no greeting line in time; 1: connected (whatever the greeting code, except 400);
    // 2: the greeting code was 400.
    int Connect();
    int Disconnect();
    // True once the connection was closed (by Disconnect, by the server or by a broken link).
    bool IsDisconnected() const { return link_ == Link::Closed; }

    int SendBytes(const char* bytes, size_t count);
    int SendText(const char* text);
    // 1 when bytes arrived; 0 on a time-out (about a second, no traffic entry), a close or an error.
    int ReceiveBlock();
    // One complete line (up to and including its LF) out of what has been received, without receiving.
    std::optional<std::string> TakeLine();
    // TakeLine, else one ReceiveBlock and TakeLine again.
    std::optional<std::string> ReadLine();

    void SetTxRxLogName(const char* name);

    void ResetRate();
    uint64_t CurrentRate() const;
    // May be called from another thread while the connection is in use.
    void SetBandwidthLimit(double bytesPerSecond) { bandwidthLimit_.store(bytesPerSecond); }
    // Pauses before a command while the average rate since Connect is above the limit.
    void ThrottleBandwidth();

    void SetClock(SecondsClock now, Sleeper sleep);
    void SetGreetingTimeout(int milliseconds) { greetingTimeoutMs_ = milliseconds; }

    const std::string& HostName() const { return hostName_; }
    uint16_t Port() const { return port_; }

  private:
    enum class Link { Unused, Open, Closed };

    void CloseLink();
    // One traffic-log entry: the heading, the dump of `count` bytes, then a blank line if asked for.
    void LogTraffic(const char* heading, const char* bytes, size_t count, bool closingBlankLine) const;

    // ---- Transport state ----
    std::string txrxLogName_; // empty: no traffic log
    TcpSocket socket_;
    Link link_ = Link::Unused;
    uint16_t port_ = 119;
    std::string hostName_;
    std::optional<SocketAddress> serverAddress_;
    std::array<char, kReceiveBlockSize> block_{};
    ByteRing ring_;
    size_t scannedWithoutLineEnd_ = 0; // bytes at the ring's head already known to hold no LF
    uint64_t rateBytes_ = 0;
    int64_t rateStart_ = 0;
    int64_t connectTime_ = 0;
    uint64_t totalBytes_ = 0;
    std::atomic<double> bandwidthLimit_{0.0};
    int greetingTimeoutMs_ = kGreetingTimeoutMs;
    SecondsClock now_;
    Sleeper sleep_;
};
